// The export file: its size rule, GBK lengths, version 2.0 of the statistics, and damaged files.
#include "core/report/export_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

int32_t Int32At(const std::string& bytes, size_t at) {
  uint32_t bits = 0;
  for (int k = 0; k < 4; ++k)
    bits |= uint32_t{static_cast<unsigned char>(bytes[at + k])} << (8 * k);
  return static_cast<int32_t>(bits);
}

double DoubleAt(const std::string& bytes, size_t at) {
  uint64_t bits = 0;
  for (int k = 0; k < 8; ++k)
    bits |= uint64_t{static_cast<unsigned char>(bytes[at + k])} << (8 * k);
  return std::bit_cast<double>(bits);
}

RangeCountResult TwoPartitions() {
  RangeCountResult result;
  result.partitions = 2;
  result.amplitude_range = 10.0;
  result.two_way_width = 10.0;
  result.one_way_width = 5.0;
  result.two_way_counts[0] = 6;
  result.two_way_counts[1] = 9;
  result.one_way_counts[1] = 4;
  return result;
}

const ReadoutNames kNames{"T01", "A", "3"};

TEST(ExportFileTest, RangeExportFollowsTheSizeRuleFieldByField) {
  auto bytes =
      EncodeExportFile(RangeExportTable(TwoPartitions(), kNames, false, Language::kEnglish));
  ASSERT_TRUE(bytes.ok());
  // 30 + 8 + 4 + 10 ("T01A#3Disp") + 4 + 4 + (12 + 13 + 13 + 9) + 2 x 4 x 8.
  ASSERT_EQ(bytes->size(), 171u);
  EXPECT_EQ(bytes->substr(0, 30), "[TORV-EXPORT-FORMAT-FILE]     ");
  EXPECT_EQ(DoubleAt(*bytes, 30), 1.0);
  EXPECT_EQ(Int32At(*bytes, 38), 10);
  EXPECT_EQ(bytes->substr(42, 10), "T01A#3Disp");
  EXPECT_EQ(Int32At(*bytes, 52), 4);
  EXPECT_EQ(Int32At(*bytes, 56), 2);
  EXPECT_EQ(Int32At(*bytes, 60), 8);
  EXPECT_EQ(bytes->substr(64, 8), "XL(Left)");
  EXPECT_EQ(Int32At(*bytes, bytes->size() - 64 - 9), 5);  // the last name, "Count"
  EXPECT_EQ(bytes->substr(bytes->size() - 64 - 5, 5), "Count");
  // Row 0 two-way: -10, -5, 0, 6; row 1: 0, 5, 10, 9.
  const double expected[] = {-10, -5, 0, 6, 0, 5, 10, 9};
  for (size_t k = 0; k < 8; ++k) EXPECT_EQ(DoubleAt(*bytes, 107 + 8 * k), expected[k]) << k;

  auto one_way = RangeExportTable(TwoPartitions(), kNames, true, Language::kEnglish);
  EXPECT_EQ(std::get<double>(one_way.rows[1][0]), 5.0);
  EXPECT_EQ(std::get<double>(one_way.rows[1][3]), 4.0);
}

TEST(ExportFileTest, ChineseNamesAreCountedInGbkBytes) {
  PeakCountResult peak;
  peak.partitions = 3;
  auto bytes =
      EncodeExportFile(PeakExportTable(peak, {"试验", "1", "2"}, false, Language::kChinese));
  ASSERT_TRUE(bytes.ok());
  // "试验1#2Cont" is 4 + 7 bytes in GBK; then K = 6 and the first name "左范围XL" of 8 bytes.
  EXPECT_EQ(Int32At(*bytes, 38), 11);
  EXPECT_EQ(bytes->substr(42, 11), Utf8ToGbk("试验1#2Cont"));
  EXPECT_EQ(Int32At(*bytes, 53), 6);
  EXPECT_EQ(Int32At(*bytes, 57), 3);
  EXPECT_EQ(Int32At(*bytes, 61), 8);
  EXPECT_EQ(bytes->substr(65, 8), Utf8ToGbk("左范围XL"));
  // Names 8 + 9 + 8 + 8 + 8 + 8 bytes, each after its length; then 3 x 6 doubles.
  EXPECT_EQ(bytes->size(), 30u + 8 + 4 + 11 + 8 + (6 * 4 + 49) + 3 * 6 * 8);
  auto back = ParseExportFile(*bytes);
  ASSERT_TRUE(back.ok()) << back.error().detail;
  EXPECT_EQ(back->name, "试验1#2Cont");
  EXPECT_EQ(back->columns[5], "全部计数");
}

StatisticsTable TwoRows() {
  StatisticsTable table;
  table.content = kStatAmplitudeIndices;
  table.columns = {{"No.", 40}, {"Code", 80}, {"Node", 80}, {"Peak", 100}, {"Unit", 80}};
  table.rows = {{"   1", "1", "2", " 3.5", "MPa"}, {"   2", "1", "测点", "", ""}};
  return table;
}

