// What level crossings, range pairs and time at level hand over: their readout lists, export
// tables and report file sets, byte for byte where a companion reads them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/report/counting_hand_over.h"
#include "core/report/export_file.h"
#include "core/report/list_export.h"
#include "core/report/report_file.h"
#include "core/services/gbk.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;

ResultFileNode Node() {
  ResultFileNode node;
  node.test_name = "T01";
  node.test_code = "A";
  node.node_name = "3";
  node.sampling.set_frequency_hz(4.0);
  node.sampling.set_length_half_blocks(2);
  return node;
}

/// Levels -1, 0 and 1.5 (listed), the standard's convention about 0: the level below the
/// reference shows its downward crossings, the others their upward ones.
CrossingResultFile Crossings() {
  CrossingResultFile file;
  static_cast<ResultFileNode&>(file) = Node();
  LevelCrossingResult& r = file.result;
  r.levels = {-1.0, 0.0, 1.5};
  r.up = {4, 7, 1};
  r.down = {3, 7, 2};
  r.gate = 0.5;
  return file;
}

/// N = 2 partitions of [-2, 2] at 4 Hz: 2 samples (0.5 s) in the lower, 6 (1.5 s) in the upper,
/// 2 outside.
TimeAtLevelResultFile Time() {
  TimeAtLevelResultFile file;
  static_cast<ResultFileNode&>(file) = Node();
  TimeAtLevelResult& r = file.result;
  r.partitions = 2;
  r.amplitude_range = 2.0;
  r.width = 2.0;
  r.frequency_hz = 4.0;
  r.samples = {2, 6};
  r.samples_outside = 2;
  return file;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST(LevelHandOver, ReadoutListsNameLevelsAndSeconds) {
  const AnyResultFile crossings = Crossings();
  EXPECT_EQ(ReadoutPoints(crossings), 3);
  EXPECT_EQ(ShownValues(crossings, false), (std::vector<double>{3, 7, 1}));
  // Level 0 counts 7 up; level -1 is below the reference: 3 down.
  CountingReadouts readouts = CollectReadouts(crossings, {1, 0}, false, false);
  EXPECT_EQ(readouts.columns, ReadoutColumns::kCrossings);
  EXPECT_EQ(CountingReadoutText(crossings, readouts, Language::kEnglish),
            "T01A#3-DataList\n2  5\n"
            "No.  Level       Count       Up          Down        \r\n"
            "1    -1          3           4           3           \r\n"
            "2    0           7           7           7           \r\n");
  // The list converter reads it as a table of five columns.
  auto table =
      ParseListTable(Utf8ToGbk(CountingReadoutText(crossings, readouts, Language::kChinese)));
  ASSERT_TRUE(table);
  EXPECT_EQ(table->header.size(), 5u);
  EXPECT_EQ(table->rows[1], (std::vector<std::string>{"2", "0", "7", "7", "7"}));
  // Sorted by Y, the larger count first.
  readouts.list.sort_by = kSortByY;
  readouts.list.Sort();
  EXPECT_EQ(readouts.list.indices, (std::vector<uint32_t>{1, 0}));

  // Seconds are listed as numbers and sorted by their value, not by their whole part.
  const AnyResultFile time = Time();
  EXPECT_EQ(ShownValues(time, true), (std::vector<double>{0.5, 1.5}));
  readouts = CollectReadouts(time, {0, 1}, false, false);
  readouts.list.sort_by = kSortByY;
  readouts.list.Sort();
  EXPECT_EQ(readouts.list.indices, (std::vector<uint32_t>{1, 0}));
  EXPECT_EQ(ReadoutListText(readouts.list, readouts.axis, NamesOf(time), readouts.columns,
                            Language::kEnglish, 0),
            "No.  XL(Left)    X(Center)   XR(Right)   Time(s)     \r\n"
            "1    0           1           2           1.5         \r\n"
            "2    -2          -1          0           0.5         \r\n");
  // The Chinese titles keep the GBK widths.
  const std::string chinese = Utf8ToGbk(CountingReadoutText(
      crossings, CollectReadouts(crossings, {2}, false, false), Language::kChinese));
  const std::string row = chinese.substr(chinese.find("\r\n") + 2);
  EXPECT_EQ(row, "1    1.5         1           1           2           \r\n");
}

TEST(LevelHandOver, ExportTablesHoldEveryLevelAndPartition) {
  const ExportTable cross = CountingExportTable(Crossings(), false, Language::kEnglish);
  EXPECT_EQ(cross.name, "T01A#3Cross");
  EXPECT_EQ(cross.columns, (std::vector<std::string>{"Level", "Up", "Down", "Count"}));
  ASSERT_EQ(cross.rows.size(), 3u);
  EXPECT_EQ(cross.rows[2], (std::vector<ExportCell>{1.5, 1.0, 2.0, 1.0}));

  const ExportTable time = CountingExportTable(Time(), false, Language::kEnglish);
  EXPECT_EQ(time.name, "T01A#3Time");
  ASSERT_EQ(time.rows.size(), 2u);
  // 10 samples counted: 2 (0.2) and 6 (0.6); at or above the lower partition 0.8.
  EXPECT_EQ(time.rows[0], (std::vector<ExportCell>{-2.0, -1.0, 0.0, 0.5, 0.2, 0.8}));
  EXPECT_EQ(time.rows[1], (std::vector<ExportCell>{0.0, 1.0, 2.0, 1.5, 0.6, 0.6}));

  RangePairResultFile pairs;
  static_cast<ResultFileNode&>(pairs) = Node();
  pairs.result.partitions = 2;
  EXPECT_EQ(CountingExportTable(pairs, true, Language::kEnglish).name, "T01A#3Pairs");

  // Every table is a version 1.0 export file that reads back whole.
  for (const ExportTable& table : {cross, time}) {
    auto bytes = EncodeExportFile(table);
    ASSERT_TRUE(bytes);
    auto read = ParseExportFile(*bytes);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->rows, table.rows);
  }
}

