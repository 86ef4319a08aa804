// Finding and starting companion programs: host folder first, argument lists, clear failures.
#include "core/report/companion.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "core/services/folders.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;

class CompanionTest : public ::testing::Test {
 protected:
  /// A shell script companion that writes its working folder and arguments, one a line.
  void WriteRecorder(std::string_view name) {
    const fs::path script = home_.path() / std::string(name);
    std::ofstream(script) << "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"[$a]\"; done; } > "
                          << (home_.path() / "record.tmp").string() << ".part\nmv "
                          << (home_.path() / "record.tmp").string() << ".part "
                          << (home_.path() / "record.tmp").string() << "\n";
    ::chmod(script.c_str(), 0755);
  }
  std::string WaitForRecord() {
    const fs::path record = home_.path() / "record.tmp";
    for (int i = 0; i < 500 && !fs::exists(record); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream in(record);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  testing::ScopedHome home_;
};

TEST_F(CompanionTest, StartsFromTheHostFolderWithArgumentsAsTheyAre) {
  WriteRecorder("TorvEpt");
  auto found = FindCompanion("TorvEpt");
  ASSERT_TRUE(found.ok());
  EXPECT_EQ(*found, home_.path() / "TorvEpt");
  // Blanks, quotes and shell characters reach the program untouched: no shell in between.
  auto pid = LaunchCompanion("TorvEpt", {"a b", "\"q\"", "$(x);|", ""});
  ASSERT_TRUE(pid.ok()) << pid.error().detail;
  EXPECT_EQ(WaitForRecord(),
            fs::canonical(home_.path()).string() + "\n[a b]\n[\"q\"]\n[$(x);|]\n[]\n");
}

TEST_F(CompanionTest, MissingOrNotExecutableCompanionIsAClearFailure) {
  std::ofstream(home_.path() / "TorvRpt") << "not executable";
  auto found = FindCompanion("TorvRpt");
  ASSERT_FALSE(found.ok());
  EXPECT_NE(
      found.error().detail.find("companion program TorvRpt not found in " + home_.path().string()),
      std::string::npos);
  EXPECT_FALSE(LaunchCompanion("TorvRpt").ok());
}

TEST_F(CompanionTest, ImageExportPassesTheNameWithoutShellQuotes) {
  EXPECT_EQ(ImageExportNameArgument("\"T01A#3_Disp\""), "T01A#3_Disp");
  EXPECT_EQ(ImageExportNameArgument("\"half"), "half");
  EXPECT_EQ(ImageExportNameArgument("a b"), "a b");
  EXPECT_EQ(ImageExportNameArgument(""), "");
  EXPECT_EQ(ImageExportPicturePath(), fs::path(GetWorkFolder()) / "TorvImg.bmp");
  WriteRecorder("TorvImgEpt");
  ASSERT_TRUE(LaunchImageExport("/w/TorvImg.bmp", "\"a b\"").ok());
  EXPECT_EQ(WaitForRecord(), fs::canonical(home_.path()).string() + "\n[/w/TorvImg.bmp]\n[a b]\n");
}

}  // namespace
}  // namespace torvwy::core
