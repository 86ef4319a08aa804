// The report file set: its bytes in both languages for each analysis, and how it fails.
#include "core/report/report_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "core/report/list_export.h"
#include "core/services/atomic_file.h"
#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;

/// "a\nb\n" as the file holds it: GBK, each line ended by CR LF.
std::string Crlf(const std::string& utf8) {
  std::string out;
  for (const char c : Utf8ToGbk(utf8)) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

const std::string kDashes(82, '-');

/// Test T01, code A, node 3: 4 blocks at 1024 Hz, texts "t1", none, "t3".
ResultFileNode Node() {
  ResultFileNode node;
  node.test_name = "T01";
  node.test_code = "A";
  node.node_name = "3";
  node.sampling.set_frequency_hz(1024.0);
  node.sampling.set_length_half_blocks(8);
  node.sampling.set_text1("t1");
  node.sampling.set_text3("t3");
  return node;
}

/// A = 10, N = 2: two-way partitions [-10, 0] and (0, 10]; one-way [0, 5] and (5, 10].
RangeCountResult Range() {
  RangeCountResult result;
  result.partitions = 2;
  result.amplitude_range = 10.0;
  result.two_way_width = 10.0;
  result.one_way_width = 5.0;
  result.two_way_counts[1] = 3;
  result.one_way_counts[0] = 4;
  result.first_block = 1;
  result.last_block = 4;
  return result;
}

class ReportFileTest : public ::testing::Test {
 protected:
  ReportOptions Options(bool picture = true) {
    ReportOptions options;
    options.folder = dir_.path();
    options.date = "2026-01-02";
    if (picture) {
      options.picture = [this](const fs::path& path) {
        std::ofstream(path, std::ios::binary) << "BM";
        picture_path_ = path;
        return Ok();
      };
    }
    return options;
  }
  std::string Path(std::string_view name) const { return (dir_.path() / name).string(); }

  testing::TempDir dir_;
  fs::path picture_path_;
};

TEST_F(ReportFileTest, RangeReportInEnglishWithPictureAndList) {
  ReportView view;
  view.language = Language::kEnglish;
  view.readouts.Collect(1, RangeCountTexts(Range(), 1, false));
  auto report = WriteRangeReport(Range(), Node(), view, Options());
  ASSERT_TRUE(report.ok()) << report.error().detail;
  EXPECT_EQ(*report, dir_.path() / "TorvRpt.txt");
  // The picture is drawn into its temporary file, which becomes TorvBmp.bmp with the set.
  EXPECT_EQ(picture_path_.parent_path(), dir_.path());
  EXPECT_FALSE(fs::exists(picture_path_));
  EXPECT_EQ(testing::ReadFileBytes(dir_.path() / "TorvBmp.bmp"), "BM");
  EXPECT_EQ(
      testing::ReadFileBytes(*report),
      Crlf("[TORV-REPORT-FORMAT-FILE]\n[HEAD]\nT01A#3 - TORV Varied-Distance Counting\n"
           "[TITLE]\nWaveform Parameters:\n"
           "[CONTANT]\nTest Name: T01    Test Code: A     Node: 3\n"
           "[CONTANT]\nDescription 1: t1    Description 2:     Description 3: t3\n"
           "Sampling Frequency: 1024Hz ; Waveform Length: 4 blocks , 4s ; \n"
           "[TITLE]\nAnalysis Parameters:\n[CONTANT]\nAnalysis range: 1 -- 4 blocks ;\n"
           "Positive and Negative Counting Separately, Partition Number: 2.\n"
           "[TITLE]\nAnalysis Graph\n[BMPFILE]\n160,100," +
           Path("TorvBmp.bmp") + "\n[TITLE]\nReadout List\n[LISTDATA]\n" + Path("TorvLst001.txt") +
           "\n[CONTANT]\n" + kDashes + "\nReport Date: 2026-01-02\n[END]\n"));
  // The rows of the list end in CR LF once.
  EXPECT_EQ(testing::ReadFileBytes(dir_.path() / "TorvLst001.txt"),
            "T01A#3-DataList\r\n1  5\r\n"
            "No.  XL(Left)    X(Center)   XR(Right)   Count       \r\n"
            "1    0           5           10          3           \r\n");
}

TEST_F(ReportFileTest, RangeReportInChineseOneWay) {
  ReportView view;
  view.language = Language::kChinese;
  view.one_way = true;
  view.readouts.Collect(0, RangeCountTexts(Range(), 0, true));
  ASSERT_TRUE(WriteRangeReport(Range(), Node(), view, Options()).ok());
  EXPECT_EQ(
      testing::ReadFileBytes(dir_.path() / "TorvRpt.txt"),
      Crlf("[TORV-REPORT-FORMAT-FILE]\n[HEAD]\nT01A#3 - TORV 变程计数分析\n"
           "[TITLE]\n数据参数:\n"
           "[CONTANT]\n试验名称: T01    试验号: A     测点号: 3\n"
           "[CONTANT]\n描述一: t1    描述二:     描述三: t3\n"
           "采样频率: 1024Hz ; 数据长度: 4 块 , 4s ; \n"
           "[TITLE]\n分析参数:\n[CONTANT]\n分析范围: 1 ～ 4 块 ;\n"
           "显示单向计数结果，按波形变程的绝对值计数,不区分正负。在最大幅值区间内平均等分2段。\n"
           "[TITLE]\n分析图形\n[BMPFILE]\n160,100," +
           Path("TorvBmp.bmp") + "\n[TITLE]\n读数列表\n[LISTDATA]\n" + Path("TorvLst001.txt") +
           "\n[CONTANT]\n" + kDashes + "\n报告日期: 2026-01-02\n[END]\n"));
  // Chinese titles are cut by GBK bytes: "中心X" is 5 bytes, then 7 blanks make 12.
  EXPECT_EQ(testing::ReadFileBytes(dir_.path() / "TorvLst001.txt"),
            Crlf("T01A#3-DataList\n1  5\n"
                 "No.  左范围XL    中心X       右范围XR    计数        \n"
                 "1    0           2.5         5           4           \n"));
}

TEST_F(ReportFileTest, PeakReportDiffersInItsTextsOnly) {
  PeakCountResult result;
  result.partitions = 2;
  result.amplitude_range = 10.0;
  result.two_way_width = 10.0;
  result.one_way_width = 5.0;
  result.first_block = 2;
  result.last_block = 3;
  result.two_way_peak_counts[0] = 7;
  result.two_way_valley_counts[0] = 1;
  const std::string head = "[TORV-REPORT-FORMAT-FILE]\n[HEAD]\nT01A#3 - TORV Peak Counting\n";
  const std::string node_lines =
      "[TITLE]\nWaveform Parameters:\n[CONTANT]\nTest Name: T01    Test Code: A     Node: 3\n"
      "[CONTANT]\nDescription 1: t1    Description 2:     Description 3: t3\n"
      "Sampling Frequency: 1024Hz ; Waveform Length: 4 blocks , 4s ; \n"
      "[TITLE]\nAnalysis Parameters:\n[CONTANT]\nAnalysis Range: 2 -- 3 blocks ;\n";
  const std::string tail = "[CONTANT]\n" + kDashes + "\nReport Date: 2026-01-02\n[END]\n";
  struct Case {
    bool one_way, separately;
    std::string lines;
  } cases[] = {
      {false, true,
       "Method: Peak and Valley Counting Separately.\n"
       "Result: Positive and Negative Value Counting Separately. \nPartition Number: 2.\n"},
      {true, false,
       "Method: Peak and Valley Counting Together.\n"
       "Result: Positive and Negative Value Counting Together.\nPartition Number: 2.\n"},
  };
  for (const Case& c : cases) {
    ReportView view;
    view.one_way = c.one_way;
    view.separately = c.separately;
    // No picture writer and an empty list: neither [BMPFILE] nor [LISTDATA], no list file.
    ASSERT_TRUE(WritePeakReport(result, Node(), view, Options(false)).ok());
    EXPECT_EQ(testing::ReadFileBytes(dir_.path() / "TorvRpt.txt"),
              Crlf(head + node_lines + c.lines + tail));
    EXPECT_FALSE(fs::exists(dir_.path() / "TorvLst001.txt"));
  }
  // Separately counted peaks list two count columns.
  ReportView view;
  view.readouts.Collect(0, PeakCountTexts(result, 0, false, true));
  ASSERT_TRUE(WritePeakReport(result, Node(), view, Options(false)).ok());
  EXPECT_EQ(testing::ReadFileBytes(dir_.path() / "TorvLst001.txt"),
            "T01A#3-DataList\r\n1  6\r\n"
            "No.  XL(Left)    X(Center)   XR(Right)   Peak_Count  Valley_Count\r\n"
            "1    -10         -5          0           7           1           \r\n");
  // Chinese peak lines.
  view.language = Language::kChinese;
  view.readouts.Clear();
  ASSERT_TRUE(WritePeakReport(result, Node(), view, Options(false)).ok());
  const std::string text = GbkToUtf8(testing::ReadFileBytes(dir_.path() / "TorvRpt.txt"));
  EXPECT_NE(text.find("T01A#3 - TORV 峰值计数分析\r\n"), std::string::npos);
  EXPECT_NE(text.find("分析内容: 部分峰值计数，分别对波峰和波谷进行计数。\r\n显示双向计数结果，区分"
                      "波形幅值的正负。在最大幅值区间内平均等分2段。\r\n"),
            std::string::npos);
}

/// A rainflow result of 4 partitions over 8 blocks 1..4.
RainflowResult Rainflow() {
  RainflowResult result;
  result.partitions = 4;
  result.amplitude_range = 8.0;
  result.partition_width = 2.0;
  result.counts[1] = 2.5;
  result.first_block = 1;
  result.last_block = 4;
  return result;
}

/// The English rainflow report of Node() and Rainflow() up to its range line.
const std::string kRainflowHead =
    "[TORV-REPORT-FORMAT-FILE]\n[HEAD]\nT01A#3 - TORV Rainflow Counting\n"
    "[TITLE]\nWaveform Parameters:\n"
    "[CONTANT]\nTest Name: T01    Test Code: A     Node: 3\n"
    "[CONTANT]\nDescription 1: t1    Description 2:     Description 3: t3\n"
    "Sampling Frequency: 1024Hz ; Waveform Length: 4 blocks , 4s ; \n"
    "[TITLE]\nAnalysis Parameters:\n[CONTANT]\nAnalysis Range: 1 -- 4 blocks \n";

TEST_F(ReportFileTest, RainflowReportHasNoCountingLine) {
  const RainflowResult result = Rainflow();
  ReportView view;
  view.readouts.Collect(1, RainflowCountTexts(result, 1));
  ASSERT_TRUE(WriteRainflowReport(result, Node(), view, Options(false)).ok());
  EXPECT_EQ(testing::ReadFileBytes(dir_.path() / "TorvRpt.txt"),
            Crlf(kRainflowHead + "[TITLE]\nReadout List\n[LISTDATA]\n" + Path("TorvLst001.txt") +
                 "\n[CONTANT]\n" + kDashes + "\nReport Date: 2026-01-02\n[END]\n"));
  // 2.5 cycles are listed as 2.
  EXPECT_NE(testing::ReadFileBytes(dir_.path() / "TorvLst001.txt")
                .find("1    2           3           4           2 "),
            std::string::npos);
  view.language = Language::kChinese;
  ASSERT_TRUE(WriteRainflowReport(result, Node(), view, Options(false)).ok());
  EXPECT_NE(GbkToUtf8(testing::ReadFileBytes(dir_.path() / "TorvRpt.txt"))
                .find("[HEAD]\r\nT01A#3 - TORV 雨流法计数分析\r\n[TITLE]\r\n数据参数:\r\n"),
            std::string::npos);
  EXPECT_NE(GbkToUtf8(testing::ReadFileBytes(dir_.path() / "TorvRpt.txt"))
                .find("分析范围: 1 ～ 4 块 \r\n[TITLE]"),
            std::string::npos);
}

/// An estimate on detail category 71 with Goodman at Su = 400.
FatigueResult CategoryEstimate() {
  FatigueResult estimate;
  estimate.curve.kind = SnCurveKind::kDetailCategory;
  estimate.curve.name = "en1993:71";
  estimate.curve.unit = "N/mm^2";
  estimate.correction.kind = MeanCorrectionKind::kGoodman;
  estimate.correction.ultimate = 400.0;
  estimate.total_damage = 0.0125;
  return estimate;
}

TEST_F(ReportFileTest, RainflowReportCarriesTheLifeEstimateItWasGiven) {
  ResultFileNode node = Node();
  node.sampling.set_eu("MPa");
  ReportOptions options = Options();
  options.fatigue.estimate = CategoryEstimate();
  options.fatigue.loads = {{3.0, 600.0, 41.25}, {5.0, 600.0, 50.0}};
  options.fatigue.matrix_picture = [](const fs::path& path) {
    std::ofstream(path, std::ios::binary) << "MX";
    return Ok();
  };
  ASSERT_TRUE(WriteRainflowReport(Rainflow(), node, ReportView{}, options).ok());
  EXPECT_EQ(
      testing::ReadFileBytes(dir_.path() / "TorvRpt.txt"),
      Crlf(kRainflowHead + "[TITLE]\nAnalysis Graph\n[BMPFILE]\n160,100," + Path("TorvBmp.bmp") +
           "\n[TITLE]\nFatigue Life Estimate\n[CONTANT]\n"
           "S-N curve: en1993:71 (N/mm^2)\n"
           "Mean-stress correction: goodman, ultimate strength Su = 400 MPa\n"
           "Total damage: 0.0125\n"
           "Damage-equivalent load m = 3, N_eq = 600: 41.25 MPa\n"
           "Damage-equivalent load m = 5, N_eq = 600: 50 MPa\n"
           "[TITLE]\nRange-Mean Matrix\n[BMPFILE]\n160,100," +
           Path("TorvMtx.bmp") + "\n[CONTANT]\n" + kDashes + "\nReport Date: 2026-01-02\n[END]\n"));
  EXPECT_EQ(testing::ReadFileBytes(dir_.path() / "TorvMtx.bmp"), "MX");
  // The report program finds both pictures, the counts' first.
  auto items = ParseReportFile(testing::ReadFileBytes(dir_.path() / "TorvRpt.txt"));
  ASSERT_TRUE(items.ok()) << items.error().detail;
  std::vector<fs::path> pictures;
  for (const ReportItem& item : *items) {
    if (item.kind == ReportItem::kPicture) pictures.push_back(item.path);
  }
  ASSERT_EQ(pictures.size(), 2u);
  EXPECT_EQ(pictures[1].filename(), "TorvMtx.bmp");

  // In Chinese, with Walker's exponent and no ultimate.
  ReportView view;
  view.language = Language::kChinese;
  options.fatigue.estimate->correction = {MeanCorrectionKind::kWalker, 0.0, 0.4};
  ASSERT_TRUE(WriteRainflowReport(Rainflow(), node, view, options).ok());
  const std::string chinese = GbkToUtf8(testing::ReadFileBytes(dir_.path() / "TorvRpt.txt"));
  EXPECT_NE(chinese.find("[TITLE]\r\n疲劳寿命估算\r\n[CONTANT]\r\nS-N 曲线: en1993:71 (N/mm^2)\r\n"
                         "平均应力修正: walker, Walker 指数 gamma = 0.4\r\n累积损伤度: 0.0125\r\n"
                         "等效损伤载荷 m = 3, N_eq = 600: 41.25 MPa\r\n"),
            std::string::npos)
      << chinese;
  EXPECT_NE(chinese.find("[TITLE]\r\n雨流矩阵（幅值-均值）\r\n[BMPFILE]\r\n"), std::string::npos);
}

TEST_F(ReportFileTest, RainflowReportWithoutNewPartsKeepsItsBytes) {
  ASSERT_TRUE(WriteRainflowReport(Rainflow(), Node(), ReportView{}, Options()).ok());
  const std::string plain = testing::ReadFileBytes(dir_.path() / "TorvRpt.txt");
  // A weld class without a correction is what the report has never shown: the same bytes.
  ReportOptions options = Options();
  options.fatigue.estimate = FatigueResult{};
  options.fatigue.estimate->total_damage = 0.5;
  ASSERT_TRUE(options.fatigue.empty());
  ASSERT_TRUE(WriteRainflowReport(Rainflow(), Node(), ReportView{}, options).ok());
  EXPECT_EQ(testing::ReadFileBytes(dir_.path() / "TorvRpt.txt"), plain);
  EXPECT_FALSE(fs::exists(dir_.path() / "TorvMtx.bmp"));
  EXPECT_EQ(RainflowReportText(Rainflow(), Node(), ReportView{}, "b.bmp", "l.txt", "2026-01-02",
                               FatigueReportPart{}, ""),
            RainflowReportText(Rainflow(), Node(), ReportView{}, "b.bmp", "l.txt", "2026-01-02"));

  // With a DEL asked for, the weld class still shows no curve line: only the load.
  options.fatigue.loads = {{4.0, 10.0, 2.5}};
  ASSERT_TRUE(WriteRainflowReport(Rainflow(), Node(), ReportView{}, options).ok());
  const std::string with_load = testing::ReadFileBytes(dir_.path() / "TorvRpt.txt");
  EXPECT_NE(with_load.find("[TITLE]\r\nFatigue Life Estimate\r\n[CONTANT]\r\n"
                           "Damage-equivalent load m = 4, N_eq = 10: 2.5\r\n[CONTANT]\r\n"),
            std::string::npos)
      << with_load;
  EXPECT_EQ(with_load.find("S-N curve"), std::string::npos);

  // The other reports leave the part out.
  options.fatigue.estimate = CategoryEstimate();
  ASSERT_TRUE(WriteRangeReport(Range(), Node(), ReportView{}, options).ok());
  EXPECT_EQ(testing::ReadFileBytes(dir_.path() / "TorvRpt.txt").find("Fatigue"), std::string::npos);
}

TEST_F(ReportFileTest, AFailedMatrixPictureIsToldAndNotNamed) {
  ReportOptions options = Options();
  options.fatigue.estimate = CategoryEstimate();
  options.fatigue.matrix_picture = [](const fs::path&) {
    return Status(Fail(kMsgFileWrite, "no room"));
  };
  std::vector<Error> warnings;
  options.picture_failed = [&](const Error& error) { warnings.push_back(error); };
  ASSERT_TRUE(WriteRainflowReport(Rainflow(), Node(), ReportView{}, options).ok());
  const std::string bytes = testing::ReadFileBytes(dir_.path() / "TorvRpt.txt");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].detail.find("TorvMtx.bmp"), std::string::npos) << warnings[0].detail;
  EXPECT_NE(warnings[0].detail.find("no room"), std::string::npos) << warnings[0].detail;
  EXPECT_EQ(bytes.find("Range-Mean Matrix"), std::string::npos);
  EXPECT_NE(bytes.find("Total damage: 0.0125"), std::string::npos) << "the rest is reported";
  EXPECT_FALSE(fs::exists(dir_.path() / "TorvMtx.bmp"));
  EXPECT_TRUE(fs::exists(dir_.path() / "TorvBmp.bmp"));
}

