// The rainflow counting run of one node: envelope, amplitude range and the streamed count.
#pragma once

#include <cstdint>
#include <filesystem>

#include "core/counting/counting_parameters.h"
#include "core/data/envelope.h"
#include "core/data/sampling_info.h"
#include "core/data/waveform_reader.h"
#include "core/rainflow/rainflow_result.h"
#include "core/rainflow/residue_stack.h"
#include "core/services/progress.h"
#include "core/services/result.h"

namespace torvwy::core {

/// The smallest counted range t = |FS / c2 / c1| x 0.001 (EU): a thousandth of the full scale.
double SmallestCountedRange(double full_scale, const SamplingInfo& info);

/// Where a run keeps a residue that outgrows memory.
struct RainflowStorage {
  int64_t residue_memory_points = ResidueStack::kDefaultMemoryPoints;
  std::filesystem::path scratch_folder;  ///< empty: the system's temporary folder
};

/// Counts the closed load cycles of blocks first_block..last_block of the node (the caller has
/// settled the range) into N = min(partitions, 2000) partitions of [0, A].
///
/// With amplitude mode 0 or 2, one read gives both the envelope and the count (the block pass);
/// otherwise the envelope pass (BuildWaveformEnvelope) comes first and the count reads the
/// range. The count's progress runs from 0 to trunc(blocks x 1.2) with step 1 and the counting
/// caption; it steps and polls Cancel after every block and ends at its upper bound. A cancel
/// ends the count after that block: the result says `cancelled` and holds no cycle (the envelope
/// is still completed). A cancel during the envelope pass fails with kMsgCalculationCancelled.
///
/// With `threads` other than 1 (0: one per core) the blocks are cut into as many chunks, each
/// counted on a worker of its own with its own residue, and joined in time order
/// (RainflowCounter::Join): the result equals the one-thread result.
///
/// Fails with a message-table error when N < 1, the amplitude mode is unknown, the format has no
/// full scale, the data file can't be opened or read, the record holds fewer samples than one
/// block, the range lies outside the record's whole blocks, A can't be cut into N partitions
/// (CountingAmplitudeRange), or the residue's scratch file fails.
Result<RainflowResult> RunRainflowCounting(const SamplingInfo& info, const SampleSource& source,
                                           const CountingParameters& params, Progress& progress,
                                           const RainflowStorage& storage = {},
                                           const PassCaptions& captions = {}, int threads = 1);

}  // namespace torvwy::core
