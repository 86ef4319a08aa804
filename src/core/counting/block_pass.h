// Streaming the blocks of an analysis range to a counter, with the record's envelope on the way,
// and the rule every counting run follows when its pass is cancelled.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>

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

/// What a block pass reads and how it shows its progress.
struct BlockPassSetup {
  int32_t first_block = 1;  ///< 1-based, inclusive
  int32_t last_block = 0;
  /// With a builder the whole record is read once and every sample also goes to it.
  EnvelopeBuilder* envelope = nullptr;
  std::string_view caption;     ///< status line; empty leaves it as it is
  int64_t progress_upper = -1;  ///< upper bound of the bar; negative: the block count
};

/// Takes one block of 1024 raw samples at a time, in time order; a failure ends the
/// pass with that error.
using BlockSink = std::function<Status(std::span<const double>)>;

/// Hands blocks first_block..last_block (1024 samples each) of the record to `sink`, one block
/// per call in time order, reading 64 blocks per read. The progress gets the range
/// 0..progress_upper, step 1 and the caption; after every block it steps and polls Cancel, and
/// a cancel stops the counting after that block.
///
/// With `envelope` the whole record is read once and every sample also goes to the builder:
///
///   record   |=====================================================|  -> envelope
///   range           |  b  |  b  |  b  |  b  |                          -> sink
///
/// so a count whose amplitude range is known beforehand needs no pass of its own; after a cancel
/// the rest of the record is still read for the envelope. An empty range (last < first) counts
/// nothing. Fails (bad-value message) when the range lies outside the record's whole blocks,
/// with the reader's error when a read fails and with the sink's error when it fails.
Result<BlockPassOutcome> RunBlockPass(WaveformReader& reader, const BlockPassSetup& setup,
                                      const BlockSink& sink, Progress& progress);

/// Number of blocks in first_block..last_block; 0 when last < first.
inline int64_t BlockCount(int32_t first_block, int32_t last_block) {
  return last_block >= first_block ? int64_t{last_block} - first_block + 1 : 0;
}

/// Fails (bad-value message naming `data_file`) when the record holds fewer samples than one
/// block: no counting has anything to count then, and each refuses it the same way.
Status CheckRecordHoldsABlock(const WaveformReader& reader, const std::filesystem::path& data_file);

/// The one rule for a cancelled pass: its partial counts may be shown, marked as cancelled, but
/// are never saved, reported, exported or list-exported. Fails with the cancelled message
/// (detail: `what` was not written) for a cancelled pass; succeeds otherwise.
Status RefuseCancelledPass(bool cancelled, std::string_view what);

}  // namespace torvwy::core
