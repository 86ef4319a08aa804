// The range counting run: one node's waveform file counted into a RangeCountResult.
#pragma once

#include <filesystem>

#include "core/counting/counting_parameters.h"
#include "core/data/sampling_info.h"
#include "core/data/waveform_reader.h"
#include "core/range/range_count_result.h"
#include "core/services/progress.h"
#include "core/services/result.h"

namespace torvwy::core {

/// Counts the ranges of blocks params.first_block..params.last_block (already settled) of the
/// node's waveform and builds its envelope. The amplitude range A is (F + F) / c2 / c1 for
/// amplitude mode 0 (a range can reach from -F to +F), the set value for mode 2, and otherwise
/// (envelope maximum - envelope minimum) x 1.1, so that no range is dropped. When A is known
/// beforehand (modes 0 and 2) the envelope and the counts come from one read of the file;
/// otherwise the envelope pass comes first, then the counting pass.
///
/// The counting pass reports to `progress` block by block and stops after the block at which
/// Cancel is seen; the counts so far are returned with `cancelled` set. A cancel during the
/// envelope pass counts nothing and fails with kMsgCalculationCancelled. Fails with the reader's
/// error when the file can't be opened or read, and with the bad-value message for N < 1, an A
/// that N partitions can't be made of (CountingAmplitudeRange, before the counting pass), a
/// record shorter than one block or a range outside the record.
///
/// With `threads` other than 1 (0: one per core) the blocks are cut into as many chunks, counted
/// in parallel (RunChunkedBlockPass) and joined exactly (RangeCounter::Join): the result equals
/// the one-thread result.
Result<RangeCountResult> RunRangeCounting(const SamplingInfo& info, const SampleSource& source,
                                          const CountingParameters& params, Progress& progress,
                                          const PassCaptions& captions = {}, int threads = 1);

}  // namespace torvwy::core
