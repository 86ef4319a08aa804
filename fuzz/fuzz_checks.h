// What every fuzz target insists on: a clean error or a sound record that the printers of
// `torvwy open` show without fault, else abort.
#pragma once

#include <unistd.h>

#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/files/result_file.h"
#include "core/files/result_sections.h"
#include "core/services/message_table.h"
#include "output/console_output.h"
#include "output/result_output.h"
#include "render/counting_picture.h"
#include "render/picture_output.h"

/// The font configuration library keeps its caches to the end of the program (Qt never releases
/// them); the leak checker of a fuzzing run is told so, as the sanitizer tests are.
extern "C" [[gnu::used]] inline const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace torvwy::fuzz {

/// Sends the printers' output to /dev/null once per process: the targets print every record
/// they accept, and a terminal full of tables would slow the fuzzer to a crawl.
inline void SilencePrinting() {
  static const bool silenced = std::freopen("/dev/null", "w", stdout) != nullptr;
  (void)silenced;
}

/// A file of this process's own to hand the readers that take a path; `bytes` written whole.
inline std::filesystem::path ScratchFile(std::string_view bytes, std::string_view name) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("torvwy-fuzz-" + std::to_string(::getpid()) + "-" + std::string(name));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) std::abort();
  return path;
}

inline void Require(bool sound) {
  if (!sound) std::abort();
}

/// Aborts unless the first `n` of `counts` are whole or half counts >= 0 and the rest zero.
template <typename Counts>
void CheckCounts(const Counts& counts, int32_t n) {
  for (size_t i = 0; i < counts.size(); ++i) {
    const auto count = static_cast<double>(counts[i]);
    Require(i < static_cast<size_t>(n) ? core::IsCycleCount(count) : count == 0.0);
  }
}

/// Aborts unless `width` is finite and of the sign of the amplitude range `a` (A > 0 is divided
/// into widths > 0; A <= 0 gives widths <= 0, zero for A = 0).
inline void CheckWidth(double a, double width) {
  Require(std::isfinite(width) && (width > 0.0) == (a > 0.0) && (width < 0.0) == (a < 0.0));
}

/// Aborts unless N is 1..2000, the cursor is N / 2, the envelope fits the input and holds only
/// finite values, as do its extremes, every count is one a counting can give, the largest
/// counts are >= 0, the block range is 1 <= first <= last or 1..0, A is finite and the partition
/// widths are finite and of A's sign.
inline void CheckSound(const core::PeakCountResult& r) {
  CheckCounts(r.two_way_peak_counts, r.partitions);
  CheckCounts(r.two_way_valley_counts, r.partitions);
  CheckCounts(r.two_way_total_counts, r.partitions);
  CheckCounts(r.one_way_peak_counts, r.partitions);
  CheckCounts(r.one_way_valley_counts, r.partitions);
  CheckCounts(r.one_way_total_counts, r.partitions);
  CheckWidth(r.amplitude_range, r.two_way_width);
  CheckWidth(r.amplitude_range, r.one_way_width);
  Require(r.largest_separate_count >= 0 && r.largest_total_count >= 0);
}
inline void CheckSound(const core::RangeCountResult& r) {
  CheckCounts(r.two_way_counts, r.partitions);
  CheckCounts(r.one_way_counts, r.partitions);
  CheckWidth(r.amplitude_range, r.two_way_width);
  CheckWidth(r.amplitude_range, r.one_way_width);
  Require(r.largest_count >= 0);
}
inline void CheckSound(const core::RainflowResult& r) {
  CheckCounts(r.counts, r.partitions);
  CheckWidth(r.amplitude_range, r.partition_width);
  Require(r.largest_count >= 0);
}
template <typename Record>
void CheckSound(const Record& r, size_t input_size) {
  Require(r.partitions >= 1 && r.partitions <= core::kMaxPartitions &&
          r.cursor_partition == r.partitions / 2 && r.envelope.size() * 8 <= input_size &&
          std::isfinite(r.amplitude_range));
  // 1..0 is the range of a record shorter than a block.
  Require((r.first_block >= 1 && r.first_block <= r.last_block) ||
          (r.first_block == 1 && r.last_block == 0));
  Require(std::isfinite(r.envelope_maximum) && std::isfinite(r.envelope_minimum));
  for (const double value : r.envelope) Require(std::isfinite(value));
  CheckSound(r);
}
/// The sum of the first `n` counts.
template <typename Counts>
double SumOf(const Counts& counts, int32_t n) {
  double sum = 0.0;
  for (int32_t i = 0; i < n; ++i) sum += static_cast<double>(counts[static_cast<size_t>(i)]);
  return sum;
}

