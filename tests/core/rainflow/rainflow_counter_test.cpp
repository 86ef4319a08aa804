// The streaming rainflow counter: turning points, the four-point rule, partitions, and its
// equivalence with the pass-after-pass rule.
#include "core/rainflow/rainflow_counter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "core/rainflow/literal_rainflow.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

using Cycles = std::vector<std::pair<double, double>>;

struct Counted {
  RainflowResult result;
  Cycles cycles;  // every extracted (range, weight), sorted
  std::vector<double> residue;
};

/// Feeds `samples` in chunks of `chunk` samples (all at once when 0) and finishes. The cycles
/// are gathered only when `observe_cycles` (an observer takes the counter off its fast path).
Counted Count(const std::vector<double>& samples, RainflowSetup setup, size_t chunk = 0,
              bool observe_cycles = true) {
  Counted out;
  if (observe_cycles) setup.on_cycle = [&](double r, double g) { out.cycles.emplace_back(r, g); };
  setup.on_residue = [&](double p) { out.residue.push_back(p); };
  RainflowCounter counter(setup);
  const size_t step = chunk == 0 ? std::max<size_t>(samples.size(), 1) : chunk;
  for (size_t i = 0; i < samples.size(); i += step) {
    const size_t n = std::min(step, samples.size() - i);
    EXPECT_TRUE(counter.Feed(std::span<const double>(samples.data() + i, n)).ok());
  }
  auto result = counter.Finish();
  EXPECT_TRUE(result.ok()) << result.error().detail;
  if (result.ok()) out.result = std::move(*result);
  std::sort(out.cycles.begin(), out.cycles.end());
  return out;
}

RainflowSetup MakeSetup(double a, int n, double t, double k = 1.0) {
  RainflowSetup setup;
  setup.amplitude_range = a;
  setup.partitions = n;
  setup.smallest_range = t;
  setup.scale = k;
  return setup;
}

std::vector<double> Partitions(const RainflowResult& result) {
  return {result.counts.begin(), result.counts.begin() + result.partitions};
}

// The rainflow example of ASTM E1049-85 (5.4.4): ranges 3 (0.5), 4 (1.5), 6 (0.5), 8 (1.0) and
// 9 (0.5); with A = 10 and N = 10 each range r lies in partition ceil(r) - 1.
TEST(RainflowCounterTest, AstmE1049Example) {
  const std::vector<double> history = {-2, 1, -3, 5, -1, 3, -4, 4, -2};
  for (size_t chunk : {0, 1, 2, 4}) {
    const Counted c = Count(history, MakeSetup(10.0, 10, 1.0), chunk);
    std::vector<double> expected(10, 0.0);
    expected[2] = 0.5;
    expected[3] = 1.5;
    expected[5] = 0.5;
    expected[7] = 1.0;
    expected[8] = 0.5;
    EXPECT_EQ(Partitions(c.result), expected) << "chunk " << chunk;
    EXPECT_EQ(c.cycles,
              (Cycles{{3, 0.5}, {4, 0.5}, {4, 1.0}, {6, 0.5}, {8, 0.5}, {8, 0.5}, {9, 0.5}}));
    EXPECT_EQ(c.residue, (std::vector<double>{-2, 1, -3, 5, -4, 4, -2}));
    EXPECT_EQ(c.result.turning_points, 9);
    EXPECT_EQ(c.result.largest_count, 1);  // trunc(1.5)
    EXPECT_EQ(c.result.cursor_partition, 5);
    EXPECT_DOUBLE_EQ(c.result.partition_width, 1.0);
  }
}

