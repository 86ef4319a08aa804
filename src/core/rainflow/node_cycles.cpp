// Listing the rainflow cycles of a node's counted blocks.
#include "core/rainflow/node_cycles.h"

#include "core/run/block_pass.h"
#include "core/services/message_table.h"

namespace torvwy::core {

Result<NodeCycleList> ExtractNodeCycles(const CountingNode& node, int32_t first_block,
                                        int32_t last_block, Progress& progress,
                                        const CycleListOptions& options) {
  auto reader = WaveformReader::Open(SourceOf(node), node.info);
  if (!reader) return reader.error();
  const SampleSpan span = BlockSpan(first_block, last_block, reader->countable_samples());
  if (span.end <= span.begin) {
    return Fail(kMsgBadValue, node.data_file.string() + ": the record holds no block " +
                                  std::to_string(first_block) + ".." + std::to_string(last_block));
  }
  // The rainflow count's own scale to EU.
  const double k = 1.0 / (node.info.c2() * node.info.c1());
  RainflowCycleExtractor extractor(options.residue, options.gate);
  extractor.on_turning_point = options.on_turning_point;
  std::vector<double> eu(kBlockSamples);
  BlockPassSetup setup;
  setup.first_block = first_block;
  setup.last_block = last_block;
  auto pass = RunBlockPass(
      *reader, setup,
      [&](std::span<const double> raw) {
        for (size_t i = 0; i < raw.size(); ++i) eu[i] = raw[i] * k;
        extractor.Feed({eu.data(), raw.size()});
        return Ok();
      },
      progress);
  if (!pass) return pass.error();
  NodeCycleList list;
  list.first_sample = span.begin;
  list.samples = span.end - span.begin;
  list.cancelled = pass->cancelled;
  if (list.cancelled) return list;
  list.cycles = extractor.Finish();
  for (RainflowCycle& cycle : list.cycles) {
    cycle.start += span.begin;
    cycle.end += span.begin;
  }
  return list;
}

}  // namespace torvwy::core
