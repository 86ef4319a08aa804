// RangeCounter: which ranges are found between turning points, and where they are counted.
#include "core/range/range_counter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

namespace torvwy::core {
namespace {

RangeCountResult Count(const std::vector<double>& samples, RangeCountSetup setup) {
  auto counter = RangeCounter::Create(setup);
  EXPECT_TRUE(counter.ok());
  counter->Feed(samples);
  return counter->Finish();
}

TEST(RangeCounterTest, MeasuresEachRangeFromThePreviousTurningPoint) {
  // With A = 100 and N = 200 the integer range r has the two-way partition r + 99.
  const auto by_value = [](std::vector<int32_t> ranges) {
    std::vector<int32_t> counts(kMaxPartitions);
    for (int32_t r : ranges) ++counts[static_cast<size_t>(r + 99)];
    return counts;
  };
  struct Case {
    std::vector<double> samples;
    std::vector<int32_t> ranges;
  };
  const Case cases[] = {
      {{0, 3, 3, 3, 1, 2}, {3, -2}},           // a flat top is one peak, at its first sample
      {{5, 1, 1, 1, 4, 3}, {-4, 3}},           // a flat bottom likewise
      {{1, 2, 2, 3, 1}, {1, 1}},               // a step in a rising run: two rising ranges
      {{5, 2, 7}, {-3}},                       // the first range starts at the first sample
      {{4, 4, 4}, {}},                         // no turning point at all
      {{0, 6, -1, 6, -1, 6}, {6, -7, 7, -7}},  // the last sample is never a turning point
  };
  for (const Case& c : cases) {
    const RangeCountResult r = Count(c.samples, {.partitions = 200, .amplitude_range = 100});
    EXPECT_EQ(r.two_way_counts, by_value(c.ranges));
  }
}

TEST(RangeCounterTest, CountsEachRangeInItsPartitionOfTenByFour) {
  // A = 10, N = 4: two-way edges -5, 0, 5, 10; one-way edges 2.5, 5, 7.5, 10.
  struct Case {
    double r;
    int two_way, one_way;  // -1: dropped
  };
  const Case cases[] = {{10, 3, 3},        {-10, 0, 3},    {5, 2, 1},   {-5, 0, 1},
                        {2.5, 2, 0},       {-7.5, 0, 2},   {0.1, 2, 0}, {-0.1, 1, 0},
                        {10.0001, -1, -1}, {-10.5, -1, -1}};
  for (const Case& c : cases) {
    const RangeCountResult r = Count({0, c.r, 0}, {.partitions = 4, .amplitude_range = 10});
    for (size_t k = 0; k < 4; ++k) {
      EXPECT_EQ(r.two_way_counts[k], static_cast<int>(k) == c.two_way ? 1 : 0) << c.r;
      EXPECT_EQ(r.one_way_counts[k], static_cast<int>(k) == c.one_way ? 1 : 0) << c.r;
    }
  }
}

// A range of exactly 0 needs a difference that vanishes when divided by c2 and c1 (it
// underflows); with A = 0 only such ranges get through, into partition 0 of both arrays.
TEST(RangeCounterTest, ZeroAndNaNRangesAZeroSetValueAndOnePartition) {
  const std::vector<double> x = {0, 3, -2, 1, -1, 0};  // ranges 3, -5, 3, -2
  const RangeCountResult vanishing =
      Count(x, {.partitions = 4, .amplitude_range = 10, .c1 = 1e300, .c2 = 1e300});
  EXPECT_EQ(vanishing.two_way_counts[1], 4);  // 0 belongs below the edge 0
  EXPECT_EQ(vanishing.one_way_counts[0], 4);
  const RangeCountResult zero_only =
      Count(x, {.partitions = 4, .amplitude_range = 0, .c1 = 1e300, .c2 = 1e300});
  EXPECT_EQ(zero_only.two_way_counts[0], 4);
  EXPECT_EQ(Count(x, {.partitions = 4, .amplitude_range = 0}).largest_count, 1);
  EXPECT_EQ(Count(x, {.partitions = 4, .amplitude_range = -1}).largest_count, 1);
  EXPECT_EQ(Count(x, {.partitions = 1, .amplitude_range = 10}).two_way_counts[0], 4);
  // A NaN sample of a float record makes a range that is not a number (here the first, from
  // NaN to 0): dropped, not passed by the bounds test into the top partition.
  const RangeCountResult nan = Count({NAN, 5, 0, 3, 1}, {.partitions = 4, .amplitude_range = 10});
  EXPECT_EQ(std::accumulate(nan.two_way_counts.begin(), nan.two_way_counts.end(), 0), 1);
  EXPECT_EQ(nan.two_way_counts[2], 1);  // only 0 -> 3
}

// The raw difference comes first, then the division by c2, then by c1; with A set to that
// quotient, any other order lands above A for this x and drops the range.
TEST(RangeCounterTest, TakesTheRawDifferenceThenDividesByC2ThenByC1) {
  const double c2 = 3.0, c1 = 0.7, e = 0.1;
  double x = 1;
  const auto right = [&] { return (x - e) / c2 / c1; };
  while (!(x / c2 / c1 - e / c2 / c1 > right() && (x - e) / (c2 * c1) > right() &&
           (x - e) / c1 / c2 > right())) {
    ++x;
  }
  const RangeCountResult r =
      Count({e, x, e}, {.partitions = 3, .amplitude_range = right(), .c1 = c1, .c2 = c2});
  EXPECT_EQ(r.two_way_counts[2], 1);
}

}  // namespace
}  // namespace torvwy::core
