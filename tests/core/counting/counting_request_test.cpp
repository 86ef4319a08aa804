// Counting requests: settled against a node as the command line, the dialog and Python ask.
#include "core/counting/counting_request.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

/// 81 half blocks at 1024 Hz: 40 whole blocks, 40 s.
SamplingInfo Node() {
  SamplingInfo info;
  info.set_frequency_hz(1024.0);
  info.set_c1(2.0);
  info.set_c2(5.0);
  info.set_format(951);
  info.set_length_half_blocks(81);
  return info;
}

TEST(CountingRequest, SettlesTheBlocksAsked) {
  struct Case {
    const char* what;
    std::optional<BlockRange> blocks;
    int32_t mode, first, last;
  };
  for (const Case& c : {
           Case{"none: the whole record", std::nullopt, kRangeFull, 1, 40},
           Case{"inside", BlockRange{3, 17}, kRangeByBlock, 3, 17},
           Case{"reversed: swapped", BlockRange{30, 10}, kRangeByBlock, 10, 30},
           Case{"beyond both ends: clamped", BlockRange{0, 500}, kRangeByBlock, 1, 40},
           Case{"past the end: the last block", BlockRange{41, 41}, kRangeByBlock, 40, 40},
           Case{"negative: the first block", BlockRange{-3, -9}, kRangeByBlock, 1, 1},
           Case{"reversed beyond the end", BlockRange{900, 39}, kRangeByBlock, 39, 40},
       }) {
    auto p = SettleCountingRequest(BlockRequest(c.blocks, kAmplitudeAutomatic, 0.0, 25), Node());
    ASSERT_TRUE(p) << c.what;
    EXPECT_EQ(p->range_mode, c.mode) << c.what;
    EXPECT_EQ(p->first_block, c.first) << c.what;
    EXPECT_EQ(p->last_block, c.last) << c.what;
    EXPECT_EQ(p->total_blocks, 40) << c.what;
  }
}

TEST(CountingRequest, KeepsWhatTheFaceAskedFor) {
  struct Case {
    int32_t amplitude_mode;
    double set_value;
    int32_t partitions, effective;
  };
  // N is kept as asked (a file records it); the run counts at most 2000. The set value is
  // kept beside the other modes, which don't use it.
  for (const Case& c :
       {Case{kAmplitudeFullScale, 0.0, 2, 2}, Case{kAmplitudeAutomatic, -1.0, 25, 25},
        Case{kAmplitudeSetValue, 1e-300, 1999, 1999}, Case{kAmplitudeSetValue, 3.5, 2000, 2000},
        Case{kAmplitudeSetValue, 12.25, 5000, 2000}}) {
    auto p = SettleCountingRequest(
        BlockRequest(std::nullopt, c.amplitude_mode, c.set_value, c.partitions), Node());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->amplitude_mode, c.amplitude_mode);
    EXPECT_EQ(p->set_value, c.set_value);
    EXPECT_EQ(p->partitions, c.partitions);
    EXPECT_EQ(EffectivePartitions(p->partitions), c.effective);
  }
}

TEST(CountingRequest, FullRangeKeepsTheTypedFieldsAndByTimeSettlesTheTimes) {
  // The dialog hands in every field; Full counts the whole node and keeps the block fields for
  // the next time it shows.
  CountingRequest full;
  full.blocks = BlockRange{12, 5};
  auto p = SettleCountingRequest(full, Node());
  ASSERT_TRUE(p);
  EXPECT_EQ(p->block_from, 12);
  EXPECT_EQ(p->block_to, 5);
  EXPECT_EQ(p->first_block, 1);
  EXPECT_EQ(p->last_block, 40);
  EXPECT_DOUBLE_EQ(p->time_to, 40.0);

  CountingRequest by_time;
  by_time.range_mode = kRangeByTime;
  by_time.times = TimeRange{7.5, -2.0};
  p = SettleCountingRequest(by_time, Node());
  ASSERT_TRUE(p);
  EXPECT_EQ(p->time_from, 0.0);
  EXPECT_EQ(p->time_to, 7.5);
}

