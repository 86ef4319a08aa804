// The counting run: one entry that counts a node by any of the three analyses and returns the
// complete result file record, for the command line, the windows and any later face alike.
#pragma once

#include <filesystem>
#include <string>

#include "core/counting/counting_parameters.h"
#include "core/data/counting_node.h"
#include "core/data/sampling_info.h"
#include "core/data/waveform_reader.h"
#include "core/files/result_file.h"
#include "core/rainflow/rainflow_counting.h"
#include "core/services/language.h"
#include "core/services/progress.h"
#include "core/services/result.h"

namespace torvwy::core {

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
