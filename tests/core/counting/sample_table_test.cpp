// Counting 16-bit samples by the table of partitions: the counts of counting each value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "core/counting/count_state.h"
#include "core/counting/partition_counter.h"
#include "core/data/int16_samples.h"
#include "core/peak/peak_counter.h"
#include "core/range/range_counter.h"
#include "core/services/progress.h"
#include "support/count_record.h"
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

// Values tallied by their step count as the same values counted one by one: settled on the way
// (a small tally limit), read out before settling, added unsettled to other counts, replaced by
// Assign; the values themselves are left as they were. Without a table a tally is a count.
TEST(SampleTable, TalliedValuesCountAsCountedOnes) {
  const auto steps = Int16Steps::Of(951);
  ASSERT_TRUE(steps.has_value());
  std::mt19937 random(3);
  std::vector<double> values(5000);
  for (double& v : values) v = steps->Value(random() % Int16Steps::kEntries);
  auto counter =
      PartitionCounter::Create({.partitions = 25, .amplitude_range = 3000.0, .c1 = 3.0, .c2 = 0.7});
  ASSERT_TRUE(counter.ok());
  const Counted want = Count(*counter, values);

  PartitionCounter by_table = *counter;
  by_table.UseSampleTable(951);
  by_table.SetTallyLimitForTesting(1100);
  PartitionCounts counts = by_table.MakeCounts();
  PartitionCounts second = by_table.MakeCounts();
  std::vector<double> fed = values;
  for (size_t begin = 0; begin < fed.size();) {
    const size_t end = begin < 3000 ? 3000 : fed.size();
    const size_t size = std::min<size_t>(random() % 38, end - begin);
    by_table.Tally({fed.data() + begin, size}, begin < 3000 ? counts : second);
    begin += size;
  }
  EXPECT_EQ(fed, values);
  EXPECT_FALSE(second.settled());
  EXPECT_EQ((Counted{second.TwoWay(), second.OneWay()}),
            Count(*counter, {values.begin() + 3000, values.end()}));
  counts.Add(second);
  EXPECT_EQ((Counted{counts.TwoWay(), counts.OneWay()}), want);
  const PartitionCounts settled = counts.Settled();
  EXPECT_TRUE(settled.settled());
  EXPECT_EQ((Counted{settled.TwoWay(), settled.OneWay()}), want);
  counts.Settle();
  EXPECT_EQ((Counted{counts.TwoWay(), counts.OneWay()}), want);

  const std::vector<int64_t> zeros(25);
  ASSERT_TRUE(second.Assign(zeros, zeros));
  EXPECT_TRUE(second.settled());
  EXPECT_EQ(second.TwoWay(), zeros);

  // All at once: settled on the way inside the one call.
  PartitionCounts at_once = by_table.MakeCounts();
  fed = values;
  by_table.Tally(fed, at_once);
  EXPECT_EQ((Counted{at_once.TwoWay(), at_once.OneWay()}), want);

  PartitionCounter no_table = *counter;
  PartitionCounts direct = no_table.MakeCounts();
  fed = values;
  no_table.Tally(fed, direct);
  EXPECT_EQ((Counted{direct.TwoWay(), direct.OneWay()}), want);
}

// A fresh counter of `setup` loaded from the saved state of `counter`.
template <typename Counter, typename Setup>
Counter Reloaded(const Counter& counter, const Setup& setup) {
  CountStateWriter out;
  counter.SaveState(out);
  const std::string state = out.Take();
  auto loaded = *Counter::Create(setup);
  CountStateReader in(state);
  EXPECT_TRUE(loaded.LoadState(in));
  return loaded;
}

