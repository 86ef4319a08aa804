// RunPeakCounting over written nodes, against a literal per-sample count of the same samples.
#include "core/peak/peak_counting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "core/counting/progress.h"
#include "core/data/envelope.h"
#include "core/data/waveform_reader.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

using testing::TempDir;
using testing::WriteNode;

// The rule read literally over the whole range in memory: every inner sample tested against its
// neighbours, its value divided by c2 then c1, each partition found by scanning the edges.
// Returns the two-way peak, two-way valley, one-way peak and one-way valley counts.
std::vector<std::vector<int32_t>> LiteralPeakCount(const std::vector<double>& x, int n, double a,
                                                   double c1, double c2, bool automatic) {
  std::vector<std::vector<int32_t>> h(4, std::vector<int32_t>(kMaxPartitions));
  const double w2 = (a + a) / n, w1 = a / n;
  const auto count = [&](double v, int kind) {
    int k2 = n - 1, k1 = n - 1;
    if (v > a || v < -a) {
      if (!(automatic && a > 0 && v > a)) return;
    } else {
      for (int k = n - 1; k >= 0; --k) k2 = (k + 1) * w2 - a >= v ? k : k2;
      for (int k = n - 1; k >= 0; --k) k1 = std::fabs(v) <= (k + 1) * w1 ? k : k1;
    }
    ++h[kind][k2];
    ++h[kind + 2][k1];
  };
  for (size_t i = 1; i + 1 < x.size(); ++i) {
    if (x[i] > x[i - 1] && x[i] >= x[i + 1]) count(x[i] / c2 / c1, 0);
    if (x[i] < x[i - 1] && x[i] <= x[i + 1]) count(x[i] / c2 / c1, 1);
  }
  return h;
}

void ExpectCounts(const PeakCountResult& r, const std::vector<std::vector<int32_t>>& h) {
  EXPECT_EQ(r.two_way_peak_counts, h[0]);
  EXPECT_EQ(r.two_way_valley_counts, h[1]);
  EXPECT_EQ(r.one_way_peak_counts, h[2]);
  EXPECT_EQ(r.one_way_valley_counts, h[3]);
  int32_t largest = 1;
  for (size_t k = 0; k < kMaxPartitions; ++k) {
    EXPECT_EQ(r.two_way_total_counts[k], h[0][k] + h[1][k]);
    EXPECT_EQ(r.one_way_total_counts[k], h[2][k] + h[3][k]);
    largest = std::max({largest, h[0][k], h[1][k], h[2][k], h[3][k]});
  }
  EXPECT_EQ(r.largest_separate_count, largest);
}

CountingParameters Params(int32_t mode, double set_value, int32_t n, int32_t first, int32_t last) {
  return {.first_block = first,
          .last_block = last,
          .amplitude_mode = mode,
          .set_value = set_value,
          .partitions = n};
}

std::vector<double> Envelope(const testing::WrittenNode& node) {
  auto reader = WaveformReader::Open(node.sts, node.info);
  SilentProgress progress;
  return *BuildWaveformEnvelope(*reader, node.info, progress);
}

