// Every rainflow cycle of a node's counted blocks, read in one streaming pass.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/rainflow/rainflow_cycles.h"
#include "core/run/counting_run.h"
#include "core/services/progress.h"
#include "core/services/result.h"

namespace torvwy::core {

/// The cycles of a counted span, with where the span sits in the record.
struct NodeCycleList {
  /// As RainflowCycleExtractor lists them; start and end are the record's sample indices.
  std::vector<RainflowCycle> cycles;
  int64_t first_sample = 0;  ///< the record's index of the span's first sample
  int64_t samples = 0;       ///< the span's length
  bool cancelled = false;    ///< the user cancelled: the list is incomplete and must not be used
};

/// The conventions of a cycle list, as the count's: the residue method and the gate (EU, 0:
/// none); and who else wants the turning points (EU, in time order; the transitions).
struct CycleListOptions {
  ResidueMethod residue = ResidueMethod::kHalf;
  double gate = 0.0;
  std::function<void(double point)> on_turning_point;
};

/// Reads blocks first_block..last_block (1-based, inclusive) of `node` in fixed buffers, scales
/// them to EU as the rainflow count does, and lists their cycles. Polls `progress` once per
/// block read; a cancel stops the pass with `cancelled` set. Fails as the counting run does for
/// a record without the blocks or a file that can't be read.
Result<NodeCycleList> ExtractNodeCycles(const CountingNode& node, int32_t first_block,
                                        int32_t last_block, Progress& progress,
                                        const CycleListOptions& options = {});

}  // namespace torvwy::core