// Peak and range counters on the table carry their tallied counts through a saved state and a
// join: a fresh counter loaded from the state, and two joined halves, finish as one counter fed
// everything value by value.
TEST(SampleTable, TalliedCountsSurviveSavedStatesAndJoins) {
  const double scale = Int16FormatScale(951);
  std::mt19937 random(5);
  std::vector<double> samples(20000);
  int32_t level = 0;
  for (double& x : samples) {
    level = std::clamp(level + static_cast<int32_t>(random() % 801) - 400, -32768, 32767);
    x = level * scale;
  }
  const std::span<const double> all(samples);
  const std::span<const double> first = all.first(12001);
  const std::span<const double> later = all.subspan(11999);  // one sample of overlap each side

  const PeakCountSetup peak_setup{.partitions = 30, .amplitude_range = 6000.0};
  auto peak_plain = *PeakCounter::Create(peak_setup);
  peak_plain.Feed(all);
  const PeakCountResult peak_want = peak_plain.Finish();
  auto peak_table = *PeakCounter::Create(peak_setup);
  peak_table.UseSampleTable(951);
  peak_table.Feed(all);
  const PeakCounter peak_loaded = Reloaded(peak_table, peak_setup);
  EXPECT_EQ(peak_loaded.Finish().two_way_total_counts, peak_want.two_way_total_counts);
  EXPECT_EQ(peak_loaded.Finish().one_way_peak_counts, peak_want.one_way_peak_counts);
  auto peak_head = *PeakCounter::Create(peak_setup);
  peak_head.UseSampleTable(951);
  auto peak_tail = peak_head;
  peak_head.Feed(first);
  peak_tail.Feed(later);
  peak_head.Join(peak_tail);
  EXPECT_EQ(peak_head.Finish().two_way_peak_counts, peak_want.two_way_peak_counts);
  EXPECT_EQ(peak_head.Finish().one_way_valley_counts, peak_want.one_way_valley_counts);

  const RangeCountSetup range_setup{.partitions = 30, .amplitude_range = 6000.0};
  auto range_plain = *RangeCounter::Create(range_setup);
  range_plain.Feed(all);
  const RangeCountResult range_want = range_plain.Finish();
  auto range_table = *RangeCounter::Create(range_setup);
  range_table.UseSampleTable(951);
  range_table.Feed(all);
  const RangeCounter range_loaded = Reloaded(range_table, range_setup);
  EXPECT_EQ(range_loaded.Finish().two_way_counts, range_want.two_way_counts);
  EXPECT_EQ(range_loaded.Finish().one_way_counts, range_want.one_way_counts);
  auto range_head = *RangeCounter::Create(range_setup);
  range_head.UseSampleTable(951);
  auto later_setup = range_setup;
  later_setup.opens_range = false;
  auto range_tail = *RangeCounter::Create(later_setup);
  range_tail.ShareSampleTable(range_head);
  range_head.Feed(first);
  range_tail.Feed(later);
  range_head.Join(range_tail);
  EXPECT_EQ(range_head.Finish().two_way_counts, range_want.two_way_counts);
  EXPECT_EQ(range_head.Finish().one_way_counts, range_want.one_way_counts);
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
      auto peak =
          testing::CountPeaks(int16.info, int16.sts, params, progress, testing::Threads(threads));
      auto peak_float = testing::CountPeaks(float64.info, float64.sts, params, progress,
                                            testing::Threads(threads));
      ASSERT_TRUE(peak.ok() && peak_float.ok());
      EXPECT_EQ(peak->two_way_peak_counts, peak_float->two_way_peak_counts);
      EXPECT_EQ(peak->one_way_valley_counts, peak_float->one_way_valley_counts);
      auto range =
          testing::CountRanges(int16.info, int16.sts, params, progress, testing::Threads(threads));
      auto range_float = testing::CountRanges(float64.info, float64.sts, params, progress,
                                              testing::Threads(threads));
      ASSERT_TRUE(range.ok() && range_float.ok());
      EXPECT_EQ(range->two_way_counts, range_float->two_way_counts);
      EXPECT_EQ(range->one_way_counts, range_float->one_way_counts);
    }
  }
}

}  // namespace
}  // namespace torvwy::core
