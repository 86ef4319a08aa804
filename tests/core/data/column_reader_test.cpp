// Column files: headers and comments, separators, NaN cells and the rate of a time column.
#include "core/data/column_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

using Rows = std::vector<std::pair<double, double>>;

class ColumnReader : public ::testing::Test {
 protected:
  std::filesystem::path Write(const std::string& text) {
    const auto path = dir_.path() / "c.csv";
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  Status Read(const std::string& text, const ColumnChoice& choice, Rows& rows) {
    rows.clear();
    return ReadColumnRows(Write(text), choice,
                          [&rows](double value, double time) { rows.emplace_back(value, time); });
  }
  testing::TempDir dir_;
};

TEST_F(ColumnReader, ReadsTheChosenColumnsOfEveryLayout) {
  const struct {
    const char* name;
    std::string text;
    ColumnChoice choice;
    Rows rows;
  } cases[] = {
      {"one bare column", "1\n2.5\n-3\n", {}, {{1, 0}, {2.5, 0}, {-3, 0}}},
      {"header, comments and blank lines are skipped",
       "# made by hand\ntime,value\n\n0,1\n% note\n0.5,2\n",
       {2, 1, {}},
       {{1, 0}, {2, 0.5}}},
      {"CR LF line ends", "t;v\r\n0;4\r\n1;5\r\n", {2, 1, {}}, {{4, 0}, {5, 1}}},
      {"blank-separated with runs of blanks",
       "  1   10\n  2   20\n",
       {2, 1, {}},
       {{10, 1}, {20, 2}}},
      {"a leading tab is an empty first field", "\t7\n\t8\n", {2, 0, {}}, {{7, 0}, {8, 0}}},
      {"fields keep their blanks out", "1 , 2\n3 ,4 \n", {2, 1, {}}, {{2, 1}, {4, 3}}},
  };
  for (const auto& c : cases) {
    Rows rows;
    const Status read = Read(c.text, c.choice, rows);
    ASSERT_TRUE(read.ok()) << c.name << ": " << read.error().detail;
    EXPECT_EQ(rows, c.rows) << c.name;
  }
}

TEST_F(ColumnReader, ANanCellFailsUnlessAValueReplacesIt) {
  const std::string text = "v\n1\nnan\n3\n";
  Rows rows;
  const Status refused = Read(text, {1, 0, std::nullopt}, rows);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message, kMsgBadValue);  // the importer adds its hint by this
  EXPECT_NE(refused.error().detail.find("line 3"), std::string::npos) << refused.error().detail;

  ASSERT_TRUE(Read(text, {1, 0, -99.0}, rows).ok());
  EXPECT_EQ(rows, (Rows{{1, 0}, {-99, 0}, {3, 0}}));
  // The replacement also counts for the largest magnitude the importer scales by.
  auto summary = SummarizeColumn(Write(text), {1, 0, -99.0});
  ASSERT_TRUE(summary.ok());
  EXPECT_EQ(summary->largest_magnitude, 99.0);
}

TEST_F(ColumnReader, ATextCellAfterTheFirstNumberRowFails) {
  Rows rows;
  const Status read = Read("1,2\n3,x\n5,6\n", {2, 0, {}}, rows);
  ASSERT_FALSE(read.ok());
  EXPECT_EQ(read.error().message, kMsgFileRead);
  EXPECT_NE(read.error().detail.find("line 2: column 2"), std::string::npos) << read.error().detail;
  const Status no_time = Read("1,2\n3,4\n5\n", {1, 2, {}}, rows);
  ASSERT_FALSE(no_time.ok());
  EXPECT_NE(no_time.error().detail.find("line 3: time column 2"), std::string::npos);
  EXPECT_FALSE(ReadColumnRows(dir_.path() / "missing.csv", {}, [](double, double) {}).ok());
}

TEST_F(ColumnReader, ATimeColumnGivesTheRate) {
  // Five rows over 0.5 s: four intervals of 0.125 s, 8 Hz.
  auto summary = SummarizeColumn(Write("t,v\n0,1\n0.125,-6\n0.25,2\n0.375,0\n0.5,1\n"), {2, 1, {}});
  ASSERT_TRUE(summary.ok());
  EXPECT_EQ(summary->rows, 5);
  EXPECT_EQ(summary->largest_magnitude, 6.0);
  auto rate = summary->FrequencyFromTime("x.csv");
  ASSERT_TRUE(rate.ok());
  EXPECT_DOUBLE_EQ(*rate, 8.0);

  auto single = SummarizeColumn(Write("0,1\n"), {2, 1, {}});
  ASSERT_TRUE(single.ok());
  EXPECT_FALSE(single->FrequencyFromTime("x.csv").ok());
  EXPECT_FALSE(SummarizeColumn(Write("only,a,header\n"), {}).ok());
}

TEST_F(ColumnReader, ATimeThatRunsBackwardsOrRepeatsFailsNamingItsLine) {
  // Line numbers count the byte-order mark's header line, comments and blank lines.
  const struct {
    std::string text;
    std::string line;  ///< the named line
  } cases[] = {
      {"1,1\n1,2\n", "line 2"},
      {"2,1\n1,2\n", "line 2"},
      {"\xEF\xBB\xBFt,v\n# start\n0,1\n\n0.5,2\n0.25,3\n1,4\n", "line 6"},
      {"0,1\n-0.5,2\n", "line 2"},
  };
  for (const auto& c : cases) {
    Rows rows;
    const Status read = Read(c.text, {2, 1, {}}, rows);
    ASSERT_FALSE(read.ok()) << c.text;
    EXPECT_EQ(read.error().message, kMsgFileRead);
    EXPECT_NE(read.error().detail.find(c.line + ":"), std::string::npos) << read.error().detail;
  }
  // Without a time column the first field is no time, and the BOM does not hide a header.
  Rows rows;
  ASSERT_TRUE(Read("\xEF\xBB\xBF"
                   "2\n1\n",
                   {1, 0, {}}, rows)
                  .ok());
  EXPECT_EQ(rows, (Rows{{2.0, 0.0}, {1.0, 0.0}}));
}

}  // namespace
}  // namespace torvwy::core