/// Aborts unless `width` is `span` / N to 1e-12; a file read as N = 2000 may store more
/// partitions, so its width is at most that of 2000.
inline void CheckWidthOfN(double width, double span, int32_t n) {
  const double expected = span / n;
  const double slack = 1e-12 * std::fabs(expected);
  Require(n == core::kMaxPartitions ? std::fabs(width) <= std::fabs(expected) + slack
                                    : std::fabs(width - expected) <= slack);
}

/// Aborts unless the values that the file's layout holds twice agree: the envelope's extremes
/// are its largest and smallest value; a current file's widths are (A + A) / N and A / N; a
/// current peak file's totals are peak + valley (held at 2^31 - 1); and wherever the layout
/// stores the block range, the peaks and valleys, the ranges, or twice the cycles of each
/// direction are at most the samples of those blocks (1024 each).
template <typename File>
void CheckRelations(const File& file) {
  const auto& r = file.result;
  if (!r.envelope.empty()) {
    Require(*std::max_element(r.envelope.begin(), r.envelope.end()) == r.envelope_maximum);
    Require(*std::min_element(r.envelope.begin(), r.envelope.end()) == r.envelope_minimum);
  }
  const int32_t n = r.partitions;
  const bool current = !file.old_format;
  const double samples =
      r.last_block >= r.first_block ? (double(r.last_block) - r.first_block + 1) * 1024.0 : 0.0;
  if constexpr (requires { r.two_way_peak_counts; }) {
    if (current) {
      CheckWidthOfN(r.two_way_width, r.amplitude_range + r.amplitude_range, n);
      CheckWidthOfN(r.one_way_width, r.amplitude_range, n);
      for (size_t k = 0; k < static_cast<size_t>(n); ++k) {
        constexpr int64_t kHeld = std::numeric_limits<int32_t>::max();
        Require(r.two_way_total_counts[k] ==
                std::min(int64_t{r.two_way_peak_counts[k]} + r.two_way_valley_counts[k], kHeld));
        Require(r.one_way_total_counts[k] ==
                std::min(int64_t{r.one_way_peak_counts[k]} + r.one_way_valley_counts[k], kHeld));
      }
    }
    if (!current && file.layout_version <= 1) return;  // no block range stored
    Require(SumOf(r.two_way_peak_counts, n) + SumOf(r.two_way_valley_counts, n) <= samples);
    Require(SumOf(r.one_way_peak_counts, n) + SumOf(r.one_way_valley_counts, n) <= samples);
    Require(SumOf(r.two_way_total_counts, n) <= samples);
    Require(SumOf(r.one_way_total_counts, n) <= samples);
  } else if constexpr (requires { r.two_way_counts; }) {
    if (current) {
      CheckWidthOfN(r.two_way_width, r.amplitude_range + r.amplitude_range, n);
      CheckWidthOfN(r.one_way_width, r.amplitude_range, n);
    }
    if (!current && file.layout_version <= 1) return;  // no block range stored
    Require(SumOf(r.two_way_counts, n) <= samples);
    Require(SumOf(r.one_way_counts, n) <= samples);
  } else {
    if (current) CheckWidthOfN(r.partition_width, r.amplitude_range, n);
    Require(2.0 * SumOf(r.counts, n) <= samples);
  }
}

