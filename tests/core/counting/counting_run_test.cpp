// The counting run: a complete record from any analysis, one refusal of a record shorter than a
// block, and a cancelled pass that can be shown but never saved, reported or exported.
#include "core/counting/counting_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "core/counting/block_pass.h"
#include "core/fatigue/fatigue_list.h"
#include "core/report/counting_hand_over.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteNode;

constexpr CountingKind kKinds[] = {CountingKind::kPeak, CountingKind::kRange,
                                   CountingKind::kRainflow};

/// Two blocks of a triangle 0, 1, .., 4, 3, .., -4, .. with period 16: 128 peaks at 4 and 128
/// valleys at -4, none at the record's ends.
std::vector<double> Triangle(size_t samples) {
  std::vector<double> x(samples);
  for (size_t i = 0; i < x.size(); ++i) {
    const int phase = static_cast<int>(i % 16);
    x[i] = phase <= 4 ? phase : phase <= 12 ? 8 - phase : phase - 16;
  }
  return x;
}

CountingParameters SetValue(double a, int32_t n, int32_t first, int32_t last) {
  CountingParameters p;
  p.amplitude_mode = kAmplitudeSetValue;
  p.set_value = a;
  p.partitions = n;
  p.range_mode = kRangeByBlock;
  p.first_block = first;
  p.last_block = last;
  return p;
}

TEST(CountingRunTest, ReturnsACompleteRecordOfEachAnalysis) {
  TempDir dir;
  WriteNode(dir.path(), Triangle(4096), {.test_name = "tr", .test_code = "7", .node_name = "n2"});
  auto node = OpenCountingNode(dir.path(), "tr", "7", "n2");
  ASSERT_TRUE(node.ok()) << node.error().detail;
  EXPECT_EQ(node->data_file, dir.path() / "tr7#n2.sts");
  for (CountingKind kind : kKinds) {
    SilentProgress progress;
    auto file = RunCounting(kind, *node, SetValue(4.0, 4, 1, 2), progress, {{"env", "count"}, {}});
    ASSERT_TRUE(file.ok()) << file.error().detail;
    EXPECT_EQ(KindOf(*file), kind);
    const ResultFileNode& record = NodeOf(*file);
    EXPECT_EQ(record.test_name, "tr");
    EXPECT_EQ(record.test_code, "7");
    EXPECT_EQ(record.node_name, "n2");
    EXPECT_EQ(record.total_blocks, 4) << "the record's whole blocks, not the counted ones";
    EXPECT_EQ(record.sampling.length_half_blocks(), 8);
    EXPECT_EQ(progress.status(), "count") << "the caller's caption";
    EXPECT_FALSE(PassCancelled(*file));
  }
  // Blocks 1..2 of the triangle: 128 peaks at 4 in the top partition of [-4, 4] and 128 valleys
  // at -4 in the bottom one (N = 4, W2 = 2).
  SilentProgress progress;
  auto peak = RunCounting(CountingKind::kPeak, *node, SetValue(4.0, 4, 1, 2), progress);
  ASSERT_TRUE(peak.ok());
  const PeakCountResult& counts = std::get<PeakResultFile>(*peak).result;
  EXPECT_EQ(counts.two_way_peak_counts[3], 128);
  EXPECT_EQ(counts.two_way_valley_counts[0], 128);
  EXPECT_EQ(
      counts.two_way_peak_counts[0] + counts.two_way_peak_counts[1] + counts.two_way_peak_counts[2],
      0);
}

TEST(CountingRunTest, EveryAnalysisRefusesARecordShorterThanABlock) {
  TempDir dir;
  WriteNode(dir.path(), std::vector<double>(512, 1.0), {.node_name = "h"});
  auto node = OpenCountingNode(dir.path(), "abc", "12", "h");
  ASSERT_TRUE(node.ok());
  CountingParameters whole;
  whole.amplitude_mode = kAmplitudeFullScale;
  ResetRangeOnNodeLoad(whole, node->info);
  SettleRange(whole);
  for (CountingKind kind : kKinds) {
    for (const CountingParameters& p : {whole, SetValue(1.0, 25, 1, 0)}) {
      SilentProgress progress;
      auto file = RunCounting(kind, *node, p, progress);
      ASSERT_FALSE(file.ok()) << static_cast<int>(kind);
      EXPECT_EQ(file.error().message, kMsgBadValue);
      EXPECT_NE(file.error().detail.find("fewer than one block"), std::string::npos)
          << file.error().detail;
    }
  }
}

TEST(CountingRunTest, ACancelledPassIsShownButNeverSavedReportedOrExported) {
  TempDir dir;
  WriteNode(dir.path(), Triangle(8192), {.node_name = "c"});
  auto node = OpenCountingNode(dir.path(), "abc", "12", "c");
  ASSERT_TRUE(node.ok());
  const fs::path out = dir.path() / "out";
  fs::create_directory(out);
  for (CountingKind kind : kKinds) {
    SilentProgress progress(1);  // cancels after the first block
    auto file = RunCounting(kind, *node, SetValue(4.0, 4, 1, 8), progress);
    ASSERT_TRUE(file.ok());
    ASSERT_TRUE(PassCancelled(*file));
    if (kind == CountingKind::kPeak) {
      // The counts of the first block stay: 64 peaks.
      EXPECT_EQ(std::get<PeakResultFile>(*file).result.two_way_peak_counts[3], 64);
    }
    // A previous good file survives the refused save.
    const fs::path target = out / ("old" + std::string(ResultFileExtension(kind)));
    std::ofstream(target) << "previous";
    auto saved = SaveResultFile(target, *file);
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.error().message, kMsgCalculationCancelled);
    EXPECT_EQ(testing::ReadFileBytes(target), "previous");

    ReportOptions report;
    report.folder = out;
    EXPECT_EQ(WriteCountingReport(*file, {}, report).error().message, kMsgCalculationCancelled);
    EXPECT_EQ(WriteCountingExport(*file, false, Language::kEnglish, out).error().message,
              kMsgCalculationCancelled);
    CountingReadouts readouts = CollectReadouts(*file, {0, 1}, false, true);
    EXPECT_EQ(WriteCountingListExport(*file, readouts, "list.xlsx", Language::kEnglish, out)
                  .error()
                  .message,
              kMsgCalculationCancelled);
    if (kind == CountingKind::kRainflow) {
      auto estimate =
          RunFatigueEstimate(FatigueMethod::kActual, std::get<RainflowResultFile>(*file).result, 0,
                             3, {}, Language::kEnglish);
      EXPECT_EQ(estimate.error().message, kMsgCalculationCancelled);
    }
  }
  // Nothing but the old files was written.
  EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 3);
}

}  // namespace
}  // namespace torvwy::core
