// The range counting result file: the written bytes, round trips and the older layout.
#include "core/files/range_result_file.h"

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

TEST(RangeResultFile, RefusesImpossibleValuesAndEveryCut) {
  // Offsets in the small file (N = 4, M = 6): A, W2, W1 at 1026, 1034, 1042; the two-way
  // counts from 1202, the one-way counts from 1242.
  const std::string good = testing::SmallRangeFile();
  ASSERT_EQ(good.size(), 1350u);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  auto i32 = [](int32_t value) { return LeBytes().I32(value).str(); };
  auto f64 = [](double value) { return LeBytes().F64(value).str(); };
  testing::OlderRange older;
  older.two_way = {1, 2, 3, 4};
  older.one_way = {5, 6, -7, 8};
  testing::OlderRange older_first;  // kind 0: N comes from the last array
  older_first.kind = 0;
  older_first.two_way = {-1, 2, 3};
  older_first.one_way = {4, 5, 6};
  testing::OlderRange older_nan;
  older_nan.amplitude_range = nan;
  older_nan.two_way = older_nan.one_way = {1, 2, 3, 4};
  const std::pair<const char*, std::string> cases[] = {
      {"the fourth two-way count -1", testing::Overwritten(good, 1214, i32(-1))},
      {"the first one-way count INT32_MIN", testing::Overwritten(good, 1242, i32(INT32_MIN))},
      {"A is NaN", testing::Overwritten(good, 1026, f64(nan))},
      {"W1 is infinite",
       testing::Overwritten(good, 1042, f64(std::numeric_limits<double>::infinity()))},
      {"older kind 4: a negative one-way count", testing::OlderRangeBytes(older)},
      {"older kind 0: a negative two-way count", testing::OlderRangeBytes(older_first)},
      {"older: A is NaN", testing::OlderRangeBytes(older_nan)},
  };
  for (const auto& [what, bytes] : cases) {
    auto read = ParseRangeResultFile(bytes);
    ASSERT_FALSE(read) << what;
    EXPECT_EQ(read.error().message, kMsgResultFileDamaged) << what;
  }
  EXPECT_EQ(testing::CutsNotRefusedAsDamaged(good, ParseRangeResultFile), std::vector<size_t>{});
}

}  // namespace
}  // namespace torvwy::core
