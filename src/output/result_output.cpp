// JSON objects and tables of the counting results.
#include "output/result_output.h"

#include <cmath>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "core/files/json_fields.h"
#include "core/files/json_result_file.h"
#include "core/files/result_fields.h"
#include "core/services/number_format.h"
#include "output/console_output.h"

namespace torvwy::output {

nlohmann::ordered_json PeakJson(const core::PeakCountResult& result) {
  return core::JsonOf(result, core::VisitPeakFields<core::JsonFields>);
}

nlohmann::ordered_json RangeJson(const core::RangeCountResult& result) {
  return core::JsonOf(result, [](const core::RangeCountResult& r, core::JsonFields& v) {
    core::VisitRangeFields(r, v);
  });
}

nlohmann::ordered_json ClassMatrixJson(const core::ClassMatrix& matrix) {
  nlohmann::ordered_json rows = nlohmann::ordered_json::array();
  for (int32_t i = 0; i < matrix.classes; ++i) {
    nlohmann::ordered_json row = nlohmann::ordered_json::array();
    for (int32_t j = 0; j < matrix.classes; ++j) row.push_back(matrix.at(i, j));
    rows.push_back(std::move(row));
  }
  return {{"classes", matrix.classes},
          {"edges", matrix.edges},
          {"counts", std::move(rows)},
          {"outside", matrix.outside}};
}

nlohmann::ordered_json RangeMeanMatrixJson(const core::RangeMeanMatrix& matrix) {
  nlohmann::ordered_json rows = nlohmann::ordered_json::array();
  for (int32_t i = 0; i < matrix.range_bins; ++i) {
    nlohmann::ordered_json row = nlohmann::ordered_json::array();
    for (int32_t k = 0; k < matrix.mean_bins; ++k) row.push_back(matrix.at(i, k));
    rows.push_back(std::move(row));
  }
  return {{"range_bins", matrix.range_bins},   {"mean_bins", matrix.mean_bins},
          {"range_width", matrix.range_width}, {"mean_low", matrix.mean_low},
          {"mean_width", matrix.mean_width},   {"counts", std::move(rows)},
          {"total", matrix.total_cycles}};
}

nlohmann::ordered_json FatigueJson(const core::FatigueResult& fatigue) {
  return core::JsonOf(fatigue, core::VisitFatigueFields<core::JsonFields>);
}

nlohmann::ordered_json RainflowJson(const core::RainflowResult& result) {
  return core::JsonOf(result, core::VisitRainflowFields<core::JsonFields>);
}

namespace {

/// A partition edge as the tables print it. An edge is a whole number of partition widths from
/// its origin, so an edge nearer 0 than a billionth of the width is 0 but for rounding: with
/// A = 0.9 and N = 12, -A + 6 x W2 gives -1.1e-16, which would print as "-1.11022e-16".
double TableEdge(double edge, double width) {
  return std::fabs(edge) < std::fabs(width) * 1e-9 ? 0.0 : edge;
}

void PrintCommon(const char* analysis, const std::string& node, int32_t first_block,
                 int32_t last_block, int32_t partitions, double amplitude,
                 const std::string& unit) {
  PrintParameter("analysis", analysis);
  PrintParameter("node", node);
  PrintParameter("blocks", std::to_string(first_block) + ".." + std::to_string(last_block));
  PrintParameter("partitions N", std::to_string(partitions));
  PrintParameter("amplitude range A", core::ShortestText(amplitude) + " " + unit);
}

/// The head of the parameter block of a peak or a range count: the common lines, the widths of
/// both countings and the envelope.
template <typename CountResult>
void PrintTwoWayHead(const char* analysis, const CountResult& result, const std::string& node,
                     const std::string& unit) {
  PrintCommon(analysis, node, result.first_block, result.last_block, result.partitions,
              result.amplitude_range, unit);
  PrintParameter("widths W2, W1", core::ShortestText(result.two_way_width) + ", " +
                                      core::ShortestText(result.one_way_width));
  PrintParameter("envelope max, min", core::ShortestText(result.envelope_maximum) + ", " +
                                          core::ShortestText(result.envelope_minimum));
}

/// The conventions, only where they are not the system's own.
void PrintConventions(double gate, const std::string& unit,
                      const core::ResidueMethod* residue = nullptr) {
  if (residue != nullptr && *residue != core::ResidueMethod::kHalf) {
    PrintParameter("residue", std::string(core::ResidueMethodName(*residue)));
  }
  if (gate > 0.0) {
    PrintParameter("gate", core::ShortestText(gate) + " " + unit +
                               " (smaller reversals removed before counting)");
  }
}

}  // namespace

void PrintPeak(const core::PeakCountResult& result, const std::string& node,
               const std::string& unit) {
  PrintTwoWayHead("peak counting", result, node, unit);
  PrintConventions(result.gate, unit);
  PrintParameter("largest counts", std::to_string(result.largest_separate_count) + " separate, " +
                                       std::to_string(result.largest_total_count) + " total");
  std::vector<HistogramRow> two_way, one_way;
  for (size_t i = 0; i < static_cast<size_t>(result.partitions); ++i) {
    const auto k = static_cast<double>(i);
    const double w2 = result.two_way_width, w1 = result.one_way_width;
    two_way.push_back(
        {TableEdge(k * w2 - result.amplitude_range, w2),
         TableEdge((k + 1) * w2 - result.amplitude_range, w2),
         {double(result.two_way_peak_counts[i]), double(result.two_way_valley_counts[i]),
          double(result.two_way_total_counts[i])}});
    one_way.push_back(
        {TableEdge(k * w1, w1),
         TableEdge((k + 1) * w1, w1),
         {double(result.one_way_peak_counts[i]), double(result.one_way_valley_counts[i]),
          double(result.one_way_total_counts[i])}});
  }
  PrintHistogram("two-way counting (signed values over [-A, A])", {"peaks", "valleys", "total"},
                 two_way, unit);
  PrintHistogram("one-way counting (absolute values over [0, A])", {"peaks", "valleys", "total"},
                 one_way, unit);
}

void PrintRange(const core::RangeCountResult& result, const std::string& node,
                const std::string& unit, const char* analysis) {
  PrintTwoWayHead(analysis, result, node, unit);
  PrintConventions(result.gate, unit);
  PrintParameter("largest count", std::to_string(result.largest_count));
  std::vector<HistogramRow> two_way, one_way;
  for (size_t i = 0; i < static_cast<size_t>(result.partitions); ++i) {
    const auto k = static_cast<double>(i);
    const double w2 = result.two_way_width, w1 = result.one_way_width;
    two_way.push_back({TableEdge(k * w2 - result.amplitude_range, w2),
                       TableEdge((k + 1) * w2 - result.amplitude_range, w2),
                       {double(result.two_way_counts[i])}});
    one_way.push_back(
        {TableEdge(k * w1, w1), TableEdge((k + 1) * w1, w1), {double(result.one_way_counts[i])}});
  }
  PrintHistogram("two-way counting (rising ranges positive, falling negative)", {"ranges"}, two_way,
                 unit);
  PrintHistogram("one-way counting (range magnitudes)", {"ranges"}, one_way, unit);
}

void PrintRainflow(const core::RainflowResult& result, const std::string& node,
                   const std::string& unit) {
  PrintCommon("rainflow counting", node, result.first_block, result.last_block, result.partitions,
              result.amplitude_range, unit);
  PrintParameter("width w", core::ShortestText(result.partition_width));
  PrintParameter("smallest range t", core::ShortestText(result.smallest_range));
  PrintConventions(result.gate, unit, &result.residue);
  if (result.turning_points > 0) {  // not kept in result files
    PrintParameter("turning points", std::to_string(result.turning_points));
  }
  PrintParameter("envelope max, min", core::ShortestText(result.envelope_maximum) + ", " +
                                          core::ShortestText(result.envelope_minimum));
  PrintParameter("largest count", std::to_string(result.largest_count));
  std::vector<HistogramRow> rows;
  for (size_t j = 0; j < static_cast<size_t>(result.partitions); ++j) {
    const auto k = static_cast<double>(j);
    const double w = result.partition_width;
    rows.push_back({TableEdge(k * w, w), TableEdge(k * w + w, w), {result.counts[j]}});
  }
  PrintHistogram(result.residue == core::ResidueMethod::kHalf
                     ? "cycles by range (full cycles 1, half cycles 0.5)"
                     : "cycles by range",
                 {"cycles"}, rows, unit);
}

void PrintCrossings(const core::LevelCrossingResult& result, const std::string& node,
                    const std::string& unit) {
  PrintCommon("level crossing counting", node, result.first_block, result.last_block,
              result.partitions, result.amplitude_range, unit);
  PrintParameter("reference, gate", core::ShortestText(result.reference) + ", " +
                                        core::ShortestText(result.gate) + " " + unit);
  PrintParameter("direction", std::string(core::CrossingDirectionName(result.direction)));
  PrintParameter("envelope max, min", core::ShortestText(result.envelope_maximum) + ", " +
                                          core::ShortestText(result.envelope_minimum));
  const std::vector<int64_t> counts = result.Counts();
  std::vector<HistogramRow> rows;
  for (size_t i = 0; i < result.levels.size(); ++i) {
    rows.push_back({result.levels[i],
                    result.levels[i],
                    {double(result.up[i]), double(result.down[i]), double(counts[i])}});
  }
  PrintHistogram("crossings of each level (from, to: the level)", {"up", "down", "counted"}, rows,
                 unit);
}

void PrintTimeAtLevel(const core::TimeAtLevelResult& result, const std::string& node,
                      const std::string& unit) {
  PrintCommon("time at level", node, result.first_block, result.last_block, result.partitions,
              result.amplitude_range, unit);
  PrintParameter("width W2", core::ShortestText(result.width));
  PrintParameter("seconds outside [-A, A]", core::ShortestText(result.SecondsOutside()));
  PrintParameter("envelope max, min", core::ShortestText(result.envelope_maximum) + ", " +
                                          core::ShortestText(result.envelope_minimum));
  const std::vector<double> seconds = result.Seconds();
  const std::vector<double> fraction = result.Fractions();
  const std::vector<double> exceedance = result.Exceedance();
  std::vector<HistogramRow> rows;
  for (size_t j = 0; j < seconds.size(); ++j) {
    const auto k = static_cast<double>(j);
    const double w = result.width;
    rows.push_back({TableEdge(k * w - result.amplitude_range, w),
                    TableEdge((k + 1) * w - result.amplitude_range, w),
                    {seconds[j], fraction[j], exceedance[j]}});
  }
  PrintHistogram("time in each partition (open below, closed above)",
                 {"seconds", "fraction", "at or above"}, rows, unit);
}

nlohmann::ordered_json ResultJson(const core::AnyResultFile& file) {
  return core::ResultJson(file);
}

void PrintResult(const core::AnyResultFile& file, const std::string& node,
                 const std::string& unit) {
  std::visit(
      [&node, &unit](const auto& f) {
        using File = std::decay_t<decltype(f)>;
        if constexpr (std::is_same_v<File, core::PeakResultFile>) PrintPeak(f.result, node, unit);
        if constexpr (std::is_same_v<File, core::RangeResultFile>) PrintRange(f.result, node, unit);
        if constexpr (std::is_same_v<File, core::RainflowResultFile>) {
          PrintRainflow(f.result, node, unit);
        }
        if constexpr (std::is_same_v<File, core::CrossingResultFile>) {
          PrintCrossings(f.result, node, unit);
        }
        if constexpr (std::is_same_v<File, core::RangePairResultFile>) {
          PrintRange(f.result, node, unit, "range-pair counting");
          PrintParameter("ranges left over", std::to_string(f.result.left_over_ranges));
        }
        if constexpr (std::is_same_v<File, core::TimeAtLevelResultFile>) {
          PrintTimeAtLevel(f.result, node, unit);
        }
      },
      file);
}

}  // namespace torvwy::output
