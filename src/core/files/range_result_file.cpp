// The range counting result file: current tagged layout and the older untagged one.
#include "core/files/range_result_file.h"

#include <algorithm>

#include "core/data/block_span.h"
#include "core/files/result_sections.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

// Slots of the analysis parameter section.
enum RangeInt : size_t { kLargestCount = kSlotLastBlock + 1 };
enum RangeReal : size_t { kTwoWayWidth = kSlotAmplitudeRange + 1, kOneWayWidth, kEnvelopeMax };

constexpr ArrayLayout kSections[] = {
    {.tag = kRangeTwoWayTag},
    {.tag = kRangeOneWayTag},
    {.tag = kWaveformTag, .doubles = true, .envelope = true},
};

Result<RangeResultFile> ParseCurrent(std::string_view bytes) {
  auto content = ReadTaggedSections(bytes, kSections);
  if (!content) return content.error();
  const auto& p = content->parameters;
  RangeResultFile file;
  TakeCurrentHead(*content, kEnvelopeMax, file);
  RangeCountResult& r = file.result;
  r.largest_count = p.ints[kLargestCount];
  r.two_way_width = p.reals[kTwoWayWidth];
  r.one_way_width = p.reals[kOneWayWidth];
  if (auto widths = CheckTwoWayAndOneWayWidths(content->stored_partitions, r.amplitude_range,
                                               r.two_way_width, r.one_way_width);
      !widths) {
    return widths.error();
  }
  TakeCounts(content->sections[0], 0, r.two_way_counts);
  TakeCounts(content->sections[1], 0, r.one_way_counts);
  r.envelope = content->sections[2][0];
  r.cursor_partition = r.partitions / 2;
  return file;
}

/// The older untagged layout, read from the start of the file:
///
///   frequency, c1, c2 (double)  N  largest count  2 x int32 unused  kind k  int32 unused
///   amplitude mode  set value, A, W2 (double)  [k > 1: whole blocks, first block, last block]
///   20 x int32, 20 x double unused  unit text (int32 n, n bytes)
///   two-way counts (int32 count c, c x int32), absent for k = 3
///   one-way counts (int32 count c, c x int32), absent for k = 2
///
/// Kinds 0 and 1 take N from the last count c read.
Result<RangeResultFile> ParseOlder(std::string_view bytes) {
  ByteCursor cursor(bytes);
  RangeResultFile file;
  file.old_format = true;
  RangeCountResult& r = file.result;
  double frequency = 0, c1 = 0, c2 = 0, w2 = 0;
  int32_t n = 0, kind = 0, unused = 0;
  const bool head =
      cursor.ReadDouble(frequency) && cursor.ReadDouble(c1) && cursor.ReadDouble(c2) &&
      cursor.ReadInt32(n) && cursor.ReadInt32(r.largest_count) && cursor.ReadInt32(unused) &&
      cursor.ReadInt32(unused) && cursor.ReadInt32(kind) && cursor.ReadInt32(unused) &&
      cursor.ReadInt32(r.amplitude_mode) && cursor.ReadDouble(r.set_value) &&
      cursor.ReadDouble(r.amplitude_range) && cursor.ReadDouble(w2);
  if (!head) return EndsInside("the header of the older layout");
  if (auto ok = TakeOlderCountingHead(cursor, frequency, c1, c2, n, w2, kind, "layout kind", file);
      !ok) {
    return ok.error();
  }

  int32_t last_count = n;
  if (kind != 3) {
    auto read = ReadOlderIntArray(cursor, r.two_way_counts, last_count, "the two-way counts");
    if (!read) return read.error();
  }
  if (kind != 2) {
    auto read = ReadOlderIntArray(cursor, r.one_way_counts, last_count, "the one-way counts");
    if (!read) return read.error();
  }
  if (kind <= 1) {
    file.old_format_warning = true;
    n = last_count;
    if (n <= 0) return Damaged("partition count N = " + std::to_string(n));
  }
  r.partitions = EffectivePartitions(n);
  ClearBeyond(r.partitions, r.two_way_counts);
  ClearBeyond(r.partitions, r.one_way_counts);
  r.cursor_partition = r.partitions / 2;
  return file;
}

}  // namespace

Result<std::string> EncodeRangeResultFile(const RangeResultFile& file) {
  const RangeCountResult& r = file.result;
  if (auto ok = CheckCountsToWrite(r.partitions, {r.two_way_counts.size(), r.one_way_counts.size()},
                                   r.envelope.size());
      !ok) {
    return ok.error();
  }
  const int32_t n = r.partitions;
  AnalysisParameterBlock p = SharedParameters(r, kEnvelopeMax);
  p.ints[kLargestCount] = r.largest_count;
  p.reals[kTwoWayWidth] = r.two_way_width;
  p.reals[kOneWayWidth] = r.one_way_width;

  ByteBuilder out;
  AppendResultHead(out, kRangeMagic, file.sampling, p);
  AppendSectionHead(out, kRangeTwoWayTag, int64_t{4} * n);
  for (int32_t i = 0; i < n; ++i) out.AppendInt32(r.two_way_counts[static_cast<size_t>(i)]);
  AppendSectionHead(out, kRangeOneWayTag, int64_t{4} * n);
  for (int32_t i = 0; i < n; ++i) out.AppendInt32(r.one_way_counts[static_cast<size_t>(i)]);
  AppendEnvelopeAndEnd(out, r.envelope);
  return out.Take();
}

Status SaveRangeResultFile(const std::filesystem::path& path, const RangeResultFile& file) {
  return SaveCountedFile(path, file, EncodeRangeResultFile);
}

Result<RangeResultFile> ParseRangeResultFile(std::string_view bytes) {
  return ParseByMagic<RangeResultFile>(bytes, CountingKind::kRange, "range counting result file",
                                       ParseOlder, ParseCurrent);
}

Result<RangeResultFile> ReadRangeResultFile(const std::filesystem::path& path) {
  return ReadResultFileWith<RangeResultFile>(path, ParseRangeResultFile);
}

}  // namespace torvwy::core
