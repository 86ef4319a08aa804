// The peak counting result file: current tagged layout and the older untagged one.
#include "core/files/peak_result_file.h"

#include <algorithm>

#include "core/data/block_span.h"
#include "core/files/result_sections.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

// Slots of the analysis parameter section beyond the shared ones.
enum PeakInt : size_t { kLargestSeparate = kSlotLastBlock + 1, kLargestTotal };
enum PeakReal : size_t { kTwoWayWidth = kSlotAmplitudeRange + 1, kOneWayWidth, kEnvelopeMax };

constexpr ArrayLayout kSections[] = {
    {.tag = kPeakTwoWayTag, .arrays = 3},
    {.tag = kPeakOneWayTag, .arrays = 3},
    {.tag = kWaveformTag, .doubles = true, .envelope = true},
};

void AppendCounts(ByteBuilder& out, const std::vector<int32_t>& counts, int32_t n) {
  for (int32_t i = 0; i < n; ++i) out.AppendInt32(counts[static_cast<size_t>(i)]);
}

Result<PeakResultFile> ParseCurrent(std::string_view bytes) {
  auto content = ReadTaggedSections(bytes, kSections);
  if (!content) return content.error();
  const auto& p = content->parameters;
  PeakResultFile file;
  TakeCurrentHead(*content, kEnvelopeMax, file);
  PeakCountResult& r = file.result;
  r.largest_separate_count = p.ints[kLargestSeparate];
  r.largest_total_count = p.ints[kLargestTotal];
  r.two_way_width = p.reals[kTwoWayWidth];
  r.one_way_width = p.reals[kOneWayWidth];
  if (auto widths = CheckTwoWayAndOneWayWidths(content->stored_partitions, r.amplitude_range,
                                               r.two_way_width, r.one_way_width);
      !widths) {
    return widths.error();
  }
  const auto& two_way = content->sections[0];
  const auto& one_way = content->sections[1];
  TakeCounts(two_way, 0, r.two_way_peak_counts);
  TakeCounts(two_way, 1, r.two_way_valley_counts);
  TakeCounts(two_way, 2, r.two_way_total_counts);
  TakeCounts(one_way, 0, r.one_way_peak_counts);
  TakeCounts(one_way, 1, r.one_way_valley_counts);
  TakeCounts(one_way, 2, r.one_way_total_counts);
  r.envelope = content->sections[2][0];
  r.cursor_partition = r.partitions / 2;
  return file;
}

/// The older untagged layout, read from the start of the file:
///
///   frequency, c1, c2 (double)  N  largest separate  largest total  separately  version v
///   3 x int32 unused  amplitude mode  set value, A, W2 (double)
///   [v > 1: whole blocks, first block, last block]  20 x int32, 20 x double unused
///   unit text (int32 n, n bytes)  arrays (int32 count c, c x int32) by v:
///     v 0, 1: two-way peaks, valleys, totals of 2N partitions
///     v 2: two-way totals    v 3: one-way totals    v >= 4: all six arrays
Result<PeakResultFile> ParseOlder(std::string_view bytes) {
  ByteCursor cursor(bytes);
  PeakResultFile file;
  file.old_format = true;
  PeakCountResult& r = file.result;
  double frequency = 0, c1 = 0, c2 = 0, w2 = 0;
  int32_t n = 0, separately = 0, version = 0, unused = 0;
  const bool head = cursor.ReadDouble(frequency) && cursor.ReadDouble(c1) &&
                    cursor.ReadDouble(c2) && cursor.ReadInt32(n) &&
                    cursor.ReadInt32(r.largest_separate_count) &&
                    cursor.ReadInt32(r.largest_total_count) && cursor.ReadInt32(separately) &&
                    cursor.ReadInt32(version) && cursor.ReadInt32(unused) &&
                    cursor.ReadInt32(unused) && cursor.ReadInt32(unused) &&
                    cursor.ReadInt32(r.amplitude_mode) && cursor.ReadDouble(r.set_value) &&
                    cursor.ReadDouble(r.amplitude_range) && cursor.ReadDouble(w2);
  if (!head) return EndsInside("the header of the older layout");
  if (auto ok =
          TakeOlderCountingHead(cursor, frequency, c1, c2, n, w2, version, "layout version", file);
      !ok) {
    return ok.error();
  }

  int64_t partitions = n;
  std::vector<std::vector<int32_t>*> arrays;
  if (version <= 1) {
    file.old_format_warning = true;
    partitions = 2 * partitions;
    arrays = {&r.two_way_peak_counts, &r.two_way_valley_counts, &r.two_way_total_counts};
  } else if (version == 2) {
    separately = 0;
    arrays = {&r.two_way_total_counts};
  } else if (version == 3) {
    separately = 0;
    arrays = {&r.one_way_total_counts};
  } else {
    arrays = {&r.two_way_peak_counts, &r.two_way_valley_counts, &r.two_way_total_counts,
              &r.one_way_peak_counts, &r.one_way_valley_counts, &r.one_way_total_counts};
  }
  r.partitions = EffectivePartitions(partitions);
  for (std::vector<int32_t>* counts : arrays) {
    int32_t stored = 0;
    if (auto read = ReadOlderIntArray(cursor, *counts, stored, "a count array"); !read) {
      return read.error();
    }
    ClearBeyond(r.partitions, *counts);
  }
  file.shown_separately = separately;
  r.cursor_partition = r.partitions / 2;
  return file;
}

}  // namespace

Result<std::string> EncodePeakResultFile(const PeakResultFile& file) {
  const PeakCountResult& r = file.result;
  if (auto ok = CheckCountsToWrite(r.partitions,
                                   {r.two_way_peak_counts.size(), r.two_way_valley_counts.size(),
                                    r.two_way_total_counts.size(), r.one_way_peak_counts.size(),
                                    r.one_way_valley_counts.size(), r.one_way_total_counts.size()},
                                   r.envelope.size());
      !ok) {
    return ok.error();
  }
  const int32_t n = r.partitions;
  AnalysisParameterBlock p = SharedParameters(r, kEnvelopeMax);
  p.ints[kLargestSeparate] = r.largest_separate_count;
  p.ints[kLargestTotal] = r.largest_total_count;
  p.reals[kTwoWayWidth] = r.two_way_width;
  p.reals[kOneWayWidth] = r.one_way_width;

  ByteBuilder out;
  AppendResultHead(out, kPeakMagic, file.sampling, p);
  AppendSectionHead(out, kPeakTwoWayTag, int64_t{12} * n);
  AppendCounts(out, r.two_way_peak_counts, n);
  AppendCounts(out, r.two_way_valley_counts, n);
  AppendCounts(out, r.two_way_total_counts, n);
  AppendSectionHead(out, kPeakOneWayTag, int64_t{12} * n);
  AppendCounts(out, r.one_way_peak_counts, n);
  AppendCounts(out, r.one_way_valley_counts, n);
  AppendCounts(out, r.one_way_total_counts, n);
  AppendEnvelopeAndEnd(out, r.envelope);
  return out.Take();
}

Status SavePeakResultFile(const std::filesystem::path& path, const PeakResultFile& file) {
  return SaveCountedFile(path, file, EncodePeakResultFile);
}

Result<PeakResultFile> ParsePeakResultFile(std::string_view bytes) {
  return ParseByMagic<PeakResultFile>(bytes, CountingKind::kPeak, "peak counting result file",
                                      ParseOlder, ParseCurrent);
}

Result<PeakResultFile> ReadPeakResultFile(const std::filesystem::path& path) {
  return ReadResultFileWith<PeakResultFile>(path, ParsePeakResultFile);
}

}  // namespace torvwy::core
