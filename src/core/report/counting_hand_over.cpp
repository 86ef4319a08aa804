// Dispatching the hand-over of a counting result to its analysis.
#include "core/report/counting_hand_over.h"

#include <type_traits>

#include "core/data/block_span.h"
#include "core/report/list_export.h"
#include "core/services/message_table.h"
#include "core/services/progress.h"

namespace torvwy::core {

CountingReadouts CollectReadouts(const AnyResultFile& file, const std::vector<uint32_t>& indices,
                                 bool one_way, bool separately) {
  CountingReadouts readouts;
  if (const auto* peak = std::get_if<PeakResultFile>(&file)) {
    for (uint32_t i : indices) {
      readouts.list.Collect(i, PeakCountTexts(peak->result, i, one_way, separately));
    }
    readouts.axis = PeakReadoutAxis(peak->result, one_way);
    if (separately) readouts.columns = ReadoutColumns::kPeakAndValley;
  } else if (const auto* range = std::get_if<RangeResultFile>(&file)) {
    for (uint32_t i : indices) readouts.list.Collect(i, RangeCountTexts(range->result, i, one_way));
    readouts.axis = RangeReadoutAxis(range->result, one_way);
  } else {
    const auto& rainflow = std::get<RainflowResultFile>(file).result;
    for (uint32_t i : indices) readouts.list.Collect(i, RainflowCountTexts(rainflow, i));
    readouts.axis = RainflowReadoutAxis(rainflow);
  }
  return readouts;
}

ReadoutNames NamesOf(const AnyResultFile& file) {
  const ResultFileNode& node = NodeOf(file);
  return {node.test_name, node.test_code, node.node_name};
}

Status CheckHandedOver(const AnyResultFile& file, std::string_view what) {
  const CountingKind kind = KindOf(file);
  if (kind == CountingKind::kCrossings || kind == CountingKind::kTimeAtLevel) {
    return Fail(kMsgBadValue, std::string(CountingKindName(kind)) + " results are not " +
                                  std::string(what) +
                                  " by this version; save the result or use --json");
  }
  return Ok();
}

ExportTable CountingExportTable(const AnyResultFile& file, bool one_way, Language language) {
  const ReadoutNames names = NamesOf(file);
  if (const auto* pairs = std::get_if<RangePairResultFile>(&file)) {
    return RangeExportTable(pairs->result, names, one_way, language);
  }
  if (const auto* peak = std::get_if<PeakResultFile>(&file)) {
    return PeakExportTable(peak->result, names, one_way, language);
  }
  if (const auto* range = std::get_if<RangeResultFile>(&file)) {
    return RangeExportTable(range->result, names, one_way, language);
  }
  if (const auto* rainflow = std::get_if<RainflowResultFile>(&file)) {
    return RainflowExportTable(rainflow->result, names, language);
  }
  return {};  // no table yet for level crossings and time at level (CheckHandedOver)
}

Result<std::filesystem::path> WriteCountingReport(const AnyResultFile& file, const ReportView& view,
                                                  const ReportOptions& options) {
  if (auto ok = RefuseCancelledPass(PassCancelled(file), "reported"); !ok) return ok.error();
  if (auto ok = CheckHandedOver(file, "reported"); !ok) return ok.error();
  return std::visit(
      [&](const auto& f) -> Result<std::filesystem::path> {
        using File = std::decay_t<decltype(f)>;
        if constexpr (std::is_same_v<File, PeakResultFile>) {
          return WritePeakReport(f.result, f, view, options);
        } else if constexpr (std::is_same_v<File, RangeResultFile> ||
                             std::is_same_v<File, RangePairResultFile>) {
          return WriteRangeReport(f.result, f, view, options);
        } else if constexpr (std::is_same_v<File, RainflowResultFile>) {
          return WriteRainflowReport(f.result, f, view, options);
        } else {
          return Fail(kMsgBadValue, "unreachable");
        }
      },
      file);
}

Result<std::filesystem::path> WriteCountingExport(const AnyResultFile& file, bool one_way,
                                                  Language language,
                                                  const std::filesystem::path& folder) {
  if (auto ok = RefuseCancelledPass(PassCancelled(file), "exported"); !ok) return ok.error();
  if (auto ok = CheckHandedOver(file, "exported"); !ok) return ok.error();
  return WriteExport(CountingExportTable(file, one_way, language), folder);
}

std::string CountingReadoutText(const AnyResultFile& file, const CountingReadouts& readouts,
                                Language language) {
  return ReadoutListText(readouts.list, readouts.axis, NamesOf(file), readouts.columns, language,
                         1);
}

Status WriteCountingListExport(const AnyResultFile& file, const CountingReadouts& readouts,
                               const std::string& target, Language language,
                               const std::filesystem::path& folder) {
  if (auto ok = RefuseCancelledPass(PassCancelled(file), "list-exported"); !ok) return ok;
  if (auto ok = CheckHandedOver(file, "list-exported"); !ok) return ok;
  return WriteListExport(target, CountingReadoutText(file, readouts, language), folder);
}

}  // namespace torvwy::core
