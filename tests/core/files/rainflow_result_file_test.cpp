// The rainflow result file: the written bytes, round trips and the legacy layout.
#include "core/files/rainflow_result_file.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/files/hand_built_files.h"
#include "core/files/result_file.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {
using testing::F64At;
using testing::I32At;
using testing::LeBytes;

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

TEST(RainflowResultFile, RefusesImpossibleValuesAndEveryCut) {
  // Offsets in the small file (N = 4, M = 6): A and w at 1026 and 1034, the counts from 1202.
  const std::string good = testing::SmallRainflowFile();
  ASSERT_EQ(good.size(), 1326u);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  auto f64 = [](double value) { return LeBytes().F64(value).str(); };
  auto legacy = [](std::vector<double> counts, double width = 25.0) {
    testing::LegacyRainflow file;
    file.counts = std::move(counts);
    file.width = width;
    return testing::LegacyRainflowBytes(file);
  };
  const std::pair<const char*, std::string> cases[] = {
      {"a count of -0.5", testing::Overwritten(good, 1202, f64(-0.5))},
      {"a NaN count", testing::Overwritten(good, 1210, f64(nan))},
      {"an infinite count", testing::Overwritten(good, 1218, f64(inf))},
      {"a count of 0.25", testing::Overwritten(good, 1226, f64(0.25))},
      {"a count of 1e300", testing::Overwritten(good, 1226, f64(1e300))},
      {"A is NaN", testing::Overwritten(good, 1026, f64(nan))},
      {"w is infinite", testing::Overwritten(good, 1034, f64(inf))},
      {"legacy: a count of -1", legacy({1.0, -1.0, 0.0, 2.0})},
      {"legacy: a NaN count", legacy({1.0, 0.5, nan, 2.0})},
      {"legacy: a count of 1.75", legacy({1.75, 0.5, 0.0, 2.0})},
      {"legacy: w is NaN", legacy({1.0, 0.5, 0.0, 2.0}, nan)},
  };
  for (const auto& [what, bytes] : cases) {
    auto read = ParseRainflowResultFile(bytes);
    ASSERT_FALSE(read) << what;
    EXPECT_EQ(read.error().message, kMsgResultFileDamaged) << what;
  }
  EXPECT_EQ(testing::CutsNotRefusedAsDamaged(good, ParseRainflowResultFile), std::vector<size_t>{});
  // Whole and half counts, large ones too, are what a counting gives: blocks 1..2^31 - 1 hold
  // up to 1.0995e12 cycles.
  const std::string all_blocks =
      testing::Overwritten(good, 954, LeBytes().I32(1).I32(INT32_MAX).str());
  for (double count : {0.0, 2.5, 1e6 + 0.5, 1e12 + 0.5}) {
    auto read = ParseRainflowResultFile(testing::Overwritten(all_blocks, 1202, f64(count)));
    ASSERT_TRUE(read) << count;
    EXPECT_EQ(read->result.counts[0], count);
  }
}

}  // namespace
}  // namespace torvwy::core
