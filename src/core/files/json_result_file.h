// The JSON object of any counting result, and the result files saved as JSON.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string_view>

#include "core/files/result_file.h"
#include "core/services/result.h"

namespace torvwy::core {

/// The object `--json` prints for the result `file` holds, whichever its method.
nlohmann::ordered_json ResultJson(const AnyResultFile& file);

/// The version of the JSON result file this system writes.
constexpr int kJsonResultVersion = 1;

/// True for a method whose result files are JSON: level crossings, range pairs, time at level.
bool SavedAsJson(CountingKind kind);

/// The text of a JSON result file (SavedAsJson kinds):
///
///   {"format": "torvwy-result", "version": 1, "analysis": "crossings",
///    "node": {"test": "demo", "code": "1", "node": "2", "eu": "MPa", "frequency_hz": 1024.0,
///             "sampling_record": "<the 864-byte sampling record in hex>"},
///    "modes": {"amplitude_mode": 2, "set_value": 40.0, "range_mode": 0},
///    "result": <the object --json prints>}
///
/// One line, UTF-8. Fails (bad-value message) for another kind.
Result<std::string> JsonResultText(const AnyResultFile& file);

/// True when `bytes` begin (after white space) with a JSON object: a JSON result file or nothing.
bool LooksLikeJsonResult(std::string_view bytes);

/// Reads a JSON result file. Fails with the can't-be-opened message naming the key that is
/// missing or wrong: a file of another format, a version this system doesn't know, counts or
/// lengths that don't fit together.
Result<AnyResultFile> ParseJsonResultFile(std::string_view bytes);

}  // namespace torvwy::core
