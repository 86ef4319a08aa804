// Mutated result files: every reader gives a clean error or a sound result, never a fault.
// The unmutated bases are the seed corpus of the fuzz targets, kept in tests/data/.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include "core/data/labels.h"
#include "core/data/sampling_info.h"
#include "core/files/hand_built_files.h"
#include "core/files/result_file.h"
#include "core/files/statistics_result_file.h"
#include "core/report/export_file.h"
#include "core/report/list_export.h"
#include "core/report/report_file.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;
using testing::LeBytes;

struct Base {
  const char* file_name;  ///< in tests/data/
  std::string bytes;
  /// Offsets of the size and count fields (N, M, section sizes, entry counts, text lengths).
  std::vector<size_t> size_fields;
};

/// Offsets of the int32 fields after every tag of a current file: a section's size, or N and
/// M after the parameter tag.
std::vector<size_t> TaggedSizeFields(const std::string& bytes) {
  std::vector<size_t> offsets = {26};  // the version
  for (size_t at = bytes.find('[', 26); at != std::string::npos; at = bytes.find('[', at + 1)) {
    if (at + 28 <= bytes.size() && bytes[at + 19] == ']') {
      offsets.push_back(at + 20);
      offsets.push_back(at + 24);
    }
  }
  return offsets;
}

std::vector<Base> Bases() {
  std::vector<Base> bases;
  for (auto [name, bytes] : {std::pair{"peak_current.PCM", testing::SmallPeakFile()},
                             std::pair{"range_current.DCM", testing::SmallRangeFile()},
                             std::pair{"rainflow_current.RFL", testing::SmallRainflowFile()}}) {
    bases.push_back({name, bytes, TaggedSizeFields(bytes)});
  }
  // Older layouts: N at 24, version or kind at 40, the unit length after the 240 unused bytes,
  // then the entry counts.
  testing::OlderPeak peak4;
  peak4.arrays.assign(6, {1, 2, 3, 4});
  bases.push_back({"peak_older_v4.PCM",
                   testing::OlderPeakBytes(peak4),
                   {24, 40, 336, 342, 362, 382, 402, 422, 442}});
  testing::OlderPeak peak1;
  peak1.version = 1;
  peak1.n = 3;
  peak1.arrays.assign(3, {5, 6, 7, 8, 9, 10});
  bases.push_back({"peak_older_v1.PCM", testing::OlderPeakBytes(peak1), {24, 40, 324, 330, 358}});
  testing::OlderRange range4;
  range4.two_way = {1, 2, 3, 4};
  range4.one_way = {5, 6, 7, 8};
  bases.push_back(
      {"range_older_kind4.DCM", testing::OlderRangeBytes(range4), {24, 40, 328, 334, 354}});
  testing::OlderRange range0;
  range0.kind = 0;
  range0.two_way = {1, 2, 3};
  range0.one_way = {4, 5, 6};
  bases.push_back(
      {"range_older_kind0.DCM", testing::OlderRangeBytes(range0), {24, 40, 316, 322, 338}});
  testing::LegacyRainflow legacy;
  legacy.counts = {1.0, 0.5, 2.0, 0.0};
  bases.push_back({"rainflow_legacy.RFL", testing::LegacyRainflowBytes(legacy), {24, 324}});
  return bases;
}

/// True when `counts` has 2000 entries, none from N on (only N partitions carry counts), and the
/// first N are whole or half counts of at least 0.
template <typename Counts>
bool ZeroFrom(int32_t n, const Counts& counts) {
  static const std::vector<char> kZeros(kMaxPartitions * sizeof(double), '\0');
  return counts.size() == static_cast<size_t>(kMaxPartitions) &&
         std::memcmp(counts.data() + n, kZeros.data(), (counts.size() - n) * sizeof(counts[0])) ==
             0 &&
         std::all_of(counts.begin(), counts.begin() + n, [](double count) {
           return std::isfinite(count) && count >= 0 && std::floor(2 * count) == 2 * count;
         });
}

