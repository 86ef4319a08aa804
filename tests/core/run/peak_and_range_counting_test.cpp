// What the peak and the range counting runs share, over written nodes, against literal
// per-sample counts of the same samples: the amplitude modes, the formats and calibrations, the
// analysis range, a cancel after the first block and refused parameters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "core/data/envelope.h"
#include "core/data/waveform_reader.h"
#include "core/services/message_table.h"
#include "core/services/progress.h"
#include "support/count_record.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

using testing::TempDir;
using testing::WriteNode;

using Histograms = std::vector<std::vector<int32_t>>;

/// The partitions of a value read literally: two-way k is the first whose upper edge
/// (k + 1) w2 - A is at or above v, one-way k the first with |v| <= (k + 1) w1.
struct Partitions {
  int two_way, one_way;
};
Partitions Literally(double v, int n, double a) {
  const double w2 = (a + a) / n, w1 = a / n;
  int k2 = n - 1, k1 = n - 1;
  for (int k = n - 1; k >= 0; --k) k2 = (k + 1) * w2 - a >= v ? k : k2;
  for (int k = n - 1; k >= 0; --k) k1 = std::fabs(v) <= (k + 1) * w1 ? k : k1;
  return {k2, k1};
}

bool IsPeak(const std::vector<double>& x, size_t i) { return x[i] > x[i - 1] && x[i] >= x[i + 1]; }
bool IsValley(const std::vector<double>& x, size_t i) {
  return x[i] < x[i - 1] && x[i] <= x[i + 1];
}

/// Peak counting: every inner sample tested against its neighbours, its value divided by c2
/// then c1. Automatic A keeps values above A in the top partitions. Histograms: two-way peak,
/// two-way valley, one-way peak, one-way valley.
struct PeakRun {
  using Result = PeakCountResult;
  static core::Result<Result> Run(const testing::WrittenNode& node, const CountingParameters& p,
                                  Progress& progress) {
    return testing::CountPeaks(node.info, node.sts, p, progress);
  }
  static Histograms Literal(const std::vector<double>& x, int n, double a, double c1, double c2,
                            bool automatic) {
    Histograms h(4, std::vector<int32_t>(kMaxPartitions));
    const auto count = [&](double v, int kind) {
      Partitions k{n - 1, n - 1};
      if (v > a || v < -a) {
        if (!(automatic && a > 0 && v > a)) return;
      } else {
        k = Literally(v, n, a);
      }
      ++h[kind][k.two_way];
      ++h[kind + 2][k.one_way];
    };
    for (size_t i = 1; i + 1 < x.size(); ++i) {
      if (IsPeak(x, i)) count(x[i] / c2 / c1, 0);
      if (IsValley(x, i)) count(x[i] / c2 / c1, 1);
    }
    return h;
  }
  static void ExpectCounts(const Result& r, const Histograms& h) {
    EXPECT_EQ(r.two_way_peak_counts, h[0]);
    EXPECT_EQ(r.two_way_valley_counts, h[1]);
    EXPECT_EQ(r.one_way_peak_counts, h[2]);
    EXPECT_EQ(r.one_way_valley_counts, h[3]);
    int32_t separate = 1, total = 1;
    for (size_t k = 0; k < kMaxPartitions; ++k) {
      EXPECT_EQ(r.two_way_total_counts[k], h[0][k] + h[1][k]);
      EXPECT_EQ(r.one_way_total_counts[k], h[2][k] + h[3][k]);
      separate = std::max({separate, h[0][k], h[1][k], h[2][k], h[3][k]});
      total = std::max({total, h[0][k] + h[1][k], h[2][k] + h[3][k]});
    }
    EXPECT_EQ(r.largest_separate_count, separate);
    EXPECT_EQ(r.largest_total_count, total);
  }
  /// A of the amplitude modes 0 and 1 from c1, c2 and the record's extremes in EU.
  static double FullScale(double c1, double c2) { return 10000.0 / c2 / c1; }
  static double Automatic(double /*lowest*/, double highest) { return highest; }
  /// A pass cancelled after its first block has tested the block's last sample against the
  /// next block's first.
  static constexpr size_t kSeenAfterFirstBlock = 1025;
};

/// Range counting: E starts at the range's first sample; at each turning point the range
/// r = (cur - E) / c2 / c1 is counted and E = cur. Histograms: two-way, one-way.
struct RangeRun {
  using Result = RangeCountResult;
  static core::Result<Result> Run(const testing::WrittenNode& node, const CountingParameters& p,
                                  Progress& progress) {
    return testing::CountRanges(node.info, node.sts, p, progress);
  }
  static Histograms Literal(const std::vector<double>& x, int n, double a, double c1, double c2,
                            bool /*automatic*/) {
    Histograms h(2, std::vector<int32_t>(kMaxPartitions));
    double e = x[0];
    for (size_t i = 1; i + 1 < x.size(); ++i) {
      if (!IsPeak(x, i) && !IsValley(x, i)) continue;
      const double r = (x[i] - e) / c2 / c1;
      e = x[i];
      if (r > a || r < -a) continue;
      const Partitions k = Literally(r, n, a);
      ++h[0][k.two_way];
      ++h[1][k.one_way];
    }
    return h;
  }
  static void ExpectCounts(const Result& r, const Histograms& h) {
    EXPECT_EQ(r.two_way_counts, h[0]);
    EXPECT_EQ(r.one_way_counts, h[1]);
    EXPECT_EQ(r.largest_count, std::max({1, *std::max_element(h[0].begin(), h[0].end()),
                                         *std::max_element(h[1].begin(), h[1].end())}));
  }
  static double FullScale(double c1, double c2) { return (10000.0 + 10000.0) / c2 / c1; }
  static double Automatic(double lowest, double highest) { return (highest - lowest) * 1.1; }
  /// Range counting looks no further than the block: a turning point on its last sample is
  /// decided with the next block.
  static constexpr size_t kSeenAfterFirstBlock = 1024;
};

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

