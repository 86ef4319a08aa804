// RainflowResultFile: the rainflow result file (.RFL), written and read in every layout.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/files/result_file_node.h"
#include "core/rainflow/rainflow_result.h"
#include "core/services/result.h"

namespace torvwy::core {

/// A saved rainflow result: the cycle counts with their parameters and envelope, and the node.
/// The smallest counted range and the turning-point count are not saved (they read as 0).
struct RainflowResultFile : ResultFileNode {
  RainflowResult result;
  /// The version the file states: 1 for the current layout, 0 for the legacy one.
  int32_t layout_version = 1;
};

/// The bytes of the current layout:
///
///   offset  content
///        0  "[TORV-RESULT-FILE-RFL-001]", int32 1
///       30  "[SAMPLE-PARA-------]", int32 864, SamplingInfo [864]
///      918  "[ANALY-PARA--------]"  N, M, amplitude mode, range mode, first block, last block,
///           largest count, 13 x int32 0; set value, A, w, envelope maximum, envelope minimum,
///           15 x double 0
///     1178  "[RAINFLOW-DATA-----]", int32 8N, the counts (N doubles)
///  1202+8N  "[WAVEFORM-DATA-----]", int32 8M, the envelope (M doubles)
///  1226+8N+8M "[END---------------]"                        size 1246 + 8N + 8M
///
/// Fails (result-file-create message) for N outside 1..2000.
Result<std::string> EncodeRainflowResultFile(const RainflowResultFile& file);

/// Saves the file atomically: on any failure the previous file is untouched and the error
/// carries the result-file-create message. A cancelled pass is never saved (cancelled message).
Status SaveRainflowResultFile(const std::filesystem::path& path, const RainflowResultFile& file);

/// Reads a rainflow result from the bytes of a file: the current layout when the bytes begin
/// with its magic (compared without case), the legacy untagged layout otherwise. Refuses
/// another analysis's result file (can't-be-opened message) and a damaged file (damaged
/// message). The names stay empty.
Result<RainflowResultFile> ParseRainflowResultFile(std::string_view bytes);

/// Reads the file `path` and takes the test name, test code and node name from its name.
Result<RainflowResultFile> ReadRainflowResultFile(const std::filesystem::path& path);

}  // namespace torvwy::core
