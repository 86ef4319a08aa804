// The rainflow counting run: one or two reads of the node's waveform file.
#include "core/rainflow/rainflow_counting.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "core/data/waveform_reader.h"
#include "core/rainflow/rainflow_counter.h"
#include "core/run/block_pass.h"
#include "core/run/counting_request.h"
#include "core/services/message_table.h"
#include "core/services/progress.h"

namespace torvwy::core {

double SmallestCountedRange(double full_scale, const SamplingInfo& info) {
  return std::fabs(full_scale / info.c2() / info.c1()) * 0.001;  // the size, as for A
}

Result<RainflowResult> RunRainflowCounting(const SamplingInfo& info, const SampleSource& source,
                                           const CountingParameters& params, Progress& progress,
                                           const RainflowStorage& storage,
                                           const PassCaptions& captions, int threads) {
  const int32_t n = EffectivePartitions(params.partitions);
  if (n < 1) {
    return Fail(kMsgBadValue, "rainflow: the partition count " + std::to_string(params.partitions) +
                                  " is below 1");
  }
  if (params.amplitude_mode < kAmplitudeFullScale || params.amplitude_mode > kAmplitudeSetValue) {
    return Fail(kMsgBadValue,
                "rainflow: unknown amplitude mode " + std::to_string(params.amplitude_mode));
  }
  auto reader = WaveformReader::Open(source, info);
  if (!reader) return reader.error();
  if (auto ok = CheckRecordHoldsABlock(*reader, source.path); !ok) return ok.error();
  auto full_scale = FullScaleOf(info);
  if (!full_scale) return full_scale.error();
  const int64_t record_blocks = CountableBlocks(reader->countable_samples());
  if (params.first_block < 1 || params.last_block < params.first_block ||
      params.last_block > record_blocks) {
    return Fail(kMsgBadValue,
                source.path.string() + ": blocks " + std::to_string(params.first_block) + ".." +
                    std::to_string(params.last_block) + " are not a range of the record's " +
                    std::to_string(record_blocks) +
                    (reader->sample_exact() ? " blocks" : " whole blocks"));
  }

  RainflowResult result;
  result.range_mode = params.range_mode;
  result.first_block = params.first_block;
  result.last_block = params.last_block;
  result.amplitude_mode = params.amplitude_mode;
  result.set_value = params.set_value;

  // One read when A does not depend on the envelope.
  const bool one_read = params.amplitude_mode != kAmplitudeAutomatic;
  if (!one_read) {
    auto envelope = BuildWaveformEnvelope(*reader, info, progress, captions.envelope);
    if (!envelope) return envelope.error();
    result.envelope = std::move(*envelope);
  }
  auto amplitude_range = CountingAmplitudeRange(CountingKind::kRainflow, params, info,
                                                FindEnvelopeExtremes(result.envelope), source.path);
  if (!amplitude_range) return amplitude_range.error();

  RainflowSetup setup;
  setup.partitions = n;
  setup.amplitude_range = *amplitude_range;
  setup.smallest_range = SmallestCountedRange(*full_scale, info);
  setup.scale = 1.0 / (info.c2() * info.c1());
  setup.residue_memory_points = storage.residue_memory_points;
  setup.scratch_folder = storage.scratch_folder;

  // The bar keeps a fifth beyond the blocks for the cycle extraction, filled when it ends.
  const int64_t blocks = BlockCount(params.first_block, params.last_block);
  const auto upper = static_cast<int64_t>(std::trunc(static_cast<double>(blocks) * 1.2));
  EnvelopeBuilder builder(info);
  BlockPassSetup pass_setup;
  pass_setup.first_block = params.first_block;
  pass_setup.last_block = params.last_block;
  pass_setup.envelope = one_read ? &builder : nullptr;
  pass_setup.caption = captions.counting;
  pass_setup.progress_upper = upper;
  const SampleSpan range =
      BlockSpan(params.first_block, params.last_block, reader->countable_samples());
  const std::vector<int64_t> edges = ChunkEdges(range.begin, range.end, WorkerThreads(threads));
  // One counter per chunk, each with a residue (and a scratch file) of its own; the later ones
  // are joined to the first in time order.
  std::vector<RainflowCounter> counters;
  counters.emplace_back(setup);
  setup.opens_range = false;
  for (size_t c = 2; c < edges.size(); ++c) counters.emplace_back(setup);
  Result<BlockPassOutcome> pass = BlockPassOutcome{};
  if (edges.size() > 2) {
    pass = RunChunkedBlockPass(
        *reader, pass_setup, edges,
        [&counters](size_t chunk, std::span<const double> samples) {
          return counters[chunk].Feed(samples);
        },
        progress);
  } else {
    pass = RunBlockPass(
        *reader, pass_setup,
        [&counters](std::span<const double> block) { return counters[0].Feed(block); }, progress);
  }
  if (!pass) return pass.error();
  RainflowCounter& counter = counters[0];
  if (!pass->cancelled) {
    for (size_t c = 1; c < counters.size(); ++c) {
      if (auto ok = counter.Join(counters[c]); !ok) return ok.error();
    }
  }
  const bool cancelled = pass->cancelled;
  if (one_read) result.envelope = builder.Finish();
  const EnvelopeExtremes extremes = FindEnvelopeExtremes(result.envelope);
  result.envelope_maximum = extremes.maximum;
  result.envelope_minimum = extremes.minimum;

  auto counted = counter.Finish();
  if (!counted) return counted.error();
  result.partitions = counted->partitions;
  result.amplitude_range = counted->amplitude_range;
  result.partition_width = counted->partition_width;
  result.smallest_range = counted->smallest_range;
  result.turning_points = counted->turning_points;
  result.cursor_partition = counted->cursor_partition;
  if (cancelled) {
    // A cancelled pass counts nothing: its partial histogram would look like a complete one.
    result.cancelled = true;
    result.counts.fill(0.0);
    result.largest_count = 1;
  } else {
    result.counts = counted->counts;
    result.largest_count = counted->largest_count;
  }
  progress.SetPos(upper);
  return result;
}

}  // namespace torvwy::core