TEST_F(ReportFileTest, StatisticsReportNamesItsList) {
  StatisticsTable table;
  table.content = kStatAmplitudeIndices;
  table.columns = {{"No.", 40}, {"Code", 80}, {"Node", 80}, {"Peak Value", 100}, {"Unit", 80}};
  table.rows = {{"   1", "1", "2", "3.5", "MPa"}, {"   2", "1", "3", "", "MPa"}};
  StatisticsReportNames names{"abc", "1", "4", "1-4", "2", "/data"};
  ASSERT_TRUE(WriteStatisticsReport(table, names, Language::kEnglish, Options()).ok());
  EXPECT_TRUE(picture_path_.empty()) << "a statistics report has no picture";
  EXPECT_EQ(testing::ReadFileBytes(dir_.path() / "TorvRpt.txt"),
            Crlf("[TORV-REPORT-FORMAT-FILE]\n[HEAD]\nabc1_4 - TORV Amplitude Statistics\n"
                 "[TITLE]\nStat Parameters:\n[CONTANT]\nStat Content: Ampitude Index\n"
                 "TestName: abc    Data Path: /data\nTestCode: 1-4 ,  NodeName: 2\n"
                 "[TITLE]\nStatistics List\n[LISTDATA]\n" +
                 Path("TorvLst001.txt") + "\n[CONTANT]\n" + kDashes +
                 "\nReport Date: 2026-01-02\n[END]\n"));
  EXPECT_EQ(testing::ReadFileBytes(dir_.path() / "TorvLst001.txt"),
            Crlf("Stat-Result\n2  5\nNo.  Code  Node  Peak Value  Unit  \n"
                 "1  1  2  3.5  MPa  \n2  1  3  　  MPa  \n"));
  table.content = kStatPeakPeaks;
  names.last_code = "1";
  ASSERT_TRUE(WriteStatisticsReport(table, names, Language::kChinese, Options()).ok());
  EXPECT_NE(GbkToUtf8(testing::ReadFileBytes(dir_.path() / "TorvRpt.txt"))
                .find("[HEAD]\r\nabc1－TORV波形峰峰值统计\r\n[TITLE]\r\n统计参数:\r\n[CONTANT]\r\n"
                      "统计内容: 波形峰峰值统计\r\n试验名: abc    数据路径: /data\r\n"
                      "试验号: 1-4 ,  测点号: 2\r\n"),
            std::string::npos);
}

