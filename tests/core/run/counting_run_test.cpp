// The counting run: a complete record from any analysis, one refusal of a record shorter than a
// block, and a cancelled pass that can be shown but never saved, reported or exported.
#include "core/run/counting_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <numeric>
#include <type_traits>

#include "core/data/block_span.h"
#include "core/fatigue/fatigue_list.h"
#include "core/report/counting_hand_over.h"
#include "core/services/message_table.h"
#include "core/services/progress.h"
#include "support/count_record.h"
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
    auto file =
        testing::CountNode(kind, *node, SetValue(4.0, 4, 1, 2), progress, {{"env", "count"}, {}});
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
  auto peak = testing::CountNode(CountingKind::kPeak, *node, SetValue(4.0, 4, 1, 2), progress);
  ASSERT_TRUE(peak.ok());
  const PeakCountResult& counts = std::get<PeakResultFile>(*peak).result;
  EXPECT_EQ(counts.two_way_peak_counts[3], 128);
  EXPECT_EQ(counts.two_way_valley_counts[0], 128);
  EXPECT_EQ(
      counts.two_way_peak_counts[0] + counts.two_way_peak_counts[1] + counts.two_way_peak_counts[2],
      0);
}

TEST(CountingRunTest, TheAutomaticAmplitudeOfAConstantRecordIsRefusedInOneLine) {
  TempDir dir;
  WriteNode(dir.path(), std::vector<double>(2048, 2.5), {.node_name = "flat"});
  WriteNode(dir.path(), std::vector<double>(2048, 0.0), {.node_name = "zero"});
  std::vector<double> below = Triangle(2048);
  for (double& x : below) x -= 5.0;  // -9 .. -1
  WriteNode(dir.path(), below, {.node_name = "below"});
  CountingParameters automatic;
  automatic.amplitude_mode = kAmplitudeAutomatic;
  automatic.partitions = 8;
  automatic.last_block = 2;
  struct Case {
    CountingKind kind;
    const char* node;
    const char* detail;  ///< after the waveform's path
  };
  for (const Case& c : {
           Case{CountingKind::kRange, "flat",
                ": the record is constant at 2.5 EU: the automatic amplitude range is 0; give "
                "the full scale or a value"},
           Case{CountingKind::kRainflow, "flat", ": the record is constant at 2.5 EU"},
           Case{CountingKind::kPeak, "zero", ": the record is constant at 0 EU"},
           Case{CountingKind::kPeak, "below",
                ": the largest peak -1 EU is not above 0: the automatic amplitude range is -1; "
                "give the full scale or a value"},
       }) {
    auto node = OpenCountingNode(dir.path(), "abc", "12", c.node);
    ASSERT_TRUE(node.ok());
    SilentProgress progress;
    auto file = testing::CountNode(c.kind, *node, automatic, progress);
    ASSERT_FALSE(file.ok()) << c.detail;
    EXPECT_EQ(file.error().message, kMsgBadValue);
    EXPECT_EQ(file.error().detail.find('\n'), std::string::npos);
    const std::string want =
        (dir.path() / ("abc12#" + std::string(c.node) + ".sts")).string() + c.detail;
    EXPECT_EQ(file.error().detail.substr(0, want.size()), want);
  }
  // A peak counting of a constant record above 0 has a range, in which nothing is counted.
  auto flat = OpenCountingNode(dir.path(), "abc", "12", "flat");
  SilentProgress progress;
  auto peak = testing::CountNode(CountingKind::kPeak, *flat, automatic, progress);
  ASSERT_TRUE(peak.ok()) << peak.error().detail;
  EXPECT_EQ(std::get<PeakResultFile>(peak.value()).result.amplitude_range, 2.5);
}

