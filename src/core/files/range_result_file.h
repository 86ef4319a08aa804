// RangeResultFile: the range counting result file (.DCM), written and read in every layout.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/files/result_file_node.h"
#include "core/range/range_count_result.h"
#include "core/services/result.h"

namespace torvwy::core {

/// A saved range counting result: the counts with their parameters and envelope, and the node.
/// The display mode, zoom and readout list are not saved; a read result shows two-way counts.
struct RangeResultFile : ResultFileNode {
  RangeCountResult result;
  /// The version the file states: 1 for the current layout, the older layout's kind otherwise.
  int32_t layout_version = 1;
};

/// The bytes of the current layout:
///
///   offset  content
///        0  "[TORV-RESULT-FILE-DCM-001]", int32 1
///       30  "[SAMPLE-PARA-------]", int32 864, SamplingInfo [864]
///      918  "[ANALY-PARA--------]"  N, M, amplitude mode, range mode, first block, last block,
///           largest count, 13 x int32 0; set value, A, W2, W1, envelope maximum, envelope
///           minimum, 14 x double 0
///     1178  "[DISP-DATA-1-------]", int32 4N, the two-way counts (N int32)
///  1202+4N  "[DISP-DATA-2-------]", int32 4N, the one-way counts (N int32)
///  1226+8N  "[WAVEFORM-DATA-----]", int32 8M, the envelope (M doubles)
///  1250+8N+8M "[END---------------]"                        size 1270 + 8N + 8M
///
/// Fails (result-file-create message) for N outside 1..2000 or arrays shorter than N.
Result<std::string> EncodeRangeResultFile(const RangeResultFile& file);

/// Saves the file atomically: on any failure the previous file is untouched and the error
/// carries the result-file-create message. A cancelled pass is never saved (cancelled message).
Status SaveRangeResultFile(const std::filesystem::path& path, const RangeResultFile& file);

/// Reads a range result from the bytes of a file: the current layout when the bytes begin with
/// its magic (compared without case), the older untagged layout otherwise. Refuses another
/// analysis's result file (can't-be-opened message) and a damaged file (damaged message). The
/// names stay empty.
Result<RangeResultFile> ParseRangeResultFile(std::string_view bytes);

/// Reads the file `path` and takes the test name, test code and node name from its name.
Result<RangeResultFile> ReadRangeResultFile(const std::filesystem::path& path);

}  // namespace torvwy::core
