// The list export files, and reading the three kinds of list file back.
#include "core/report/list_export.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "core/fatigue/fatigue_list.h"
#include "core/files/statistics_result_file.h"
#include "core/report/hand_over_text.h"
#include "core/report/readout_list.h"
#include "core/services/atomic_file.h"
#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;

TEST(HandOverTextTest, LinesEndInCrLfOnceAndAnyEndReadsBack) {
  EXPECT_EQ(HandOverBytes("a\nb\r\nc"), "a\r\nb\r\nc");
  EXPECT_EQ(HandOverBytes("中\n"), "\xD6\xD0\r\n");
  EXPECT_EQ(SplitHandOverLines("a\r\r\nb\r\nc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitHandOverLines("a\n"), (std::vector<std::string>{"a"}));
  EXPECT_EQ(OneLine("a\r\nb\nc"), "a  b c");
}

TEST(ReadoutListTest, CollectsOnceAndSortsByEitherAxis) {
  ReadoutList list;
  EXPECT_TRUE(list.Collect(5, {"7"}));
  EXPECT_TRUE(list.Collect(2, {"12"}));
  EXPECT_FALSE(list.Collect(5, {"99"}));
  EXPECT_TRUE(list.Collect(9, {"7"}));
  EXPECT_EQ(list.indices, (std::vector<uint32_t>{2, 5, 9}));
  list.sort_by = kSortByY;
  list.Sort();
  EXPECT_EQ(list.indices, (std::vector<uint32_t>{2, 5, 9}));  // 12, 7, 7
  EXPECT_EQ(list.count_texts[0], std::vector<std::string>{"12"});
  list.Clear();
  EXPECT_TRUE(list.empty());
}

TEST(ReadoutListTest, ReadoutOptionNamesPartitionsAsTheViewNumbersThem) {
  auto parsed = ParseReadoutPartitions("3,5,12,4-6,3", 12);
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(*parsed, (std::vector<uint32_t>{2, 4, 11, 3, 5}));
  for (const char* bad : {"0", "13", "", "3,,5", "6-4", "a", "1-", "-2", "99999999999"}) {
    EXPECT_FALSE(ParseReadoutPartitions(bad, 12).ok()) << bad;
  }
}

TEST(ReadoutListTest, WideNumbersFillTheirColumnAndStillReadBack) {
  ReadoutList list;
  list.Collect(0, {"2147483647"});
  // -1234567 and friends print as 12-byte "%g" texts that touch the next column.
  const std::string text = ReadoutListText(list, {-1234567.0, 1000.0, {}}, {"a", "b", "c"},
                                           ReadoutColumns::kCount, Language::kEnglish, 1);
  EXPECT_NE(text.find("1    -1.23457e+06-1.23407e+06-1.23357e+062147483647  \r\n"),
            std::string::npos);
  auto table = ParseListTable(HandOverBytes(text));
  ASSERT_TRUE(table.ok()) << table.error().detail;
  EXPECT_EQ(table->name, "ab#c-DataList");
  EXPECT_EQ(table->header,
            (std::vector<std::string>{"No.", "XL(Left)", "X(Center)", "XR(Right)", "Count"}));
  EXPECT_EQ(table->rows[0], (std::vector<std::string>{"1", "-1.23457e+06", "-1.23407e+06",
                                                      "-1.23357e+06", "2147483647"}));
}

TEST(ListExportTest, WritesBothFilesAndReadsThemBack) {
  testing::TempDir dir;
  ReadoutList list;
  list.Collect(3, {"8"});
  const std::string text = ReadoutListText(list, {0.0, 0.5, {}}, {"T", "1", "2"},
                                           ReadoutColumns::kCount, Language::kChinese, 1);
  ASSERT_TRUE(WriteListExport("/out/列表\n.xls", text, dir.path()).ok());
  EXPECT_EQ(testing::ReadFileBytes(dir.path() / "listname.txt"), Utf8ToGbk("/out/列表 .xls"));
  EXPECT_EQ(testing::ReadFileBytes(dir.path() / "listdata.txt"),
            Utf8ToGbk("T1#2-DataList\r\n1  5\r\n"
                      "No.  左范围XL    中心X       右范围XR    计数        \r\n"
                      "1    1.5         1.75        2           8           \r\n"));
  auto back = ReadListExport(dir.path());
  ASSERT_TRUE(back.ok()) << back.error().detail;
  EXPECT_EQ(back->target, "/out/列表 .xls");
  EXPECT_EQ(back->table.header[1], "左范围XL");
  EXPECT_EQ(back->table.rows[0][3], "2");

  fs::remove(dir.path() / "listname.txt");
  EXPECT_FALSE(ReadListExport(dir.path()).ok());
}

TEST(ListExportTest, FailureOnEitherFileLeavesTheOldPairOrNothing) {
  const auto snapshot = [](const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
      files[entry.path().filename().string()] = testing::ReadFileBytes(entry.path());
    }
    return files;
  };
  for (const bool old_pair : {false, true}) {
    testing::TempDir dir;
    if (old_pair) {
      ASSERT_TRUE(WriteListExport("/old.xls", "old\n", dir.path()).ok());
    }
    const auto before = snapshot(dir.path());
    for (const char* name : {"listdata.txt", "listname.txt"}) {
      for (const SaveFault fault : {SaveFault::kWrite, SaveFault::kRename}) {
        SetSaveFaultForTesting([name, fault](const fs::path& target) {
          return target.filename() == name ? fault : SaveFault::kNone;
        });
        const Status written = WriteListExport("/new.xls", "new\n", dir.path());
        SetSaveFaultForTesting(nullptr);
        EXPECT_FALSE(written.ok()) << name;
        EXPECT_EQ(snapshot(dir.path()), before) << name << " old pair " << old_pair;
      }
    }
    ASSERT_TRUE(WriteListExport("/new.xls", "new\n", dir.path()).ok());
    EXPECT_EQ(snapshot(dir.path()),
              (std::map<std::string, std::string>{{"listdata.txt", "new\r\n"},
                                                  {"listname.txt", "/new.xls"}}));
  }
}

TEST(ListExportTest, ReadsStatisticsAndFatigueTablesAndOldLineEnds) {
  StatisticsTable table;
  table.columns = {{"No.", 40}, {"Peak Time(s)", 90}, {"Unit", 80}};
  table.rows = {{"1", "0.5", ""}};
  auto stats = ParseListTable(HandOverBytes(StatisticsListText(table)));
  ASSERT_TRUE(stats.ok());
  EXPECT_EQ(stats->header, (std::vector<std::string>{"No.", "Peak Time(s)", "Unit"}));
  EXPECT_EQ(stats->rows[0], (std::vector<std::string>{"1", "0.5", ""}));

  FatigueResult fatigue;
  fatigue.partitions = 1;
  fatigue.partition_width = 10.0;
  fatigue.counts = {3.0};
  fatigue.probability = {1.0};
  fatigue.life = {1e6};
  fatigue.damage = {3e-6};
  fatigue.total_damage = 3e-6;
  auto bytes = FormatFatigueList(fatigue, {"a", "1", "2"}, Language::kChinese);
  ASSERT_TRUE(bytes.ok());
  auto fat = ParseListTable(*bytes);
  ASSERT_TRUE(fat.ok());
  EXPECT_EQ(fat->header.size(), 6u);
  EXPECT_EQ(fat->header[0], "序号");
  EXPECT_EQ(fat->rows[0][5], "3.0000e-06");

  // Rows ending in CR CR LF, as older writers left them.
  auto old = ParseListTable("n\r\n1  2\r\nNo.  A\r\r\n1  x\r\r\n");
  ASSERT_TRUE(old.ok());
  EXPECT_EQ(old->rows[0], (std::vector<std::string>{"1", "x"}));
  for (const char* damaged : {"n\r\n", "n\r\nx y\r\nh\r\n", "n\r\n3  2\r\nh\r\n1 2\r\n"}) {
    EXPECT_FALSE(ParseListTable(damaged).ok()) << damaged;
  }
  // Cut anywhere, a list reads as far as it goes or is refused; it never reads past its bytes.
  const std::string whole = *bytes;
  for (size_t size = 0; size < whole.size(); ++size) {
    auto cut = ParseListTable(whole.substr(0, size));
    if (cut.ok()) {
      EXPECT_LE(cut->rows.size(), 1u);
    }
  }
}

}  // namespace
}  // namespace torvwy::core