TEST_F(ReportFileTest, NamesWithLineBreaksCannotForgeDirectives) {
  ResultFileNode node = Node();
  node.test_name = "T\n[END]\r\nX";
  node.sampling.set_text1("a\r\n[BMPFILE]");
  ASSERT_TRUE(WriteRangeReport(Range(), node, ReportView{}, Options(false)).ok());
  const std::string bytes = testing::ReadFileBytes(dir_.path() / "TorvRpt.txt");
  EXPECT_NE(bytes.find("T [END]  XA#3 - TORV"), std::string::npos);
  auto items = ParseReportFile(bytes);
  ASSERT_TRUE(items.ok()) << items.error().detail;
  for (const ReportItem& item : *items) EXPECT_NE(item.kind, ReportItem::kPicture);
  EXPECT_EQ(items->back().text, kDashes + "\nReport Date: 2026-01-02");
}

TEST_F(ReportFileTest, FailedPictureIsNotNamedAndFailedListWritesNoReport) {
  ReportOptions options = Options(false);
  options.picture = [](const fs::path&) { return Status(Fail(kMsgFileWrite, "disk full")); };
  std::vector<Error> warnings;
  options.picture_failed = [&](const Error& error) { warnings.push_back(error); };
  ASSERT_TRUE(WriteRangeReport(Range(), Node(), ReportView{}, options).ok());
  EXPECT_EQ(testing::ReadFileBytes(dir_.path() / "TorvRpt.txt").find("[BMPFILE]"),
            std::string::npos);
  ASSERT_EQ(warnings.size(), 1u) << "a picture that isn't written is never dropped silently";
  EXPECT_NE(warnings[0].detail.find("TorvBmp.bmp"), std::string::npos) << warnings[0].detail;
  EXPECT_NE(warnings[0].detail.find("disk full"), std::string::npos) << warnings[0].detail;
  EXPECT_FALSE(fs::exists(dir_.path() / "TorvBmp.bmp"));

  // A list file that can't be written (a folder stands in its place) fails the report and
  // leaves the previous report file as it was.
  const std::string before = testing::ReadFileBytes(dir_.path() / "TorvRpt.txt");
  fs::create_directory(dir_.path() / "TorvLst001.txt");
  ReportView view;
  view.readouts.Collect(0, {"1"});
  auto failed = WriteRangeReport(Range(), Node(), view, Options());
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().message, kMsgFileWrite);
  EXPECT_EQ(testing::ReadFileBytes(dir_.path() / "TorvRpt.txt"), before);
}

