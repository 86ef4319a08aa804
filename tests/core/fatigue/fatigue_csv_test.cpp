// The CSV files of the cycles and the summary rows of the list data file.
#include "core/fatigue/fatigue_csv.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/fatigue/fatigue_list_summary.h"
#include "core/report/list_export.h"
#include "core/services/atomic_file.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

TEST(FatigueCsv, TheMatrixHasAColumnPerMeanBinAndARowPerRangeBin) {
  RangeMeanMatrix matrix;
  matrix.range_bins = 2;
  matrix.mean_bins = 3;
  matrix.range_width = 2.5;
  matrix.mean_low = -1.5;
  matrix.mean_width = 0.5;
  matrix.counts = {1, 0, 0.5, 0, 2, 0.1};
  EXPECT_EQ(RangeMeanMatrixCsv(matrix),
            "range_from,range_to,-1.5..-1,-1..-0.5,-0.5..0\n"
            "0,2.5,1,0,0.5\n"
            "2.5,5,0,2,0.1\n");
}

TEST(FatigueCsv, TheResidueRowHasNoRangeOrMean) {
  std::vector<DamageStep> steps(2);
  steps[0] = {.sample = 11,
              .seconds = 0.0107421875,
              .range = 12,
              .mean = -3,
              .count = 1,
              .damage = 1.25e-9,
              .cumulative = 1.25e-9,
              .residue = false};
  steps[1] = {.sample = 4095,
              .seconds = 3.9990234375,
              .range = 0,
              .mean = 0,
              .count = 2.5,
              .damage = 3e-10,
              .cumulative = 1.55e-9,
              .residue = true};
  EXPECT_EQ(DamageHistoryCsv(steps),
            "seconds,sample,range,mean,count,damage,cumulative,kind\n"
            "0.0107421875,11,12,-3,1,1.25e-09,1.25e-09,cycle\n"
            "3.9990234375,4095,,,2.5,3e-10,1.55e-09,residue\n");
}

TEST(FatigueCsv, AFailedWriteLeavesNoFile) {
  testing::TempDir dir;
  const auto target = dir.path() / "m.csv";
  SetSaveFaultForTesting([](const std::filesystem::path&) { return SaveFault::kWrite; });
  const Status saved = SaveRangeMeanMatrixCsv(target, RangeMeanMatrix{});
  SetSaveFaultForTesting({});
  EXPECT_FALSE(saved);
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            0)
      << "no temporary file is left";
}

/// Two partitions of width 10 on a detail category: the first below its cut-off.
FatigueResult SmallEstimate() {
  FatigueResult fatigue;
  fatigue.partitions = 2;
  fatigue.partition_width = 10.0;
  fatigue.counts = {3, 1};
  fatigue.total_cycles = 4;
  fatigue.probability = {0.75, 0.25};
  fatigue.life = {std::numeric_limits<double>::infinity(), 2e6};
  fatigue.damage = {0, 5e-7};
  fatigue.total_damage = 5e-7;
  fatigue.curve = *DetailCategoryCurve(71);
  return fatigue;
}

TEST(FatigueListSummary, RowsAfterTheTableAreCountedAndReadAsCells) {
  const std::vector<EquivalentLoad> loads = {{3, 200, 75.5}, {5, 200, 72}};
  FatigueResult fatigue = SmallEstimate();
  fatigue.correction = {MeanCorrectionKind::kWalker, 0.0, 0.6};
  fatigue.curve.name = "my  curve\tname";
  ASSERT_TRUE(NeedsFatigueListSummary(fatigue, loads));
  FatigueListSummary summary;
  summary.curve = true;
  summary.loads = loads;
  summary.unit = "MPa";
  auto text = FormatFatigueListWithSummary(fatigue, {"t", "1", "n"}, Language::kEnglish, summary);
  ASSERT_TRUE(text) << text.error().detail;
  // The table's own lines are those of FormatFatigueList but for the count.
  auto table = FormatFatigueList(fatigue, {"t", "1", "n"}, Language::kEnglish);
  ASSERT_TRUE(table);
  const std::string count_line = "\r\n2  6\r\n";
  ASSERT_NE(table->find(count_line), std::string::npos);
  std::string expected_head = *table;
  expected_head.replace(expected_head.find(count_line), count_line.size(), "\r\n7  6\r\n");
  EXPECT_EQ(text->substr(0, expected_head.size()), expected_head);

  auto parsed = ParseListTable(*text);
  ASSERT_TRUE(parsed) << parsed.error().detail;
  using Row = std::vector<std::string>;
  ASSERT_EQ(parsed->rows.size(), 7u);
  EXPECT_EQ(parsed->rows[1][4], "2.0000e+06");
  EXPECT_EQ(parsed->rows[0][4], "inf");
  EXPECT_EQ(parsed->rows[2], (Row{"S-N", "my curve name", "N/mm^2", "", "", ""}));
  EXPECT_EQ(parsed->rows[3], (Row{"Sm", "walker", "Su", "", "gamma", "0.6"}));
  EXPECT_EQ(parsed->rows[4], (Row{"DEL", "m", "N_eq", "load", "MPa", ""}));
  EXPECT_EQ(parsed->rows[5], (Row{"DEL", "3", "200", "75.5", "MPa", ""}));
  EXPECT_EQ(parsed->rows[6], (Row{"DEL", "5", "200", "72", "MPa", ""}));
}

TEST(FatigueListSummary, AWeldClassAloneNeedsNone) {
  FatigueResult fatigue = SmallEstimate();
  fatigue.curve = *WeldClassCurve(5, 3);
  EXPECT_FALSE(NeedsFatigueListSummary(fatigue, {}));
  const std::vector<EquivalentLoad> loads = {{3, 1, 1}};
  EXPECT_TRUE(NeedsFatigueListSummary(fatigue, loads));
  fatigue.correction.kind = MeanCorrectionKind::kSwt;
  EXPECT_TRUE(NeedsFatigueListSummary(fatigue, {}));
}

}  // namespace
}  // namespace torvwy::core
