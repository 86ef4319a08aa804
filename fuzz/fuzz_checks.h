// What every fuzz target insists on: a clean error or a sound record that the printers of
// `torvwy open` show without fault, else abort.
#pragma once

#include <unistd.h>

#include <QGuiApplication>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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
/// counts are >= 0, the block range is 1 <= first <= last, A is finite and the partition widths
/// are finite and of A's sign.
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
  Require(r.first_block >= 1 && r.first_block <= r.last_block);
  Require(std::isfinite(r.envelope_maximum) && std::isfinite(r.envelope_minimum));
  for (const double value : r.envelope) Require(std::isfinite(value));
  CheckSound(r);
}
/// The record's checks, and a finite sampling frequency (every time shown divides by it).
template <typename File>
void CheckSoundFile(const File& file, size_t input_size) {
  Require(std::isfinite(file.sampling.frequency_hz()));
  CheckSound(file.result, input_size);
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
