// The rainflow result file: current tagged layout and the legacy untagged one.
#include "core/files/rainflow_result_file.h"

#include <algorithm>

#include "core/data/block_span.h"
#include "core/files/result_sections.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"

namespace torvwy::core {
namespace {

// Slots of the analysis parameter section.
enum RainflowInt : size_t { kLargestCount = kSlotLastBlock + 1 };
enum RainflowReal : size_t { kPartitionWidth = kSlotAmplitudeRange + 1, kEnvelopeMax };

constexpr ArrayLayout kSections[] = {
    {.tag = kRainflowTag, .doubles = true},
    {.tag = kWaveformTag, .doubles = true, .envelope = true},
};

Result<RainflowResultFile> ParseCurrent(std::string_view bytes) {
  auto content = ReadTaggedSections(bytes, kSections);
  if (!content) return content.error();
  const auto& p = content->parameters;
  RainflowResultFile file;
  TakeCurrentHead(*content, kEnvelopeMax, file);
  RainflowResult& r = file.result;
  r.largest_count = p.ints[kLargestCount];
  r.partition_width = p.reals[kPartitionWidth];
  if (auto scale = CheckScale(
          {{"amplitude range A", r.amplitude_range}, {"partition width w", r.partition_width}});
      !scale) {
    return scale.error();
  }
  if (auto width = CheckStoredWidths(
          content->stored_partitions,
          {{.name = "partition width w", .width = r.partition_width, .span = r.amplitude_range}});
      !width) {
    return width.error();
  }
  const auto& counts = content->sections[0][0];
  std::copy_n(counts.begin(), std::min(counts.size(), r.counts.size()), r.counts.begin());
  r.envelope = content->sections[1][0];
  r.cursor_partition = r.partitions / 2;
  return file;
}

/// The legacy untagged layout, read from the start of the file:
///
///   frequency, c1, c2 (double)  N  largest count  3 x int32 unused  amplitude mode
///   set value, A, w (double)  whole blocks, first block, last block
///   20 x int32, 20 x double unused  unit text (int32 n, n bytes)  N doubles of counts
Result<RainflowResultFile> ParseLegacy(std::string_view bytes) {
  ByteCursor cursor(bytes);
  RainflowResultFile file;
  file.old_format = true;
  file.layout_version = 0;
  RainflowResult& r = file.result;
  double frequency = 0, c1 = 0, c2 = 0;
  int32_t n = 0, unused = 0;
  const bool head = cursor.ReadDouble(frequency) && cursor.ReadDouble(c1) &&
                    cursor.ReadDouble(c2) && cursor.ReadInt32(n) &&
                    cursor.ReadInt32(r.largest_count) && cursor.ReadInt32(unused) &&
                    cursor.ReadInt32(unused) && cursor.ReadInt32(unused) &&
                    cursor.ReadInt32(r.amplitude_mode) && cursor.ReadDouble(r.set_value) &&
                    cursor.ReadDouble(r.amplitude_range) && cursor.ReadDouble(r.partition_width) &&
                    cursor.ReadInt32(file.total_blocks) && cursor.ReadInt32(r.first_block) &&
                    cursor.ReadInt32(r.last_block) && cursor.Skip(20 * 4 + 20 * 8);
  if (!head) return EndsInside("the header of the legacy layout");
  if (n <= 0) return Damaged("partition count N = " + std::to_string(n));
  file.sampling.set_frequency_hz(frequency);
  file.sampling.set_c1(c1);
  file.sampling.set_c2(c2);
  if (auto scale = CheckScale(
          {{"amplitude range A", r.amplitude_range}, {"partition width w", r.partition_width}});
      !scale) {
    return scale.error();
  }
  if (auto unit = ReadOlderUnitText(cursor, file.sampling); !unit) return unit.error();
  // The counts are the last field: a file stored with N above 2000 is read up to 2000.
  r.partitions = EffectivePartitions(n);
  if (!cursor.Holds(r.partitions, 8)) return EndsInside("the counts of the legacy layout");
  for (int32_t i = 0; i < r.partitions; ++i) {
    double& count = r.counts[static_cast<size_t>(i)];
    cursor.ReadDouble(count);
    if (!IsCycleCount(count)) {
      return Damaged("the count " + ShortestText(count) + " of partition " + std::to_string(i + 1) +
                     " is impossible");
    }
  }
  r.cursor_partition = r.partitions / 2;
  return file;
}

}  // namespace

Result<std::string> EncodeRainflowResultFile(const RainflowResultFile& file) {
  const RainflowResult& r = file.result;
  if (auto ok = CheckCountsToWrite(r.partitions, {r.counts.size()}, r.envelope.size()); !ok) {
    return ok.error();
  }
  const int32_t n = r.partitions;
  AnalysisParameterBlock p = SharedParameters(r, kEnvelopeMax);
  p.ints[kLargestCount] = r.largest_count;
  p.reals[kPartitionWidth] = r.partition_width;

  ByteBuilder out;
  AppendResultHead(out, kRainflowMagic, file.sampling, p);
  AppendSectionHead(out, kRainflowTag, int64_t{8} * n);
  for (int32_t i = 0; i < n; ++i) out.AppendDouble(r.counts[static_cast<size_t>(i)]);
  AppendEnvelopeAndEnd(out, r.envelope);
  return out.Take();
}

Status SaveRainflowResultFile(const std::filesystem::path& path, const RainflowResultFile& file) {
  return SaveCountedFile(path, file, EncodeRainflowResultFile);
}

Result<RainflowResultFile> ParseRainflowResultFile(std::string_view bytes) {
  return ParseByMagic<RainflowResultFile>(bytes, CountingKind::kRainflow, "rainflow result file",
                                          ParseLegacy, ParseCurrent);
}

Result<RainflowResultFile> ReadRainflowResultFile(const std::filesystem::path& path) {
  return ReadResultFileWith<RainflowResultFile>(path, ParseRainflowResultFile);
}

}  // namespace torvwy::core
