// Reading any result file: what the tagged layout allows, every refusal, opening by magic or
// extension, result file names and a save that fails half way.
#include "core/files/result_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <limits>
#include <tuple>

#include "core/files/hand_built_files.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;
using testing::Head;
using testing::LeBytes;
using testing::ParameterSection;

/// The sections of the small range file, to be put together in any order.
struct RangePieces {
  std::string head = Head("[TORV-RESULT-FILE-DCM-001]");
  std::string sampling = testing::SamplingSection(testing::SampleSampling());
  std::string parameters =
      ParameterSection({4, 6, 2, 1, 1, 4, 9}, {50.0, 50.0, 25.0, 12.5, 7.5, -6.25});
  std::string two_way = testing::IntSection("[DISP-DATA-1-------]", {{9, 0, 3, 1}});
  std::string one_way = testing::IntSection("[DISP-DATA-2-------]", {{2, 4, 6, 8}});
  std::string waveform = testing::DoubleSection("[WAVEFORM-DATA-----]", testing::kSmallEnvelope);
  std::string end = std::string(testing::kEnd);
  std::string All() const { return head + sampling + parameters + two_way + one_way + waveform; }
};

/// `bytes` with the first `count` bytes in small letters.
std::string Lower(std::string bytes, size_t count = 20) {
  for (size_t i = 0; i < count && i < bytes.size(); ++i) {
    if (bytes[i] >= 'A' && bytes[i] <= 'Z') bytes[i] = static_cast<char>(bytes[i] - 'A' + 'a');
  }
  return bytes;
}