// Spikes at the block borders of three blocks of zeros, counted with A = 10, N = 4 (two-way
// edges -5, 0, 5, 10; one-way edges 2.5, 5, 7.5, 10). The first and the last sample of a range
// are never tested; samples 1023/1024 and 2047/2048 are tested with their true neighbours.
TEST(PeakCountingTest, TestsEverySampleOfTheRangeWithItsNeighboursAcrossBlockBorders) {
  std::vector<double> x(3 * 1024, 0.0);
  x[0] = 7, x[1023] = 5, x[1024] = -3, x[2047] = 4, x[2048] = -2, x[3071] = 9;
  struct Case {
    int32_t first, last;
    std::vector<int32_t> two_way_peaks, two_way_valleys, one_way_peaks, one_way_valleys;
  };
  const Case cases[] = {
      // peaks 5, 0 (at 1025), 4, 0 (at 2049); valleys 0 (at 1), -3, -2
      {1, 3, {0, 2, 2, 0}, {0, 3, 0, 0}, {2, 2, 0, 0}, {2, 1, 0, 0}},
      {2, 2, {0, 1, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 0}, {0, 0, 0, 0}},  // only the peak at 1025
      {2, 3, {0, 2, 1, 0}, {0, 1, 0, 0}, {2, 1, 0, 0}, {1, 0, 0, 0}},
      {1, 1, {0, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 0}},  // 1023 is the last
  };
  TempDir dir;
  const auto node = WriteNode(dir.path(), x);
  const auto first4 = [](const std::vector<int32_t>& v) {
    return std::vector<int32_t>(v.begin(), v.begin() + 4);
  };
  for (const Case& c : cases) {
    SilentProgress progress;
    auto r = RunPeakCounting(node.info, node.sts, Params(2, 10.0, 4, c.first, c.last), progress);
    ASSERT_TRUE(r.ok()) << r.error().detail;
    EXPECT_EQ(first4(r->two_way_peak_counts), c.two_way_peaks) << c.first << ".." << c.last;
    EXPECT_EQ(first4(r->two_way_valley_counts), c.two_way_valleys) << c.first << ".." << c.last;
    EXPECT_EQ(first4(r->one_way_peak_counts), c.one_way_peaks) << c.first << ".." << c.last;
    EXPECT_EQ(first4(r->one_way_valley_counts), c.one_way_valleys) << c.first << ".." << c.last;
    EXPECT_EQ(progress.upper(), c.last - c.first + 1);
    EXPECT_EQ(progress.position(), c.last - c.first + 1);
    EXPECT_FALSE(r->cancelled);
  }
}

// Random walks with flat stretches over 9.5 blocks, stored exactly in each format. Modes 0 and 2
// take the one read of envelope and counts, mode 1 the envelope pass and then the counting pass;
// all must give the literal counts and the envelope of its own pass.
TEST(PeakCountingTest, MatchesTheLiteralCountOnRandomRecords) {
  struct Case {
    int32_t format;
    double c1, c2;
    int32_t mode;
    double set_value;
    int32_t n, first, last;
  };
  const Case cases[] = {
      {951, 1.0, 1.0, 0, 0, 25, 1, 9},   {951, 0.3, 1.7, 1, 0, 40, 1, 9},
      {951, 2.5, 0.04, 2, 2e4, 7, 2, 8}, {885, 1.0, 1.0, 1, 0, 2000, 1, 9},
      {885, 0.7, 3.0, 2, 150, 13, 3, 3}, {886, 1.0, 1.0, 2, 200, 400, 1, 9},
      {886, 3.0, 0.7, 0, 0, 1, 4, 9},    {886, 1.1, 3.0, 1, 0, 5000, 1, 5},
      {886, 0.5, 4.0, 2, 60, 50, 1, 9},  {951, 8.0, 0.25, 0, 0, 99, 1, 9},
  };
  TempDir dir;
  std::mt19937 random(1);
  std::uniform_int_distribution<int> step(-3, 3);
  int node = 0;
  for (const Case& c : cases) {
    std::vector<double> stored(19 * 512), raw(19 * 512);
    int walk = 0;
    for (size_t i = 0; i < stored.size(); ++i) {
      walk = std::clamp(walk + step(random), -2000, 2000);
      stored[i] = walk * (c.format == 951 ? 1.0 : 0.25);
      raw[i] = c.format == 951 ? stored[i] * 10000.0 / 32768.0 : stored[i];
    }
    const auto written = WriteNode(
        dir.path(), stored,
        {.node_name = std::to_string(++node), .format = c.format, .c1 = c.c1, .c2 = c.c2});
    const double largest = *std::max_element(raw.begin(), raw.end()) / (c.c2 * c.c1);
    const double a = c.mode == 0 ? 10000.0 / c.c2 / c.c1 : c.mode == 2 ? c.set_value : largest;
    SilentProgress progress;
    auto r = RunPeakCounting(written.info, written.sts,
                             Params(c.mode, c.set_value, c.n, c.first, c.last), progress);
    ASSERT_TRUE(r.ok()) << r.error().detail;
    SCOPED_TRACE(::testing::Message() << "case " << node);
    const int32_t n = std::min(c.n, 2000);
    EXPECT_EQ(r->partitions, n);
    EXPECT_EQ(r->amplitude_range, a);
    EXPECT_EQ(r->two_way_width, (a + a) / n);
    EXPECT_EQ(r->one_way_width, a / n);
    EXPECT_EQ(r->cursor_partition, n / 2);
    ExpectCounts(
        *r, LiteralPeakCount({raw.begin() + (c.first - 1) * 1024, raw.begin() + c.last * 1024}, n,
                             a, c.c1, c.c2, c.mode == 1));
    EXPECT_EQ(r->envelope, Envelope(written));
    EXPECT_EQ(r->envelope_maximum, largest);
  }
}

