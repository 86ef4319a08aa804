// Any counting result file: opening by magic or extension, and the names of result files.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <variant>

#include "core/counting/counting_parameters.h"
#include "core/files/json_result_files.h"
#include "core/files/peak_result_file.h"
#include "core/files/rainflow_result_file.h"
#include "core/files/range_result_file.h"
#include "core/services/result.h"

namespace torvwy::core {

/// A result file of one of the counting methods; the alternatives follow CountingKind.
using AnyResultFile = std::variant<PeakResultFile, RangeResultFile, RainflowResultFile,
                                   CrossingResultFile, RangePairResultFile, TimeAtLevelResultFile>;

/// The analysis of a result file.
inline CountingKind KindOf(const AnyResultFile& file) {
  return static_cast<CountingKind>(file.index());
}

/// The node part every result file carries.
const ResultFileNode& NodeOf(const AnyResultFile& file);
ResultFileNode& NodeOf(AnyResultFile& file);

/// The result was counted by a pass the user cancelled: its counts are partial.
bool PassCancelled(const AnyResultFile& file);

/// Saves `file` atomically in the current layout of its analysis. A cancelled pass is never
/// saved (cancelled message); otherwise fails as the analysis's own writer does.
Status SaveResultFile(const std::filesystem::path& path, const AnyResultFile& file);

/// ".PCM", ".DCM" or ".RFL"; ".crossings.json", ".range-pairs.json" or ".time-at-level.json".
std::string_view ResultFileExtension(CountingKind kind);

/// The analysis of a file extension (".pcm" and the like, compared without case); none for
/// another one.
std::optional<CountingKind> KindOfExtension(std::string_view extension);

/// Reads a result file from its bytes: a JSON result file (json_result_file.h) by its content; a
/// current file's magic decides its analysis whatever
/// `extension` says; a file without a magic is read in the older layout of `extension` (".PCM",
/// ".DCM" or ".RFL", without case). Fails with the can't-be-opened message for a file with
/// neither, and with the reader's error otherwise.
Result<AnyResultFile> ParseResultFile(std::string_view bytes, std::string_view extension);

/// Reads the result file `path` as ParseResultFile does with its extension, and takes the test
/// name, test code and node name from its name.
Result<AnyResultFile> OpenResultFile(const std::filesystem::path& path);

/// "<folder>/<test><code>#<node>.PCM" (or .DCM, .RFL). Fails (bad-name message) when the test
/// name and code together or the node name are empty, or when the name would hold a path
/// separator or "..".
Result<std::filesystem::path> ResultFilePath(const std::filesystem::path& folder,
                                             std::string_view test_name, std::string_view test_code,
                                             std::string_view node_name, CountingKind kind);

/// The file of a result name taken from an analysis parameter file: "<result folder>/<name>",
/// the name looked up without regard to case. Fails (bad-name message) for a name that is empty
/// or holds a path separator or "..".
Result<std::filesystem::path> ResultNamePath(const std::filesystem::path& result_folder,
                                             std::string_view result_name);

}  // namespace torvwy::core