/// What every result read from `size` bytes must be: 1 <= N <= 2000, counts to N and zeros beyond,
/// the cursor at N / 2, a finite A, an envelope the file could hold and none for an older layout.
bool Sound(const AnyResultFile& file, size_t size) {
  const bool old_format = NodeOf(file).old_format;
  return std::visit(
      [&](const auto& f) {
        const auto& r = f.result;
        const int32_t n = r.partitions;
        if (n < 1 || n > kMaxPartitions || r.cursor_partition != n / 2 ||
            r.envelope.size() * 8 > size || (old_format && !r.envelope.empty()) ||
            !std::isfinite(r.amplitude_range)) {
          return false;
        }
        if constexpr (requires { r.two_way_peak_counts; }) {
          return ZeroFrom(n, r.two_way_peak_counts) && ZeroFrom(n, r.two_way_valley_counts) &&
                 ZeroFrom(n, r.two_way_total_counts) && ZeroFrom(n, r.one_way_peak_counts) &&
                 ZeroFrom(n, r.one_way_valley_counts) && ZeroFrom(n, r.one_way_total_counts);
        } else if constexpr (requires { r.two_way_counts; }) {
          return ZeroFrom(n, r.two_way_counts) && ZeroFrom(n, r.one_way_counts);
        } else if constexpr (requires { r.partition_width; }) {
          return ZeroFrom(n, r.counts);
        } else {
          return true;  // a JSON result file: no binary layout to mutate
        }
      },
      file);
}

double Sum(const auto& counts, int32_t n) {
  double sum = 0;
  for (int32_t i = 0; i < n; ++i) sum += counts[static_cast<size_t>(i)];
  return sum;
}

/// True when `width` is `span` / N to 1e-12, or, for a file read as N = 2000, at most the width
/// of 2000 partitions (its own N may be larger).
bool WidthOf(double width, double span, int32_t n) {
  const double expected = span / n;
  const double slack = 1e-12 * std::fabs(expected);
  if (n == kMaxPartitions) return std::fabs(width) <= std::fabs(expected) + slack;
  return std::fabs(width - expected) <= slack;
}

/// The relations between the values of a read result that its layout holds (see
/// CheckResultRelations), tested again here without the reader's code: the envelope's extremes
/// are its own; a current file's widths are A + A and A over N; a current peak file's totals are
/// peak + valley (held at 2^31 - 1); and the counts fit the samples of the stored blocks (1024
/// each, the block range 1..0 holding none), cycles two samples apiece, in every layout that
/// stores the range.
bool Consistent(const AnyResultFile& file) {
  const ResultFileNode& node = NodeOf(file);
  const bool current = !node.old_format;
  return std::visit(
      [&](const auto& f) {
        const auto& r = f.result;
        const int32_t n = r.partitions;
        if (!r.envelope.empty() &&
            (*std::max_element(r.envelope.begin(), r.envelope.end()) != r.envelope_maximum ||
             *std::min_element(r.envelope.begin(), r.envelope.end()) != r.envelope_minimum)) {
          return false;
        }
        const double samples =
            r.last_block >= r.first_block ? (double(r.last_block) - r.first_block + 1) * 1024 : 0;
        if constexpr (requires { r.two_way_peak_counts; }) {
          if (current) {
            if (!WidthOf(r.two_way_width, r.amplitude_range + r.amplitude_range, n) ||
                !WidthOf(r.one_way_width, r.amplitude_range, n)) {
              return false;
            }
            for (int32_t i = 0; i < n; ++i) {
              const auto k = static_cast<size_t>(i);
              const int64_t two_way = std::min<int64_t>(
                  int64_t{r.two_way_peak_counts[k]} + r.two_way_valley_counts[k], INT32_MAX);
              const int64_t one_way = std::min<int64_t>(
                  int64_t{r.one_way_peak_counts[k]} + r.one_way_valley_counts[k], INT32_MAX);
              if (r.two_way_total_counts[k] != two_way || r.one_way_total_counts[k] != one_way) {
                return false;
              }
            }
          }
          if (!current && f.layout_version <= 1) return true;
          return Sum(r.two_way_peak_counts, n) + Sum(r.two_way_valley_counts, n) <= samples &&
                 Sum(r.two_way_total_counts, n) <= samples &&
                 Sum(r.one_way_peak_counts, n) + Sum(r.one_way_valley_counts, n) <= samples &&
                 Sum(r.one_way_total_counts, n) <= samples;
        } else if constexpr (requires {
                               f.layout_version;
                               r.two_way_counts;
                             }) {
          if (current && (!WidthOf(r.two_way_width, r.amplitude_range + r.amplitude_range, n) ||
                          !WidthOf(r.one_way_width, r.amplitude_range, n))) {
            return false;
          }
          if (!current && f.layout_version <= 1) return true;
          return Sum(r.two_way_counts, n) <= samples && Sum(r.one_way_counts, n) <= samples;
        } else if constexpr (requires { r.partition_width; }) {
          if (current && !WidthOf(r.partition_width, r.amplitude_range, n)) return false;
          return 2 * Sum(r.counts, n) <= samples;
        } else {
          return true;  // a JSON result file: no binary layout to mutate
        }
      },
      file);
}

