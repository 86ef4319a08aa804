// Which samples an analysis range, a block or a chunk holds.
#include "core/data/block_span.h"

#include <algorithm>
#include <string>

#include "core/data/waveform_reader.h"
#include "core/services/message_table.h"

namespace torvwy::core {

SampleSpan ChunkWindow(int64_t range_begin, int64_t range_end, int64_t begin, int64_t end) {
  return {std::max(range_begin, begin - 1), std::min(range_end, end + 1)};
}

std::vector<int64_t> ChunkEdges(int64_t range_begin, int64_t range_end, int chunks) {
  const int64_t blocks = CountableBlocks(range_end - range_begin);
  const int64_t n = std::max<int64_t>(1, std::min<int64_t>(chunks, blocks));
  std::vector<int64_t> edges;
  for (int64_t c = 0; c <= n; ++c) edges.push_back(range_begin + blocks * c / n * kBlockSamples);
  edges.back() = range_end;
  return edges;
}

Status CheckRecordHoldsABlock(const WaveformReader& reader,
                              const std::filesystem::path& data_file) {
  if (reader.sample_exact()) {
    if (reader.countable_samples() >= 2) return Ok();
    return Fail(kMsgBadValue, data_file.string() + ": the record holds " +
                                  std::to_string(reader.countable_samples()) +
                                  " sample, fewer than two; nothing can be counted");
  }
  if (reader.record_samples() >= kBlockSamples) return Ok();
  return Fail(kMsgBadValue, data_file.string() + ": the record holds " +
                                std::to_string(reader.record_samples()) +
                                " samples, fewer than one block of " +
                                std::to_string(kBlockSamples) + "; nothing can be counted");
}

}  // namespace torvwy::core