/// The record's checks, its relations, and a finite sampling frequency (every time shown
/// divides by it).
template <typename File>
void CheckSoundFile(const File& file, size_t input_size) {
  Require(std::isfinite(file.sampling.frequency_hz()));
  CheckSound(file.result, input_size);
  CheckRelations(file);
}

/// Shows an accepted record as `torvwy open` does: the table and the JSON text.
inline void Show(const core::PeakCountResult& r) {
  output::PrintPeak(r, "fuzz", "u");
  output::PrintJson(output::PeakJson(r));
}
inline void Show(const core::RangeCountResult& r) {
  output::PrintRange(r, "fuzz", "u");
  output::PrintJson(output::RangeJson(r));
}
inline void Show(const core::RainflowResult& r) {
  output::PrintRainflow(r, "fuzz", "u");
  output::PrintJson(output::RainflowJson(r));
}

/// Aborts unless the reader failed with one of the two messages a bad file deserves.
inline void CheckError(const core::Error& error) {
  Require(error.message == core::kMsgResultFileDamaged ||
          error.message == core::kMsgResultFileOpen);
}

/// Records of up to this many partitions go on to the printers. Larger ones take the same
/// printing paths row after row; printing all 2000 rows of each input would slow the fuzzer to
/// a few hundred inputs a second.
constexpr int32_t kShownPartitions = 100;

/// The QGuiApplication the picture needs, made once, drawing offscreen.
inline void EnsurePictureApplication() {
  if (QGuiApplication::instance() != nullptr) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "torvwy-fuzz";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* application = new QGuiApplication(argc, argv);
  (void)application;
}

/// Draws the picture of an accepted file as `open --picture` does, at a small size and with the
/// display choices taken from `choice`, and encodes it as a bitmap file.
inline void DrawPicture(const core::AnyResultFile& file, uint8_t choice) {
  EnsurePictureApplication();
  render::ViewState state;
  state.language = choice & 1 ? core::Language::kEnglish : core::Language::kChinese;
  state.one_way = (choice & 2) != 0;
  state.separately = (choice & 4) != 0;
  const render::PictureDrawer draw = [&](QPainter& painter,
                                         const render::TargetGeometry& geometry) {
    return render::DrawCountingPicture(painter, geometry, file, {}, state);
  };
  const QImage image = render::RenderImage(draw, render::kDefaultAspect, 240 + (choice >> 3) * 8);
  Require(!image.isNull() && static_cast<bool>(render::EncodeBitmapFile(image)));
}

#ifndef TORVWY_FUZZ_PICTURE_SHARE
#define TORVWY_FUZZ_PICTURE_SHARE 1
#endif
/// One accepted input in this many also draws its picture. A picture takes a hundred times
/// longer than the table and the JSON; the libFuzzer build draws one in 16 (inputs picked by a
/// hash of the whole input, so that mutations land on both sides), the replay draws every one.
constexpr size_t kPictureShare = TORVWY_FUZZ_PICTURE_SHARE;

/// The open path of an accepted counting result: the table, the JSON text and the picture.
template <typename File>
void ShowFile(const File& file, uint8_t choice, std::string_view input) {
  Show(file.result);
  if (std::hash<std::string_view>{}(input) % kPictureShare == 0) {
    DrawPicture(core::AnyResultFile(file), choice);
  }
}

/// The open path of a counting result: the reader, the value checks, then the printers.
template <typename Read>
void CheckRead(const Read& read, std::string_view input) {
  SilencePrinting();
  if (read) {
    CheckSoundFile(*read, input.size());
    const uint8_t choice = input.empty() ? 0 : static_cast<uint8_t>(input.back());
    if (read->result.partitions <= kShownPartitions) ShowFile(*read, choice, input);
  } else {
    CheckError(read.error());
  }
}

}  // namespace torvwy::fuzz
