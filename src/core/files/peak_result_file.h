// PeakResultFile: the peak counting result file (.PCM), written and read in every layout.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/files/result_file_node.h"
#include "core/peak/peak_count_result.h"
#include "core/services/result.h"

namespace torvwy::core {

/// A saved peak counting result: the counts with their parameters and envelope, and the node.
struct PeakResultFile : ResultFileNode {
  PeakCountResult result;
  /// The version the file states: 1 for the current layout, the older layout's own number
  /// (0..4 and beyond) otherwise.
  int32_t layout_version = 1;
  /// Older layouts only: peaks and valleys shown separately (1) or together (0); the older
  /// layouts that hold totals alone give 0.
  std::optional<int32_t> shown_separately;
};

/// The bytes of the current layout:
///
///   offset  content
///        0  "[TORV-RESULT-FILE-PCM-001]", int32 1
///       30  "[SAMPLE-PARA-------]", int32 864, SamplingInfo [864]
///      918  "[ANALY-PARA--------]"  N, M, amplitude mode, range mode, first block, last block,
///           largest separate count, largest total count, 12 x int32 0; set value, A, W2, W1,
///           envelope maximum, envelope minimum, 14 x double 0
///     1178  "[CONT-DATA-1-------]", int32 12N, two-way peaks, valleys, totals (N int32 each)
///  1202+12N "[CONT-DATA-2-------]", int32 12N, one-way peaks, valleys, totals
///  1226+24N "[WAVEFORM-DATA-----]", int32 8M, the envelope (M doubles)
///  1250+24N+8M "[END---------------]"                       size 1270 + 24N + 8M
///
/// Fails (result-file-create message) for N outside 1..2000 or arrays shorter than N.
Result<std::string> EncodePeakResultFile(const PeakResultFile& file);

/// Saves the file atomically: on any failure the previous file is untouched and the error
/// carries the result-file-create message. A cancelled pass is never saved (cancelled message).
Status SavePeakResultFile(const std::filesystem::path& path, const PeakResultFile& file);

/// Reads a peak result from the bytes of a file: the current layout when the bytes begin with
/// its magic (compared without case), the older untagged layout otherwise. Refuses another
/// analysis's result file (can't-be-opened message) and a damaged file (damaged message). The
/// names stay empty.
Result<PeakResultFile> ParsePeakResultFile(std::string_view bytes);

/// Reads the file `path` and takes the test name, test code and node name from its name.
Result<PeakResultFile> ReadPeakResultFile(const std::filesystem::path& path);

}  // namespace torvwy::core
