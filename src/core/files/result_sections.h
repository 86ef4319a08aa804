// The pieces the three counting result files share: magic, tags, the sampling and parameter
// sections, the tagged section reader and the bounds of a file read into memory.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/counting/counting_parameters.h"
#include "core/data/block_span.h"
#include "core/data/sampling_info.h"
#include "core/files/result_file_node.h"
#include "core/services/byte_builder.h"
#include "core/services/byte_cursor.h"
#include "core/services/message_table.h"
#include "core/services/progress.h"
#include "core/services/result.h"

namespace torvwy::core {

/// A current result file, every field little-endian:
///
///   magic [26]  version (int32, 1)
///   [SAMPLE-PARA-------]  864 (int32)  SamplingInfo [864]
///   [ANALY-PARA--------]  20 x int32, 20 x double            (240 bytes, no size field)
///   [<count section>---]  size (int32)  k x N values         (one or more, by analysis)
///   [WAVEFORM-DATA-----]  8M (int32)    M doubles
///   [END---------------]
///
/// Tags and magic are written without a terminating zero and compared without case.
inline constexpr size_t kMagicBytes = 26;
inline constexpr size_t kTagBytes = 20;
inline constexpr int32_t kResultFileVersion = 1;
inline constexpr std::string_view kPeakMagic = "[TORV-RESULT-FILE-PCM-001]";
inline constexpr std::string_view kRangeMagic = "[TORV-RESULT-FILE-DCM-001]";
inline constexpr std::string_view kRainflowMagic = "[TORV-RESULT-FILE-RFL-001]";
inline constexpr std::string_view kSamplingTag = "[SAMPLE-PARA-------]";
inline constexpr std::string_view kParametersTag = "[ANALY-PARA--------]";
inline constexpr std::string_view kPeakTwoWayTag = "[CONT-DATA-1-------]";
inline constexpr std::string_view kPeakOneWayTag = "[CONT-DATA-2-------]";
inline constexpr std::string_view kRangeTwoWayTag = "[DISP-DATA-1-------]";
inline constexpr std::string_view kRangeOneWayTag = "[DISP-DATA-2-------]";
inline constexpr std::string_view kRainflowTag = "[RAINFLOW-DATA-----]";
inline constexpr std::string_view kWaveformTag = "[WAVEFORM-DATA-----]";
inline constexpr std::string_view kEndTag = "[END---------------]";

/// Size field of the sampling record of earlier versions: frequency, c1 and c2 as floats.
inline constexpr int32_t kOlderSamplingBytes = 848;
/// The 240 bytes of analysis parameters: 20 int32, then 20 doubles.
inline constexpr size_t kParameterInts = 20;
inline constexpr size_t kParameterReals = 20;
/// Result files hold at most a few hundred KB; anything larger is not one.
inline constexpr uint64_t kMaxResultFileBytes = uint64_t{64} << 20;

/// The analysis parameter section as stored; each analysis gives the slots their meaning and
/// leaves the rest reserved (zero).
struct AnalysisParameterBlock {
  std::array<int32_t, kParameterInts> ints{};
  std::array<double, kParameterReals> reals{};
};

/// Byte-wise comparison that ignores the case of ASCII letters.
bool SameTextNoCase(std::string_view a, std::string_view b);

/// True when `bytes` begins with `magic`, compared without case.
bool StartsWithMagic(std::string_view bytes, std::string_view magic);

/// The analysis whose magic begins `bytes`; none for a file without a magic.
std::optional<CountingKind> MagicKind(std::string_view bytes);

/// The "result file is damaged" error with `detail`.
Error Damaged(std::string detail);

/// Above 2^52 a double has no half to tell a half cycle by; no result file counts that many.
inline constexpr double kMaxCycleCount = 4503599627370496.0;

/// True for a count a counting can give: finite, 0..kMaxCycleCount, a whole or a half (rainflow
/// counts residue ranges as half cycles; the other analyses' int32 counts are whole).
bool IsCycleCount(double value);

/// Fails as damaged naming the first value that is not finite: an amplitude range or a
/// partition width that is infinite or NaN makes every partition edge meaningless. (A <= 0 is
/// readable: the program writes it for a constant record or a set value <= 0.)
Status CheckScale(std::initializer_list<std::pair<std::string_view, double>> values);

/// `error` with the file's name put before its detail.
Error InFile(const std::filesystem::path& path, Error error);

/// Sets the test name, test code and node name from the file name ("abc12#5.PCM").
void TakeNamesFromFileName(const std::filesystem::path& path, ResultFileNode& node);

/// Refuses to write N outside 1..2000, arrays shorter than N and an envelope too long for its
/// size field (result-file-create message).
Status CheckCountsToWrite(int32_t partitions, std::initializer_list<size_t> array_sizes,
                          size_t envelope_size);

/// Writes `bytes` as the file `path` through the atomic saver: the previous file survives any
/// failure, which reports the result-file-create message.
Status SaveResultBytes(const std::filesystem::path& path, const Result<std::string>& bytes);

/// Appends magic and version, the sampling section and the analysis parameter section.
void AppendResultHead(ByteBuilder& out, std::string_view magic, const SamplingInfo& sampling,
                      const AnalysisParameterBlock& parameters);
/// Appends a section tag followed by its int32 size field.
void AppendSectionHead(ByteBuilder& out, std::string_view tag, int64_t size_bytes);
/// Appends the envelope section and the end tag that close every current layout.
void AppendEnvelopeAndEnd(ByteBuilder& out, const std::vector<double>& envelope);

/// The slots every analysis gives the same meaning in its parameter section: the first six
/// ints, the first two reals, and the envelope's extremes in two reals that follow the
/// analysis's own partition widths (`envelope_slot`, then `envelope_slot + 1`).
enum SharedIntSlot : size_t {
  kSlotN,
  kSlotM,
  kSlotAmplitudeMode,
  kSlotRangeMode,
  kSlotFirstBlock,
  kSlotLastBlock
};
enum SharedRealSlot : size_t { kSlotSetValue, kSlotAmplitudeRange };

/// The parameter section of result `r` with the shared slots filled; N and M are the arrays'
/// lengths as written.
template <typename Counted>
AnalysisParameterBlock SharedParameters(const Counted& r, size_t envelope_slot) {
  AnalysisParameterBlock p;
  p.ints[kSlotN] = r.partitions;
  p.ints[kSlotM] = static_cast<int32_t>(r.envelope.size());
  p.ints[kSlotAmplitudeMode] = r.amplitude_mode;
  p.ints[kSlotRangeMode] = r.range_mode;
  p.ints[kSlotFirstBlock] = r.first_block;
  p.ints[kSlotLastBlock] = r.last_block;
  p.reals[kSlotSetValue] = r.set_value;
  p.reals[kSlotAmplitudeRange] = r.amplitude_range;
  p.reals[envelope_slot] = r.envelope_maximum;
  p.reals[envelope_slot + 1] = r.envelope_minimum;
  return p;
}

/// Reads a whole result file into memory. Fails with the can't-be-opened message when the file
/// can't be opened or read or is not a regular file, and as damaged when it is larger than
/// kMaxResultFileBytes.
Result<std::string> ReadResultBytes(const std::filesystem::path& path);

/// Reads the result file `path` with `parse` (bytes to a file record of any layout): a failure
/// names the file, and the test, code and node names come from the file name.
template <typename File, typename Parse>
Result<File> ReadResultFileWith(const std::filesystem::path& path, Parse&& parse) {
  auto bytes = ReadResultBytes(path);
  if (!bytes) return bytes.error();
  Result<File> file = parse(std::string_view(*bytes));
  if (!file) return InFile(path, file.error());
  TakeNamesFromFileName(path, *file);
  return file;
}

/// Saves a counted result file encoded by `encode`; a cancelled pass is never saved.
template <typename File, typename Encode>
Status SaveCountedFile(const std::filesystem::path& path, const File& file, Encode&& encode) {
  if (auto ok = RefuseCancelledPass(file.result.cancelled, "saved"); !ok) return ok;
  return SaveResultBytes(path, encode(file));
}

/// Fails as damaged for a sampling frequency that is not finite: every time of the record is
/// blocks x 1024 / frequency.
Status CheckFrequency(double frequency_hz);

/// Fails as damaged unless 1 <= first block <= last block, the analysis range a counting writes,
/// or the blocks are 1..0: the range of a record shorter than a block, which counts nothing.
Status CheckBlockRange(int32_t first_block, int32_t last_block);

/// Fails as damaged for a partition width whose sign is not the sign of A: a counting divides A
/// into its partitions, so A > 0 gives widths > 0, and the A <= 0 of a constant or all-negative
/// record or a set value <= 0 gives widths <= 0 (A = 0, width 0).
Status CheckWidthSigns(double amplitude_range,
                       std::initializer_list<std::pair<std::string_view, double>> widths);

/// Fails as damaged naming the first largest count that is negative.
Status CheckLargestCounts(std::initializer_list<std::pair<std::string_view, int32_t>> counts);

/// Fails as damaged for an envelope value or extreme that is not finite: the envelope is drawn
/// and scaled by its extremes.
Status CheckEnvelope(std::span<const double> envelope, double maximum, double minimum);

/// Fails as damaged for a read record of any layout holding a value no counting writes: a
/// frequency or envelope value that is not finite, a block range that is none, a width of the
/// wrong sign or a negative largest count. (The readers have already checked N, the counts and
/// that A and the widths are finite.)
template <typename File>
Status CheckResultValues(const File& file) {
  const auto& r = file.result;
  if (auto ok = CheckFrequency(file.sampling.frequency_hz()); !ok) return ok;
  if (auto ok = CheckBlockRange(r.first_block, r.last_block); !ok) return ok;
  if constexpr (requires { r.largest_separate_count; }) {
    if (auto ok = CheckWidthSigns(r.amplitude_range, {{"partition width W2", r.two_way_width},
                                                      {"partition width W1", r.one_way_width}});
        !ok) {
      return ok;
    }
    if (auto ok = CheckLargestCounts({{"largest separate count", r.largest_separate_count},
                                      {"largest total count", r.largest_total_count}});
        !ok) {
      return ok;
    }
  } else if constexpr (requires { r.two_way_width; }) {
    if (auto ok = CheckWidthSigns(r.amplitude_range, {{"partition width W2", r.two_way_width},
                                                      {"partition width W1", r.one_way_width}});
        !ok) {
      return ok;
    }
    if (auto ok = CheckLargestCounts({{"largest count", r.largest_count}}); !ok) return ok;
  } else {
    if (auto ok = CheckWidthSigns(r.amplitude_range, {{"partition width w", r.partition_width}});
        !ok) {
      return ok;
    }
    if (auto ok = CheckLargestCounts({{"largest count", r.largest_count}}); !ok) return ok;
  }
  return CheckEnvelope(r.envelope, r.envelope_maximum, r.envelope_minimum);
}

/// The samples of blocks first..last, 1024 each; 0 for the range 1..0.
int64_t BlockRangeSamples(int32_t first_block, int32_t last_block);

/// The sum of the first `n` entries of `counts`.
template <typename Counts>
double SumOfCounts(const Counts& counts, int32_t n) {
  double sum = 0.0;
  for (int32_t i = 0; i < n && static_cast<size_t>(i) < counts.size(); ++i) {
    sum += static_cast<double>(counts[static_cast<size_t>(i)]);
  }
  return sum;
}

/// Fails as damaged when `counted` things (named by `what`) take more samples than blocks
/// first..last hold, at `samples_each` samples apiece: no counting finds more turning points or
/// ranges than it reads samples, nor more cycles than half of them.
Status CheckCountedInBlocks(std::string_view what, double counted, int samples_each,
                            int32_t first_block, int32_t last_block);

/// Fails as damaged for a total of the first `n` partitions that is not its peak count plus its
/// valley count (held at 2^31 - 1 as the counting holds it); `direction` names the arrays.
Status CheckPeakTotals(std::string_view direction, int32_t n, const std::vector<int32_t>& peaks,
                       const std::vector<int32_t>& valleys, const std::vector<int32_t>& totals);

/// Fails as damaged for an envelope value outside the stored extremes, or extremes that are not
/// the envelope's own largest and smallest value (the counting takes them from the envelope it
/// stores). An empty envelope has nothing to hold them to.
Status CheckEnvelopeExtremes(std::span<const double> envelope, double maximum, double minimum);

/// A partition width of a current layout and the part of A it is: `span` / N, where the span is
/// A + A for a two-way width and A for a one-way or rainflow width.
struct StoredWidth {
  std::string_view name;
  double width = 0.0;
  double span = 0.0;
};

/// Fails as damaged for a width that is not its span divided by the N stored in the file (to
/// within 1e-12 of it, what another build of the one division may round to): every counting
/// divides A so, and a file of N above 2000, read as 2000, keeps the widths of its own N.
Status CheckStoredWidths(int32_t stored_partitions, std::initializer_list<StoredWidth> widths);

/// CheckScale and CheckStoredWidths of the current peak and range layouts: A, the two-way width
/// W2 = (A + A) / N and the one-way width W1 = A / N.
Status CheckTwoWayAndOneWayWidths(int32_t stored_partitions, double amplitude_range,
                                  double two_way_width, double one_way_width);

/// Fails as damaged for a read record whose values contradict each other where its layout holds
/// a value twice. What each layout holds:
///
///   relation                            current     older peak    older range   legacy rainflow
///   the envelope lies within its        yes         no envelope   no envelope   no envelope
///     extremes, which it reaches
///   W2 = (A + A) / N, W1 (w) = A / N    yes, checked by each analysis's ParseCurrent
///   total = peak + valley, each         peak        no            -             -
///     partition (2^31 - 1 at most)
///   the counts fit the stored blocks    yes         versions 2+   kinds 2+      yes
///
/// The counts fit the blocks: the peaks and valleys of each direction (its totals, where the
/// layout keeps totals only), the ranges of each direction, and twice the cycles, are at most
/// the 1024 samples of each block first..last. A counting tests each sample once for a turning
/// point, and rainflow's T turning points give (T - 1) / 2 cycles with the residue's half
/// cycles. A record shorter than a block is stored as blocks 1..0, no sample: every count is 0.
/// A cancelled pass counts the blocks it saw, fewer than it stores; a file of N above 2000 is
/// read as 2000, its sums then of the first 2000 partitions: both fit all the more.
///
/// Where a layout holds no such value there is nothing to check: the older layouts of version
/// or kind 0 and 1 store no block range (1..1 stands in its place), versions 2 and 3 of the
/// older peak layout keep totals only, and the other older peak versions come from a counting
/// of before whose totals nothing here relies on. Not checked either: the largest counts, a
/// display scale (1 when every count is 0, not recomputed after a cancelled pass), and A, which
/// a file keeps as it was counted with.
template <typename File>
Status CheckResultRelations(const File& file) {
  const auto& r = file.result;
  if (auto ok = CheckEnvelopeExtremes(r.envelope, r.envelope_maximum, r.envelope_minimum); !ok) {
    return ok;
  }
  const int32_t n = r.partitions;
  if constexpr (requires { r.two_way_peak_counts; }) {
    if (!file.old_format) {
      if (auto ok = CheckPeakTotals("two-way", n, r.two_way_peak_counts, r.two_way_valley_counts,
                                    r.two_way_total_counts);
          !ok) {
        return ok;
      }
      if (auto ok = CheckPeakTotals("one-way", n, r.one_way_peak_counts, r.one_way_valley_counts,
                                    r.one_way_total_counts);
          !ok) {
        return ok;
      }
    }
    if (file.old_format && file.layout_version <= 1) return Ok();
    const double two_way =
        std::max(SumOfCounts(r.two_way_peak_counts, n) + SumOfCounts(r.two_way_valley_counts, n),
                 SumOfCounts(r.two_way_total_counts, n));
    const double one_way =
        std::max(SumOfCounts(r.one_way_peak_counts, n) + SumOfCounts(r.one_way_valley_counts, n),
                 SumOfCounts(r.one_way_total_counts, n));
    if (auto ok = CheckCountedInBlocks("two-way peaks and valleys", two_way, 1, r.first_block,
                                       r.last_block);
        !ok) {
      return ok;
    }
    return CheckCountedInBlocks("one-way peaks and valleys", one_way, 1, r.first_block,
                                r.last_block);
  } else if constexpr (requires { r.two_way_counts; }) {
    if (file.old_format && file.layout_version <= 1) return Ok();
    if (auto ok = CheckCountedInBlocks("two-way ranges", SumOfCounts(r.two_way_counts, n), 1,
                                       r.first_block, r.last_block);
        !ok) {
      return ok;
    }
    return CheckCountedInBlocks("one-way ranges", SumOfCounts(r.one_way_counts, n), 1,
                                r.first_block, r.last_block);
  } else {
    return CheckCountedInBlocks("cycles", SumOfCounts(r.counts, n), 2, r.first_block, r.last_block);
  }
}

/// Parses `bytes` by their magic: a file without one in the analysis's older layout
/// (`older`), a current file of analysis `kind` by `current`, and a current file of another
/// analysis is refused as not a `what`. A record of either layout must then pass
/// CheckResultValues and CheckResultRelations.
template <typename File, typename Older, typename Current>
Result<File> ParseByMagic(std::string_view bytes, CountingKind kind, std::string_view what,
                          Older&& older, Current&& current) {
  const auto found = MagicKind(bytes);
  if (found && *found != kind) return Fail(kMsgResultFileOpen, "not a " + std::string(what));
  Result<File> file = found ? current(bytes) : older(bytes);
  if (!file) return file;
  if (auto ok = CheckResultValues(*file); !ok) return ok.error();
  if (auto ok = CheckResultRelations(*file); !ok) return ok.error();
  return file;
}

/// An array section of a current layout: `arrays` arrays one after another behind the size
/// field, each of N values (or of M values for the envelope).
struct ArrayLayout {
  std::string_view tag;
  int arrays = 1;
  bool doubles = false;   ///< double values; int32 otherwise
  bool envelope = false;  ///< M values per array; N otherwise
};

/// What the tagged reader found.
struct TaggedContent {
  int32_t version = 0;
  SamplingInfo sampling;  ///< zero when the file has no sampling section
  AnalysisParameterBlock parameters;
  int32_t partitions = 0;         ///< N of the file, at most 2000
  int32_t stored_partitions = 0;  ///< N as the file stores it, above 2000 too
  int32_t envelope_size = 0;      ///< M of the file
  /// For each array layout, in the order given: its arrays, each holding the first
  /// min(N, 2000) (or M) values; int32 values are held exactly as doubles.
  std::vector<std::vector<std::vector<double>>> sections;
};

/// Reads the sections of a current layout after its 26-byte magic (the caller has checked it):
/// the version, then tagged sections in any order until "[END---------------]". The analysis
/// parameters must come before the array sections, whose reads N and M size; a file stored with
/// N above 2000 is read as N = 2000, each of its arrays still stepped over whole. The sampling
/// section reads 864 bytes, or the older 848-byte record when its size field says so. Unknown
/// tags are stepped over by their size field.
///
/// Fails as damaged when the file ends inside a section or before its end tag; when the
/// sampling section, the analysis parameters or any of `layouts` (after the last parameters) is
/// missing, so that a file cut short never reads as zeros; when N <= 0, M < 0 or M is more than
/// the file can hold; when a kept value of a count section (any array section but the envelope)
/// is not an IsCycleCount; when an array section comes before the parameters; and when an
/// unknown section's size is negative or passes the end of the file.
Result<TaggedContent> ReadTaggedSections(std::string_view bytes,
                                         std::span<const ArrayLayout> layouts);

/// Takes what every current layout read by ReadTaggedSections shares into `file`: the sampling
/// record, its whole blocks, the layout version, N and the shared parameter slots.
template <typename File>
void TakeCurrentHead(const TaggedContent& content, size_t envelope_slot, File& file) {
  const AnalysisParameterBlock& p = content.parameters;
  file.sampling = content.sampling;
  file.total_blocks = std::max(file.sampling.whole_blocks(), 0);
  file.layout_version = content.version;
  auto& r = file.result;
  r.partitions = content.partitions;
  r.amplitude_mode = p.ints[kSlotAmplitudeMode];
  r.range_mode = p.ints[kSlotRangeMode];
  r.first_block = p.ints[kSlotFirstBlock];
  r.last_block = p.ints[kSlotLastBlock];
  r.set_value = p.reals[kSlotSetValue];
  r.amplitude_range = p.reals[kSlotAmplitudeRange];
  r.envelope_maximum = p.reals[envelope_slot];
  r.envelope_minimum = p.reals[envelope_slot + 1];
}

/// Reads an older layout's unit text: an int32 length n and n bytes, stored zero-terminated as
/// the record's EU text, cut at a character boundary to the field's width. Fails as damaged for
/// a negative length or one that passes the end of the file.
Status ReadOlderUnitText(ByteCursor& cursor, SamplingInfo& sampling);

/// Reads an older layout's int32 array: an entry count c and c values, of which the first 2000
/// go to `out` (which must hold 2000). Sets `count` to c. Fails as damaged for a negative entry
/// count or one that passes the end of the file, and for a negative value among those kept.
Status ReadOlderIntArray(ByteCursor& cursor, std::vector<int32_t>& out, int32_t& count,
                         std::string_view what);

/// Copies array `index` of a section read by ReadTaggedSections into `out`; nothing when the
/// file had no such section.
void TakeCounts(const std::vector<std::vector<double>>& section, size_t index,
                std::vector<int32_t>& out);

/// Sets the entries from `partitions` on to zero: only the first N carry counts.
void ClearBeyond(int32_t partitions, std::vector<int32_t>& counts);

/// The error of a file that ends inside the field or section `what`.
Error EndsInside(std::string_view what);

/// The older untagged head of peak and range counting after its leading fields: the sampling
/// frequency, c1, c2, N, the two-way width W2 (W1 = W2 / 2) and the layout `version` (named
/// `version_name` in an error) already read; then, from `version` 2 on, the whole blocks and
/// the block range, the unused parameters and the unit text. Fails as damaged for N <= 0, a
/// negative version, a scale that is not finite or a file that ends inside the head.
template <typename File>
Status TakeOlderCountingHead(ByteCursor& cursor, double frequency, double c1, double c2, int32_t n,
                             double w2, int32_t version, std::string_view version_name,
                             File& file) {
  if (n <= 0) return Damaged("partition count N = " + std::to_string(n));
  if (version < 0) return Damaged(std::string(version_name) + " " + std::to_string(version));
  file.layout_version = version;
  file.sampling.set_frequency_hz(frequency);
  file.sampling.set_c1(c1);
  file.sampling.set_c2(c2);
  auto& r = file.result;
  r.two_way_width = w2;
  r.one_way_width = w2 * 0.5;
  if (auto scale = CheckScale({{"amplitude range A", r.amplitude_range},
                               {"partition width W2", r.two_way_width},
                               {"partition width W1", r.one_way_width}});
      !scale) {
    return scale;
  }
  r.first_block = 1;
  r.last_block = 1;
  if (version > 1 && !(cursor.ReadInt32(file.total_blocks) && cursor.ReadInt32(r.first_block) &&
                       cursor.ReadInt32(r.last_block))) {
    return EndsInside("the block range of the older layout");
  }
  if (!cursor.Skip(20 * 4 + 20 * 8)) return EndsInside("the header of the older layout");
  return ReadOlderUnitText(cursor, file.sampling);
}

}  // namespace torvwy::core
