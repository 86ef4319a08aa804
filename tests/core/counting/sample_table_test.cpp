// Counting 16-bit samples by the table of partitions: the counts of counting each value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "core/counting/partition_counter.h"
#include "core/counting/progress.h"
#include "core/data/int16_samples.h"
#include "core/peak/peak_counting.h"
#include "core/range/range_counting.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

struct Counted {
  std::vector<int64_t> two_way, one_way;
  bool operator==(const Counted&) const = default;
};

Counted Count(PartitionCounter counter, std::vector<double> values) {
  PartitionCounts counts = counter.MakeCounts();
  counter.CountRaw(values, counts);
  return {counts.TwoWay(), counts.OneWay()};
}

// Every step of the format (all raw values and all differences of two) counted by the table and
// one by one: partition counts from 1 to 2000, an amplitude range at the full scale, inside the
// samples (values beyond it dropped) and automatic (values above it in the top partitions), and
// calibrations whose divisions round, one of them negative.
TEST(SampleTable, CountsEveryStepAsCountingItDoes) {
  for (const int32_t format : {951, 861}) {
    const auto steps = Int16Steps::Of(format);
    ASSERT_TRUE(steps.has_value());
    std::vector<double> values(Int16Steps::kEntries);
    for (size_t j = 0; j < values.size(); ++j) values[j] = steps->Value(j);
    const double full = format == 951 ? 10000.0 : 5000.0;
    for (const int32_t n : {1, 7, 25, 2000}) {
      for (const auto& [c1, c2] :
           {std::pair{1.0, 1.0}, std::pair{3.0, 0.7}, std::pair{-2.5, 1.3}}) {
        for (const auto& [a, automatic] : {std::pair{full, false}, std::pair{full / 3.1, false},
                                           std::pair{full / c1 / c2 * 0.999, true}}) {
          SCOPED_TRACE(::testing::Message() << format << " N " << n << " c1 " << c1 << " c2 " << c2
                                            << " A " << a << (automatic ? " automatic" : ""));
          auto counter = PartitionCounter::Create({.partitions = n,
                                                   .amplitude_range = a,
                                                   .c1 = c1,
                                                   .c2 = c2,
                                                   .top_takes_above = automatic});
          ASSERT_TRUE(counter.ok());
          PartitionCounter by_table = *counter;
          by_table.UseSampleTable(format);
          const Counted want = Count(*counter, values);
          EXPECT_EQ(Count(by_table, values), want);
          // A copy shares the table and counts the same.
          const PartitionCounter copy = by_table;
          EXPECT_EQ(Count(copy, values), want);
        }
      }
    }
  }
  // Other formats keep counting value by value.
  auto counter = PartitionCounter::Create({.partitions = 5, .amplitude_range = 2.0});
  PartitionCounter floats = *counter;
  floats.UseSampleTable(885);
  const std::vector<double> values{0.1, -0.3, 1.7, 2.5};
  EXPECT_EQ(Count(floats, values), Count(*counter, values));
}

// A record long enough for the table, as int16 and as float64 samples of the same raw values:
// the same peak and range counts, on one thread and on two.
TEST(SampleTable, LongRecordsCountAsTheirFloatCopies) {
  testing::TempDir dir;
  const int64_t samples = PartitionCounter::kSampleTableFrom + 4096;
  std::vector<double> stored(static_cast<size_t>(samples));
  std::mt19937 random(9);
  int32_t level = 0;
  for (double& x : stored) {
    level = std::clamp(level + static_cast<int32_t>(random() % 801) - 400, -32768, 32767);
    x = level;
  }
  testing::NodeLayout layout;
  layout.format = 951;
  layout.c1 = 3.0;
  layout.c2 = 0.7;
  layout.node_name = "1";
  const auto int16 = testing::WriteNode(dir.path(), stored, layout);
  for (double& x : stored) x *= 10000.0 / 32768.0;
  layout.format = 886;
  layout.node_name = "2";
  const auto float64 = testing::WriteNode(dir.path(), stored, layout);

  const auto blocks = static_cast<int32_t>(samples / kBlockSamples);
  for (const int threads : {1, 2}) {
    for (const double a : {1000.0, 10000.0 / 2.1}) {
      SCOPED_TRACE(::testing::Message() << threads << " threads, A " << a);
      const CountingParameters params{.first_block = 1,
                                      .last_block = blocks,
                                      .amplitude_mode = kAmplitudeSetValue,
                                      .set_value = a,
                                      .partitions = 40};
      SilentProgress progress;
      auto peak = RunPeakCounting(int16.info, int16.sts, params, progress, {}, threads);
      auto peak_float = RunPeakCounting(float64.info, float64.sts, params, progress, {}, threads);
      ASSERT_TRUE(peak.ok() && peak_float.ok());
      EXPECT_EQ(peak->two_way_peak_counts, peak_float->two_way_peak_counts);
      EXPECT_EQ(peak->one_way_valley_counts, peak_float->one_way_valley_counts);
      auto range = RunRangeCounting(int16.info, int16.sts, params, progress, {}, threads);
      auto range_float = RunRangeCounting(float64.info, float64.sts, params, progress, {}, threads);
      ASSERT_TRUE(range.ok() && range_float.ok());
      EXPECT_EQ(range->two_way_counts, range_float->two_way_counts);
      EXPECT_EQ(range->one_way_counts, range_float->one_way_counts);
    }
  }
}

}  // namespace
}  // namespace torvwy::core
