// Every rainflow cycle: the published example with its sample indices, flat tops, and the same
// cycles as the literal pass-after-pass count however the samples are chunked.
#include "core/rainflow/rainflow_cycles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "core/rainflow/literal_rainflow.h"

namespace torvwy::core {
namespace {

std::vector<RainflowCycle> Extract(const std::vector<double>& samples, size_t chunk) {
  RainflowCycleExtractor extractor;
  for (size_t i = 0; i < samples.size(); i += chunk) {
    const size_t n = std::min(chunk, samples.size() - i);
    extractor.Feed(std::span<const double>(samples.data() + i, n));
  }
  return extractor.Finish();
}

TEST(RainflowCycles, AstmExampleWithIndices) {
  // ASTM E1049-85, Fig. 6: -2 1 -3 5 -1 3 -4 4 -2. The one closed cycle is -1 -> 3 (samples 4
  // and 5); the residue -2 1 -3 5 -4 4 -2 gives the halves 3 4 8 9 8 6.
  const std::vector<double> loads = {-2, 1, -3, 5, -1, 3, -4, 4, -2};
  const std::vector<RainflowCycle> cycles = Extract(loads, loads.size());
  struct Expected {
    double range, mean, count;
    int64_t start, end;
  };
  const Expected expected[] = {{4, 1, 1.0, 4, 5}, {3, -0.5, 0.5, 0, 1}, {4, -1, 0.5, 1, 2},
                               {8, 1, 0.5, 2, 3}, {9, 0.5, 0.5, 3, 6},  {8, 0, 0.5, 6, 7},
                               {6, 1, 0.5, 7, 8}};
  ASSERT_EQ(cycles.size(), std::size(expected));
  for (size_t i = 0; i < cycles.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(cycles[i].range, expected[i].range);
    EXPECT_EQ(cycles[i].mean, expected[i].mean);
    EXPECT_EQ(cycles[i].count, expected[i].count);
    EXPECT_EQ(cycles[i].start, expected[i].start);
    EXPECT_EQ(cycles[i].end, expected[i].end);
  }
}

TEST(RainflowCycles, ShortAndFlatRecords) {
  struct Case {
    std::vector<double> samples;
    std::vector<std::pair<int64_t, int64_t>> spans;  // start, end of each cycle
  };
  const Case cases[] = {
      {{}, {}},
      {{3}, {}},
      // Two equal samples are two turning points, but a range of zero is no cycle.
      {{3, 3}, {}},
      {{2, 2, 2, 2}, {}},
      // A flat top is one turning point at its last sample.
      {{0, 5, 5, 5, 1}, {{0, 3}, {3, 4}}},
      // Equal first samples start rising; the fall after them makes sample 1 a turning point,
      // and the zero range from sample 0 to it is no cycle.
      {{0, 0, -1}, {{1, 2}}},
      {{4, 4, 4, 1, 6}, {{2, 3}, {3, 4}}},
  };
  for (const Case& c : cases) {
    const auto cycles = Extract(c.samples, 2);
    std::vector<std::pair<int64_t, int64_t>> spans;
    for (const auto& cycle : cycles) spans.emplace_back(cycle.start, cycle.end);
    EXPECT_EQ(spans, c.spans) << c.samples.size() << " samples";
  }
}

TEST(RainflowCycles, SameCyclesAsTheLiteralCountInAnyChunking) {
  std::mt19937_64 random(18);
  std::normal_distribution<double> step(0.0, 1.0);
  std::vector<double> samples(20000);
  double level = 0.0;
  for (double& s : samples) s = std::round((level += step(random)) * 8.0);
  const auto literal = testing::RunLiteralRainflow(samples, 1.0, 10, 400.0, 0.0);
  std::vector<std::pair<double, double>> expected;
  for (const auto& cycle : literal.cycles) {
    if (cycle.first > 0.0) expected.push_back(cycle);
  }
  std::sort(expected.begin(), expected.end());
  for (const size_t chunk : {size_t{1}, size_t{7}, size_t{1024}, samples.size()}) {
    std::vector<std::pair<double, double>> got;
    for (const auto& cycle : Extract(samples, chunk)) {
      got.emplace_back(cycle.range, cycle.count);
      // Each cycle runs between two samples whose values it was made of.
      ASSERT_EQ(std::fabs(samples[static_cast<size_t>(cycle.end)] -
                          samples[static_cast<size_t>(cycle.start)]),
                cycle.range);
    }
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected) << "chunk " << chunk;
  }
}

}  // namespace
}  // namespace torvwy::core