template <typename Run>
class PeakAndRangeCountingTest : public ::testing::Test {};

using Runs = ::testing::Types<PeakRun, RangeRun>;
struct RunName {
  template <typename Run>
  static std::string GetName(int) {
    return std::is_same_v<Run, PeakRun> ? "Peak" : "Range";
  }
};
TYPED_TEST_SUITE(PeakAndRangeCountingTest, Runs, RunName);

// Random walks with flat stretches over 9.5 blocks, stored exactly in each format. Modes 0 and
// 2 take the one read of envelope and counts, mode 1 the envelope pass and then the counting
// pass; all must give the literal counts of the range and the envelope of its own pass. A set
// value is a share of the automatic A: below 1 some values fall outside and are dropped.
TYPED_TEST(PeakAndRangeCountingTest, MatchesTheLiteralCountOnRandomRecords) {
  struct Case {
    int32_t format;
    double c1, c2;
    int32_t mode;
    double set_share;
    int32_t n, first, last;
  };
  const Case cases[] = {
      {951, 1.0, 1.0, 0, 0, 25, 1, 9},   {951, 0.3, 1.7, 1, 0, 40, 1, 9},
      {951, 2.5, 0.04, 2, 3, 7, 2, 8},   {885, 1.0, 1.0, 1, 0, 2000, 1, 9},
      {885, 0.7, 3.0, 2, 0.5, 13, 3, 3}, {886, 1.0, 1.0, 2, 0.8, 12, 1, 9},
      {886, 3.0, 0.7, 0, 0, 1, 4, 9},    {886, 1.1, 3.0, 1, 0, 5000, 1, 5},
      {886, 0.5, 4.0, 2, 0.3, 50, 1, 9}, {951, 8.0, 0.25, 0, 0, 99, 1, 9},
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
    const auto [low, high] = std::minmax_element(raw.begin(), raw.end());
    const double lowest = *low / (c.c2 * c.c1), highest = *high / (c.c2 * c.c1);
    const double automatic = TypeParam::Automatic(lowest, highest);
    const double set_value = c.set_share * automatic;
    const double a = c.mode == 0   ? TypeParam::FullScale(c.c1, c.c2)
                     : c.mode == 2 ? set_value
                                   : automatic;
    SilentProgress progress;
    auto r = TypeParam::Run(written, Params(c.mode, set_value, c.n, c.first, c.last), progress);
    ASSERT_TRUE(r.ok()) << r.error().detail;
    SCOPED_TRACE(::testing::Message() << "case " << node);
    const int32_t n = std::min(c.n, 2000);
    EXPECT_EQ(r->partitions, n);
    EXPECT_EQ(r->amplitude_range, a);
    EXPECT_EQ(r->two_way_width, (a + a) / n);
    EXPECT_EQ(r->one_way_width, a / n);
    EXPECT_EQ(r->cursor_partition, n / 2);
    EXPECT_FALSE(r->cancelled);
    EXPECT_EQ(progress.position(), c.last - c.first + 1);
    TypeParam::ExpectCounts(
        *r, TypeParam::Literal({raw.begin() + (c.first - 1) * 1024, raw.begin() + c.last * 1024}, n,
                               a, c.c1, c.c2, c.mode == 1));
    EXPECT_EQ(r->envelope, Envelope(written));
    EXPECT_EQ(r->envelope_maximum, highest);
    EXPECT_EQ(r->envelope_minimum, lowest);
  }
}

// Cancel is polled after every block: the counts of what the first block has seen stay, and the
// result says it is partial. A turning point sits on the block's last sample.
TYPED_TEST(PeakAndRangeCountingTest, CancelAfterTheFirstBlockKeepsItsCounts) {
  std::vector<double> x(4 * 1024);
  for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>((i * 37) % 11);
  x[1023] = 50;
  TempDir dir;
  const auto node = WriteNode(dir.path(), x);
  for (int32_t mode : {1, 2}) {
    SCOPED_TRACE(mode);
    SilentProgress progress(1);
    auto r = TypeParam::Run(node, Params(mode, 60.0, 10, 1, 4), progress);
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r->cancelled);
    EXPECT_EQ(progress.position(), 1);
    const double a = mode == 1 ? TypeParam::Automatic(0.0, 50.0) : 60.0;
    EXPECT_EQ(r->amplitude_range, a);
    TypeParam::ExpectCounts(
        *r, TypeParam::Literal({x.begin(), x.begin() + TypeParam::kSeenAfterFirstBlock}, 10, a, 1.0,
                               1.0, mode == 1));
    EXPECT_EQ(r->envelope, Envelope(node));
  }
}

// N < 1, a set value that is no number and a range outside the record are refused.
TYPED_TEST(PeakAndRangeCountingTest, Refusals) {
  TempDir dir;
  SilentProgress progress;
  std::vector<double> x(1536);  // one whole block and a half
  for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>(i % 5);
  const auto one = WriteNode(dir.path(), x, {.node_name = "1"});
  ASSERT_TRUE(TypeParam::Run(one, Params(2, 5, 25, 1, 1), progress).ok());
  for (const CountingParameters& bad : {Params(2, 5, 0, 1, 1), Params(2, NAN, 25, 1, 1),
                                        Params(2, 5, 25, 1, 2), Params(2, 5, 25, 0, 1)}) {
    auto failed = TypeParam::Run(one, bad, progress);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().message, kMsgBadValue) << failed.error().detail;
  }
}

}  // namespace
}  // namespace torvwy::core
