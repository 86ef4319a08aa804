// Streaming the blocks of an analysis range to a counter, on one thread or several, with the
// record's envelope on the way.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "core/data/block_span.h"
#include "core/data/sampling_info.h"
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

/// Takes one block of 1024 raw samples at a time, in time order (the last one shorter when the
/// record's countable samples end inside it); a failure ends the pass with that error.
using BlockSink = std::function<Status(std::span<const double>)>;

/// Hands blocks first_block..last_block (1024 samples each, see BlockSpan) of the record to
/// `sink`, one block per call in time order, reading 64 blocks per read. The progress gets the
/// range 0..progress_upper, step 1 and the caption; after every block it steps and polls Cancel,
/// and a cancel stops the counting after that block.
///
/// With `envelope` the whole record is read once and every sample also goes to the builder:
///
///   record   |=====================================================|  -> envelope
///   range           |  b  |  b  |  b  |  b  |                          -> sink
///
/// so a count whose amplitude range is known beforehand needs no pass of its own; after a cancel
/// the rest of the record is still read for the envelope. An empty range (last < first) counts
/// nothing. Fails (bad-value message) when the range lies outside the record's countable blocks,
/// with the reader's error when a read fails and with the sink's error when it fails.
Result<BlockPassOutcome> RunBlockPass(WaveformReader& reader, const BlockPassSetup& setup,
                                      const BlockSink& sink, Progress& progress);

/// Number of worker threads for `threads`: itself when positive, one per core otherwise.
int WorkerThreads(int threads);

/// Takes the window of chunk `chunk` (ChunkWindow) in pieces of any size, in time order, on that
/// chunk's worker thread; a failure ends the pass with that error.
using ChunkSink = std::function<Status(size_t chunk, std::span<const double>)>;

/// The block pass on several threads: blocks first_block..last_block are cut into
/// chunks.size() - 1 contiguous chunks at the sample positions `chunk_edges` (ChunkEdges), and
/// each chunk's window is read by a worker of its own and handed to `sink` with its chunk number.
/// With `setup.envelope` the whole record is read once as in RunBlockPass, each worker also
/// building the envelope of its stretch, and the stretches are merged into the builder.
///
/// Only the calling thread talks to `progress`: range 0..progress_upper, step 1, the caption,
/// then the position of all workers' counted blocks together and a poll for Cancel every few
/// milliseconds and once at the end. A cancel stops every worker's counting within one read
/// (64 blocks); the envelope is still completed. Fails as RunBlockPass does.
Result<BlockPassOutcome> RunChunkedBlockPass(WaveformReader& reader, const BlockPassSetup& setup,
                                             const std::vector<int64_t>& chunk_edges,
                                             const ChunkSink& sink, Progress& progress);

}  // namespace torvwy::core
