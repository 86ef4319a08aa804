// Counting parameters: reset on node load, the AD range value, settling the range.
#include "core/counting/counting_parameters.h"

#include <gtest/gtest.h>

namespace torvwy::core {
namespace {

SamplingInfo Node(int32_t half_blocks) {
  SamplingInfo info;
  info.set_frequency_hz(1024.0);
  info.set_c1(2.0);
  info.set_c2(5.0);
  info.set_format(951);
  info.set_length_half_blocks(half_blocks);
  return info;
}

TEST(CountingParameters, DefaultsAndResetOnNodeLoad) {
  CountingParameters p;
  EXPECT_EQ(p.partitions, 25);
  EXPECT_EQ(p.amplitude_mode, kAmplitudeAutomatic);
  p.range_mode = kRangeByBlock;
  p.set_value = 3.0;
  p.block_from = 7;
  ResetRangeOnNodeLoad(p, Node(81));
  EXPECT_EQ(p.total_blocks, 40);
  EXPECT_EQ(p.block_from, 1);
  EXPECT_EQ(p.first_block, 1);
  EXPECT_EQ(p.block_to, 40);
  EXPECT_EQ(p.last_block, 40);
  EXPECT_DOUBLE_EQ(p.time_to, 40.0);
  EXPECT_EQ(p.range_mode, kRangeByBlock);  // kept
  EXPECT_EQ(p.set_value, 3.0);             // kept
}

TEST(CountingParameters, TheFullScaleIsTheDefaultSetValue) {
  CountingParameters p;
  TakeAdRangeAsDefault(p, 2000.0);
  EXPECT_EQ(p.set_value, 2000.0);
  p.set_value = -1.0;
  TakeAdRangeAsDefault(p, 2000.0);
  EXPECT_EQ(p.set_value, -1.0);
}

TEST(CountingParameters, SettlesTheRange) {
  struct Case {
    int32_t mode, from, to, first, last;
  };
  for (const Case& c : {Case{kRangeByBlock, 0, 500, 1, 40}, Case{kRangeByBlock, 30, 10, 10, 30},
                        Case{kRangeByBlock, 41, 41, 40, 40}, Case{kRangeByBlock, -3, -9, 1, 1},
                        Case{kRangeFull, 5, 6, 1, 40}}) {
    CountingParameters p;
    ResetRangeOnNodeLoad(p, Node(80));
    p.range_mode = c.mode;
    p.block_from = c.from;
    p.block_to = c.to;
    SettleRange(p);
    EXPECT_EQ(p.first_block, c.first) << c.from << ".." << c.to;
    EXPECT_EQ(p.last_block, c.last) << c.from << ".." << c.to;
  }
  CountingParameters by_time;
  ResetRangeOnNodeLoad(by_time, Node(80));
  by_time.range_mode = kRangeByTime;
  by_time.first_block = 3;
  by_time.time_from = 9.0;
  by_time.time_to = -2.0;
  SettleRange(by_time);
  EXPECT_EQ(by_time.time_from, 0.0);
  EXPECT_EQ(by_time.time_to, 9.0);
  EXPECT_EQ(by_time.first_block, 3);  // the blocks stay as they were
}

}  // namespace
}  // namespace torvwy::core
