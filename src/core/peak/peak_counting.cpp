// Driving a PeakCounter over a waveform file.
#include "core/peak/peak_counting.h"

#include <utility>
#include <vector>

#include "core/data/envelope.h"
#include "core/data/waveform_reader.h"
#include "core/peak/peak_counter.h"
#include "core/run/block_pass.h"
#include "core/run/counting_request.h"
#include "core/services/progress.h"

namespace torvwy::core {

Result<PeakCountResult> RunPeakCounting(const SamplingInfo& info, const SampleSource& source,
                                        const CountingParameters& params, Progress& progress,
                                        const PassCaptions& captions, int threads) {
  PeakCountSetup setup;
  setup.partitions = params.partitions;
  setup.c1 = info.c1();
  setup.c2 = info.c2();
  if (EffectivePartitions(setup.partitions) < 1) return PeakCounter::Create(setup).error();

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
    setup.automatic = true;
  }
  auto amplitude_range = CountingAmplitudeRange(CountingKind::kPeak, params, info,
                                                FindEnvelopeExtremes(envelope), source.path);
  if (!amplitude_range) return amplitude_range.error();
  setup.amplitude_range = *amplitude_range;
  auto counter = PeakCounter::Create(setup);
  if (!counter) return counter.error();

  EnvelopeBuilder builder(info);
  BlockPassSetup pass_setup;
  pass_setup.first_block = params.first_block;
  pass_setup.last_block = params.last_block;
  pass_setup.envelope = known_range ? &builder : nullptr;
  pass_setup.caption = captions.counting;
  const SampleSpan range =
      BlockSpan(params.first_block, params.last_block, reader->countable_samples());
  if (range.end - range.begin >= PartitionCounter::kSampleTableFrom) {
    counter->UseSampleTable(info.format());
  }
  const std::vector<int64_t> edges = ChunkEdges(range.begin, range.end, WorkerThreads(threads));
  Result<BlockPassOutcome> pass = BlockPassOutcome{};
  if (edges.size() > 2) {
    // One counter per chunk; each tests the samples of its own chunk, so the sums are exact.
    std::vector<PeakCounter> counters(edges.size() - 1, *counter);
    pass = RunChunkedBlockPass(
        *reader, pass_setup, edges,
        [&counters](size_t chunk, std::span<const double> samples) {
          counters[chunk].Feed(samples);
          return Ok();
        },
        progress);
    if (!pass) return pass.error();
    for (size_t c = 1; c < counters.size(); ++c) counters[0].Join(counters[c]);
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
  if (pass->cancelled && edges.size() <= 2 &&
      pass->blocks_counted < BlockCount(params.first_block, params.last_block)) {
    // The last sample of the cancelled block is tested against its true next neighbour, the
    // first sample of the following block.
    const int64_t next = range.begin + pass->blocks_counted * kBlockSamples;
    double sample = 0.0;
    if (auto ok = reader->Seek(next); !ok) return ok.error();
    if (auto ok = reader->Read({&sample, 1}); !ok) return ok.error();
    counter->Feed({&sample, 1});
  }
  if (known_range) envelope = builder.Finish();

  PeakCountResult result = counter->Finish();
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
