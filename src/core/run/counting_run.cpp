// The counting run shared by every face.
#include "core/run/counting_run.h"

#include <utility>

#include "core/peak/peak_counting.h"
#include "core/range/range_counting.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

/// The counts of one analysis wrapped in its result file record.
template <typename File, typename Counted>
Result<AnyResultFile> Wrap(Result<Counted> counted) {
  if (!counted) return counted.error();
  File file;
  file.result = std::move(*counted);
  return AnyResultFile(std::move(file));
}

}  // namespace

PassCaptions CountingCaptions(Language language) {
  const MessageTable table = LoadMessageTable(language);
  return {std::string(table[kMsgEnvelopeCaption]), std::string(table[kMsgCountingCaption])};
}

Result<AnyResultFile> RunCounting(CountingKind kind, const CountingNode& node,
                                  const CountingParameters& parameters, Progress& progress,
                                  const CountingRunOptions& options) {
  Result<AnyResultFile> counted = Fail(kMsgBadValue, "unknown analysis");
  const SampleSource source = SourceOf(node);
  switch (kind) {
    case CountingKind::kPeak:
      counted = Wrap<PeakResultFile>(RunPeakCounting(node.info, source, parameters, progress,
                                                     options.captions, options.threads));
      break;
    case CountingKind::kRange:
      counted = Wrap<RangeResultFile>(RunRangeCounting(node.info, source, parameters, progress,
                                                       options.captions, options.threads));
      break;
    case CountingKind::kRainflow:
      counted = Wrap<RainflowResultFile>(RunRainflowCounting(node.info, source, parameters,
                                                             progress, options.rainflow,
                                                             options.captions, options.threads));
      break;
  }
  // An amplitude range no partitions can be made of was refused before the counting pass
  // (CountingAmplitudeRange).
  if (!counted) return counted;
  ResultFileNode& record = NodeOf(*counted);
  record.test_name = node.test_name;
  record.test_code = node.test_code;
  record.node_name = node.node_name;
  record.sampling = node.info;
  record.total_blocks = node.info.whole_blocks();
  return counted;
}

}  // namespace torvwy::core
