// The block pass shared by the counting runs, and the rule for a cancelled pass.
#include "core/counting/block_pass.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/counting/progress.h"
#include "core/data/envelope.h"
#include "core/data/waveform_reader.h"
#include "core/services/message_table.h"

namespace torvwy::core {

Result<BlockPassOutcome> RunBlockPass(WaveformReader& reader, const BlockPassSetup& setup,
                                      const BlockSink& sink, Progress& progress) {
  constexpr int64_t kChunkSamples = 64 * kBlockSamples;
  const int64_t block_count = BlockCount(setup.first_block, setup.last_block);
  if (block_count > 0 && (setup.first_block < 1 ||
                          int64_t{setup.last_block} * kBlockSamples > reader.record_samples())) {
    return Fail(kMsgBadValue, "blocks " + std::to_string(setup.first_block) + " to " +
                                  std::to_string(setup.last_block) + " lie outside the record of " +
                                  std::to_string(reader.record_samples() / kBlockSamples) +
                                  " whole blocks");
  }
  progress.SetRange(0, setup.progress_upper < 0 ? block_count : setup.progress_upper);
  progress.SetStep(1);
  if (!setup.caption.empty()) progress.SetStatus(setup.caption);

  const int64_t range_begin =
      block_count > 0 ? (int64_t{setup.first_block} - 1) * kBlockSamples : 0;
  const int64_t range_end = range_begin + block_count * kBlockSamples;
  // Reads start on a block border and take whole blocks, so a block never straddles two reads.
  EnvelopeBuilder* envelope = setup.envelope;
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
      if (auto ok = sink(
              chunk.subspan(static_cast<size_t>(b - position), static_cast<size_t>(kBlockSamples)));
          !ok) {
        return ok.error();
      }
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

Status CheckRecordHoldsABlock(const WaveformReader& reader,
                              const std::filesystem::path& data_file) {
  if (reader.record_samples() >= kBlockSamples) return Ok();
  return Fail(kMsgBadValue, data_file.string() + ": the record holds " +
                                std::to_string(reader.record_samples()) +
                                " samples, fewer than one block of " +
                                std::to_string(kBlockSamples) + "; nothing can be counted");
}

Status RefuseCancelledPass(bool cancelled, std::string_view what) {
  if (!cancelled) return Ok();
  return Fail(kMsgCalculationCancelled,
              "the pass was cancelled; its partial counts are not " + std::string(what));
}

}  // namespace torvwy::core