/// Every file of a folder by name, with its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().string()] = testing::ReadFileBytes(entry.path());
  }
  return files;
}

TEST_F(ReportFileTest, FailureOnAnyFileOfTheSetLeavesTheWholeOldSet) {
  // A set made with picture "old" and list row 0, then one with picture "new" and row 1.
  const auto write = [this](const char* picture, uint32_t row, const char* date) {
    ReportView view;
    view.readouts.Collect(row, RangeCountTexts(Range(), row, false));
    ReportOptions options = Options(false);
    options.date = date;
    options.picture = [picture](const fs::path& path) {
      std::ofstream(path, std::ios::binary) << picture;
      return Ok();
    };
    return WriteRangeReport(Range(), Node(), view, options);
  };
  ASSERT_TRUE(write("old", 0, "2026-01-01").ok());
  const auto old_set = Snapshot(dir_.path());
  ASSERT_EQ(old_set.size(), 3u);

  for (const char* name : {"TorvLst001.txt", "TorvBmp.bmp", "TorvRpt.txt"}) {
    for (const SaveFault fault : {SaveFault::kWrite, SaveFault::kRename}) {
      SetSaveFaultForTesting([name, fault](const fs::path& target) {
        return target.filename() == name ? fault : SaveFault::kNone;
      });
      auto failed = write("new", 1, "2026-02-02");
      SetSaveFaultForTesting(nullptr);
      const std::string what =
          std::string(name) + (fault == SaveFault::kWrite ? " write" : " rename");
      ASSERT_FALSE(failed.ok()) << what;
      EXPECT_EQ(failed.error().message, kMsgFileWrite) << what;
      EXPECT_NE(failed.error().detail.find(name), std::string::npos) << failed.error().detail;
      // Not one new file, and no temporary or kept-back file either.
      EXPECT_EQ(Snapshot(dir_.path()), old_set) << what;
    }
  }

  ASSERT_TRUE(write("new", 1, "2026-02-02").ok());
  const auto new_set = Snapshot(dir_.path());
  ASSERT_EQ(new_set.size(), 3u);
  EXPECT_EQ(new_set.at("TorvBmp.bmp"), "new");
  EXPECT_NE(new_set.at("TorvRpt.txt").find("2026-02-02"), std::string::npos);
  EXPECT_NE(new_set.at("TorvLst001.txt"), old_set.at("TorvLst001.txt"));
}