constexpr int32_t kNastyValues[] = {INT32_MIN, -1000000, -8,         -1,         0,        1,
                                    847,       848,      864,        1999,       2000,     2001,
                                    2500,      65536,    0x10000000, 0x7FFFFFF0, INT32_MAX};

/// One mutant of `base`: bit flips, a cut, a size field or any four bytes set to a nasty
/// value, or a run of bytes removed, repeated or inserted.
std::string Mutate(const Base& base, std::mt19937& rng) {
  std::string bytes = base.bytes;
  auto pick = [&](size_t bound) {  // 0 .. bound - 1
    return bound == 0 ? size_t{0} : std::uniform_int_distribution<size_t>(0, bound - 1)(rng);
  };
  auto nasty = [&] {
    int32_t value = kNastyValues[pick(std::size(kNastyValues))];
    if (pick(4) == 0) value = static_cast<int32_t>(bytes.size() + pick(16)) - 8;
    return LeBytes().I32(value).str();
  };
  switch (pick(7)) {
    case 0:
    case 1:
      for (size_t flips = 1 + pick(3); flips > 0; --flips) {
        bytes[pick(bytes.size())] ^= static_cast<char>(1u << pick(8));
      }
      break;
    case 2:
      bytes.resize(pick(bytes.size()));
      break;
    case 3:
    case 4:
      if (size_t at = base.size_fields[pick(base.size_fields.size())]; at + 4 <= bytes.size()) {
        bytes.replace(at, 4, nasty());
      }
      break;
    case 5:
      bytes.replace(pick(bytes.size() - 3), 4, nasty());
      break;
    default: {
      const size_t at = pick(bytes.size());
      const size_t length = 1 + pick(40);
      switch (pick(3)) {
        case 0:
          bytes.erase(at, length);
          break;
        case 1:
          bytes.insert(at, bytes.substr(at, length));
          break;
        default:
          bytes.insert(at, nasty());
      }
    }
  }
  return bytes;
}