// Histories in which no cycle closes, so the residue is the turning-point sequence itself.
TEST(RainflowCounterTest, TurningPointsOfFlatsPlateausAndMonotonicRanges) {
  struct Case {
    const char* name;
    std::vector<double> samples;
    std::vector<double> turning_points;
  };
  const Case cases[] = {
      {"empty", {}, {}},
      {"one sample", {7}, {7}},
      {"two equal samples", {3, 3}, {3, 3}},
      {"all flat", {3, 3, 3, 3}, {3, 3}},
      {"monotonic rise", {1, 2, 3, 4, 5}, {1, 5}},
      {"monotonic fall with a plateau", {2, 1, 1, 1, 0}, {2, 0}},
      {"rise with plateaus", {0, 1, 1, 2, 2, 2, 3}, {0, 3}},
      // Equal first samples start rising: the fall that follows makes the second a peak.
      {"flat start then fall", {0, 0, -1, -1, 2}, {0, 0, -1, 2}},
      {"long flat start then fall", {4, 4, 4, 4, 1}, {4, 4, 1}},
      {"flat start then rise", {5, 5, 5, 6, 6, 4, 4, 7}, {5, 6, 4, 7}},
      {"flat bottom", {4, 2, 2, 2, 3}, {4, 2, 3}},
      {"flat top at the end", {0, 5, 5, 5}, {0, 5}},
      {"reversal on the last sample", {0, 5, 3}, {0, 5, 3}},
  };
  for (const Case& c : cases) {
    for (size_t chunk : {0, 1, 3}) {
      const Counted counted = Count(c.samples, MakeSetup(100.0, 10, 0.0), chunk);
      EXPECT_EQ(counted.residue, c.turning_points) << c.name << ", chunk " << chunk;
      EXPECT_EQ(counted.result.turning_points, static_cast<int64_t>(c.turning_points.size()))
          << c.name;
      EXPECT_TRUE(std::none_of(counted.cycles.begin(), counted.cycles.end(), [](const auto& cycle) {
        return cycle.second == 1.0;
      })) << c.name;
    }
  }
}

// Small histories worked by hand; A = 10, N = 10, so range r counts in partition ceil(r) - 1.
TEST(RainflowCounterTest, HandWorkedHistories) {
  struct Case {
    const char* name;
    std::vector<double> samples;
    Cycles cycles;
    std::vector<double> residue;
    int32_t largest_count;
  };
  const Case cases[] = {
      // Window 0 2 1 3: r = 1 <= 2 and <= 2 closes; the residue 0 3 is one half cycle.
      {"0 2 1 3", {0, 2, 1, 3}, {{1, 1.0}, {3, 0.5}}, {0, 3}, 1},
      // r = 2 equals both outer ranges: a closed cycle, and the residue 0 2 adds a half.
      {"0 2 0 2", {0, 2, 0, 2}, {{2, 0.5}, {2, 1.0}}, {0, 2}, 1},
      {"three turning points", {0, 5, 1}, {{4, 0.5}, {5, 0.5}}, {0, 5, 1}, 1},
      // Two closed cycles and one half cycle of range 2: the partition holds 2.5, counted as 2.
      {"2.5 cycles", {0, 2, 0, 2, 0, 2}, {{2, 0.5}, {2, 1.0}, {2, 1.0}}, {0, 2}, 2},
      {"3 cycles", {0, 2, 0, 2, 0, 2, 0}, {{2, 0.5}, {2, 0.5}, {2, 1.0}, {2, 1.0}}, {0, 2, 0}, 3},
      // Window 0 4 1 3 closes 4 1 and the scan skips 1 3 2 5; the next pass closes 3 2 from the
      // new window 0 3 2 5.
      {"cycle found in a later pass",
       {0, 4, 1, 3, 2, 5},
       {{1, 1.0}, {3, 1.0}, {5, 0.5}},
       {0, 5},
       1},
  };
  for (const Case& c : cases) {
    const Counted counted = Count(c.samples, MakeSetup(10.0, 10, 0.5));
    EXPECT_EQ(counted.cycles, c.cycles) << c.name;
    EXPECT_EQ(counted.residue, c.residue) << c.name;
    EXPECT_EQ(counted.result.largest_count, c.largest_count) << c.name;
    std::vector<double> expected(10, 0.0);
    for (const auto& [r, g] : c.cycles) expected[static_cast<size_t>(std::ceil(r)) - 1] += g;
    EXPECT_EQ(Partitions(counted.result), expected) << c.name;
  }
}

