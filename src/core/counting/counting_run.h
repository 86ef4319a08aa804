// The counting run: one entry that counts a node by any of the three analyses and returns the
// complete result file record, for the command line, the windows and any later face alike.
#pragma once

#include <filesystem>
#include <string>

#include "core/counting/counting_parameters.h"
#include "core/counting/progress.h"
#include "core/data/sampling_info.h"
#include "core/data/waveform_reader.h"
#include "core/files/result_file.h"
#include "core/rainflow/rainflow_counting.h"
#include "core/services/language.h"
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

/// What a run takes from its caller besides the node and the parameters; the core reads no
/// profile, message table or environment during a pass.
struct CountingRunOptions {
  PassCaptions captions;     ///< status lines of the envelope and counting passes
  RainflowStorage rainflow;  ///< where a large rainflow residue spills
  /// Worker threads of the counting pass: 1 counts on the calling thread, 0 one per core. The
  /// result is the same for every number.
  int threads = 1;
};

/// The captions of a run in `language`, from the message table.
PassCaptions CountingCaptions(Language language);

/// Counts `node` by `kind` over the settled `parameters` (first and last block within the
/// record). Returns the complete result file record: the engine's result, the test, code and
/// node names, the sampling record and the record's whole blocks, ready to be shown, drawn,
/// saved or handed over. A cancelled pass returns its partial counts with `cancelled` set (see
/// RefuseCancelledPass for what may be done with them); a cancel during the envelope pass, before
/// any count, fails with kMsgCalculationCancelled. Fails as the analysis's own run does:
/// a record shorter than one block (a sample-exact record: than two samples), N < 1, an
/// amplitude range that N partitions can't be made of (CountingAmplitudeRange, before anything
/// is counted), a range outside the record, a file that can't be read.
Result<AnyResultFile> RunCounting(CountingKind kind, const CountingNode& node,
                                  const CountingParameters& parameters, Progress& progress,
                                  const CountingRunOptions& options = {});

}  // namespace torvwy::core
