// CountingNode: the node a counting counts, a file pair or a record in memory, and how it is found.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "core/data/sampling_info.h"
#include "core/data/waveform_reader.h"
#include "core/services/result.h"

namespace torvwy::core {

/// The node a run counts: its names, its sampling record and its two files.
struct CountingNode {
  std::string test_name;
  std::string test_code;
  std::string node_name;
  SamplingInfo info;
  std::filesystem::path tsp_file;   ///< sampling parameters and bookmarks
  std::filesystem::path data_file;  ///< the waveform (.sts), or the name of a supplied record
  /// When set, the record's raw values come from it (a record in memory) and no .sts is read.
  SampleSupplier samples;
  /// With `samples`: how many of the record's samples are real (see SampleSource). The counting
  /// then ends at the last of them, inside the record's last block; -1 counts whole blocks.
  int64_t sample_count = -1;
};

/// Where the samples of `node` come from: its supplier (with its real sample count) when it
/// has one, else its .sts file.
SampleSource SourceOf(const CountingNode& node);

/// Finds "<test><code>#<node>.tsp" and ".sts" in `data_folder` (extensions in any case) and
/// reads the sampling record. Fails with the bad-name message for names that would leave the
/// folder, and with the sampling-parameters message when the record can't be read.
Result<CountingNode> OpenCountingNode(const std::filesystem::path& data_folder,
                                      const std::string& test_name, const std::string& test_code,
                                      const std::string& node_name);

}  // namespace torvwy::core