// One half cycle of range r (the history 0, r) lands where the partition rule puts it.
TEST(RainflowCounterTest, PartitionEdgesAndDropBounds) {
  constexpr int kDropped = -1;
  const auto edge = [](int j, double w) { return j * w + w; };  // an upper edge, as defined
  struct Case {
    const char* name;
    double a;
    int n;
    double t;
    double r;
    int partition;
  };
  const double t = 0.001;
  const Case cases[] = {
      {"on the upper edge of partition 2", 1.0, 10, t, edge(2, 0.1), 2},
      {"just above that edge", 1.0, 10, t, std::nextafter(edge(2, 0.1), 1.0), 3},
      {"on the upper edge of partition 0", 1.0, 10, t, edge(0, 0.1), 0},
      {"r = A", 1.0, 10, t, 1.0, 9},
      {"just above A", 1.0, 10, t, std::nextafter(1.0, 2.0), kDropped},
      {"r = t", 1.0, 10, t, t, 0},
      {"just below t", 1.0, 10, t, std::nextafter(t, 0.0), kDropped},
      // 9 x 0.09 + 0.09 rounds to 0.8999999999999999 < A: no edge takes A, N - 1 does.
      {"A above the last edge", 0.9, 10, t, 0.9, 9},
      {"one partition", 5.0, 1, t, 2.5, 0},
      {"N = 2000", 2000.0, 2000, t, 1234.5, 1234},
      {"zero range below t", 1.0, 10, t, 0.0, kDropped},
      {"zero range with t = 0: no cycle", 1.0, 10, 0.0, 0.0, kDropped},
  };
  ASSERT_LT(edge(9, 0.9 / 10), 0.9);
  for (const Case& c : cases) {
    // As a half cycle (the history 0 r), and as a closed cycle (-M r 0 M: the inner range is
    // exactly r, the residue -M M lies beyond A).
    const double m = 2 * c.a + 1;
    for (const auto& [history, weight] : {std::pair{std::vector<double>{0.0, c.r}, 0.5},
                                          std::pair{std::vector<double>{-m, c.r, 0.0, m}, 1.0}}) {
      if (weight == 1.0 && c.r == 0.0) continue;  // turning points never close a flat cycle
      const Counted counted = Count(history, MakeSetup(c.a, c.n, c.t), 0, false);
      std::vector<double> expected(static_cast<size_t>(c.n), 0.0);
      if (c.partition != kDropped) expected[static_cast<size_t>(c.partition)] = weight;
      EXPECT_EQ(Partitions(counted.result), expected) << c.name << ", weight " << weight;
    }
  }
}

TEST(RainflowCounterTest, RefusesAnUnusableSetup) {
  struct Case {
    const char* name;
    RainflowSetup setup;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"N = 0", MakeSetup(10.0, 0, 0.1)},        {"N = -3", MakeSetup(10.0, -3, 0.1)},
      {"N = 2001", MakeSetup(10.0, 2001, 0.1)},  {"A infinite", MakeSetup(inf, 10, 0.1)},
      {"A NaN", MakeSetup(nan, 10, 0.1)},        {"k infinite", MakeSetup(10.0, 10, 0.1, inf)},
      {"k zero", MakeSetup(10.0, 10, 0.1, 0.0)}, {"t NaN", MakeSetup(10.0, 10, nan)},
  };
  const std::vector<double> samples = {0, 1, 0};
  for (const Case& c : cases) {
    RainflowCounter counter(c.setup);
    const Status fed = counter.Feed(samples);
    ASSERT_FALSE(fed.ok()) << c.name;
    EXPECT_EQ(fed.error().message, kMsgBadValue) << c.name;
    EXPECT_FALSE(counter.Finish().ok()) << c.name;
  }
}

TEST(RainflowCounterTest, NanSampleGivesNoRange) {
  // Turning points NaN 5 0 4: no window with the NaN closes, and the residue's half cycle of
  // range NaN is dropped instead of landing in partition N - 1. Left: 5 and 4.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Counted c = Count({nan, 5.0, 0.0, 4.0}, MakeSetup(10.0, 10, 0.1));
  std::vector<double> expected(10, 0.0);
  expected[4] = 0.5;
  expected[3] = 0.5;
  EXPECT_EQ(Partitions(c.result), expected);
}

