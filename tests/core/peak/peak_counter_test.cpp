// PeakCounter: which samples are peaks and valleys, and where their values are counted.
#include "core/peak/peak_counter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

PeakCountResult Count(const std::vector<double>& samples, PeakCountSetup setup) {
  auto counter = PeakCounter::Create(setup);
  EXPECT_TRUE(counter.ok());
  counter->Feed(samples);
  return counter->Finish();
}

// The partition holding the single count of `counts`, -1 when there is none.
int Only(const std::vector<int32_t>& counts) {
  for (size_t k = 0; k < counts.size(); ++k) {
    if (counts[k] != 0) return counts[k] == 1 ? static_cast<int>(k) : -2;
  }
  return -1;
}

TEST(PeakCounterTest, FindsPeaksAndValleysWithTheirFlatTopsAndBottoms) {
  // With A = 100 and N = 200 the integer value v has the two-way partition v + 99.
  const auto by_value = [](std::vector<int32_t> values) {
    std::vector<int32_t> counts(kMaxPartitions);
    for (int32_t v : values) ++counts[static_cast<size_t>(v + 99)];
    return counts;
  };
  struct Case {
    std::vector<double> samples;
    std::vector<int32_t> peaks, valleys;
  };
  const Case cases[] = {
      {{1, 3, 3, 1}, {3}, {}},         // a flat top counts at its first sample
      {{1, 2, 2, 3, 1}, {2, 3}, {}},   // a step in a rising edge is a peak too
      {{3, 1, 1, 3}, {}, {1}},         // a flat bottom
      {{2, 2, 2}, {}, {}},             // equal to both neighbours: neither
      {{5, 0, 5}, {}, {0}},            // the first and the last are never tested
      {{4, 1, 4, 1, 4}, {4}, {1, 1}},  // alternating
      {{-3, -1, -2, -2, -1, -5}, {-1, -1}, {-2}},
  };
  for (const Case& c : cases) {
    const PeakCountResult r = Count(c.samples, {.partitions = 200, .amplitude_range = 100});
    EXPECT_EQ(r.two_way_peak_counts, by_value(c.peaks));
    EXPECT_EQ(r.two_way_valley_counts, by_value(c.valleys));
  }
}

TEST(PeakCounterTest, FeedingInPiecesCountsLikeFeedingAtOnce) {
  std::vector<double> x;
  for (int i = 0; i < 300; ++i) x.push_back(static_cast<double>((i * 7919) % 13 / 3));
  const PeakCountResult whole = Count(x, {.partitions = 7, .amplitude_range = 5});
  for (size_t split = 0; split <= x.size(); ++split) {
    auto counter = PeakCounter::Create({.partitions = 7, .amplitude_range = 5});
    counter->Feed(std::span(x).first(split));
    for (size_t i = split; i < x.size(); ++i) counter->Feed(std::span(x).subspan(i, 1));
    ASSERT_EQ(counter->Finish().two_way_total_counts, whole.two_way_total_counts) << split;
  }
}

TEST(PeakCounterTest, CountsEachValueInItsPartitionOfTenByFour) {
  // A = 10, N = 4: two-way edges -5, 0, 5, 10; one-way edges 2.5, 5, 7.5, 10.
  struct Case {
    double v;
    int two_way, one_way;  // -1: dropped
  };
  const Case cases[] = {{-10, 0, 3},    {-5, 0, 1},        {-4.999, 1, 1},    {0, 1, 0},
                        {2.5, 2, 0},    {5, 2, 1},         {7.5, 3, 2},       {10, 3, 3},
                        {1e-300, 2, 0}, {10.0001, -1, -1}, {-10.0001, -1, -1}};
  for (const Case& c : cases) {
    // The value once as a peak and once as a valley; the huge turns between are dropped.
    const PeakCountResult r =
        Count({-1e9, c.v, -1e9, 1e9, c.v, 1e9}, {.partitions = 4, .amplitude_range = 10});
    EXPECT_EQ(Only(r.two_way_peak_counts), c.two_way) << c.v;
    EXPECT_EQ(Only(r.two_way_valley_counts), c.two_way) << c.v;
    EXPECT_EQ(Only(r.one_way_peak_counts), c.one_way) << c.v;
    EXPECT_EQ(Only(r.one_way_valley_counts), c.one_way) << c.v;
    EXPECT_EQ(r.largest_total_count, c.two_way < 0 ? 1 : 2);
    EXPECT_EQ(r.cursor_partition, 2);
  }
}

// x / c2 / c1 and the other orders differ in the last bit for some x; with A set to the right
// quotient, a wrong order lands above A and drops the peak.
TEST(PeakCounterTest, DividesByC2ThenByC1) {
  const double c2 = 3.0, c1 = 0.7;
  double x = 1;
  while (!(x / (c2 * c1) > x / c2 / c1 && x / c1 / c2 > x / c2 / c1)) ++x;
  const PeakCountResult r =
      Count({0, x, 0}, {.partitions = 3, .amplitude_range = x / c2 / c1, .c1 = c1, .c2 = c2});
  EXPECT_EQ(r.two_way_peak_counts[2], 1);
}

TEST(PeakCounterTest, PartitionCountAndAmplitudeRangeAtTheirLimits) {
  const std::vector<double> x = {0, 3, -2, 1, -1, 0};  // peaks 3, 1; valleys -2, -1
  EXPECT_EQ(Count(x, {.partitions = 1, .amplitude_range = 5}).one_way_total_counts[0], 4);
  EXPECT_EQ(Count(x, {.partitions = 5000, .amplitude_range = 5}).partitions, 2000);
  EXPECT_EQ(Count(x, {.partitions = 4, .amplitude_range = -3}).largest_total_count, 1);
  EXPECT_EQ(
      Count({1, 0, 1, 0, 1}, {.partitions = 4, .amplitude_range = 0}).two_way_valley_counts[0],
      2);  // with A = 0 only values of exactly 0 pass
  for (const PeakCountSetup& bad : {PeakCountSetup{.partitions = 0, .amplitude_range = 1},
                                    PeakCountSetup{.partitions = 5, .amplitude_range = NAN},
                                    PeakCountSetup{.partitions = 5, .amplitude_range = INFINITY}}) {
    auto counter = PeakCounter::Create(bad);
    ASSERT_FALSE(counter.ok());
    EXPECT_EQ(counter.error().message, kMsgBadValue);
  }
}

}  // namespace
}  // namespace torvwy::core
