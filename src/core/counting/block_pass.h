// Streaming the blocks of an analysis range to a counter, with the record's envelope on the way.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "core/services/result.h"

namespace torvwy::core {

class EnvelopeBuilder;
class Progress;
class WaveformReader;

/// How a block pass ended.
struct BlockPassOutcome {
  int64_t blocks_counted = 0;  ///< blocks handed to the counter
  bool cancelled = false;      ///< the user cancelled after the last counted block
};

/// Hands blocks first_block..last_block (1-based, inclusive, 1024 samples each) of the record to
/// `count`, one block per call in time order, reading 64 blocks per read. The progress gets the
/// range 0..block count, step 1 and the counting caption; after every block it steps and polls
/// Cancel, and a cancel stops the counting after that block.
///
/// With `envelope` the whole record is read once and every sample also goes to the builder:
///
///   record   |=====================================================|  -> envelope
///   range           |  b  |  b  |  b  |  b  |                          -> count
///
/// so a count whose amplitude range is known beforehand needs no pass of its own; after a cancel
/// the rest of the record is still read for the envelope. An empty range (last < first) counts
/// nothing. Fails (bad-value message) when the range lies outside the record's whole blocks, and
/// with the reader's error when a read fails.
Result<BlockPassOutcome> RunBlockPass(WaveformReader& reader, int32_t first_block,
                                      int32_t last_block, EnvelopeBuilder* envelope,
                                      const std::function<void(std::span<const double>)>& count,
                                      Progress& progress);

/// Number of blocks in first_block..last_block; 0 when last < first.
inline int64_t BlockCount(int32_t first_block, int32_t last_block) {
  return last_block >= first_block ? int64_t{last_block} - first_block + 1 : 0;
}

}  // namespace torvwy::core