TEST(CountingRequest, RefusesModesOutsideTheirValues) {
  struct Case {
    int32_t range_mode, amplitude_mode;
    const char* detail;
  };
  for (const Case& c : {Case{3, kAmplitudeAutomatic, "analysis range mode 3 is not 0, 1 or 2"},
                        Case{-1, kAmplitudeAutomatic, "analysis range mode -1 is not 0, 1 or 2"},
                        Case{kRangeFull, 3, "amplitude mode 3 is not 0, 1 or 2"},
                        Case{kRangeByBlock, -1, "amplitude mode -1 is not 0, 1 or 2"}}) {
    CountingRequest request;
    request.range_mode = c.range_mode;
    request.amplitude_mode = c.amplitude_mode;
    auto p = SettleCountingRequest(request, Node());
    ASSERT_FALSE(p) << c.detail;
    EXPECT_EQ(p.error().message, kMsgBadValue);
    EXPECT_EQ(p.error().detail, c.detail);
  }
}

TEST(CountingRequest, RefusesAnAmplitudeNoPartitionCanBeMadeOf) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double most = std::numeric_limits<double>::max();
  struct Case {
    double set_value;
    const char* detail;
  };
  for (const Case& c : {
           Case{0.0, "the set amplitude range = 0 is not a finite number above 0"},
           Case{-0.0, "the set amplitude range = -0 is not a finite number above 0"},
           Case{-1.0, "the set amplitude range = -1 is not a finite number above 0"},
           Case{nan, "the set amplitude range = nan is not a finite number above 0"},
           Case{inf, "the set amplitude range = inf is not a finite number above 0"},
           Case{1e308, "the set amplitude range = 1e+308 makes the partition width infinite"},
           Case{most,
                "the set amplitude range = 1.7976931348623157e+308 makes the partition "
                "width infinite"},
       }) {
    auto p = SettleCountingRequest(BlockRequest(std::nullopt, kAmplitudeSetValue, c.set_value, 4),
                                   Node());
    ASSERT_FALSE(p) << c.detail;
    EXPECT_EQ(p.error().message, kMsgBadValue);
    EXPECT_EQ(p.error().detail, c.detail);
  }
  // The largest value whose double is finite still divides: 2A / N = DBL_MAX for N = 1.
  EXPECT_TRUE(
      SettleCountingRequest(BlockRequest(std::nullopt, kAmplitudeSetValue, most / 2, 1), Node()));

  // The full scale of format 951 is finite and above 0 for any finite c1 other than 0: a
  // negative c1 turns the samples over and keeps the size of the range. c1 = 0 makes it
  // infinite.
  for (const double c1 : {2.0, -2.0, -1e-300}) {
    SamplingInfo info = Node();
    info.set_c1(c1);
    EXPECT_TRUE(
        SettleCountingRequest(BlockRequest(std::nullopt, kAmplitudeFullScale, 0.0, 4), info))
        << c1;
  }
  for (const double c1 : {0.0, 1e-320, nan}) {
    SamplingInfo info = Node();
    info.set_c1(c1);
    auto p = SettleCountingRequest(BlockRequest(std::nullopt, kAmplitudeFullScale, 0.0, 4), info);
    ASSERT_FALSE(p) << c1;
    EXPECT_EQ(p.error().message, kMsgBadValue);
    EXPECT_NE(p.error().detail.find("the full scale (FS + FS) / c2 / c1 = "), std::string::npos)
        << p.error().detail;
  }
}

TEST(CountingRequest, OnePartitionRule) {
  EXPECT_TRUE(CheckPartitionCount(1, "--partitions"));
  EXPECT_TRUE(CheckPartitionCount(5000, "--partitions"));
  for (int64_t n : {int64_t{0}, int64_t{-1}, std::numeric_limits<int64_t>::min()}) {
    const Status ok = CheckPartitionCount(n, "--partitions");
    ASSERT_FALSE(ok) << n;
    EXPECT_EQ(ok.error().message, kMsgBadValue);
    EXPECT_EQ(ok.error().detail, "--partitions must be 1 or more");
  }
  EXPECT_EQ(CheckPartitionCount(0, "partitions").error().detail, "partitions must be 1 or more");

  struct Case {
    int64_t n;
    int32_t effective, held;
    bool valid;
  };
  for (const Case& c : {Case{-5, -5, 0, false}, Case{0, 0, 0, false}, Case{1, 1, 1, true},
                        Case{1999, 1999, 1999, true}, Case{2000, 2000, 2000, true},
                        Case{2001, 2000, 2000, false}, Case{int64_t{1} << 40, 2000, 2000, false}}) {
    EXPECT_EQ(EffectivePartitions(c.n), c.effective) << c.n;
    EXPECT_EQ(PartitionsHeld(c.n), c.held) << c.n;
    EXPECT_EQ(PartitionCountValid(c.n), c.valid) << c.n;
  }
}

}  // namespace
}  // namespace torvwy::core
