// Statistics result files: names, bytes, reading both layouts back, and the list text.
#include "core/files/statistics_result_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/progress.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

using testing::NodeLayout;
using testing::TempDir;
using testing::WriteNode;

TEST(StatisticsResultFile, NameRule) {
  const struct {
    std::vector<std::string> codes, nodes;
    const char* name;
  } cases[] = {
      {{"3"}, {"1", "2", "3", "4"}, "abc3#1_4.aps"},
      {{"1", "2"}, {"5"}, "abc#5.aps"},
      {{"A1"}, {"7"}, "abcA1#7.aps"},
      {{"1", "2"}, {"B2", "C9", "A1"}, "abc#B2_A1.aps"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StatisticsResultFilePath("R", "abc", c.codes, c.nodes),
              std::filesystem::path("R") / c.name);
  }
}

/// A content-1 table as a run leaves it: the waveform named on its first row only.
StatisticsTable PeakPeakTable() {
  StatisticsTable table;
  table.content = kStatPeakPeaks;
  table.columns = StatisticsColumns(kStatPeakPeaks, Language::kEnglish);
  table.rows = {{"   1", "12", "5", "1", "6", "3", "0.1", "-3", "0.2", "MPa"},
                {"   2", "", "", "2", "4", "2", "0.3", "-2", "0.4", "MPa"}};
  return table;
}

TEST(StatisticsResultFile, WritesOneTokenPerCell) {
  const std::string want =
      "-1   9   2\n"
      "Test_Code  Node  Rank  Peak-Peak  Peak  Peak_Time(s)  Valley  Valley_Time(s)  Unit  \n"
      "12  5  1  6  3  0.1  -3  0.2  MPa  \n"
      "\xA1\xA1  \xA1\xA1  2  4  2  0.3  -2  0.4  MPa  \n";
  EXPECT_EQ(StatisticsResultFileText(PeakPeakTable()), want);

  // Blanks inside a text become '_', CR and LF vanish, Chinese goes out as GBK.
  StatisticsTable odd;
  odd.content = kStatAmplitudeIndices;
  odd.columns = {{"No.", 40}, {"a b", 80}, {"\xE5\x8D\x95\xE4\xBD\x8D", 80}};  // 单位
  odd.rows = {{"1", "x\r\ny", "N m"}};
  EXPECT_EQ(StatisticsResultFileText(odd), "0   2   1\na_b  \xB5\xA5\xCE\xBB  \nxy  N_m  \n");
}

TEST(StatisticsResultFile, SmallBatchSavedByteForByte) {
  TempDir dir;
  NodeLayout layout;
  layout.test_code = "3";
  layout.node_name = "1";
  WriteNode(dir.path(), std::vector<double>(512, -2.0), layout);
  StatisticsParameters parameters;
  parameters.data_path = dir.path().string();
  parameters.test_name = "abc";
  parameters.code_range = "3";
  parameters.node_range = "1-2";
  SilentProgress progress;
  auto batch = RunStatistics(parameters, {}, progress);
  ASSERT_TRUE(batch.ok()) << batch.error().detail;
  const auto path =
      StatisticsResultFilePath(dir.path().string(), "abc", batch->codes, batch->nodes);
  EXPECT_EQ(path.filename(), "abc3#1_2.aps");
  ASSERT_TRUE(WriteStatisticsResultFile(path, batch->table).ok());
  // Constant -2: peak 2, max = min = mean = -2, no spread, mean square 4, RMS 2.
  EXPECT_EQ(testing::ReadFileBytes(path),
            "0   13   1\n"
            "Test_Code  Node  Peak_Value  Maximum  Minimum  Mean  Variance  Std_Deviation  "
            "Mean_Square  RMS  Maximum-Mean  Minimum-Mean  Unit  \n"
            "3  1  2  -2  -2  -2  0  0  4  2  0  0  MPa  \n");
}

TEST(StatisticsResultFile, ReadsBackWhatItWrote) {
  TempDir dir;
  for (const Language language : {Language::kEnglish, Language::kChinese}) {
    StatisticsTable table = PeakPeakTable();
    table.columns = StatisticsColumns(kStatPeakPeaks, language);
    const auto path = dir.path() / "abc12#5.aps";
    ASSERT_TRUE(WriteStatisticsResultFile(path, table).ok());
    auto read = ReadStatisticsResultFile(path, 0, language);
    ASSERT_TRUE(read.ok()) << read.error().detail;
    EXPECT_EQ(read->content, kStatPeakPeaks);
    ASSERT_EQ(read->columns.size(), 10u);
    EXPECT_EQ(read->columns[0].title, "No.");
    for (size_t c = 1; c < 10; ++c) {
      std::string title = table.columns[c].title;
      for (char& ch : title) ch = ch == ' ' ? '_' : ch;
      EXPECT_EQ(read->columns[c].title, title);
      EXPECT_EQ(read->columns[c].width_px, 90);
    }
    ASSERT_EQ(read->rows.size(), 2u);
    for (size_t r = 0; r < 2; ++r) {
      std::vector<std::string> want = table.rows[r];
      want[0] = std::to_string(r + 1);  // loaded rows are numbered without padding
      EXPECT_EQ(read->rows[r], want);
    }
  }
}

