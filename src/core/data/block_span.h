// The geometry of blocks and chunks: which samples an analysis range, a block or a chunk holds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "core/data/sampling_info.h"
#include "core/services/result.h"

namespace torvwy::core {

class WaveformReader;

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

}  // namespace torvwy::core
