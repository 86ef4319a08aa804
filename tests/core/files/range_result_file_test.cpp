// The range counting result file: the written bytes, round trips and the older layout.
#include "core/files/range_result_file.h"

#include <gtest/gtest.h>

#include "core/files/hand_built_files.h"
#include "core/files/result_file.h"

namespace torvwy::core {
namespace {
using testing::F64At;
using testing::I32At;

TEST(RangeResultFile, ReadsAndWritesTheLayoutByteForByte) {
  auto read = ParseRangeResultFile(testing::SmallRangeFile());
  ASSERT_TRUE(read) << read.error().detail;
  const RangeCountResult& r = read->result;
  EXPECT_EQ(read->sampling.bytes(), testing::SampleSampling().bytes());
  EXPECT_EQ(r.partitions, 4);
  EXPECT_EQ(r.envelope, testing::kSmallEnvelope);
  EXPECT_EQ(r.amplitude_mode, 2);
  EXPECT_EQ(r.range_mode, 1);
  EXPECT_EQ(r.last_block, 4);
  EXPECT_EQ(r.largest_count, 9);
  EXPECT_EQ(r.set_value, 50.0);
  EXPECT_EQ(r.two_way_width, 25.0);
  EXPECT_EQ(r.one_way_width, 12.5);
  EXPECT_EQ(r.envelope_minimum, -6.25);
  EXPECT_EQ(r.two_way_counts[0], 9);
  EXPECT_EQ(r.one_way_counts[3], 8);
  EXPECT_EQ(r.one_way_counts[4], 0);

  RangeResultFile shown = *read;
  shown.result.display_mode = 1;  // not saved
  auto bytes = EncodeRangeResultFile(shown);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*bytes, testing::SmallRangeFile());
  EXPECT_EQ(bytes->size(), 1270u + 8 * 4 + 8 * 6);
  EXPECT_EQ(bytes->substr(918, 20), "[ANALY-PARA--------]");
  EXPECT_EQ(I32At(*bytes, 962), 9);      // largest count
  EXPECT_EQ(F64At(*bytes, 1018), 50.0);  // set value
  EXPECT_EQ(bytes->substr(1178, 20), "[DISP-DATA-1-------]");
  EXPECT_EQ(I32At(*bytes, 1202 + 16 + 24), 2);  // first one-way count

  RangeResultFile large = *read;
  large.result.partitions = 50;
  large.result.envelope.assign(512, 0.0);
  EXPECT_EQ(EncodeRangeResultFile(large)->size(), 1270u + 8 * 50 + 8 * 512);
}

TEST(RangeResultFile, ReadsTheOlderLayoutOfEveryKind) {
  for (int32_t kind = 0; kind <= 4; ++kind) {
    SCOPED_TRACE(kind);
    testing::OlderRange older;
    older.kind = kind;
    older.two_way = {1, 2, 3, 4, 5, 6};
    older.one_way = {7, 8, 9, 10, 11};
    auto read = ParseRangeResultFile(testing::OlderRangeBytes(older));
    ASSERT_TRUE(read) << read.error().detail;
    const RangeCountResult& r = read->result;
    EXPECT_TRUE(read->old_format);
    EXPECT_EQ(read->old_format_warning, kind <= 1);
    EXPECT_EQ(r.partitions, kind <= 1 ? 5 : 4);  // kinds 0, 1: the last array's entry count
    EXPECT_EQ(r.two_way_counts[0], kind == 3 ? 0 : 1);
    EXPECT_EQ(r.one_way_counts[0], kind == 2 ? 0 : 7);
    EXPECT_EQ(r.two_way_counts[4], kind <= 1 ? 5 : 0);  // entries past N are dropped
    EXPECT_EQ(r.two_way_counts[5], 0);
    EXPECT_EQ(read->total_blocks, kind > 1 ? 12 : 0);
    EXPECT_EQ(r.first_block, kind > 1 ? 2 : 1);
    EXPECT_EQ(r.last_block, kind > 1 ? 11 : 1);
    EXPECT_EQ(r.largest_count, 8);
    EXPECT_EQ(r.amplitude_range, 40.0);
    EXPECT_EQ(r.one_way_width, 10.0);
    EXPECT_EQ(read->sampling.frequency_hz(), 512.0);
    EXPECT_EQ(read->sampling.eu(), "mm");
    EXPECT_TRUE(r.envelope.empty());
  }
}

}  // namespace
}  // namespace torvwy::core
