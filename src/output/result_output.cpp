// JSON objects and tables of the counting results.
#include "output/result_output.h"

#include <cmath>

#include "core/fatigue/sn_class_table.h"
#include "core/services/number_format.h"
#include "output/console_output.h"

namespace torvwy::output {

namespace {

/// The keys every counting result starts with, in their order.
nlohmann::ordered_json JsonHead(const char* analysis, int32_t partitions, double amplitude,
                                std::initializer_list<std::pair<const char*, double>> widths,
                                int32_t first_block, int32_t last_block, double envelope_maximum,
                                double envelope_minimum) {
  nlohmann::ordered_json out;
  out["analysis"] = analysis;
  out["N"] = partitions;
  out["A"] = amplitude;
  for (const auto& [key, width] : widths) out[key] = width;
  out["first_block"] = first_block;
  out["last_block"] = last_block;
  out["envelope_max"] = envelope_maximum;
  out["envelope_min"] = envelope_minimum;
  return out;
}

/// The head of a peak or a range count, with the widths of both countings.
template <typename CountResult>
nlohmann::ordered_json TwoWayJsonHead(const char* analysis, const CountResult& result) {
  return JsonHead(analysis, result.partitions, result.amplitude_range,
                  {{"W2", result.two_way_width}, {"W1", result.one_way_width}}, result.first_block,
                  result.last_block, result.envelope_maximum, result.envelope_minimum);
}

}  // namespace

nlohmann::ordered_json PeakJson(const core::PeakCountResult& result) {
  const auto n = static_cast<size_t>(result.partitions);
  auto out = TwoWayJsonHead("peak", result);
  out["largest_separate"] = result.largest_separate_count;
  out["largest_total"] = result.largest_total_count;
  out["two_way"] = {{"peak", JsonArray(result.two_way_peak_counts, n)},
                    {"valley", JsonArray(result.two_way_valley_counts, n)},
                    {"total", JsonArray(result.two_way_total_counts, n)}};
  out["one_way"] = {{"peak", JsonArray(result.one_way_peak_counts, n)},
                    {"valley", JsonArray(result.one_way_valley_counts, n)},
                    {"total", JsonArray(result.one_way_total_counts, n)}};
  out["envelope"] = JsonArray(result.envelope, result.envelope.size());
  out["cancelled"] = result.cancelled;
  return out;
}

nlohmann::ordered_json RangeJson(const core::RangeCountResult& result) {
  const auto n = static_cast<size_t>(result.partitions);
  auto out = TwoWayJsonHead("range", result);
  out["largest"] = result.largest_count;
  out["two_way"] = JsonArray(result.two_way_counts, n);
  out["one_way"] = JsonArray(result.one_way_counts, n);
  out["envelope"] = JsonArray(result.envelope, result.envelope.size());
  out["cancelled"] = result.cancelled;
  return out;
}

nlohmann::ordered_json FatigueJson(const core::FatigueResult& fatigue) {
  const auto n = static_cast<size_t>(fatigue.partitions);
  nlohmann::ordered_json f;
  f["method"] = fatigue.method == core::FatigueMethod::kFitting ? "fitting" : "actual";
  f["class"] = std::string(core::kSnClassTable[static_cast<size_t>(fatigue.class_index)].name);
  f["d"] = fatigue.reliability;
  f["total_cycles"] = fatigue.total_cycles;
  f["total_damage"] = fatigue.total_damage;
  f["P"] = JsonArray(fatigue.probability, n);
  f["L"] = JsonArray(fatigue.life, n);
  f["D"] = JsonArray(fatigue.damage, n);
  if (fatigue.method == core::FatigueMethod::kFitting) {
    f["x0"] = fatigue.location;
    f["lambda"] = fatigue.scale;
    f["b"] = fatigue.shape;
  }
  return f;
}

nlohmann::ordered_json RainflowJson(const core::RainflowResult& result) {
  const auto n = static_cast<size_t>(result.partitions);
  auto out = JsonHead("rainflow", result.partitions, result.amplitude_range,
                      {{"w", result.partition_width}}, result.first_block, result.last_block,
                      result.envelope_maximum, result.envelope_minimum);
  out["largest"] = result.largest_count;
  out["counts"] = JsonArray(result.counts, n);
  out["envelope"] = JsonArray(result.envelope, result.envelope.size());
  out["cancelled"] = result.cancelled;
  return out;
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

}  // namespace

void PrintPeak(const core::PeakCountResult& result, const std::string& node,
               const std::string& unit) {
  PrintTwoWayHead("peak counting", result, node, unit);
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
                const std::string& unit) {
  PrintTwoWayHead("range counting", result, node, unit);
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
  PrintHistogram("cycles by range (full cycles 1, half cycles 0.5)", {"cycles"}, rows, unit);
}

}  // namespace torvwy::output