TEST(ExportFileTest, StatisticsExportIsVersionTwoWithTextCells) {
  StatisticsReportNames names{"abc", "1", "1", "1", "2", "/d"};
  auto table = StatisticsExportTable(TwoRows(), names);
  auto bytes = EncodeExportFile(table);
  ASSERT_TRUE(bytes.ok());
  std::string expected = "[TORV-EXPORT-FORMAT-FILE]     ";
  const auto put32 = [&](int32_t v) {
    for (int k = 0; k < 4; ++k)
      expected += static_cast<char>((static_cast<uint32_t>(v) >> (8 * k)) & 0xFF);
  };
  const auto put64 = [&](double v) {
    const auto bits = std::bit_cast<uint64_t>(v);
    for (int k = 0; k < 8; ++k) expected += static_cast<char>((bits >> (8 * k)) & 0xFF);
  };
  const auto text = [&](const std::string& gbk) {
    put32(static_cast<int32_t>(gbk.size()));
    expected += gbk;
  };
  put64(2.0);
  text("abc1Stat");
  put32(4);
  put32(2);
  for (const char* name : {"Code", "Node", "Peak", "Unit"}) text(name);
  for (int32_t kind : {1, 1, 0, 1}) put32(kind);
  text("1");
  text("2");
  put64(3.5);
  text("MPa");
  text("1");
  text(Utf8ToGbk("测点"));
  put64(std::numeric_limits<double>::quiet_NaN());
  text("");
  EXPECT_EQ(*bytes, expected);

  auto back = ParseExportFile(*bytes);
  ASSERT_TRUE(back.ok()) << back.error().detail;
  EXPECT_EQ(std::get<std::string>(back->rows[1][1]), "测点");
  EXPECT_TRUE(std::isnan(std::get<double>(back->rows[1][2])));

  // Content 1 keeps the rank (column 3) as text.
  StatisticsTable peaks = TwoRows();
  peaks.content = kStatPeakPeaks;
  auto pp = StatisticsExportTable(peaks, names);
  EXPECT_EQ(pp.name, "abc1PP");
  EXPECT_EQ(pp.kinds[2], ExportColumnKind::kText);
}

TEST(ExportFileTest, DamagedFilesAreRefusedWhereverTheyAreCut) {
  auto bytes = EncodeExportFile(StatisticsExportTable(TwoRows(), {"abc", "1", "1", "", "", ""}));
  ASSERT_TRUE(bytes.ok());
  for (size_t size = 0; size < bytes->size(); ++size) {
    EXPECT_FALSE(ParseExportFile(bytes->substr(0, size)).ok()) << size;
  }
  EXPECT_FALSE(ParseExportFile(*bytes + "x").ok());
  std::string version3 = *bytes;
  const auto three = std::bit_cast<uint64_t>(3.0);
  for (int k = 0; k < 8; ++k) version3[30 + k] = static_cast<char>((three >> (8 * k)) & 0xFF);
  EXPECT_FALSE(ParseExportFile(version3).ok());
  // A row count far beyond the file is refused before anything is allocated for it.
  std::string huge = *bytes;
  huge[57] = 0x7F;  // the high byte of R: 38 + 4 + 8 ("abc1Stat") + 4 (K) + 3
  EXPECT_FALSE(ParseExportFile(huge).ok());
}

TEST(ExportFileTest, RowsMustMatchTheirColumns) {
  ExportTable table;
  table.name = "t";
  table.columns = {"a", "b"};
  table.kinds = {ExportColumnKind::kNumber, ExportColumnKind::kText};
  table.rows = {{1.0, std::string("x")}};
  EXPECT_TRUE(EncodeExportFile(table).ok());
  table.rows = {{1.0}};
  EXPECT_FALSE(EncodeExportFile(table).ok());
  table.rows = {{std::string("x"), 1.0}};
  EXPECT_FALSE(EncodeExportFile(table).ok());
}

TEST(ExportFileTest, WriteExportAndCsv) {
  testing::TempDir dir;
  auto table = RangeExportTable(TwoPartitions(), kNames, false, Language::kChinese);
  table.name = "line\nbreak";
  auto path = WriteExport(table, dir.path());
  ASSERT_TRUE(path.ok());
  std::ifstream in(*path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  auto back = ParseExportFile(bytes.str());
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back->name, "line break");
  table.columns[0] = "a,\"b\"";
  EXPECT_EQ(
      ExportCsv(table),
      "\xEF\xBB\xBF\"a,\"\"b\"\"\",中心幅值X,右范围XR,变程计数\r\n-10,-5,0,6\r\n0,5,10,9\r\n");
}

TEST(ExportFileTest, CsvTextThatLooksLikeAFormulaStaysText) {
  ExportTable table;
  table.name = "t";
  table.columns = {"-unit", "value"};
  table.kinds = {ExportColumnKind::kText, ExportColumnKind::kNumber};
  const struct {
    std::string text;
    std::string field;
  } cases[] = {
      {"=HYPERLINK(\"http://x\",\"y\")", "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
      {"+1", "'+1"},
      {"-2", "'-2"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"MPa", "MPa"},
      {"a=b", "a=b"},  // only a leading sign starts a formula
      {"", ""},
      // A spreadsheet skips leading tabs and line ends before it looks for a formula.
      {"\t=1+1", "'\t=1+1"},
      {"\r+1", "\"'\r+1\""},
      {"\t\r\n@SUM(A1)", "\"'\t\r\n@SUM(A1)\""},
      {"\t-", "'\t-"},
      {"\tMPa", "\tMPa"},
      {"\r", "\"\r\""},
      {" =1", " =1"},
  };
  for (const auto& c : cases) table.rows.push_back({c.text, -1.5});
  std::string expected = "\xEF\xBB\xBF'-unit,value\r\n";
  for (const auto& c : cases) expected += c.field + ",-1.5\r\n";  // numbers stay numbers
  EXPECT_EQ(ExportCsv(table), expected);
}

}  // namespace
}  // namespace torvwy::core