TEST(LevelHandOver, ReportsNameTheMethodsOptionsAndCarryTheList) {
  testing::TempDir folder;
  ReportOptions options;
  options.folder = folder.path();
  options.date = "2026-12-09";
  ReportView view;
  view.readouts.Collect(1, {"7", "7", "7"});
  auto written = WriteCountingReport(Crossings(), view, options);
  ASSERT_TRUE(written) << written.error().detail;
  const std::string report = GbkToUtf8(ReadBytes(*written));
  EXPECT_NE(report.find("T01A#3 - TORV Level Crossing Counting"), std::string::npos) << report;
  EXPECT_NE(report.find("Levels: 3 levels as listed.\r\n"), std::string::npos) << report;
  EXPECT_NE(report.find("Reference level: 0 ; Crossings counted: astm ; Gate: 0.5\r\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("[LISTDATA]"), std::string::npos);
  EXPECT_TRUE(ParseReportFile(ReadBytes(*written)));
  EXPECT_NE(ReadBytes(folder.path() / kReportListName).find("Level"), std::string::npos);

  CrossingResultFile edges = Crossings();
  edges.result.partitions = 2;
  written = WriteCountingReport(edges, ReportView{}, options);
  ASSERT_TRUE(written);
  EXPECT_NE(
      GbkToUtf8(ReadBytes(*written)).find("Levels: 3 partition edges of the amplitude range.\r\n"),
      std::string::npos);

  written = WriteCountingReport(Time(), ReportView{}, options);
  ASSERT_TRUE(written);
  const std::string time = GbkToUtf8(ReadBytes(*written));
  EXPECT_NE(time.find("T01A#3 - TORV Time at Level"), std::string::npos) << time;
  EXPECT_NE(time.find("Time outside the amplitude range: 0.5 s\r\n"), std::string::npos) << time;

  RangePairResultFile pairs;
  static_cast<ResultFileNode&>(pairs) = Node();
  pairs.result.partitions = 2;
  pairs.result.left_over_ranges = 3;
  written = WriteCountingReport(pairs, ReportView{}, options);
  ASSERT_TRUE(written);
  const std::string paired = GbkToUtf8(ReadBytes(*written));
  EXPECT_NE(paired.find("T01A#3 - TORV Range-Pair Counting"), std::string::npos) << paired;
  EXPECT_NE(paired.find("Ranges left unpaired (not counted): 3\r\n"), std::string::npos);

  // A cancelled pass is still never reported.
  CrossingResultFile cancelled = Crossings();
  cancelled.result.cancelled = true;
  EXPECT_FALSE(WriteCountingReport(cancelled, ReportView{}, options));
}

}  // namespace
}  // namespace torvwy::core
