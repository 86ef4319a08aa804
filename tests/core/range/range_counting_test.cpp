// RunRangeCounting: where the first range starts and the ranges across block borders.
// What it shares with peak counting is tested in tests/core/counting/.
#include <gtest/gtest.h>

#include <vector>

#include "core/services/progress.h"
#include "support/count_record.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

using testing::TempDir;
using testing::WriteNode;

// Spikes at the block borders of three blocks of zeros, counted with A = 10, N = 4 (two-way
// partitions (-10, -5] (-5, 0] (0, 5] (5, 10]; one-way [0, 2.5] (2.5, 5] (5, 7.5] (7.5, 10]).
// The first range starts at the range's first sample; flat zeros are no turning points.
//
//   sample     0 .. 1023 1024 1025 .. 2047 2048 2049 .. 3071
//   value      0 ..   5   -3    0  ..   4   -2    0  ..   0
//
// Blocks 1..3: from 0: +5 (1023), -8 (1024), +3 (1025), +4 (2047), -6 (2048), +2 (2049).
// Blocks 2..3: from -3 (sample 1024, not tested itself): +3, +4, -6, +2.
// Block 1 only: +5 is on the range's last sample, which is never tested: nothing.
TEST(RangeCountingTest, FirstRangeStartsAtTheRangesFirstSampleAndCrossesBlockBorders) {
  std::vector<double> x(3 * 1024, 0.0);
  x[1023] = 5, x[1024] = -3, x[2047] = 4, x[2048] = -2;
  struct Case {
    int32_t first, last;
    std::vector<int32_t> two_way, one_way;
  };
  const Case cases[] = {
      {1, 3, {2, 0, 4, 0}, {1, 3, 1, 1}},
      {2, 3, {1, 0, 3, 0}, {1, 2, 1, 0}},
      {1, 1, {0, 0, 0, 0}, {0, 0, 0, 0}},
  };
  TempDir dir;
  const auto node = WriteNode(dir.path(), x);
  const auto first4 = [](const std::vector<int32_t>& v) {
    return std::vector<int32_t>(v.begin(), v.begin() + 4);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.first << ".." << c.last);
    SilentProgress progress;
    const CountingParameters params{.first_block = c.first,
                                    .last_block = c.last,
                                    .amplitude_mode = kAmplitudeSetValue,
                                    .set_value = 10.0,
                                    .partitions = 4};
    auto r = testing::CountRanges(node.info, node.sts, params, progress);
    ASSERT_TRUE(r.ok()) << r.error().detail;
    EXPECT_EQ(first4(r->two_way_counts), c.two_way);
    EXPECT_EQ(first4(r->one_way_counts), c.one_way);
    EXPECT_EQ(progress.position(), c.last - c.first + 1);
  }
}

}  // namespace
}  // namespace torvwy::core