// Cancel is polled after every block: the first block's counts stay, its last sample tested
// against the first of the next block, and the result says it is partial.
TEST(PeakCountingTest, CancelAfterTheFirstBlockKeepsItsCounts) {
  std::vector<double> x(4 * 1024);
  for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>((i * 37) % 11);
  x[1023] = 50;  // a peak at the block's last sample
  TempDir dir;
  const auto node = WriteNode(dir.path(), x);
  for (int32_t mode : {1, 2}) {
    SilentProgress progress(1);
    auto r = RunPeakCounting(node.info, node.sts, Params(mode, 50.0, 10, 1, 4), progress);
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r->cancelled);
    EXPECT_EQ(progress.position(), 1);
    ExpectCounts(*r, LiteralPeakCount({x.begin(), x.begin() + 1025}, 10, 50.0, 1, 1, mode == 1));
    EXPECT_EQ(r->envelope, Envelope(node));
  }
}

TEST(PeakCountingTest, EdgeCasesOfTheRecordAndTheAmplitudeRange) {
  TempDir dir;
  SilentProgress progress;
  // Half a block holds nothing to count: refused, as by every counting.
  const auto half = WriteNode(dir.path(), std::vector<double>(512, 1.0), {.node_name = "h"});
  auto r = RunPeakCounting(half.info, half.sts, Params(1, 0, 25, 1, 0), progress);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().detail.find("fewer than one block"), std::string::npos);

  // Automatic A is the largest sample divided once by c2 x c1; the same sample as a peak,
  // divided by c2 then c1, lies above it and must land in the top partitions, not be lost.
  std::vector<double> x(1024, 0.0);
  x[500] = 1.0;
  ASSERT_GT(1.0 / 1.7 / 0.3, 1.0 / (1.7 * 0.3));
  const auto spike = WriteNode(dir.path(), x, {.node_name = "s", .c1 = 0.3, .c2 = 1.7});
  r = RunPeakCounting(spike.info, spike.sts, Params(1, 0, 8, 1, 1), progress);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r->two_way_peak_counts[7], 1);
  EXPECT_EQ(r->one_way_peak_counts[7], 1);

  // Automatic A of a waveform below zero is negative: every value is dropped.
  for (size_t i = 0; i < x.size(); ++i) x[i] = -10.0 - static_cast<double>(i % 5);
  const auto negative = WriteNode(dir.path(), x, {.node_name = "n"});
  r = RunPeakCounting(negative.info, negative.sts, Params(1, 0, 25, 1, 1), progress);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r->amplitude_range, -10.0);
  EXPECT_EQ(r->two_way_total_counts, std::vector<int32_t>(kMaxPartitions));

  // Refused: N < 1, a float record starting with NaN (no finite automatic A), blocks outside.
  x[0] = NAN;
  const auto nan_first = WriteNode(dir.path(), x, {.node_name = "q", .format = 885});
  for (const auto& [node, params] :
       {std::pair{&negative, Params(1, 0, 0, 1, 1)}, std::pair{&nan_first, Params(1, 0, 25, 1, 1)},
        std::pair{&negative, Params(2, 5, 25, 1, 2)},
        std::pair{&negative, Params(2, 5, 25, 0, 1)}}) {
    auto failed = RunPeakCounting(node->info, node->sts, params, progress);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().message, kMsgBadValue) << failed.error().detail;
  }
}

}  // namespace
}  // namespace torvwy::core
