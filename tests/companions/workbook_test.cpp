// Workbook details that the end-to-end tests don't reach: sheet names and failed saves.
#include "companions/workbook.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <string>

#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::companions {
namespace {
namespace fs = std::filesystem;

TEST(WorkbookTest, SheetNamesAreMadeValid) {
  EXPECT_EQ(SheetName("T01A#3Disp"), "T01A#3Disp");
  EXPECT_EQ(SheetName("a[b]:c*d?e/f\\g"), "a_b__c_d_e_f_g");
  EXPECT_EQ(SheetName(std::string(40, 'x')), std::string(31, 'x'));
  EXPECT_EQ(SheetName("试验" + std::string(40, 'y')), "试验" + std::string(29, 'y'));
  EXPECT_EQ(SheetName(""), "Sheet1");
  EXPECT_EQ(SheetName("'q'"), "_q_");
}

TEST(WorkbookTest, FailedSaveKeepsTheOldFileAndLeavesNoTemporary) {
  testing::TempDir dir;
  const fs::path target = dir.path() / "missing-folder" / "x.xlsx";
  EXPECT_FALSE(WriteWorkbook(target, {"s", {"a"}, {{1.0}}}).ok());
  const fs::path good = dir.path() / "x.xlsx";
  std::ofstream(good) << "old";
  // A text cell longer than a sheet cell holds fails the save, and the old file stays.
  WorkbookSheet sheet{"s", {"a"}, {{1.0}, {std::string(40000, 'x')}}};
  EXPECT_FALSE(WriteWorkbook(good, sheet).ok());
  std::ifstream in(good);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

/// Makes every write that grows a file of this process past `bytes` fail, as a full disk does,
/// while it lives (root ignores folder permissions, but not this limit).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    old_signal_ = std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead of ending us
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_signal_);
  }

 private:
  rlimit old_{};
  void (*old_signal_)(int) = nullptr;
};

std::string Content(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t FilesIn(const fs::path& folder) {
  return static_cast<size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(WorkbookTest, AFullDiskKeepsTheOldWorkbook) {
  testing::TempDir dir;
  const fs::path target = dir.path() / "big.xlsx";
  std::ofstream(target) << "old";
  WorkbookSheet sheet{"s", {"a", "b"}, {}};
  for (int r = 0; r < 2000; ++r) {
    sheet.rows.push_back({double(r), "row " + std::to_string(r) + " of a sheet that won't fit"});
  }
  core::Status saved = core::Ok();
  {
    FileSizeLimit limit(4096);
    saved = WriteWorkbook(target, sheet);
  }
  ASSERT_FALSE(saved.ok());
  EXPECT_EQ(saved.error().message, core::kMsgFileWrite);
  EXPECT_EQ(Content(target), "old");
  EXPECT_EQ(FilesIn(dir.path()), 1u) << "no temporary or scratch file is left";
  // Without the limit the same sheet saves, over the old file.
  ASSERT_TRUE(WriteWorkbook(target, sheet).ok());
  EXPECT_EQ(Content(target).substr(0, 2), "PK");
}

TEST(WorkbookTest, AFolderThatCantBeWrittenKeepsTheOldWorkbook) {
  testing::TempDir dir;
  const fs::path folder = dir.path() / "locked";
  fs::create_directory(folder);
  const fs::path target = folder / "x.xlsx";
  std::ofstream(target) << "old";
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(folder.c_str(), W_OK) == 0) {
    fs::permissions(folder, fs::perms::owner_all);
    GTEST_SKIP() << "this user writes into any folder; the full-disk test covers the failure";
  }
  const core::Status saved = WriteWorkbook(target, {"s", {"a"}, {{1.0}}});
  fs::permissions(folder, fs::perms::owner_all);
  ASSERT_FALSE(saved.ok());
  EXPECT_NE(saved.error().detail.find("x.xlsx"), std::string::npos) << saved.error().detail;
  EXPECT_EQ(Content(target), "old");
  EXPECT_EQ(FilesIn(folder), 1u);
}

}  // namespace
}  // namespace torvwy::companions
