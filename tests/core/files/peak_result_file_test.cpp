// The peak counting result file: the written bytes, round trips and the older layout.
#include "core/files/peak_result_file.h"

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
  // valleys are not read from the tail of the peaks. Blocks 1..8 hold the 6000 peaks and valleys
  // of the 2000 partitions read.
  const std::vector<int32_t> ones(2500, 1), twos(2500, 2), threes(2500, 3);
  const std::string bytes = testing::Head("[TORV-RESULT-FILE-PCM-001]") +
                            testing::SamplingSection(testing::SampleSampling()) +
                            testing::ParameterSection({2500, 0, 0, 0, 1, 8}, {}) +
                            testing::IntSection("[CONT-DATA-1-------]", {ones, twos, threes}) +
                            testing::IntSection("[CONT-DATA-2-------]", {twos, ones, threes}) +
                            testing::DoubleSection("[WAVEFORM-DATA-----]", {}) +
                            std::string(testing::kEnd);
  auto read = ParsePeakResultFile(bytes);
  ASSERT_TRUE(read) << read.error().detail;
  EXPECT_EQ(read->result.partitions, 2000);
  EXPECT_EQ(read->result.two_way_valley_counts, std::vector<int32_t>(2000, 2));
  EXPECT_EQ(read->result.two_way_total_counts, std::vector<int32_t>(2000, 3));
  EXPECT_EQ(read->result.one_way_peak_counts, std::vector<int32_t>(2000, 2));
  EXPECT_EQ(read->result.one_way_total_counts, std::vector<int32_t>(2000, 3));

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

TEST(PeakResultFile, RefusesImpossibleValuesAndEveryCut) {
  // Offsets in the small file (N = 4, M = 6): A, W2, W1 at 1026, 1034, 1042; the two-way
  // arrays from 1202, the one-way arrays from 1274, 16 bytes each.
  const std::string good = testing::SmallPeakFile();
  ASSERT_EQ(good.size(), 1414u);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  auto i32 = [](int32_t value) { return LeBytes().I32(value).str(); };
  auto f64 = [](double value) { return LeBytes().F64(value).str(); };
  testing::OlderPeak older;
  older.arrays = {{1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}, {1, -2, 3, 4}, {0}};
  testing::OlderPeak older_nan;
  older_nan.arrays.assign(6, {1, 2, 3, 4});
  older_nan.two_way_width = inf;
  const std::pair<const char*, std::string> cases[] = {
      {"a two-way peak count of -1", testing::Overwritten(good, 1202, i32(-1))},
      {"the last one-way total of INT32_MIN", testing::Overwritten(good, 1310, i32(INT32_MIN))},
      {"A is NaN", testing::Overwritten(good, 1026, f64(nan))},
      {"W2 is infinite", testing::Overwritten(good, 1034, f64(inf))},
      {"W1 is -infinite", testing::Overwritten(good, 1042, f64(-inf))},
      {"older: a negative one-way valley count", testing::OlderPeakBytes(older)},
      {"older: W2 infinite", testing::OlderPeakBytes(older_nan)},
  };
  for (const auto& [what, bytes] : cases) {
    auto read = ParsePeakResultFile(bytes);
    ASSERT_FALSE(read) << what;
    EXPECT_EQ(read.error().message, kMsgResultFileDamaged) << what;
  }
  EXPECT_EQ(testing::CutsNotRefusedAsDamaged(good, ParsePeakResultFile), std::vector<size_t>{});

  // A <= 0 is what the program writes for a constant record or a set value <= 0, with the
  // widths 2A / N and A / N.
  for (double a : {0.0, -3.0}) {
    auto read =
        ParsePeakResultFile(testing::Overwritten(good, 1026, f64(a) + f64(2 * a / 4) + f64(a / 4)));
    ASSERT_TRUE(read) << a;
    EXPECT_EQ(read->result.amplitude_range, a);
  }
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