TEST(StatisticsResultFile, ReadsTheOlderLayout) {
  TempDir dir;
  const auto path = dir.path() / "old.aps";
  std::ofstream(path, std::ios::binary)
      << "2\n12 5 3 -4 9 9 0.5 1.25 1.1 1.2 1.44 MPa\nA1 6 -7.5 -8 9 9 -7.75 0.0625 0.25 7.7 "
         "59.3 kN\n";
  auto read = ReadStatisticsResultFile(path, -2, Language::kEnglish);
  ASSERT_TRUE(read.ok()) << read.error().detail;
  EXPECT_EQ(read->content, kStatAmplitudeIndices);
  ASSERT_EQ(read->columns.size(), 12u);
  EXPECT_EQ(read->columns[9].title, "Mean Square");
  EXPECT_EQ(read->columns[10].title, "RMS");
  EXPECT_EQ(read->columns[11].title, "Unit");
  ASSERT_EQ(read->rows.size(), 2u);
  EXPECT_EQ(read->rows[0], (std::vector<std::string>{"1", "12", "5", FormatNumber(4, -2),
                                                     FormatNumber(3, -2), FormatNumber(-4, -2),
                                                     "0.5", "1.25", "1.1", "1.44", "1.2", "MPa"}));
  EXPECT_EQ(read->rows[1][3], FormatNumber(8, -2));
  EXPECT_EQ(read->rows[1][0], "2");
}

/// The head of a current file of amplitude indices as a run writes it, one row to follow.
const std::string kThirteen =
    "0   13   1\n"
    "Test_Code  Node  Peak_Value  Maximum  Minimum  Mean  Variance  Std_Deviation  "
    "Mean_Square  RMS  Maximum-Mean  Minimum-Mean  Unit  \n";

TEST(StatisticsResultFile, RefusesDamagedFiles) {
  TempDir dir;
  const struct {
    std::string text;
    int message;
  } cases[] = {
      {"", kMsgResultFileDamaged},
      {"0   2   1\nA  B  \nx  \n", kMsgResultFileDamaged},                 // the row ends early
      {"0   2\n", kMsgResultFileDamaged},                                  // no row count
      {"-3   1   0\nA  \n", kMsgResultFileDamaged},                        // no such content
      {"0   0   0\n", kMsgResultFileDamaged},                              // no data column
      {"0   1   -1\nA  \n", kMsgResultFileDamaged},                        // negative rows
      {"1\n12 5 3 -4 9 9 0.5 1.25 1.1 1.2 MPa\n", kMsgResultFileDamaged},  // 11 tokens
      {"1\n12 5 x -4 9 9 0.5 1.25 1.1 1.2 1.44 MPa\n", kMsgResultFileDamaged},
      // Cut inside the last unit, or the last title of a table without rows.
      {"1\n12 5 3 -4 9 9 0.5 1.25 1.1 1.2 1.44 MP", kMsgResultFileDamaged},
      {"0   2   1\nA  B  \nx  y", kMsgResultFileDamaged},
      {"0   2   0\nA  B", kMsgResultFileDamaged},
      // A negative variance or standard deviation, in either layout.
      {"1\n12 5 3 -4 9 9 0.5 -1.25 1.1 1.2 1.44 MPa\n", kMsgResultFileDamaged},
      {"1\n12 5 3 -4 9 9 0.5 1.25 -1.1 1.2 1.44 MPa\n", kMsgResultFileDamaged},
      {"1\n12 5 3 -4 9 9 0.5 nan 1.1 1.2 1.44 MPa\n", kMsgResultFileDamaged},
      {kThirteen + "3  1  2  -2  -2  -2  -0.5  0  4  2  0  0  MPa  \n", kMsgResultFileDamaged},
      {kThirteen + "3  1  2  -2  -2  -2  0  -1e-9  4  2  0  0  MPa  \n", kMsgResultFileDamaged},
  };
  for (const auto& c : cases) {
    const auto path = dir.path() / "bad.aps";
    std::ofstream(path, std::ios::binary) << c.text;
    auto read = ReadStatisticsResultFile(path, 0, Language::kEnglish);
    ASSERT_FALSE(read.ok()) << c.text;
    EXPECT_EQ(read.error().message, c.message) << c.text;
  }
  auto missing = ReadStatisticsResultFile(dir.path() / "none.aps", 0, Language::kEnglish);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().message, kMsgResultFileOpen);
  auto unwritable = WriteStatisticsResultFile(dir.path() / "no" / "such.aps", PeakPeakTable());
  ASSERT_FALSE(unwritable.ok());
  EXPECT_EQ(unwritable.error().message, kMsgResultFileCreate);
}