TEST(ResultFileMutation, EveryMutantReadsCleanlyOrSoundly) {
  constexpr int kMutantsPerBase = 4000;
  std::mt19937 rng(20240611);  // fixed: the same mutants in every run
  for (const Base& base : Bases()) {
    SCOPED_TRACE(base.file_name);
    const std::string extension = fs::path(base.file_name).extension().string();
    auto unmutated = ParseResultFile(base.bytes, extension);
    ASSERT_TRUE(unmutated) << unmutated.error().detail;
    int accepted = 0;
    for (int i = 0; i < kMutantsPerBase; ++i) {
      const std::string mutant = Mutate(base, rng);
      auto read = ParseResultFile(mutant, extension);
      if (read) {
        ++accepted;
        ASSERT_TRUE(Sound(*read, mutant.size())) << "mutant " << i;
        ASSERT_TRUE(Consistent(*read)) << "mutant " << i;
        (void)NodeOf(*read).sampling.text3();  // the texts read within their fields
      } else {
        ASSERT_TRUE(read.error().message == kMsgResultFileDamaged ||
                    read.error().message == kMsgResultFileOpen)
            << "mutant " << i << ": message " << read.error().message;
      }
    }
    // Both outcomes occur: the mutants reach past the first checks.
    EXPECT_GT(accepted, kMutantsPerBase / 20);
    EXPECT_LT(accepted, kMutantsPerBase);
  }
}

/// The seed corpus of the fuzz targets is the bases above, byte for byte. Set
/// TORVWY_UPDATE_SEEDS=1 to write them again after a change of the bases: each file that differs
/// is written and read back, and the run fails naming it, so that an update is never silent and
/// a run with the variable left set still finds a changed base. Run again without it to confirm.
TEST(ResultFileSeeds, AreTheHandBuiltBases) {
  const fs::path data = TORVWY_TEST_DATA;
  const bool update = std::getenv("TORVWY_UPDATE_SEEDS") != nullptr;
  for (const Base& base : Bases()) {
    const fs::path path = data / base.file_name;
    if (update && testing::ReadFileBytes(path) != base.bytes) {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(base.bytes.data(), static_cast<std::streamsize>(base.bytes.size()));
      out.close();
      EXPECT_TRUE(out) << "can't write " << path;
      ADD_FAILURE() << path << " differed from its base and was written again";
    }
    EXPECT_EQ(testing::ReadFileBytes(path), base.bytes) << path;
  }
}

/// The seeds of the other fuzz targets, written by hand (tests/data/README.md): each must be
/// read by its reader, or the fuzzer starts from a refusal and never reaches the values.
TEST(FuzzSeeds, EveryReaderAcceptsItsSeed) {
  const fs::path data = TORVWY_TEST_DATA;
  for (const char* name : {"stats_current.aps", "stats_older.aps"}) {
    auto table = ReadStatisticsResultFile(data / name, 0, Language::kEnglish);
    ASSERT_TRUE(table) << name << ": " << table.error().detail;
    EXPECT_EQ(table->rows.size(), std::string_view(name) == "stats_older.aps" ? 1u : 2u) << name;
  }
  auto sampling = ReadSamplingParameters(data / "node_sampling.tsp");
  ASSERT_TRUE(sampling) << sampling.error().detail;
  EXPECT_EQ(sampling->frequency_hz(), 1024.0);
  EXPECT_EQ(ReadLabels(data / "node_sampling.tsp").size(), 2u);
  for (const char* name : {"export_v1_TorvEpt.Dat", "export_v2_TorvEpt.Dat"}) {
    auto table = ParseExportFile(testing::ReadFileBytes(data / name));
    ASSERT_TRUE(table) << name << ": " << table.error().detail;
    EXPECT_EQ(table->rows.size(), 2u) << name;
  }
  auto report = ParseReportFile(testing::ReadFileBytes(data / "report_TorvRpt.txt"));
  ASSERT_TRUE(report) << report.error().detail;
  EXPECT_EQ(report->size(), 5u);
  for (const char* name : {"list_readout.txt", "list_statistics.txt", "list_fatigue.txt"}) {
    auto list = ParseListTable(testing::ReadFileBytes(data / name));
    ASSERT_TRUE(list) << name << ": " << list.error().detail;
    EXPECT_EQ(list->header.size(), 3u) << name;
    EXPECT_FALSE(list->rows.empty()) << name;
  }
}

}  // namespace
}  // namespace torvwy::core
