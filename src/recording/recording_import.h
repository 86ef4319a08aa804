// Importing the channels of a recording as nodes: one .sts/.tsp pair per channel, each written
// atomically, channel after channel.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/data/sample_format.h"
#include "core/services/result.h"
#include "recording/channel_names.h"
#include "recording/recording.h"

namespace torvwy::recording {

/// What every node of an import gets.
struct ImportSettings {
  std::filesystem::path data = ".";  ///< folder of the test's data files
  std::string test;
  std::string code;
  int32_t format = core::kFormatFloat64;
  /// Calibration factor c1; none: from the largest magnitude (engineering-unit values, see
  /// ImportC1), or 1 for raw values.
  std::optional<double> c1;
  double c2 = 1.0;
  /// Engineering unit; none: the channel's unit, or "EU" when the file gives none.
  std::optional<std::string> eu;
  std::string description;
  /// Sampling frequency in Hz; 0: the channel's own (refused when it has none).
  double rate_hz = 0;
  /// Replace existing nodes; without it an import with any existing node writes nothing.
  bool overwrite = false;
  /// How the caller's user asks for what a refusal misses, said after it.
  std::string overwrite_hint = "give --overwrite to replace it";
  std::string rate_hint = "give it with --rate";
};

/// A node an import wrote.
struct WrittenNode {
  size_t channel = 0;
  std::string node;
  std::filesystem::path sts_path;
  std::filesystem::path tsp_path;
  int64_t samples = 0;  ///< of the channel
  int64_t padding = 0;  ///< samples added to fill the last half block
  double rate_hz = 0;
  double c1 = 1, c2 = 1;
  double full_scale_eu = 0;
  std::string eu;
};

/// What an import did: the nodes written, in order, and the failure that stopped it (the nodes
/// before it are complete; nothing of the failed one is left).
struct ImportOutcome {
  std::vector<WrittenNode> written;
  std::optional<core::Error> failure;
  bool ok() const { return !failure.has_value(); }
};

/// Called with the samples done and the samples in all (both over every planned channel and
/// both passes); returning false cancels the import (calculation-cancelled message).
using ImportProgress = std::function<bool(int64_t done, int64_t total)>;

/// Checks an import before anything is written: the settings (format, c1, c2, rate), the test
/// name and code, each planned channel's length (2 samples or more) and rate, and that no node
/// exists already unless `overwrite`. Fails naming the first problem.
core::Status CheckImport(const RecordingReader& recording, const std::vector<PlannedNode>& plan,
                         const ImportSettings& settings);

/// Fails (file-write message, naming the file) when a node of `nodes` exists already in the
/// settings' folder, unless the settings allow to overwrite it.
core::Status CheckNodesFree(const ImportSettings& settings, const std::vector<std::string>& nodes);

/// Checks, then writes the planned nodes one after the other. Values in engineering units are
/// stored as v x c2 x c1 raw units; raw values as they are.
ImportOutcome ImportChannels(RecordingReader& recording, const std::vector<PlannedNode>& plan,
                             const ImportSettings& settings, const ImportProgress& progress = {});

}  // namespace torvwy::recording