std::string Unknown(int32_t size) {
  return LeBytes().Text("[MY-EXTRA-SECTION--]").I32(size).F64(99.0);
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

TEST(ResultFileReading, AcceptsWhatTheTaggedLayoutAllows) {
  const RangePieces p;
  const std::pair<const char*, std::string> cases[] = {
      {"as written", p.All() + p.end},
      {"magic in small letters", Lower(p.All(), 26) + p.end},
      {"tags in small letters; the end tag stops reading",
       p.head + Lower(p.sampling) + Lower(p.parameters) + Lower(p.two_way) + Lower(p.one_way) +
           Lower(p.waveform) + Lower(p.end) + "no section follows"},
      {"sections in another order",
       p.head + p.parameters + p.waveform + p.one_way + p.sampling + p.two_way + p.end},
      {"unknown sections skipped, one of size 0",
       p.head + Unknown(8) + p.sampling + Unknown(0).substr(0, 24) + p.parameters + Unknown(8) +
           p.two_way + p.one_way + p.waveform + Unknown(8) + p.end},
      {"another version",
       LeBytes().Text("[TORV-RESULT-FILE-DCM-001]").I32(7).str() + p.All().substr(30) + p.end},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    auto read = ParseRangeResultFile(bytes);
    ASSERT_TRUE(read) << read.error().detail;
    EXPECT_EQ(read->sampling.bytes(), testing::SampleSampling().bytes());
    EXPECT_EQ(read->result.partitions, 4);
    EXPECT_EQ(read->result.two_way_counts[0], 9);
    EXPECT_EQ(read->result.one_way_counts[3], 8);
    EXPECT_EQ(read->result.envelope, testing::kSmallEnvelope);
  }
}

TEST(ResultFileReading, ReadsTheOlderSamplingRecordAndOddSizes) {
  const RangePieces p;
  std::string middle(831, '\0');
  for (size_t i = 0; i < middle.size(); ++i) middle[i] = static_cast<char>(i * 7 + 1);
  const std::string older = LeBytes()
                                .Text("[SAMPLE-PARA-------]")
                                .I32(848)
                                .F32(1000.5f)
                                .F32(0.25f)
                                .F32(-3.0f)
                                .Text(middle)
                                .Text("\xEE\xEE\xEE\xEE\xEE");
  const std::string rest = p.parameters + p.two_way + p.one_way + p.waveform + p.end;
  auto read = ParseRangeResultFile(p.head + older + rest);
  ASSERT_TRUE(read) << read.error().detail;
  const auto& record = read->sampling.bytes();
  EXPECT_EQ(read->sampling.frequency_hz(), 1000.5);
  EXPECT_EQ(read->sampling.c1(), 0.25);
  EXPECT_EQ(read->sampling.c2(), -3.0);
  EXPECT_EQ(std::string(record.data() + 24, 831), middle);
  EXPECT_EQ(std::string(record.data() + 855, 9), std::string(9, '\0'));  // 5 bytes dropped

  for (int32_t size : {0, -1, 100, 2000000}) {  // any other size reads 864 bytes
    const std::string section = LeBytes().Text("[SAMPLE-PARA-------]").I32(size).str() +
                                std::string(testing::SampleSampling().bytes().data(), 864);
    auto odd = ParseRangeResultFile(p.head + section + rest);
    ASSERT_TRUE(odd) << size;
    EXPECT_EQ(odd->sampling.bytes(), testing::SampleSampling().bytes());
  }
}

TEST(ResultFileReading, RefusesDamagedFiles) {
  const RangePieces p;
  const std::string whole = p.All() + p.end;
  // A file that ends before its first count section is complete.
  const size_t first_counts_end =
      p.head.size() + p.sampling.size() + p.parameters.size() + p.two_way.size();
  for (size_t cut = 0; cut < first_counts_end; ++cut) {
    auto read = ParseRangeResultFile(std::string_view(whole).substr(0, cut));
    ASSERT_FALSE(read) << cut;
    ASSERT_EQ(read.error().message, kMsgResultFileDamaged) << cut;
  }
  auto params = [](int32_t n, int32_t m) { return ParameterSection({n, m}, {1.0}); };
  auto sampling = [](int32_t size, size_t present) {
    return LeBytes().Text("[SAMPLE-PARA-------]").I32(size).Zeros(present).str();
  };
  testing::OlderPeak peak;  // version 2: the two-way totals alone, the unit length at 336
  peak.version = 2;
  peak.arrays = {{1, 2, 3, 4}};
  const std::string older = testing::OlderPeakBytes(peak);
  ASSERT_TRUE(ParsePeakResultFile(older));
  const std::string older_head = older.substr(0, older.size() - 20);
  auto older_with = [&](size_t at, int32_t value) {
    return std::string(older).replace(at, 4, LeBytes().I32(value).str());
  };
  testing::OlderRange range;  // kind 0: N is the one-way entry count, here 0
  range.kind = 0;
  range.two_way = {1, 2};
  testing::LegacyRainflow legacy;
  legacy.counts = {1.0, 2.0, 3.0};  // one fewer than N

  const std::tuple<const char*, std::string, const char*> cases[] = {
      {"ends inside the waveform", whole.substr(0, whole.size() - 24), ".DCM"},
      {"no end tag", p.All(), ".DCM"},
      {"a cut end tag", p.All() + p.end.substr(0, 9), ".DCM"},
      {"no sampling section", p.head + p.parameters + p.two_way + p.one_way + p.waveform + p.end,
       ".DCM"},
      {"no one-way counts", p.head + p.sampling + p.parameters + p.two_way + p.waveform + p.end,
       ".DCM"},
      {"no waveform", p.head + p.sampling + p.parameters + p.two_way + p.one_way + p.end, ".DCM"},
      {"a section only before the last parameters",
       p.head + p.sampling + p.parameters + p.one_way + p.parameters + p.two_way + p.waveform +
           p.end,
       ".DCM"},
      {"count section before the parameters", p.head + p.two_way + p.parameters + p.one_way,
       ".DCM"},
      {"end before any count section", p.head + p.parameters + p.waveform + p.end + p.two_way,
       ".DCM"},
      {"parameters again after the counts", p.head + p.parameters + p.two_way + p.parameters,
       ".DCM"},
      {"N = 0", p.head + params(0, 0) + p.two_way, ".DCM"},
      {"N huge", p.head + params(0x7FFFFFFF, 0) + p.two_way, ".DCM"},
      {"M < 0", p.head + params(4, -1) + p.two_way, ".DCM"},
      {"M beyond the file", p.head + params(4, 1000) + p.two_way + p.waveform, ".DCM"},
      {"unknown size < 0", p.head + Unknown(-8) + p.parameters + p.two_way, ".DCM"},
      {"unknown size past the end", p.head + p.parameters + p.two_way + Unknown(9), ".DCM"},
      {"848-byte record cut", p.head + sampling(848, 847), ".DCM"},
      {"864-byte record cut", p.head + p.parameters + p.two_way + sampling(864, 848), ".DCM"},
      {"peak: third array cut",
       Head("[TORV-RESULT-FILE-PCM-001]") + params(4, 0) +
           testing::IntSection("[CONT-DATA-1-------]", {{1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3}}),
       ".PCM"},
      {"rainflow: counts cut",
       Head("[TORV-RESULT-FILE-RFL-001]") + params(4, 0) +
           testing::DoubleSection("[RAINFLOW-DATA-----]", {1.0, 2.0, 3.0}),
       ".RFL"},
      {"older: cut in the header", older.substr(0, 100), ".PCM"},
      {"older: no array", older_head, ".PCM"},
      {"older: entry count < 0", older_head + LeBytes().I32(-1).str(), ".PCM"},
      {"older: entry count huge", older_head + LeBytes().I32(0x40000000).I32(1).str(), ".PCM"},
      {"older: N = 0", older_with(24, 0), ".PCM"},
      {"older: version < 0", older_with(40, -1), ".PCM"},
      {"older: unit length < 0", older_with(336, -3), ".PCM"},
      {"older range: N from an empty array", testing::OlderRangeBytes(range), ".DCM"},
      {"legacy rainflow: fewer counts than N", testing::LegacyRainflowBytes(legacy), ".RFL"},
  };
  for (const auto& [what, bytes, extension] : cases) {
    auto read = ParseResultFile(bytes, extension);
    ASSERT_FALSE(read) << what;
    EXPECT_EQ(read.error().message, kMsgResultFileDamaged) << what << ": " << read.error().detail;
  }
}

TEST(ResultFileReading, RefusesValuesNoCountingWrites) {
  // Offsets in the small current files (N = 4, M = 6): the frequency at 54; first and last
  // block at 954 and 958, the largest counts from 962; A at 1026, the widths from 1034, then
  // the envelope's extremes; the envelope values 48 bytes before the end tag.
  const std::string peak = testing::SmallPeakFile();
  const std::string range = testing::SmallRangeFile();
  const std::string rainflow = testing::SmallRainflowFile();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  auto i32 = [](int32_t value) { return LeBytes().I32(value).str(); };
  auto f64 = [](double value) { return LeBytes().F64(value).str(); };
  auto envelope_at = [](const std::string& bytes, size_t entry) {
    return bytes.size() - 68 + 8 * entry;
  };
  testing::OlderPeak older;
  older.arrays.assign(6, {1, 2, 3, 4});
  testing::OlderPeak older_first_zero = older;
  older_first_zero.first_block = 0;
  testing::OlderPeak older_reversed = older;
  older_reversed.first_block = 11;
  testing::OlderPeak older_nan_frequency = older;
  older_nan_frequency.frequency = nan;
  testing::OlderPeak older_negative_width = older;
  older_negative_width.two_way_width = -15.0;
  testing::OlderPeak older_negative_largest = older;
  older_negative_largest.largest_total = -1;
  testing::OlderRange older_range;
  older_range.two_way = {1, 2, 3, 4};
  older_range.one_way = {5, 6, 7, 8};
  older_range.largest_count = -8;
  testing::LegacyRainflow legacy;
  legacy.counts = {1.0, 0.5, 2.0, 0.0};
  legacy.frequency = inf;
  testing::LegacyRainflow legacy_zero_width = legacy;
  legacy_zero_width.frequency = 256.0;
  legacy_zero_width.width = 0.0;

  const std::tuple<const char*, std::string, const char*> cases[] = {
      {"first block 0", testing::Overwritten(peak, 954, i32(0)), ".PCM"},
      {"first block -5", testing::Overwritten(rainflow, 954, i32(-5)), ".RFL"},
      {"first block after the last", testing::Overwritten(range, 954, i32(5)), ".DCM"},
      {"A > 0, W2 = 0", testing::Overwritten(peak, 1034, f64(0.0)), ".PCM"},
      {"A > 0, W1 < 0", testing::Overwritten(range, 1042, f64(-12.5)), ".DCM"},
      {"A > 0, w = 0", testing::Overwritten(rainflow, 1034, f64(0.0)), ".RFL"},
      {"A = 0, widths > 0", testing::Overwritten(peak, 1026, f64(0.0)), ".PCM"},
      {"A < 0, w > 0", testing::Overwritten(rainflow, 1026, f64(-12.0)), ".RFL"},
      {"largest separate count -1", testing::Overwritten(peak, 962, i32(-1)), ".PCM"},
      {"largest total count INT32_MIN", testing::Overwritten(peak, 966, i32(INT32_MIN)), ".PCM"},
      {"largest count -1", testing::Overwritten(range, 962, i32(-1)), ".DCM"},
      {"rainflow largest count -3", testing::Overwritten(rainflow, 962, i32(-3)), ".RFL"},
      {"a NaN envelope value", testing::Overwritten(peak, envelope_at(peak, 2), f64(nan)), ".PCM"},
      {"an infinite envelope value",
       testing::Overwritten(rainflow, envelope_at(rainflow, 5), f64(-inf)), ".RFL"},
      {"an infinite envelope maximum", testing::Overwritten(peak, 1050, f64(inf)), ".PCM"},
      {"a NaN envelope minimum", testing::Overwritten(rainflow, 1050, f64(nan)), ".RFL"},
      {"a NaN frequency", testing::Overwritten(range, 54, f64(nan)), ".DCM"},
      {"an infinite frequency", testing::Overwritten(peak, 54, f64(inf)), ".PCM"},
      {"older: first block 0", testing::OlderPeakBytes(older_first_zero), ".PCM"},
      {"older: first block after the last", testing::OlderPeakBytes(older_reversed), ".PCM"},
      {"older: a NaN frequency", testing::OlderPeakBytes(older_nan_frequency), ".PCM"},
      {"older: A > 0, W2 < 0", testing::OlderPeakBytes(older_negative_width), ".PCM"},
      {"older: largest total -1", testing::OlderPeakBytes(older_negative_largest), ".PCM"},
      {"older range: largest count -8", testing::OlderRangeBytes(older_range), ".DCM"},
      {"legacy: an infinite frequency", testing::LegacyRainflowBytes(legacy), ".RFL"},
      {"legacy: A > 0, w = 0", testing::LegacyRainflowBytes(legacy_zero_width), ".RFL"},
  };
  for (const auto& [what, bytes, extension] : cases) {
    auto read = ParseResultFile(bytes, extension);
    ASSERT_FALSE(read) << what;
    EXPECT_EQ(read.error().message, kMsgResultFileDamaged) << what << ": " << read.error().detail;
  }

  // What a counting does write stays readable: one block, A <= 0 with widths of its sign, and
  // largest counts of 0.
  const std::pair<const char*, std::string> readable[] = {
      {"one block", testing::Overwritten(peak, 954, i32(7))},
      {"A = W2 = W1 = 0", testing::Overwritten(peak, 1026, f64(0.0) + f64(0.0) + f64(-0.0))},
      {"A < 0", testing::Overwritten(range, 1026, f64(-8.0) + f64(-4.0) + f64(-2.0))},
      {"largest counts 0", testing::Overwritten(peak, 962, i32(0) + i32(0))},
  };
  for (const auto& [what, bytes] : readable) {
    auto read = ParseResultFile(bytes, ".PCM");
    EXPECT_TRUE(read) << what << ": " << read.error().detail;
  }
}

TEST(ResultFileReading, RefusesValuesThatContradictEachOther) {
  // Offsets in the small current files (N = 4, M = 6), beside those above: the peak arrays of
  // 16 bytes each, two-way peaks, valleys and totals from 1202, one-way from 1274; the range
  // counts, two-way from 1202, one-way from 1242; the rainflow counts from 1202 and its
  // envelope extremes at 1042 and 1050. Peak counts blocks 3..7 (5120 samples), range and
  // rainflow blocks 1..4 (4096 samples); the envelope reaches -6.25 .. 7.5, as stored.
  const std::string peak = testing::SmallPeakFile();
  const std::string range = testing::SmallRangeFile();
  const std::string rainflow = testing::SmallRainflowFile();
  auto i32 = [](int32_t value) { return LeBytes().I32(value).str(); };
  auto f64 = [](double value) { return LeBytes().F64(value).str(); };
  auto envelope_at = [](const std::string& bytes, size_t entry) {
    return bytes.size() - 68 + 8 * entry;
  };
  using testing::Overwritten;
  // Older layouts: peak blocks 3..10 (8192 samples), range blocks 2..11 (10240), rainflow 1..5.
  testing::OlderPeak older_v4;
  older_v4.arrays = {{8000, 0, 0, 0}, {200, 0, 0, 0}, {8200, 0, 0, 0}, {}, {}, {}};
  testing::OlderPeak older_v2;  // two-way totals only
  older_v2.version = 2;
  older_v2.arrays = {{8190, 3, 0, 0}};
  testing::OlderRange older_range;
  older_range.two_way = {10000, 200, 41, 0};
  older_range.one_way = {1, 2, 3, 4};
  testing::LegacyRainflow legacy;
  legacy.counts = {2560.5, 0.0, 0.0, 0.0};

  const std::tuple<const char*, std::string, const char*> cases[] = {
      {"a two-way total 6 of peak 1 + valley 4", Overwritten(peak, 1234, i32(6)), ".PCM"},
      {"a one-way total 4 of peak 1 + valley 2", Overwritten(peak, 1310, i32(4)), ".PCM"},
      {"a two-way total 2^31 - 1 of peak 4 + valley 1", Overwritten(peak, 1246, i32(INT32_MAX)),
       ".PCM"},
      {"6019 two-way peaks and valleys in 5120 samples",
       Overwritten(Overwritten(peak, 1202, i32(6000)), 1234, i32(6004)), ".PCM"},
      {"6010 one-way peaks and valleys in 5120 samples",
       Overwritten(Overwritten(peak, 1274, i32(6000)), 1306, i32(6002)), ".PCM"},
      {"4099 two-way ranges in 4096 samples", Overwritten(range, 1202, i32(4095)), ".DCM"},
      {"4108 one-way ranges in 4096 samples", Overwritten(range, 1242, i32(4090)), ".DCM"},
      {"2050 cycles in 4096 samples", Overwritten(rainflow, 1202, f64(2048.5)), ".RFL"},
      {"older peak version 4: 8200 two-way in 8192 samples", testing::OlderPeakBytes(older_v4),
       ".PCM"},
      {"older peak version 2: 8193 totals in 8192 samples", testing::OlderPeakBytes(older_v2),
       ".PCM"},
      {"older range kind 4: 10241 two-way in 10240 samples", testing::OlderRangeBytes(older_range),
       ".DCM"},
      {"legacy rainflow: 2560.5 cycles in 5120 samples", testing::LegacyRainflowBytes(legacy),
       ".RFL"},
      {"an envelope value -3.1e231 below the minimum -6.25",
       Overwritten(peak, envelope_at(peak, 0), f64(-3.1e231)), ".PCM"},
      {"an envelope value 7.75 above the maximum 7.5",
       Overwritten(rainflow, envelope_at(rainflow, 4), f64(7.75)), ".RFL"},
      {"an envelope maximum 8 the envelope never reaches", Overwritten(range, 1050, f64(8.0)),
       ".DCM"},
      {"an envelope minimum -7 the envelope never reaches", Overwritten(rainflow, 1050, f64(-7.0)),
       ".RFL"},
      {"W2 4.5, not (8 + 8) / 4", Overwritten(peak, 1034, f64(4.5)), ".PCM"},
      {"W1 12, not 50 / 4", Overwritten(range, 1042, f64(12.0)), ".DCM"},
      {"w 3.0000001, not 12 / 4", Overwritten(rainflow, 1034, f64(3.0000001)), ".RFL"},
  };
  for (const auto& [what, bytes, extension] : cases) {
    auto read = ParseResultFile(bytes, extension);
    ASSERT_FALSE(read) << what;
    EXPECT_EQ(read.error().message, kMsgResultFileDamaged) << what << ": " << read.error().detail;
  }

  // What the counting writes stays readable: a record shorter than a block (blocks 1..0, no
  // count, largest counts left as stored), totals held at 2^31 - 1, N above 2000 with the
  // widths of its own N, cycles of exactly half the samples, and the older layouts the block
  // range or the peak + valley relation does not reach.
  const std::string no_counts = std::string(48, '\0');
  const std::string peak_under_a_block = Overwritten(
      Overwritten(Overwritten(peak, 954, i32(1) + i32(0)), 1202, no_counts), 1274, no_counts);
  const std::string range_under_a_block = Overwritten(
      Overwritten(Overwritten(range, 954, i32(1) + i32(0)), 1202, std::string(16, '\0')), 1242,
      std::string(16, '\0'));
  const std::string rainflow_under_a_block =
      Overwritten(Overwritten(rainflow, 954, i32(1) + i32(0)), 1202, std::string(32, '\0'));
  const std::string saturated = Overwritten(
      Overwritten(Overwritten(peak, 954, i32(1) + i32(INT32_MAX)), 1202, i32(INT32_MAX)), 1234,
      i32(INT32_MAX));
  const std::string wide =
      Head("[TORV-RESULT-FILE-RFL-001]") + testing::SamplingSection(testing::SampleSampling()) +
      ParameterSection({2500, 0, 1, 0, 1, 1}, {0.0, 10.0, 10.0 / 2500}) +
      testing::DoubleSection("[RAINFLOW-DATA-----]", std::vector<double>(2500, 0.0)) +
      testing::DoubleSection("[WAVEFORM-DATA-----]", {}) + std::string(testing::kEnd);
  testing::OlderPeak older_v1;  // no block range: 1..1 stands in for it
  older_v1.version = 1;
  older_v1.n = 2;
  older_v1.arrays = {{3000, 0, 0, 0}, {3000, 0, 0, 0}, {1, 0, 0, 0}};
  testing::OlderPeak older_v4_totals;  // a counting of before: totals as stored
  older_v4_totals.arrays.assign(6, {1, 2, 3, 4});
  testing::OlderRange older_kind0;
  older_kind0.kind = 0;
  older_kind0.two_way = {5000, 0, 0};
  older_kind0.one_way = {5000, 0, 0};
  const std::tuple<const char*, std::string, const char*> readable[] = {
      {"peak of a record under a block", peak_under_a_block, ".PCM"},
      {"range of a record under a block", range_under_a_block, ".DCM"},
      {"rainflow of a record under a block", rainflow_under_a_block, ".RFL"},
      {"a two-way total 2^31 - 1 of peak 2^31 - 1 + valley 4", saturated, ".PCM"},
      {"N = 2500, w = 10 / 2500", wide, ".RFL"},
      {"2048 cycles in 4096 samples", Overwritten(rainflow, 1202, f64(2046.5)), ".RFL"},
      {"older peak version 1: 6000 in 1..1", testing::OlderPeakBytes(older_v1), ".PCM"},
      {"older peak version 4: totals not peak + valley", testing::OlderPeakBytes(older_v4_totals),
       ".PCM"},
      {"older range kind 0: 5000 in 1..1", testing::OlderRangeBytes(older_kind0), ".DCM"},
  };
  for (const auto& [what, bytes, extension] : readable) {
    auto read = ParseResultFile(bytes, extension);
    EXPECT_TRUE(read) << what << ": " << read.error().detail;
  }
}

TEST(ResultFileOpen, DecidesTheAnalysisByMagicThenByExtension) {
  testing::TempDir dir;
  WriteFile(dir.path() / "abc12#5.PCM", testing::SmallRangeFile());  // the magic wins
  auto range = OpenResultFile(dir.path() / "abc12#5.PCM");
  ASSERT_TRUE(range) << range.error().detail;
  EXPECT_EQ(KindOf(*range), CountingKind::kRange);
  EXPECT_EQ(NodeOf(*range).test_name, "abc");
  EXPECT_EQ(NodeOf(*range).test_code, "12");
  EXPECT_EQ(NodeOf(*range).node_name, "5");
  auto as_peak = ReadPeakResultFile(dir.path() / "abc12#5.PCM");
  ASSERT_FALSE(as_peak);
  EXPECT_EQ(as_peak.error().message, kMsgResultFileOpen);

  testing::OlderPeak peak;
  peak.version = 2;
  peak.arrays = {{1, 2, 3, 4}};
  testing::OlderRange range_file;
  range_file.two_way = range_file.one_way = {1, 2, 3, 4};
  testing::LegacyRainflow legacy;
  legacy.counts = {1, 2, 3, 4};
  // Without a magic the extension, in any case, picks the older layout.
  const std::tuple<const char*, std::string, CountingKind> cases[] = {
      {"t1#a.pcm", testing::OlderPeakBytes(peak), CountingKind::kPeak},
      {"t1#b.Dcm", testing::OlderRangeBytes(range_file), CountingKind::kRange},
      {"t1#c.RFL", testing::LegacyRainflowBytes(legacy), CountingKind::kRainflow},
  };
  for (const auto& [name, bytes, kind] : cases) {
    WriteFile(dir.path() / name, bytes);
    auto opened = OpenResultFile(dir.path() / name);
    ASSERT_TRUE(opened) << name << ": " << opened.error().detail;
    EXPECT_EQ(KindOf(*opened), kind) << name;
    EXPECT_TRUE(NodeOf(*opened).old_format) << name;
  }

  // Neither a magic nor a result extension; no file; a folder; a file far too large.
  WriteFile(dir.path() / "t1#e.txt", testing::OlderPeakBytes(peak));
  fs::create_directory(dir.path() / "t1#f.PCM");
  WriteFile(dir.path() / "t1#g.PCM", testing::SmallPeakFile());
  fs::resize_file(dir.path() / "t1#g.PCM", (uint64_t{64} << 20) + 1);  // sparse
  for (auto [name, message] :
       {std::pair{"t1#e.txt", kMsgResultFileOpen}, std::pair{"missing#1.PCM", kMsgResultFileOpen},
        std::pair{"t1#f.PCM", kMsgResultFileOpen}, std::pair{"t1#g.PCM", kMsgResultFileDamaged}}) {
    auto opened = OpenResultFile(dir.path() / name);
    ASSERT_FALSE(opened) << name;
    EXPECT_EQ(opened.error().message, message) << name;
    EXPECT_NE(opened.error().detail.find(name), std::string::npos) << opened.error().detail;
  }
}

TEST(ResultFileNames, BuildsNamesAndRefusesUnsafeOnes) {
  EXPECT_EQ(ResultFilePath("/r", "abc", "12", "5", CountingKind::kPeak).value(), "/r/abc12#5.PCM");
  EXPECT_EQ(ResultFilePath("/r", "abc", "", "N1", CountingKind::kRange).value(), "/r/abc#N1.DCM");
  EXPECT_EQ(ResultFilePath("/r", "试验", "3", "测点", CountingKind::kRainflow).value(),
            "/r/试验3#测点.RFL");
  const std::tuple<const char*, const char*, const char*> bad_names[] = {
      {"a/b", "1", "5"}, {"abc", "1", "../5"}, {"abc", "1", ".."}, {"abc", "1", "a\\b"},
      {"abc", "1", ""},  {"", "", "5"},        {"..", "", "5"},    {"abc", "1", "x."}};
  for (const auto& [test, code, node] : bad_names) {
    auto path = ResultFilePath("/r", test, code, node, CountingKind::kPeak);
    ASSERT_FALSE(path) << test << code << "#" << node;
    EXPECT_EQ(path.error().message, kMsgBadName);
  }

  testing::TempDir dir;
  WriteFile(dir.path() / "ABC12#5.PCM", "x");
  EXPECT_EQ(ResultNamePath(dir.path(), "abc12#5.pcm").value(), dir.path() / "ABC12#5.PCM");
  for (const char* bad : {"../abc12#5.PCM", "sub/abc12#5.PCM", "..", ""}) {
    auto path = ResultNamePath(dir.path(), bad);
    ASSERT_FALSE(path) << bad;
    EXPECT_EQ(path.error().message, kMsgBadName);
  }
}

TEST(ResultFileSave, RoundTripsEveryAnalysisThroughAFile) {
  testing::TempDir dir;
  auto path = [&](CountingKind kind) {
    return ResultFilePath(dir.path(), "abc", "12", "5", kind).value();
  };
  // Full results: N = 2000 with a count in every partition.
  PeakResultFile peak = ParsePeakResultFile(testing::SmallPeakFile()).value();
  RangeResultFile range = ParseRangeResultFile(testing::SmallRangeFile()).value();
  RainflowResultFile rainflow = ParseRainflowResultFile(testing::SmallRainflowFile()).value();
  ASSERT_TRUE(SavePeakResultFile(path(CountingKind::kPeak), peak));  // overwritten below
  peak.result.partitions = range.result.partitions = rainflow.result.partitions = 2000;
  for (size_t i = 0; i < 2000; ++i) {
    peak.result.one_way_valley_counts[i] = static_cast<int32_t>(i) * 7 + 3;
    peak.result.one_way_total_counts[i] =
        peak.result.one_way_peak_counts[i] + peak.result.one_way_valley_counts[i];
    range.result.one_way_counts[i] = static_cast<int32_t>(i);
    rainflow.result.counts[i] = static_cast<double>(i) * 0.5;
  }
  // As a counting writes them: the widths of N = 2000, and blocks 1..100000 that hold the
  // 14 million one-way peaks and valleys.
  peak.result.two_way_width = 16.0 / 2000;
  peak.result.one_way_width = 8.0 / 2000;
  range.result.two_way_width = 100.0 / 2000;
  range.result.one_way_width = 50.0 / 2000;
  rainflow.result.partition_width = 12.0 / 2000;
  peak.result.first_block = range.result.first_block = rainflow.result.first_block = 1;
  peak.result.last_block = range.result.last_block = rainflow.result.last_block = 100000;
  rainflow.sampling.set_format(111);
  rainflow.sampling.set_stored_full_scale(2500.0);
  ASSERT_TRUE(SavePeakResultFile(path(CountingKind::kPeak), peak));
  ASSERT_TRUE(SaveRangeResultFile(path(CountingKind::kRange), range));
  ASSERT_TRUE(SaveRainflowResultFile(path(CountingKind::kRainflow), rainflow));
  EXPECT_EQ(fs::file_size(path(CountingKind::kPeak)), 1270u + 24 * 2000 + 8 * 6);

  auto peak_read = ReadPeakResultFile(path(CountingKind::kPeak));
  auto range_read = ReadRangeResultFile(path(CountingKind::kRange));
  auto rainflow_read = ReadRainflowResultFile(path(CountingKind::kRainflow));
  ASSERT_TRUE(peak_read) << peak_read.error().detail;
  ASSERT_TRUE(range_read) << range_read.error().detail;
  ASSERT_TRUE(rainflow_read) << rainflow_read.error().detail;
  EXPECT_EQ(EncodePeakResultFile(*peak_read).value(), EncodePeakResultFile(peak).value());
  EXPECT_EQ(EncodeRangeResultFile(*range_read).value(), EncodeRangeResultFile(range).value());
  EXPECT_EQ(EncodeRainflowResultFile(*rainflow_read).value(),
            EncodeRainflowResultFile(rainflow).value());
  EXPECT_EQ(peak_read->result.one_way_valley_counts, peak.result.one_way_valley_counts);
  EXPECT_EQ(range_read->test_code, "12");
  EXPECT_EQ(rainflow_read->node_name, "5");
  EXPECT_EQ(peak_read->sampling.text2(), "第二");
  EXPECT_EQ(peak_read->total_blocks, 4);  // 9 half blocks
  // A rainflow view takes the full scale of format 111 from the record; the others don't.
  EXPECT_EQ(ResultFullScale(CountingKind::kRainflow, *rainflow_read).value(), 2500.0);
  EXPECT_EQ(ResultFullScale(CountingKind::kRange, *rainflow_read).value(), 10000.0);
}

TEST(ResultFileSave, AFailedWriteKeepsThePreviousFile) {
  testing::TempDir dir;
  const fs::path path = dir.path() / "abc12#5.DCM";
  WriteFile(path, testing::SmallRangeFile());
  RangeResultFile large = ParseRangeResultFile(testing::SmallRangeFile()).value();
  large.result.partitions = 2000;

  // A file size limit makes the write fail half way, as a full disk does. The limit is set in
  // a child process, so that nothing else of the test run meets it.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 3000;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    auto saved = SaveRangeResultFile(path, large);
    ::_exit(!saved && saved.error().message == kMsgResultFileCreate ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the save did not fail with the create message";
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), testing::SmallRangeFile());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);  // no temporary left

  auto missing = SaveRangeResultFile(dir.path() / "no" / "abc12#5.DCM", large);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().message, kMsgResultFileCreate);
}

}  // namespace
}  // namespace torvwy::core
