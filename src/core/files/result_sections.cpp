// The shared sections of the counting result files and the tagged section reader.
#include "core/files/result_sections.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/counting/counting_parameters.h"
#include "core/services/atomic_file.h"
#include "core/services/file_read.h"
#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "core/services/names.h"
#include "core/services/number_format.h"

namespace torvwy::core {
namespace {

constexpr size_t kParameterBytes = kParameterInts * 4 + kParameterReals * 8;

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Quoted(std::string_view text) { return std::string("\"").append(text).append("\""); }

std::string AtOffset(uint64_t offset) { return " at byte " + std::to_string(offset); }

/// The 864-byte record, or the older 848-byte one whose frequency, c1 and c2 are floats:
///
///   older  | f  | c1 | c2 | format ... (831 bytes) ...           | 5 unused |
///          0    4    8    12                                      843       848
///   record | freq   | c1     | c2     | format ... (831 bytes) ...  | zero  |
///          0        8        16       24                          855     864
Status ReadSamplingSection(ByteCursor& cursor, SamplingInfo& sampling) {
  int32_t size = 0;
  if (!cursor.ReadInt32(size)) return EndsInside(kSamplingTag);
  SamplingInfo record;
  if (size == kOlderSamplingBytes) {
    if (!cursor.Holds(1, kOlderSamplingBytes)) return EndsInside(kSamplingTag);
    float frequency = 0, c1 = 0, c2 = 0;
    std::string_view rest;
    cursor.ReadFloat(frequency);
    cursor.ReadFloat(c1);
    cursor.ReadFloat(c2);
    cursor.ReadBytes(831, rest);
    cursor.Skip(5);
    record.set_frequency_hz(frequency);
    record.set_c1(c1);
    record.set_c2(c2);
    std::copy(rest.begin(), rest.end(), record.bytes().begin() + SamplingInfo::kFormatOffset);
  } else {
    std::string_view bytes;
    if (!cursor.ReadBytes(kSamplingInfoSize, bytes)) return EndsInside(kSamplingTag);
    std::copy(bytes.begin(), bytes.end(), record.bytes().begin());
  }
  sampling = record;
  return Ok();
}

Status ReadParameterSection(ByteCursor& cursor, AnalysisParameterBlock& parameters) {
  if (!cursor.Holds(1, kParameterBytes)) return EndsInside(kParametersTag);
  for (int32_t& value : parameters.ints) cursor.ReadInt32(value);
  for (double& value : parameters.reals) cursor.ReadDouble(value);
  return Ok();
}

/// Reads the arrays of one section: each holds `stored` values in the file, of which the first
/// `kept` are kept. The kept values of a count section must be counts.
Status ReadArraySection(ByteCursor& cursor, const ArrayLayout& layout, int64_t stored, int64_t kept,
                        std::vector<std::vector<double>>& arrays) {
  int32_t size_field = 0;  // the sizes come from N and M; the field is not needed
  if (!cursor.ReadInt32(size_field)) return EndsInside(layout.tag);
  const int64_t item_bytes = layout.doubles ? 8 : 4;
  if (!cursor.Holds(layout.arrays * stored, item_bytes)) return EndsInside(layout.tag);
  arrays.assign(static_cast<size_t>(layout.arrays), {});
  for (auto& values : arrays) {
    values.resize(static_cast<size_t>(kept));
    for (double& value : values) {
      const uint64_t value_offset = cursor.offset();
      if (layout.doubles) {
        cursor.ReadDouble(value);
      } else {
        int32_t count = 0;
        cursor.ReadInt32(count);
        value = count;
      }
      if (!layout.envelope && !IsCycleCount(value)) {
        return Damaged("the count " + ShortestText(value) + " in " + Quoted(layout.tag) +
                       AtOffset(value_offset) + " is impossible");
      }
    }
    cursor.Skip((stored - kept) * item_bytes);
  }
  return Ok();
}

}  // namespace

bool SameTextNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

bool StartsWithMagic(std::string_view bytes, std::string_view magic) {
  return bytes.size() >= magic.size() && SameTextNoCase(bytes.substr(0, magic.size()), magic);
}

std::optional<CountingKind> MagicKind(std::string_view bytes) {
  if (StartsWithMagic(bytes, kPeakMagic)) return CountingKind::kPeak;
  if (StartsWithMagic(bytes, kRangeMagic)) return CountingKind::kRange;
  if (StartsWithMagic(bytes, kRainflowMagic)) return CountingKind::kRainflow;
  return std::nullopt;
}

Error Damaged(std::string detail) { return Fail(kMsgResultFileDamaged, std::move(detail)); }

bool IsCycleCount(double value) {
  // Doubling makes a half cycle whole; a value past 2^52 has no fraction to test, and no file
  // of at most 64 MiB counted that many.
  return std::isfinite(value) && value >= 0.0 && value <= kMaxCycleCount &&
         std::floor(2.0 * value) == 2.0 * value;
}

Status CheckScale(std::initializer_list<std::pair<std::string_view, double>> values) {
  for (const auto& [name, value] : values) {
    if (!std::isfinite(value)) {
      return Damaged(std::string(name) + " = " + ShortestText(value) + " is not a number");
    }
  }
  return Ok();
}

Status CheckFrequency(double frequency_hz) {
  if (std::isfinite(frequency_hz)) return Ok();
  return Damaged("the sampling frequency " + ShortestText(frequency_hz) + " is not a number");
}

Status CheckBlockRange(int32_t first_block, int32_t last_block) {
  if (first_block >= 1 && first_block <= last_block) return Ok();
  if (first_block == 1 && last_block == 0) return Ok();  // a record shorter than a block
  return Damaged("the analysis blocks " + std::to_string(first_block) + ".." +
                 std::to_string(last_block) + " are not a range from block 1 on");
}

Status CheckWidthSigns(double amplitude_range,
                       std::initializer_list<std::pair<std::string_view, double>> widths) {
  const auto sign = [](double value) { return (value > 0.0) - (value < 0.0); };
  for (const auto& [name, width] : widths) {
    if (sign(width) != sign(amplitude_range)) {
      return Damaged(std::string(name) + " = " + ShortestText(width) +
                     " does not divide the amplitude range A = " + ShortestText(amplitude_range));
    }
  }
  return Ok();
}

int64_t BlockRangeSamples(int32_t first_block, int32_t last_block) {
  return BlockCount(first_block, last_block) * kBlockSamples;
}

Status CheckCountedInBlocks(std::string_view what, double counted, int samples_each,
                            int32_t first_block, int32_t last_block) {
  const int64_t samples = BlockRangeSamples(first_block, last_block);
  if (counted * samples_each <= static_cast<double>(samples)) return Ok();
  return Damaged("the file counts " + ShortestText(counted) + " " + std::string(what) +
                 " in blocks " + std::to_string(first_block) + ".." + std::to_string(last_block) +
                 ", more than their " + std::to_string(samples) + " samples allow");
}

Status CheckPeakTotals(std::string_view direction, int32_t n, const std::vector<int32_t>& peaks,
                       const std::vector<int32_t>& valleys, const std::vector<int32_t>& totals) {
  const size_t held =
      std::min({static_cast<size_t>(std::max(n, 0)), peaks.size(), valleys.size(), totals.size()});
  for (size_t i = 0; i < held; ++i) {
    const int64_t sum = int64_t{peaks[i]} + valleys[i];
    const int64_t total = std::min<int64_t>(sum, std::numeric_limits<int32_t>::max());
    if (totals[i] != total) {
      return Damaged("the " + std::string(direction) + " total " + std::to_string(totals[i]) +
                     " of partition " + std::to_string(i + 1) + " is not its " +
                     std::to_string(peaks[i]) + " peaks + " + std::to_string(valleys[i]) +
                     " valleys");
    }
  }
  return Ok();
}

Status CheckEnvelopeExtremes(std::span<const double> envelope, double maximum, double minimum) {
  if (envelope.empty()) return Ok();
  double largest = envelope[0];
  double smallest = envelope[0];
  for (size_t i = 0; i < envelope.size(); ++i) {
    const double value = envelope[i];
    if (value > maximum || value < minimum) {
      return Damaged("the envelope value " + ShortestText(value) + " at entry " +
                     std::to_string(i + 1) + " lies outside the stored extremes " +
                     ShortestText(minimum) + " .. " + ShortestText(maximum));
    }
    largest = std::max(largest, value);
    smallest = std::min(smallest, value);
  }
  if (largest != maximum || smallest != minimum) {
    return Damaged("the envelope reaches " + ShortestText(smallest) + " .. " +
                   ShortestText(largest) + ", not its stored extremes " + ShortestText(minimum) +
                   " .. " + ShortestText(maximum));
  }
  return Ok();
}

Status CheckStoredWidths(int32_t stored_partitions, std::initializer_list<StoredWidth> widths) {
  constexpr double kWidthTolerance = 1e-12;
  for (const StoredWidth& w : widths) {
    // A span past the largest double gives no width a counting could write.
    const double expected = w.span / stored_partitions;
    if (!std::isfinite(expected) ||
        !(std::fabs(w.width - expected) <= kWidthTolerance * std::fabs(expected))) {
      return Damaged(std::string(w.name) + " = " + ShortestText(w.width) + " is not " +
                     ShortestText(w.span) + " / N = " + ShortestText(expected) +
                     " for N = " + std::to_string(stored_partitions));
    }
  }
  return Ok();
}

Status CheckTwoWayAndOneWayWidths(int32_t stored_partitions, double amplitude_range,
                                  double two_way_width, double one_way_width) {
  if (auto scale = CheckScale({{"amplitude range A", amplitude_range},
                               {"partition width W2", two_way_width},
                               {"partition width W1", one_way_width}});
      !scale) {
    return scale;
  }
  return CheckStoredWidths(
      stored_partitions,
      {{.name = "partition width W2",
        .width = two_way_width,
        .span = amplitude_range + amplitude_range},
       {.name = "partition width W1", .width = one_way_width, .span = amplitude_range}});
}

Status CheckLargestCounts(std::initializer_list<std::pair<std::string_view, int32_t>> counts) {
  for (const auto& [name, count] : counts) {
    if (count < 0)
      return Damaged("the " + std::string(name) + " " + std::to_string(count) + " is negative");
  }
  return Ok();
}

Status CheckEnvelope(std::span<const double> envelope, double maximum, double minimum) {
  if (!std::isfinite(maximum) || !std::isfinite(minimum)) {
    return Damaged("the envelope extremes " + ShortestText(maximum) + ", " + ShortestText(minimum) +
                   " are not numbers");
  }
  for (size_t i = 0; i < envelope.size(); ++i) {
    if (!std::isfinite(envelope[i])) {
      return Damaged("the envelope value " + ShortestText(envelope[i]) + " at entry " +
                     std::to_string(i + 1) + " is not a number");
    }
  }
  return Ok();
}

Error InFile(const std::filesystem::path& path, Error error) {
  error.detail = path.string() + ": " + error.detail;
  return error;
}

void TakeNamesFromFileName(const std::filesystem::path& path, ResultFileNode& node) {
  SplitName split = SplitResultFileName(path.filename().string());
  node.test_name = std::move(split.test_name);
  node.test_code = std::move(split.test_code);
  node.node_name = std::move(split.node_name);
}

Status CheckCountsToWrite(int32_t partitions, std::initializer_list<size_t> array_sizes,
                          size_t envelope_size) {
  if (!PartitionCountValid(partitions)) {
    return Fail(kMsgResultFileCreate,
                "partition count N = " + std::to_string(partitions) + " is not in 1..2000");
  }
  for (size_t size : array_sizes) {
    if (size < static_cast<size_t>(partitions)) {
      return Fail(kMsgResultFileCreate, "a count array holds fewer than N entries");
    }
  }
  if (envelope_size > static_cast<size_t>(std::numeric_limits<int32_t>::max() / 8)) {
    return Fail(kMsgResultFileCreate, "the envelope is too long for a result file");
  }
  return Ok();
}

Status SaveResultBytes(const std::filesystem::path& path, const Result<std::string>& bytes) {
  if (!bytes) return InFile(path, bytes.error());
  return SaveFileAtomically(path, *bytes, kMsgResultFileCreate);
}

void TakeCounts(const std::vector<std::vector<double>>& section, size_t index,
                std::vector<int32_t>& out) {
  if (index >= section.size()) return;
  const auto& values = section[index];
  for (size_t i = 0; i < values.size() && i < out.size(); ++i) {
    out[i] = static_cast<int32_t>(values[i]);  // read as int32: exact
  }
}

void ClearBeyond(int32_t partitions, std::vector<int32_t>& counts) {
  for (size_t i = static_cast<size_t>(std::max(partitions, 0)); i < counts.size(); ++i) {
    counts[i] = 0;
  }
}

Error EndsInside(std::string_view what) { return Damaged("the file ends inside " + Quoted(what)); }

void AppendResultHead(ByteBuilder& out, std::string_view magic, const SamplingInfo& sampling,
                      const AnalysisParameterBlock& parameters) {
  out.AppendBytes(magic);
  out.AppendInt32(kResultFileVersion);
  AppendSectionHead(out, kSamplingTag, kSamplingInfoSize);
  out.AppendBytes(std::string_view(sampling.bytes().data(), kSamplingInfoSize));
  out.AppendBytes(kParametersTag);
  for (int32_t value : parameters.ints) out.AppendInt32(value);
  for (double value : parameters.reals) out.AppendDouble(value);
}

void AppendSectionHead(ByteBuilder& out, std::string_view tag, int64_t size_bytes) {
  out.AppendBytes(tag);
  out.AppendInt32(static_cast<int32_t>(size_bytes));
}

void AppendEnvelopeAndEnd(ByteBuilder& out, const std::vector<double>& envelope) {
  AppendSectionHead(out, kWaveformTag, int64_t{8} * static_cast<int64_t>(envelope.size()));
  for (double value : envelope) out.AppendDouble(value);
  out.AppendBytes(kEndTag);
}

Result<std::string> ReadResultBytes(const std::filesystem::path& path) {
  return ReadRegularFile(path, kMaxResultFileBytes, kMsgResultFileOpen, kMsgResultFileDamaged);
}

Result<TaggedContent> ReadTaggedSections(std::string_view bytes,
                                         std::span<const ArrayLayout> layouts) {
  ByteCursor cursor(bytes);
  if (!cursor.Skip(kMagicBytes)) return EndsInside("the magic");
  TaggedContent content;
  if (!cursor.ReadInt32(content.version)) return EndsInside("the version");  // all read alike
  content.sections.resize(layouts.size());
  int64_t stored_partitions = 0;
  bool have_sampling = false;
  bool have_parameters = false;
  bool have_end = false;
  std::vector<bool> have_section(layouts.size(), false);
  while (cursor.remaining() >= kTagBytes) {
    const uint64_t tag_offset = cursor.offset();
    std::string_view tag;
    cursor.ReadBytes(kTagBytes, tag);
    if (SameTextNoCase(tag, kEndTag)) {
      have_end = true;
      break;
    }
    if (SameTextNoCase(tag, kSamplingTag)) {
      if (auto read = ReadSamplingSection(cursor, content.sampling); !read) return read.error();
      have_sampling = true;
      continue;
    }
    if (SameTextNoCase(tag, kParametersTag)) {
      auto& p = content.parameters;
      if (auto read = ReadParameterSection(cursor, p); !read) return read.error();
      if (p.ints[0] <= 0) {
        return Damaged("partition count N = " + std::to_string(p.ints[0]) + AtOffset(tag_offset));
      }
      // Every envelope value takes 8 bytes of the file: a larger M can't be the file's.
      if (p.ints[1] < 0 || static_cast<uint64_t>(p.ints[1]) > cursor.size() / 8) {
        return Damaged("envelope size M = " + std::to_string(p.ints[1]) +
                       " is more than the file holds");
      }
      stored_partitions = p.ints[0];
      content.stored_partitions = p.ints[0];
      content.partitions = EffectivePartitions(p.ints[0]);
      content.envelope_size = p.ints[1];
      // New parameters size new arrays: what came before them no longer fits.
      for (auto& section : content.sections) section.clear();
      std::fill(have_section.begin(), have_section.end(), false);
      have_parameters = true;
      continue;
    }
    const auto layout = std::find_if(layouts.begin(), layouts.end(), [&](const ArrayLayout& s) {
      return SameTextNoCase(tag, s.tag);
    });
    if (layout != layouts.end()) {
      if (!have_parameters) {
        return Damaged(Quoted(layout->tag) + AtOffset(tag_offset) +
                       " comes before the analysis parameters");
      }
      const int64_t stored = layout->envelope ? content.envelope_size : stored_partitions;
      const int64_t kept = layout->envelope ? content.envelope_size : content.partitions;
      const auto index = static_cast<size_t>(layout - layouts.begin());
      if (auto read = ReadArraySection(cursor, *layout, stored, kept, content.sections[index]);
          !read) {
        return read.error();
      }
      have_section[index] = true;
      continue;
    }
    int32_t size = 0;
    if (!cursor.ReadInt32(size)) return EndsInside("an unknown section");
    if (size < 0 || !cursor.Skip(size)) {
      return Damaged("unknown section" + AtOffset(tag_offset) + " has the size " +
                     std::to_string(size) + ", beyond the end of the file");
    }
  }
  // A file cut at a section boundary would otherwise read as zeros where its counts were.
  if (!have_parameters) return Damaged("the file holds no analysis parameters");
  if (!have_sampling) return Damaged("the file holds no " + Quoted(kSamplingTag) + " section");
  for (size_t i = 0; i < layouts.size(); ++i) {
    if (!have_section[i]) {
      return Damaged("the file holds no " + Quoted(layouts[i].tag) + " section after its " +
                     "analysis parameters");
    }
  }
  if (!have_end) return Damaged("the file ends before " + Quoted(kEndTag));
  return content;
}

Status ReadOlderUnitText(ByteCursor& cursor, SamplingInfo& sampling) {
  int32_t length = 0;
  std::string_view text;
  if (!cursor.ReadInt32(length)) return EndsInside("the unit text");
  if (length < 0 || !cursor.ReadBytes(length, text)) {
    return Damaged("unit text length " + std::to_string(length) + " is beyond the file");
  }
  if (const auto zero = text.find('\0'); zero != std::string_view::npos)
    text = text.substr(0, zero);
  text = CutGbk(text, SamplingInfo::kEuWidth - 1);
  auto field = sampling.bytes().begin() + SamplingInfo::kEuOffset;
  std::fill(field, field + SamplingInfo::kEuWidth, '\0');
  std::copy(text.begin(), text.end(), field);
  return Ok();
}

Status ReadOlderIntArray(ByteCursor& cursor, std::vector<int32_t>& out, int32_t& count,
                         std::string_view what) {
  if (!cursor.ReadInt32(count)) return EndsInside(what);
  if (!cursor.Holds(count, 4)) {
    return Damaged(std::string(what) + ": entry count " + std::to_string(count) +
                   " is beyond the file");
  }
  const int64_t kept = std::min<int64_t>(count, static_cast<int64_t>(out.size()));
  for (int64_t i = 0; i < kept; ++i) {
    int32_t& value = out[static_cast<size_t>(i)];
    cursor.ReadInt32(value);
    if (value < 0) {
      return Damaged(std::string(what) + ": the count " + std::to_string(value) + " at entry " +
                     std::to_string(i + 1) + " is negative");
    }
  }
  cursor.Skip((count - kept) * 4);
  return Ok();
}

}  // namespace torvwy::core
