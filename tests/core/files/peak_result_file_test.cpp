// The peak counting result file: the written bytes, round trips and the older layout.
#include "core/files/peak_result_file.h"

#include <gtest/gtest.h>

#include "core/files/hand_built_files.h"
#include "core/files/result_file.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {
using testing::F64At;
using testing::I32At;

std::vector<int32_t> First(const std::vector<int32_t>& counts, size_t n) {
  return {counts.begin(), counts.begin() + static_cast<ptrdiff_t>(n)};
}

TEST(PeakResultFile, ReadsAndWritesTheLayoutByteForByte) {
  // The hand-built file read field by field, then written back unchanged.
  auto read = ParsePeakResultFile(testing::SmallPeakFile());
  ASSERT_TRUE(read) << read.error().detail;
  const PeakCountResult& r = read->result;
  EXPECT_EQ(read->sampling.bytes(), testing::SampleSampling().bytes());
  EXPECT_EQ(r.partitions, 4);
  EXPECT_EQ(r.envelope, testing::kSmallEnvelope);
  EXPECT_EQ(r.amplitude_mode, 1);
  EXPECT_EQ(r.range_mode, 2);
  EXPECT_EQ(r.first_block, 3);
  EXPECT_EQ(r.last_block, 7);
  EXPECT_EQ(r.largest_separate_count, 5);
  EXPECT_EQ(r.largest_total_count, 9);
  EXPECT_EQ(r.amplitude_range, 8.0);
  EXPECT_EQ(r.two_way_width, 4.0);
  EXPECT_EQ(r.one_way_width, 2.0);
  EXPECT_EQ(r.envelope_maximum, 7.5);
  EXPECT_EQ(r.envelope_minimum, -6.25);
  EXPECT_EQ(First(r.two_way_valley_counts, 4), (std::vector<int32_t>{4, 3, 2, 1}));
  EXPECT_EQ(First(r.one_way_peak_counts, 4), (std::vector<int32_t>{0, 1, 0, 1}));
  EXPECT_EQ(First(r.one_way_total_counts, 5), (std::vector<int32_t>{2, 3, 2, 3, 0}));
  EXPECT_EQ(r.cursor_partition, 2);
  EXPECT_FALSE(read->old_format);

  auto bytes = EncodePeakResultFile(*read);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*bytes, testing::SmallPeakFile());
  EXPECT_EQ(bytes->size(), 1270u + 24 * 4 + 8 * 6);
  EXPECT_EQ(I32At(*bytes, 938), 4);        // N
  EXPECT_EQ(F64At(*bytes, 1026), 8.0);     // A
  EXPECT_EQ(I32At(*bytes, 1198), 12 * 4);  // size of the first count section
  EXPECT_EQ(I32At(*bytes, 1202 + 16), 4);  // first two-way valley

  PeakResultFile large = *read;
  large.result.partitions = 50;
  large.result.envelope.assign(1024, 1.0);
  EXPECT_EQ(EncodePeakResultFile(large)->size(), 2470u + 8 * 1024);
}

