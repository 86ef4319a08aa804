// Driving a RangeCounter over a waveform file.
#include "core/range/range_counting.h"

#include <utility>
#include <vector>

#include "core/data/envelope.h"
#include "core/data/waveform_reader.h"
#include "core/range/range_counter.h"
#include "core/run/block_pass.h"
#include "core/run/counting_request.h"
#include "core/services/progress.h"

namespace torvwy::core {

Result<RangeCountResult> RunRangeCounting(const SamplingInfo& info, const SampleSource& source,
                                          const CountingParameters& params, Progress& progress,
                                          const PassCaptions& captions, int threads) {
  RangeCountSetup setup;
  setup.partitions = params.partitions;
  setup.c1 = info.c1();
  setup.c2 = info.c2();
  if (EffectivePartitions(setup.partitions) < 1) return RangeCounter::Create(setup).error();

  auto reader = WaveformReader::Open(source, info);
  if (!reader) return reader.error();
  if (auto ok = CheckRecordHoldsABlock(*reader, source.path); !ok) return ok.error();

  const bool known_range =
      params.amplitude_mode == kAmplitudeFullScale || params.amplitude_mode == kAmplitudeSetValue;
  std::vector<double> envelope;
  if (!known_range) {
    auto built = BuildWaveformEnvelope(*reader, info, progress, captions.envelope);
    if (!built) return built.error();
    envelope = std::move(*built);
  }
  auto amplitude_range = CountingAmplitudeRange(CountingKind::kRange, params, info,
                                                FindEnvelopeExtremes(envelope), source.path);
  if (!amplitude_range) return amplitude_range.error();
  setup.amplitude_range = *amplitude_range;
  auto counter = RangeCounter::Create(setup);
  if (!counter) return counter.error();

  EnvelopeBuilder builder(info);
  BlockPassSetup pass_setup;
  pass_setup.first_block = params.first_block;
  pass_setup.last_block = params.last_block;
  pass_setup.envelope = known_range ? &builder : nullptr;
  pass_setup.caption = captions.counting;
  const SampleSpan range =
      BlockSpan(params.first_block, params.last_block, reader->countable_samples());
  const bool by_table = range.end - range.begin >= PartitionCounter::kSampleTableFrom;
  if (by_table) counter->UseSampleTable(info.format());
  const std::vector<int64_t> edges = ChunkEdges(range.begin, range.end, WorkerThreads(threads));
  Result<BlockPassOutcome> pass = BlockPassOutcome{};
  if (edges.size() > 2) {
    // One counter per chunk; the later ones keep their first turning point for the join.
    setup.opens_range = false;
    std::vector<RangeCounter> counters;
    counters.push_back(std::move(*counter));
    for (size_t c = 2; c < edges.size(); ++c) {
      counters.push_back(*RangeCounter::Create(setup));
      if (by_table) counters.back().ShareSampleTable(counters.front());
    }
    pass = RunChunkedBlockPass(
        *reader, pass_setup, edges,
        [&counters](size_t chunk, std::span<const double> samples) {
          counters[chunk].Feed(samples);
          return Ok();
        },
        progress);
    if (!pass) return pass.error();
    // After a cancel the chunks stopped apart from one another: their counts add up, but no
    // range is measured across a gap.
    for (size_t c = 1; c < counters.size(); ++c) counters[0].Join(counters[c], !pass->cancelled);
    *counter = std::move(counters[0]);
  } else {
    pass = RunBlockPass(
        *reader, pass_setup,
        [&counter](std::span<const double> block) {
          counter->Feed(block);
          return Ok();
        },
        progress);
    if (!pass) return pass.error();
  }
  if (known_range) envelope = builder.Finish();

  RangeCountResult result = counter->Finish();
  const EnvelopeExtremes extremes = FindEnvelopeExtremes(envelope);
  result.envelope_maximum = extremes.maximum;
  result.envelope_minimum = extremes.minimum;
  result.envelope = std::move(envelope);
  result.amplitude_mode = params.amplitude_mode;
  result.set_value = params.set_value;
  result.range_mode = params.range_mode;
  result.first_block = params.first_block;
  result.last_block = params.last_block;
  result.cancelled = pass->cancelled;
  return result;
}

}  // namespace torvwy::core