TEST(StatisticsResultFile, ReadsSpreadsOfZeroAndTablesThatAreNotIndices) {
  TempDir dir;
  // A spread of 0 (also -0) is a constant waveform; the same columns of a peak-to-peak table
  // hold times and values of either sign; a file ending in any blank is whole.
  const std::string texts[] = {
      kThirteen + "3  1  2  -2  -2  -2  0  -0  4  2  0  0  MPa  \n",
      "-1   9   1\nTest_Code  Node  Rank  Peak-Peak  Peak  Peak_Time(s)  Valley  Valley_Time(s)  "
      "Unit  \n12  5  1  6  3  0.1  -3  -0.2  MPa  \n",
      "1\n12 5 3 -4 9 9 0.5 0 0 1.2 1.44 MPa\t",
  };
  for (const std::string& text : texts) {
    const auto path = dir.path() / "good.aps";
    std::ofstream(path, std::ios::binary) << text;
    auto read = ReadStatisticsResultFile(path, 0, Language::kEnglish);
    EXPECT_TRUE(read.ok()) << text << ": " << read.error().detail;
  }
}

TEST(StatisticsResultFile, RefusesRowsThatContradictThemselves) {
  // A row that holds a value twice must agree with itself to within the digits it shows: half
  // a unit of each cell's last digit.
  TempDir dir;
  const std::string peak_peaks =
      "-1   9   1\nTest_Code  Node  Rank  Peak-Peak  Peak  Peak_Time(s)  Valley  Valley_Time(s)  "
      "Unit  \n";
  // A constant -2 as the program writes it with one decimal, then one or two cells changed
  // (by their column: 3 peak value, 7 variance, 8 deviation, 9 mean square, 11 and 12).
  auto row = [&](std::vector<std::pair<size_t, const char*>> changed) {
    std::vector<std::string> cells = {"3",   "1",   "2.0", "-2.0", "-2.0", "-2.0", "0.0",
                                      "0.0", "4.0", "2.0", "0.0",  "0.0",  "MPa"};
    for (const auto& [column, text] : changed) cells[column - 1] = text;
    std::string text = kThirteen;
    for (const std::string& c : cells) text += c + "  ";
    return text + "\n";
  };
  const std::pair<const char*, std::string> refused[] = {
      {"peak value 2.5 of extremes -2.0, -2.0", row({{3, "2.5"}})},
      {"deviation 3.0 of variance 4.1", row({{7, "4.1"}, {8, "3.0"}})},
      {"mean square 4.5 of RMS 2.0", row({{9, "4.5"}})},
      {"maximum - mean 0.5 of -2.0 - -2.0", row({{11, "0.5"}})},
      {"minimum - mean -0.5 of -2.0 - -2.0", row({{12, "-0.5"}})},
      {"peak-peak 9 of peak 3 less valley -3", peak_peaks + "12  5  1  9  3  0.1  -3  0.2  N  \n"},
      {"older: deviation 2 of variance 1.25", "1\n12 5 3 -4 9 9 0.5 1.25 2 1.2 1.44 MPa\n"},
      {"older: mean square 2.0 of RMS 1.2", "1\n12 5 3 -4 9 9 0.5 1.25 1.1 1.2 2.0 MPa\n"},
  };

  for (const auto& [what, text] : refused) {
    const auto path = dir.path() / "bad.aps";
    std::ofstream(path, std::ios::binary) << text;
    auto read = ReadStatisticsResultFile(path, 0, Language::kEnglish);
    ASSERT_FALSE(read.ok()) << what;
    EXPECT_EQ(read.error().message, kMsgResultFileDamaged) << what;
  }
  // Rounded as shown: 0.707107^2 = 0.5000003 against 0.5 (6 digits); RMS 0.07 of 0.0749 with
  // mean square 0.01 of 0.0056 (2 decimals); 1.5e+06 - -1.5e+06 against 3e+06.
  const std::pair<const char*, std::string> readable[] = {
      {"one decimal, as written", row({})},
      {"six digits", kThirteen + "1  1  1.41421  1.41421  -1.41421  0  0.5  0.707107  0.5  "
                                 "0.707107  1.41421  -1.41421  V  \n"},
      {"two decimals", kThirteen + "1  1  0.10  0.10  -0.10  0.00  0.01  0.07  0.01  0.07  0.10  "
                                   "-0.10  V  \n"},
      {"exponents", peak_peaks + "12  5  1  3e+06  1.5e+06  0.1  -1.5e+06  0.2  N  \n"},
  };
  for (const auto& [what, text] : readable) {
    const auto path = dir.path() / "good.aps";
    std::ofstream(path, std::ios::binary) << text;
    auto read = ReadStatisticsResultFile(path, 0, Language::kEnglish);
    EXPECT_TRUE(read.ok()) << what << ": " << read.error().detail;
  }
}

TEST(StatisticsResultFile, ListText) {
  StatisticsTable table = PeakPeakTable();
  table.columns.resize(3);
  for (auto& row : table.rows) row.resize(3);
  EXPECT_EQ(StatisticsListText(table),
            "Stat-Result\n2  3\nNo.  Test Code  Node  \n1  12  5  \n2  \xE3\x80\x80  "
            "\xE3\x80\x80  \n");
}

}  // namespace
}  // namespace torvwy::core
