// Streaming the blocks of an analysis range to a counter, with the record's envelope on the way,
// and the rule every counting run follows when its pass is cancelled.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

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

/// The samples a chunk [begin, end) of the counting range [range_begin, range_end) is fed: the
/// chunk and one sample more on each side that the range has, so that every sample of the chunk
/// is tested against its true neighbours and each sample is tested by exactly one chunk:
///
///   range   |0 1 2 3 4 5 6 7 8 9|      chunks [0,4) [4,7) [7,10)
///   windows |0 1 2 3 4|                  fed 0..4: tests 1 2 3
///                 |3 4 5 6 7|            fed 3..7: tests 4 5 6
///                       |6 7 8 9|        fed 6..9: tests 7 8
struct SampleSpan {
  int64_t begin = 0;
  int64_t end = 0;
};
SampleSpan ChunkWindow(int64_t range_begin, int64_t range_end, int64_t begin, int64_t end);

/// Edges of `chunks` contiguous chunks of whole blocks over the samples [range_begin,
/// range_end): chunks + 1 sample positions from range_begin to range_end, each chunk as long as
/// the others to within one block. Fewer chunks than asked when the range has fewer blocks; a
/// last block that ends inside (a sample-exact record) is a block of its own, in the last chunk.
std::vector<int64_t> ChunkEdges(int64_t range_begin, int64_t range_end, int chunks);

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

/// Number of blocks in first_block..last_block; 0 when last < first.
inline int64_t BlockCount(int32_t first_block, int32_t last_block) {
  return last_block >= first_block ? int64_t{last_block} - first_block + 1 : 0;
}

/// Blocks a counting may count in `countable_samples` (WaveformReader::countable_samples): the
/// whole blocks, and a last partial block of a sample-exact record.
inline int64_t CountableBlocks(int64_t countable_samples) {
  return (countable_samples + kBlockSamples - 1) / kBlockSamples;
}

/// The samples [begin, end) of blocks first_block..last_block, the last block ending at
/// `countable_samples` when it lies inside it:
///
///   blocks 2..3 of 2500 samples   |  1  |  2  | 3 |     samples [1024, 2500)
///
/// {0, 0} when last < first.
inline SampleSpan BlockSpan(int32_t first_block, int32_t last_block, int64_t countable_samples) {
  const int64_t blocks = BlockCount(first_block, last_block);
  if (blocks == 0) return {};
  const int64_t begin = (int64_t{first_block} - 1) * kBlockSamples;
  return {begin, std::min(begin + blocks * kBlockSamples, countable_samples)};
}

/// Fails (bad-value message naming `data_file`) when the record holds fewer samples than one
/// block, or a sample-exact record fewer than two: no counting has anything to count then, and
/// each refuses it the same way.
Status CheckRecordHoldsABlock(const WaveformReader& reader, const std::filesystem::path& data_file);

/// The one rule for a cancelled pass: its partial counts may be shown, marked as cancelled, but
/// are never saved, reported, exported or list-exported. Fails with the cancelled message
/// (detail: `what` was not written) for a cancelled pass; succeeds otherwise.
Status RefuseCancelledPass(bool cancelled, std::string_view what);

}  // namespace torvwy::core