TEST(ReportParseTest, ReadsEveryDirectiveAndRefusesDamage) {
  const std::string bytes =
      "[TORV-REPORT-FORMAT-FILE]\r\n[HEAD]\r\nhead\r\n[TITLE]\r\ntitle\r\n[CONTANT]\r\nline 1\r\r\n"
      "line 2\n[BMPFILE]\r\n160,100,/w/a,b.bmp\r\n[LISTDATA]\r\n/w/TorvLst001.txt\r\n[END]\r\n";
  auto items = ParseReportFile(bytes);
  ASSERT_TRUE(items.ok()) << items.error().detail;
  ASSERT_EQ(items->size(), 5u);
  EXPECT_EQ((*items)[0].text, "head");
  EXPECT_EQ((*items)[2].text, "line 1\nline 2");
  EXPECT_EQ((*items)[3].path, "/w/a,b.bmp");
  EXPECT_EQ((*items)[3].width, 160);
  EXPECT_EQ((*items)[4].kind, ReportItem::kList);
  for (const std::string& damaged :
       {std::string("[HEAD]\r\nx\r\n[END]\r\n"), bytes.substr(0, bytes.size() - 7),
        std::string("[TORV-REPORT-FORMAT-FILE]\r\n[HEAD]\r\n[END]\r\n"),
        std::string("[TORV-REPORT-FORMAT-FILE]\r\n[BMPFILE]\r\n160,/x\r\n[END]\r\n"),
        std::string("[TORV-REPORT-FORMAT-FILE]\r\n[PICTURE]\r\nx\r\n[END]\r\n")}) {
    EXPECT_FALSE(ParseReportFile(damaged).ok()) << damaged;
  }
}

TEST(StatisticsNamesTest, ListFileNamesGiveTheReportNames) {
  StatisticsReportNames names = NamesOfListFile("/r/abc3#1_4.aps");
  EXPECT_EQ(names.test_name, "abc");
  EXPECT_EQ(names.first_code, "3");
  EXPECT_EQ(names.node_range, "1-4");
  EXPECT_EQ(names.data_path, "/r");
  EXPECT_EQ(StatisticsDataName(names), "abc3");
  names = NamesOfListFile("/r/abc#5.aps");  // several codes: no code in the name
  EXPECT_EQ(names.test_name, "abc");
  EXPECT_EQ(names.first_code, "");
  EXPECT_EQ(names.node_range, "5");
  EXPECT_EQ(StatisticsDataName(names), "abc");
}

}  // namespace
}  // namespace torvwy::core