TEST(CountingRunTest, TheFullScaleOfANegativeSensitivityKeepsItsSize) {
  // c1 = -1 turns the triangle over (EU = -raw): the full scale, and so A, stay as for c1 = 1,
  // and the mirrored triangle has as many peaks, valleys and cycles.
  // int16 values of +-400 give ranges of 800, above the smallest counted range (a thousandth
  // of the full scale), which is a size for c1 = -1 as well.
  TempDir dir;
  std::vector<double> raw = Triangle(4096);
  for (double& x : raw) x *= 100.0;
  WriteNode(dir.path(), raw, {.node_name = "up", .format = 951, .c1 = 1.0});
  WriteNode(dir.path(), raw, {.node_name = "down", .format = 951, .c1 = -1.0});
  CountingParameters full;
  full.amplitude_mode = kAmplitudeFullScale;
  full.partitions = 8;
  full.last_block = 4;
  for (CountingKind kind : kKinds) {
    SilentProgress progress;
    auto up = testing::CountNode(kind, OpenCountingNode(dir.path(), "abc", "12", "up").value(),
                                 full, progress);
    auto down = testing::CountNode(kind, OpenCountingNode(dir.path(), "abc", "12", "down").value(),
                                   full, progress);
    ASSERT_TRUE(up.ok() && down.ok()) << static_cast<int>(kind);
    std::visit(
        [&](const auto& u) {
          const auto& d = std::get<std::decay_t<decltype(u)>>(*down);
          EXPECT_GT(u.result.amplitude_range, 0.0);
          EXPECT_EQ(d.result.amplitude_range, u.result.amplitude_range);
          if constexpr (requires { u.result.two_way_total_counts; }) {
            const auto total = [](const std::vector<int32_t>& v) {
              return std::accumulate(v.begin(), v.end(), int64_t{0});
            };
            EXPECT_EQ(total(d.result.two_way_total_counts), total(u.result.two_way_total_counts));
            EXPECT_GT(total(u.result.two_way_total_counts), 0);
          } else if constexpr (requires { u.result.counts; }) {
            EXPECT_EQ(d.result.counts, u.result.counts);
            EXPECT_GT(std::accumulate(u.result.counts.begin(), u.result.counts.end(), 0.0), 0.0);
          }
        },
        *up);
  }
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
      auto file = testing::CountNode(kind, *node, p, progress);
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
    auto file = testing::CountNode(kind, *node, SetValue(4.0, 4, 1, 8), progress);
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

// The envelope pass of automatic A polls Cancel once every 1 Mi samples read; a cancel there ends
// the run before any count, for every analysis. A shorter record is read whole without a poll.
TEST(CountingRunTest, ACancelWhileTheEnvelopeIsReadCountsNothing) {
  TempDir dir;
  constexpr size_t kPoll = size_t{1} << 20;
  WriteNode(dir.path(), Triangle(kPoll + 2048), {.node_name = "long", .format = 951});
  WriteNode(dir.path(), Triangle(kPoll), {.node_name = "short", .format = 951});
  auto long_node = OpenCountingNode(dir.path(), "abc", "12", "long");
  auto short_node = OpenCountingNode(dir.path(), "abc", "12", "short");
  ASSERT_TRUE(long_node.ok() && short_node.ok());
  CountingParameters automatic = SetValue(0.0, 4, 1, 8);
  automatic.amplitude_mode = kAmplitudeAutomatic;
  for (CountingKind kind : kKinds) {
    SCOPED_TRACE(static_cast<int>(kind));
    SilentProgress cancel(1);
    auto cancelled = testing::CountNode(kind, *long_node, automatic, cancel);
    ASSERT_FALSE(cancelled.ok());
    EXPECT_EQ(cancelled.error().message, kMsgCalculationCancelled);
    EXPECT_TRUE(cancelled.error().detail.starts_with(kCancelledPassDetail))
        << cancelled.error().detail;
    EXPECT_EQ(cancel.polls(), 1);

    // The same first poll falls after the first block of the shorter record.
    SilentProgress after_a_block(1);
    auto partial = testing::CountNode(kind, *short_node, automatic, after_a_block);
    ASSERT_TRUE(partial.ok()) << partial.error().detail;
    EXPECT_TRUE(PassCancelled(*partial));
    EXPECT_EQ(after_a_block.position(), kind == CountingKind::kRainflow ? 9 : 1);
  }
}

}  // namespace
}  // namespace torvwy::core