TEST(PeakResultFile, ReadsTheOlderLayoutOfEveryVersion) {
  const std::vector<int32_t> a = {1, 2, 3, 4}, b = {5, 6, 7, 8}, c = {9, 10, 11, 12};
  const std::vector<int32_t> d = {13, 14, 15, 16}, zero(4, 0);
  for (int32_t version = 0; version <= 5; ++version) {
    SCOPED_TRACE(version);
    testing::OlderPeak older;
    older.version = version;
    if (version <= 1) {
      older.n = 2;  // these versions count 2N partitions
      older.arrays = {a, b, c};
    } else if (version <= 3) {
      older.arrays = {a};
    } else {
      older.arrays = {a, b, c, d, d, d};
    }
    auto read = ParsePeakResultFile(testing::OlderPeakBytes(older));
    ASSERT_TRUE(read) << read.error().detail;
    const PeakCountResult& r = read->result;
    EXPECT_TRUE(read->old_format);
    EXPECT_EQ(read->old_format_warning, version <= 1);
    EXPECT_EQ(r.partitions, 4);
    EXPECT_EQ(read->shown_separately, (version == 2 || version == 3) ? 0 : 1);
    EXPECT_EQ(read->sampling.c2(), 4.0);
    EXPECT_EQ(read->sampling.eu(), "kN");
    EXPECT_EQ(r.largest_total_count, 9);
    EXPECT_EQ(r.amplitude_mode, 2);
    EXPECT_EQ(r.two_way_width, 15.0);
    EXPECT_EQ(r.one_way_width, 7.5);
    EXPECT_TRUE(r.envelope.empty());
    EXPECT_EQ(ResultFullScale(CountingKind::kPeak, *read).value(), 10000.0);
    EXPECT_EQ(read->total_blocks, version > 1 ? 12 : 0);  // blocks from version 2 on
    EXPECT_EQ(r.first_block, version > 1 ? 3 : 1);
    EXPECT_EQ(r.last_block, version > 1 ? 10 : 1);
    EXPECT_EQ(First(r.two_way_peak_counts, 4), version <= 1 || version >= 4 ? a : zero);
    EXPECT_EQ(First(r.two_way_valley_counts, 4), version <= 1 || version >= 4 ? b : zero);
    EXPECT_EQ(First(r.two_way_total_counts, 4), version == 3 ? zero : version == 2 ? a : c);
    EXPECT_EQ(First(r.one_way_total_counts, 4), version == 3 ? a : version >= 4 ? d : zero);
  }
}

TEST(PeakResultFile, KeepsAtMost2000PartitionsAndEntries) {
  // The current layout with N = 2500: each array of a section is stepped over whole, so the
  // valleys are not read from the tail of the peaks.
  const std::vector<int32_t> ones(2500, 1), twos(2500, 2), threes(2500, 3);
  const std::string bytes = testing::Head("[TORV-RESULT-FILE-PCM-001]") +
                            testing::ParameterSection({2500, 0}, {}) +
                            testing::IntSection("[CONT-DATA-1-------]", {ones, twos, threes}) +
                            testing::IntSection("[CONT-DATA-2-------]", {threes, twos, ones});
  auto read = ParsePeakResultFile(bytes);
  ASSERT_TRUE(read) << read.error().detail;
  EXPECT_EQ(read->result.partitions, 2000);
  EXPECT_EQ(read->result.two_way_valley_counts, std::vector<int32_t>(2000, 2));
  EXPECT_EQ(read->result.two_way_total_counts, std::vector<int32_t>(2000, 3));
  EXPECT_EQ(read->result.one_way_total_counts, std::vector<int32_t>(2000, 1));

  // The older layout: 2N bounded to 2000, entries past 2000 stepped over, entries past N
  // dropped.
  testing::OlderPeak older;
  older.version = 1;
  older.n = 1500;
  older.arrays = {std::vector<int32_t>(2600, 4), {5, 5, 5}, std::vector<int32_t>(2001, 6)};
  auto old = ParsePeakResultFile(testing::OlderPeakBytes(older));
  ASSERT_TRUE(old) << old.error().detail;
  EXPECT_EQ(old->result.partitions, 2000);
  EXPECT_EQ(old->result.two_way_peak_counts, std::vector<int32_t>(2000, 4));
  EXPECT_EQ(First(old->result.two_way_valley_counts, 4), (std::vector<int32_t>{5, 5, 5, 0}));
  EXPECT_EQ(old->result.two_way_total_counts, std::vector<int32_t>(2000, 6));
}

TEST(PeakResultFile, RefusesToWriteCountsItCannotHold) {
  PeakResultFile file = ParsePeakResultFile(testing::SmallPeakFile()).value();
  for (int32_t n : {0, -1, 2001}) {
    file.result.partitions = n;
    auto bytes = EncodePeakResultFile(file);
    ASSERT_FALSE(bytes) << n;
    EXPECT_EQ(bytes.error().message, kMsgResultFileCreate);
  }
  file.result.partitions = 4;
  file.result.one_way_valley_counts.resize(3);
  EXPECT_FALSE(EncodePeakResultFile(file));
}

}  // namespace
}  // namespace torvwy::core
