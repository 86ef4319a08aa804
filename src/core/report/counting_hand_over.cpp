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
  ReadoutList& list = readouts.list;
  std::visit(
      [&](const auto& f) {
        using File = std::decay_t<decltype(f)>;
        const auto& r = f.result;
        if constexpr (std::is_same_v<File, PeakResultFile>) {
          for (uint32_t i : indices) list.Collect(i, PeakCountTexts(r, i, one_way, separately));
          readouts.axis = PeakReadoutAxis(r, one_way);
          if (separately) readouts.columns = ReadoutColumns::kPeakAndValley;
        } else if constexpr (std::is_same_v<File, RangeResultFile> ||
                             std::is_same_v<File, RangePairResultFile>) {
          for (uint32_t i : indices) list.Collect(i, RangeCountTexts(r, i, one_way));
          readouts.axis = RangeReadoutAxis(r, one_way);
        } else if constexpr (std::is_same_v<File, RainflowResultFile>) {
          for (uint32_t i : indices) list.Collect(i, RainflowCountTexts(r, i));
          readouts.axis = RainflowReadoutAxis(r);
        } else if constexpr (std::is_same_v<File, CrossingResultFile>) {
          for (uint32_t i : indices) list.Collect(i, CrossingCountTexts(r, i));
          readouts.axis = CrossingReadoutAxis(r);
          readouts.columns = ReadoutColumns::kCrossings;
        } else {
          static_assert(std::is_same_v<File, TimeAtLevelResultFile>);
          for (uint32_t i : indices) list.Collect(i, TimeAtLevelCountTexts(r, i));
          readouts.axis = TimeAtLevelReadoutAxis(r);
          readouts.columns = ReadoutColumns::kTimeAtLevel;
        }
      },
      file);
  return readouts;
}

int32_t ReadoutPoints(const AnyResultFile& file) {
  if (const auto* crossings = std::get_if<CrossingResultFile>(&file)) {
    return static_cast<int32_t>(crossings->result.levels.size());
  }
  return std::visit([](const auto& f) { return PartitionsHeld(f.result.partitions); }, file);
}

std::vector<double> ShownValues(const AnyResultFile& file, bool one_way) {
  std::vector<double> values;
  const auto n = static_cast<size_t>(ReadoutPoints(file));
  auto take = [&](const auto& counts) {
    for (size_t i = 0; i < n && i < counts.size(); ++i) {
      values.push_back(static_cast<double>(counts[i]));
    }
  };
  std::visit(
      [&](const auto& f) {
        using File = std::decay_t<decltype(f)>;
        const auto& r = f.result;
        if constexpr (std::is_same_v<File, PeakResultFile>) {
          take(one_way ? r.one_way_total_counts : r.two_way_total_counts);
        } else if constexpr (std::is_same_v<File, RangeResultFile> ||
                             std::is_same_v<File, RangePairResultFile>) {
          take(one_way ? r.one_way_counts : r.two_way_counts);
        } else if constexpr (std::is_same_v<File, RainflowResultFile>) {
          take(r.counts);
        } else if constexpr (std::is_same_v<File, CrossingResultFile>) {
          take(r.Counts());
        } else {
          static_assert(std::is_same_v<File, TimeAtLevelResultFile>);
          take(r.Seconds());
        }
      },
      file);
  return values;
}

ReadoutNames NamesOf(const AnyResultFile& file) {
  const ResultFileNode& node = NodeOf(file);
  return {node.test_name, node.test_code, node.node_name};
}

ExportTable CountingExportTable(const AnyResultFile& file, bool one_way, Language language) {
  const ReadoutNames names = NamesOf(file);
  return std::visit(
      [&](const auto& f) {
        using File = std::decay_t<decltype(f)>;
        if constexpr (std::is_same_v<File, PeakResultFile>) {
          return PeakExportTable(f.result, names, one_way, language);
        } else if constexpr (std::is_same_v<File, RangeResultFile>) {
          return RangeExportTable(f.result, names, one_way, language);
        } else if constexpr (std::is_same_v<File, RangePairResultFile>) {
          return RangePairExportTable(f.result, names, one_way, language);
        } else if constexpr (std::is_same_v<File, RainflowResultFile>) {
          return RainflowExportTable(f.result, names, language);
        } else if constexpr (std::is_same_v<File, CrossingResultFile>) {
          return CrossingExportTable(f.result, names, language);
        } else {
          static_assert(std::is_same_v<File, TimeAtLevelResultFile>);
          return TimeAtLevelExportTable(f.result, names, language);
        }
      },
      file);
}

Result<std::filesystem::path> WriteCountingReport(const AnyResultFile& file, const ReportView& view,
                                                  const ReportOptions& options) {
  if (auto ok = RefuseCancelledPass(PassCancelled(file), "reported"); !ok) return ok.error();
  return std::visit(
      [&](const auto& f) -> Result<std::filesystem::path> {
        using File = std::decay_t<decltype(f)>;
        if constexpr (std::is_same_v<File, PeakResultFile>) {
          return WritePeakReport(f.result, f, view, options);
        } else if constexpr (std::is_same_v<File, RangeResultFile>) {
          return WriteRangeReport(f.result, f, view, options);
        } else if constexpr (std::is_same_v<File, RangePairResultFile>) {
          return WriteRangePairReport(f.result, f, view, options);
        } else if constexpr (std::is_same_v<File, RainflowResultFile>) {
          return WriteRainflowReport(f.result, f, view, options);
        } else if constexpr (std::is_same_v<File, CrossingResultFile>) {
          return WriteCrossingReport(f.result, f, view, options);
        } else {
          static_assert(std::is_same_v<File, TimeAtLevelResultFile>);
          return WriteTimeAtLevelReport(f.result, f, view, options);
        }
      },
      file);
}

Result<std::filesystem::path> WriteCountingExport(const AnyResultFile& file, bool one_way,
                                                  Language language,
                                                  const std::filesystem::path& folder) {
  if (auto ok = RefuseCancelledPass(PassCancelled(file), "exported"); !ok) return ok.error();
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
  return WriteListExport(target, CountingReadoutText(file, readouts, language), folder);
}

}  // namespace torvwy::core
