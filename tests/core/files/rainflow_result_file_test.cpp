// The rainflow result file: the written bytes, round trips and the legacy layout.
#include "core/files/rainflow_result_file.h"

#include <gtest/gtest.h>

#include "core/files/hand_built_files.h"
#include "core/files/result_file.h"

namespace torvwy::core {
namespace {
using testing::F64At;
using testing::I32At;

TEST(RainflowResultFile, ReadsAndWritesTheLayoutByteForByte) {
  auto read = ParseRainflowResultFile(testing::SmallRainflowFile());
  ASSERT_TRUE(read) << read.error().detail;
  const RainflowResult& r = read->result;
  EXPECT_EQ(read->sampling.bytes(), testing::SampleSampling().bytes());
  EXPECT_EQ(r.partitions, 4);
  EXPECT_EQ(r.envelope, testing::kSmallEnvelope);
  EXPECT_EQ(r.amplitude_mode, 1);
  EXPECT_EQ(r.largest_count, 3);
  EXPECT_EQ(r.amplitude_range, 12.0);
  EXPECT_EQ(r.partition_width, 3.0);
  EXPECT_EQ(r.envelope_maximum, 7.5);
  EXPECT_EQ(r.envelope_minimum, -6.25);
  EXPECT_EQ(r.counts[0], 3.5);
  EXPECT_EQ(r.counts[1], 0.5);
  EXPECT_EQ(r.cursor_partition, 2);

  RainflowResultFile counted = *read;
  counted.result.turning_points = 17;  // not saved
  auto bytes = EncodeRainflowResultFile(counted);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*bytes, testing::SmallRainflowFile());
  EXPECT_EQ(bytes->size(), 1246u + 8 * 4 + 8 * 6);
  EXPECT_EQ(I32At(*bytes, 938 + 24), 3);     // largest count, the seventh int
  EXPECT_EQ(F64At(*bytes, 1018 + 16), 3.0);  // w
  EXPECT_EQ(bytes->substr(1178, 20), "[RAINFLOW-DATA-----]");
  EXPECT_EQ(F64At(*bytes, 1202), 3.5);

  counted.result.partitions = 2000;
  counted.result.envelope.assign(1024, 0.0);
  EXPECT_EQ(EncodeRainflowResultFile(counted)->size(), 1246u + 8 * 2000 + 8 * 1024);
}

TEST(RainflowResultFile, ReadsTheLegacyLayout) {
  testing::LegacyRainflow legacy;
  legacy.counts = {1.0, 2.5, 0.0, 4.0};
  auto read = ParseRainflowResultFile(testing::LegacyRainflowBytes(legacy));
  ASSERT_TRUE(read) << read.error().detail;
  const RainflowResult& r = read->result;
  EXPECT_TRUE(read->old_format);
  EXPECT_FALSE(read->old_format_warning);
  EXPECT_EQ(r.partitions, 4);
  EXPECT_EQ(r.counts[1], 2.5);
  EXPECT_EQ(r.counts[3], 4.0);
  EXPECT_EQ(r.largest_count, 3);
  EXPECT_EQ(r.partition_width, 25.0);
  EXPECT_EQ(read->total_blocks, 5);
  EXPECT_EQ(r.last_block, 5);
  EXPECT_EQ(read->sampling.c2(), 8.0);
  EXPECT_EQ(read->sampling.eu(), "με");  // GBK in the file
  EXPECT_TRUE(r.envelope.empty());
  EXPECT_EQ(ResultFullScale(CountingKind::kRainflow, *read).value(), 10000.0);

  // N above 2000 reads 2000 counts; a unit text longer than its field is cut to it.
  legacy.n = 2500;
  legacy.counts.assign(2500, 1.0);
  legacy.unit = std::string(70, 'u');
  auto large = ParseRainflowResultFile(testing::LegacyRainflowBytes(legacy));
  ASSERT_TRUE(large) << large.error().detail;
  EXPECT_EQ(large->result.partitions, 2000);
  EXPECT_EQ(large->result.counts[1999], 1.0);
  EXPECT_EQ(large->sampling.eu(), std::string(49, 'u'));
  EXPECT_EQ(large->sampling.text1(), "");  // the field after the unit is untouched
}

}  // namespace
}  // namespace torvwy::core
