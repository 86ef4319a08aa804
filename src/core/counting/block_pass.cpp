// The block pass shared by the counting runs.
#include "core/counting/block_pass.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/counting/progress.h"
#include "core/data/envelope.h"
#include "core/data/waveform_reader.h"
#include "core/services/message_table.h"

namespace torvwy::core {

Result<BlockPassOutcome> RunBlockPass(WaveformReader& reader, int32_t first_block,
                                      int32_t last_block, EnvelopeBuilder* envelope,
                                      const std::function<void(std::span<const double>)>& count,
                                      Progress& progress) {
  constexpr int64_t kChunkSamples = 64 * kBlockSamples;
  const int64_t block_count = BlockCount(first_block, last_block);
  if (block_count > 0 &&
      (first_block < 1 || int64_t{last_block} * kBlockSamples > reader.record_samples())) {
    return Fail(kMsgBadValue, "blocks " + std::to_string(first_block) + " to " +
                                  std::to_string(last_block) + " lie outside the record of " +
                                  std::to_string(reader.record_samples() / kBlockSamples) +
                                  " whole blocks");
  }
  progress.SetRange(0, block_count);
  progress.SetStep(1);
  progress.SetStatus(LoadMessageTable(GetUILanguage())[kMsgCountingCaption]);

  const int64_t range_begin = block_count > 0 ? (int64_t{first_block} - 1) * kBlockSamples : 0;
  const int64_t range_end = range_begin + block_count * kBlockSamples;
  // Reads start on a block border and take whole blocks, so a block never straddles two reads.
  const int64_t read_begin = envelope != nullptr ? 0 : range_begin;
  const int64_t read_end = envelope != nullptr ? reader.record_samples() : range_end;
  BlockPassOutcome outcome;
  if (read_end <= read_begin) return outcome;
  if (auto ok = reader.Seek(read_begin); !ok) return ok.error();

  std::vector<double> buffer(static_cast<size_t>(std::min(kChunkSamples, read_end - read_begin)));
  bool counting = block_count > 0;
  for (int64_t position = read_begin; position < read_end;) {
    const int64_t n = std::min(static_cast<int64_t>(buffer.size()), read_end - position);
    const std::span<double> chunk(buffer.data(), static_cast<size_t>(n));
    if (auto ok = reader.Read(chunk); !ok) return ok.error();
    if (envelope != nullptr) envelope->Feed(chunk);
    const int64_t end = std::min(position + n, range_end);
    for (int64_t b = std::max(position, range_begin); counting && b < end; b += kBlockSamples) {
      count(chunk.subspan(static_cast<size_t>(b - position), static_cast<size_t>(kBlockSamples)));
      ++outcome.blocks_counted;
      progress.StepIt();
      if (progress.CheckCancelButton()) {
        outcome.cancelled = true;
        counting = false;
      }
    }
    position += n;
    if (!counting && envelope == nullptr) break;
  }
  return outcome;
}

}  // namespace torvwy::core