// The one-pass stack against the pass-after-pass rule on many short random histories full of
// ties: equal samples, flat starts, plateaus, small integer alphabets, chunk boundaries anywhere,
// scales that make ranges inexact, and a tiny memory bound that makes the residue spill.
TEST(RainflowCounterTest, OnePassEqualsPassAfterPassOnRandomHistories) {
  testing::TempDir scratch;
  std::mt19937_64 random(20240611);
  const double scales[] = {1.0, 0.1, 1.0 / 3.0, 2.5, -0.7, 1e-3};
  const int partition_counts[] = {1, 2, 7, 25, 2000};
  int compared = 0;
  for (int iteration = 0; iteration < 20000; ++iteration) {
    const int length =
        std::uniform_int_distribution<int>(0, iteration % 10 == 0 ? 300 : 40)(random);
    const int alphabet = std::uniform_int_distribution<int>(1, 6)(random);
    std::vector<double> samples;
    const bool reals = iteration % 7 == 0;
    std::uniform_int_distribution<int> symbol(0, alphabet);
    std::uniform_real_distribution<double> real(-1.0, 1.0);
    while (static_cast<int>(samples.size()) < length) {
      const double v = reals ? real(random) : symbol(random);
      const int repeat = iteration % 3 == 0 ? std::uniform_int_distribution<int>(1, 4)(random) : 1;
      for (int r = 0; r < repeat; ++r) samples.push_back(v);
    }
    if (iteration % 5 == 0 && !samples.empty()) {  // a flat start
      samples.insert(samples.begin(), std::uniform_int_distribution<size_t>(1, 5)(random),
                     samples.front());
    }
    const double k = scales[iteration % 6];
    const int n = partition_counts[(iteration / 6) % 5];
    const double span = (reals ? 2.0 : alphabet) * std::fabs(k);
    const double a = span * std::uniform_int_distribution<int>(1, 12)(random) / 10.0;
    // t = 0, between the integer ranges, or on the smallest one.
    const double t = std::fabs(k) * (iteration % 4) * 0.5;

    RainflowSetup setup = MakeSetup(a, n, t, k);
    if (iteration % 3 == 1) {
      setup.residue_memory_points = 8;
      setup.scratch_folder = scratch.path();
    }
    const size_t chunk = std::uniform_int_distribution<size_t>(0, 5)(random);
    const bool observed = iteration % 2 == 0;
    const Counted counted = Count(samples, setup, chunk, observed);
    const testing::LiteralRainflow literal = testing::RunLiteralRainflow(samples, k, n, a, t);
    Cycles literal_cycles = literal.cycles;
    std::sort(literal_cycles.begin(), literal_cycles.end());

    ASSERT_EQ(Partitions(counted.result), literal.counts) << "iteration " << iteration;
    ASSERT_EQ(counted.residue, literal.residue) << "iteration " << iteration;
    if (observed) {
      ASSERT_EQ(counted.cycles, literal_cycles) << "iteration " << iteration;
    }
    ASSERT_EQ(counted.result.turning_points, static_cast<int64_t>(literal.turning_points.size()));
    if (literal.passes > 2) ++compared;
  }
  EXPECT_GT(compared, 1000);  // many histories needed more than one extracting pass
  EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
}

/// Swings that shrink towards the middle, then grow: m turning points +-m, -+(m-1), ..., +-1,
/// then -+1.5, +-2.5, ..., -+(m - 0.5). Worked by hand: the growing point of amplitude j + 1.5
/// closes the cycle of the amplitudes j and j + 0.5 (range 2j + 0.5) for j = 1..m-1, so the
/// pass-after-pass rule finds one cycle per pass; the residue is m, -(m + 0.5).
std::vector<double> Hourglass(int m) {
  std::vector<double> points;
  for (int i = 0; i < m; ++i) points.push_back((i % 2 == 0 ? 1.0 : -1.0) * (m - i));
  for (int j = 0; j < m; ++j) points.push_back(((m + j) % 2 == 0 ? 1.0 : -1.0) * (j + 1.5));
  return points;
}

Cycles HourglassCycles(int m) {
  Cycles cycles;
  for (int j = 1; j < m; ++j) cycles.emplace_back(2.0 * j + 0.5, 1.0);
  cycles.emplace_back(2.0 * m + 0.5, 0.5);
  std::sort(cycles.begin(), cycles.end());
  return cycles;
}

TEST(RainflowCounterTest, HourglassWorkedByHandMatchesTheLiteralRule) {
  for (int m : {1, 2, 3, 4, 10, 41}) {
    const auto literal = testing::RunLiteralRainflow(Hourglass(m), 1.0, 10, 2.0 * m + 1, 0.0);
    Cycles literal_cycles = literal.cycles;
    std::sort(literal_cycles.begin(), literal_cycles.end());
    EXPECT_EQ(literal_cycles, HourglassCycles(m)) << "m = " << m;
    EXPECT_EQ(literal.passes, m) << "m = " << m;  // one cycle per pass, then an empty pass
  }
}

TEST(RainflowCounterTest, HourglassOfTwoHundredThousandTurningPoints) {
  constexpr int m = 100000;
  const double a = 2.0 * m + 1;
  constexpr int n = 2000;
  const Counted c = Count(Hourglass(m), MakeSetup(a, n, 0.5), 4096);
  EXPECT_EQ(c.result.turning_points, 2 * m);
  EXPECT_EQ(c.residue, (std::vector<double>{m, -(m + 0.5)}));
  EXPECT_EQ(c.cycles, HourglassCycles(m));
  std::vector<double> expected(n, 0.0);
  const double w = a / n;
  for (const auto& [r, g] : HourglassCycles(m)) {
    int j = 0;
    while (j < n - 1 && !(r <= j * w + w)) ++j;
    expected[static_cast<size_t>(j)] += g;
  }
  EXPECT_EQ(Partitions(c.result), expected);
}

}  // namespace
}  // namespace torvwy::core
