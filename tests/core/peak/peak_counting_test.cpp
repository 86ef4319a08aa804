// RunPeakCounting: samples tested across block borders, and the automatic amplitude range.
// What it shares with range counting is tested in tests/core/counting/.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/services/message_table.h"
#include "core/services/progress.h"
#include "support/count_record.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

using testing::TempDir;
using testing::WriteNode;

CountingParameters Params(int32_t mode, double set_value, int32_t n, int32_t first, int32_t last) {
  return {.first_block = first,
          .last_block = last,
          .amplitude_mode = mode,
          .set_value = set_value,
          .partitions = n};
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
    auto r =
        testing::CountPeaks(node.info, node.sts, Params(2, 10.0, 4, c.first, c.last), progress);
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

TEST(PeakCountingTest, AutomaticRangeEdgeCases) {
  TempDir dir;
  SilentProgress progress;
  // Automatic A is the largest sample divided once by c2 x c1; the same sample as a peak,
  // divided by c2 then c1, lies above it and must land in the top partitions, not be lost.
  std::vector<double> x(1024, 0.0);
  x[500] = 1.0;
  ASSERT_GT(1.0 / 1.7 / 0.3, 1.0 / (1.7 * 0.3));
  const auto spike = WriteNode(dir.path(), x, {.node_name = "s", .c1 = 0.3, .c2 = 1.7});
  auto r = testing::CountPeaks(spike.info, spike.sts, Params(1, 0, 8, 1, 1), progress);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r->two_way_peak_counts[7], 1);
  EXPECT_EQ(r->one_way_peak_counts[7], 1);

  // Automatic A of a waveform below zero is negative: no partition is made of it, and the run
  // says so before it counts.
  for (size_t i = 0; i < x.size(); ++i) x[i] = -10.0 - static_cast<double>(i % 5);
  const auto negative = WriteNode(dir.path(), x, {.node_name = "n"});
  r = testing::CountPeaks(negative.info, negative.sts, Params(1, 0, 25, 1, 1), progress);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().detail.find("the largest peak -10 EU is not above 0"), std::string::npos)
      << r.error().detail;

  // A float record starting with NaN has no finite automatic A: refused.
  x[0] = NAN;
  const auto nan_first = WriteNode(dir.path(), x, {.node_name = "q", .format = 885});
  auto failed =
      testing::CountPeaks(nan_first.info, nan_first.sts, Params(1, 0, 25, 1, 1), progress);
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().message, kMsgBadValue) << failed.error().detail;
}

}  // namespace
}  // namespace torvwy::core
