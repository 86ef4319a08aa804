// The one counting run, for every method of the table.
#include "core/run/counting_run.h"

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/counting/partition_counter.h"
#include "core/data/block_span.h"
#include "core/data/envelope.h"
#include "core/data/waveform_reader.h"
#include "core/run/block_pass.h"
#include "core/services/message_table.h"

namespace torvwy::core {

PassCaptions CountingCaptions(Language language) {
  const MessageTable table = LoadMessageTable(language);
  return {std::string(table[kMsgEnvelopeCaption]), std::string(table[kMsgCountingCaption])};
}

Result<AnyResultFile> RunCounting(const CountingPlan& plan, const CountingNode& node,
                                  Progress& progress) {
  const CountingMethod& method = plan.method();
  const CountingParameters& p = plan.parameters;
  const SamplingInfo& info = node.info;
  const SampleSource source = SourceOf(node);

  auto reader = WaveformReader::Open(source, info);
  if (!reader) return reader.error();
  if (auto ok = CheckRecordHoldsABlock(*reader, source.path); !ok) return ok.error();
  if (method.needs_full_scale) {
    if (auto full_scale = FullScaleOf(info); !full_scale) return full_scale.error();
  }
  // A settled plan's range lies in the record; a caller's own range is refused, not counted empty.
  const int64_t record_blocks = CountableBlocks(reader->countable_samples());
  if (p.first_block < 1 || p.last_block < p.first_block || p.last_block > record_blocks) {
    return Fail(kMsgBadValue, source.path.string() + ": blocks " + std::to_string(p.first_block) +
                                  ".." + std::to_string(p.last_block) +
                                  " are not a range of the record's " +
                                  std::to_string(record_blocks) +
                                  (reader->sample_exact() ? " blocks" : " whole blocks"));
  }

  // When A does not depend on the envelope, one read gives both the envelope and the counts.
  const bool one_read = p.amplitude_mode != kAmplitudeAutomatic;
  std::vector<double> envelope;
  if (!one_read) {
    auto built = BuildWaveformEnvelope(*reader, info, progress, plan.captions.envelope);
    if (!built) return built.error();
    envelope = std::move(*built);
  }
  auto amplitude_range = AmplitudeRangeOf(plan, info, FindEnvelopeExtremes(envelope), source.path);
  if (!amplitude_range) return amplitude_range.error();

  const SampleSpan range = BlockSpan(p.first_block, p.last_block, reader->countable_samples());
  CounterSetup setup;
  setup.partitions = p.partitions;
  setup.amplitude_range = *amplitude_range;
  setup.automatic = !one_read;
  setup.info = info;
  setup.rainflow = plan.rainflow;
  setup.crossings = plan.crossings;
  setup.residue = plan.residue.value_or(ResidueMethod::kHalf);
  setup.gate = plan.gate;
  if (range.end - range.begin >= PartitionCounter::kSampleTableFrom) {
    setup.sample_table_format = info.format();
  }
  auto first = MakeCounter(method, setup);
  if (!first) return first.error();
  // One counter per chunk; the later ones keep what their join needs.
  const std::vector<int64_t> edges = ChunkEdges(
      range.begin, range.end, CountsInChunks(method, setup) ? WorkerThreads(plan.threads) : 1);
  std::vector<std::unique_ptr<MethodCounter>> counters;
  counters.push_back(std::move(*first));
  for (size_t c = 2; c < edges.size(); ++c) counters.push_back(counters.front()->MakeLater());

  const int64_t blocks = BlockCount(p.first_block, p.last_block);
  const bool own_bar = method.progress_share != 1.0;
  const auto upper =
      static_cast<int64_t>(std::trunc(static_cast<double>(blocks) * method.progress_share));
  EnvelopeBuilder builder(info);
  BlockPassSetup pass_setup;
  pass_setup.first_block = p.first_block;
  pass_setup.last_block = p.last_block;
  pass_setup.envelope = one_read ? &builder : nullptr;
  pass_setup.caption = plan.captions.counting;
  if (own_bar) pass_setup.progress_upper = upper;
  Result<BlockPassOutcome> pass = BlockPassOutcome{};
  if (counters.size() > 1) {
    pass = RunChunkedBlockPass(
        *reader, pass_setup, edges,
        [&counters](size_t chunk, std::span<const double> samples) {
          return counters[chunk]->Feed(samples);
        },
        progress);
  } else {
    pass = RunBlockPass(
        *reader, pass_setup,
        [&counters](std::span<const double> block) { return counters[0]->Feed(block); }, progress);
  }
  if (!pass) return pass.error();
  const bool cancelled = pass->cancelled;
  MethodCounter& counter = *counters[0];
  if (cancelled && counters.size() == 1 && method.tests_next_sample_after_cancel &&
      pass->blocks_counted < blocks) {
    // The last sample of the cancelled block is tested against its true next neighbour, the
    // first sample of the following block.
    double sample = 0.0;
    if (auto ok = reader->Seek(range.begin + pass->blocks_counted * kBlockSamples); !ok) {
      return ok.error();
    }
    if (auto ok = reader->Read({&sample, 1}); !ok) return ok.error();
    if (auto ok = counter.Feed({&sample, 1}); !ok) return ok.error();
  }
  // After a cancel the chunks stopped apart from one another: nothing is counted across a gap.
  for (size_t c = 1; c < counters.size(); ++c) {
    if (auto ok = counter.Join(*counters[c], !cancelled); !ok) return ok.error();
  }
  if (one_read) envelope = builder.Finish();

  auto counted = counter.Finish(cancelled);
  if (!counted) return counted;
  std::visit(
      [&](auto& file) {
        auto& r = file.result;
        const EnvelopeExtremes extremes = FindEnvelopeExtremes(envelope);
        r.envelope_maximum = extremes.maximum;
        r.envelope_minimum = extremes.minimum;
        r.envelope = std::move(envelope);
        r.amplitude_mode = p.amplitude_mode;
        r.set_value = p.set_value;
        r.range_mode = p.range_mode;
        r.first_block = p.first_block;
        r.last_block = p.last_block;
        r.cancelled = cancelled;
      },
      *counted);
  ResultFileNode& record = NodeOf(*counted);
  record.test_name = node.test_name;
  record.test_code = node.test_code;
  record.node_name = node.node_name;
  record.sampling = node.info;
  record.total_blocks = node.info.whole_blocks();
  if (own_bar) progress.SetPos(upper);
  return counted;
}

}  // namespace torvwy::core
