// JSON objects and tables of the counting results.
#include "output/result_output.h"

#include <cmath>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "core/files/result_fields.h"
#include "core/services/number_format.h"
#include "output/console_output.h"

namespace torvwy::output {

namespace {

/// Builds the JSON object of a walk of result fields.
class JsonFields {
 public:
  void Value(const char* key, bool value) { (*object_)[key] = value; }
  void Value(const char* key, int32_t value) { (*object_)[key] = value; }
  void Value(const char* key, double value) { (*object_)[key] = value; }
  void Value(const char* key, std::string_view value) { (*object_)[key] = std::string(value); }

  template <typename T>
  void Values(const char* key, std::span<const T> values) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const T value : values) array.push_back(value);
    (*object_)[key] = std::move(array);
  }

  template <typename Walk>
  void Object(const char* key, const Walk& walk) {
    nlohmann::ordered_json nested = nlohmann::ordered_json::object();
    nlohmann::ordered_json* outer = object_;
    object_ = &nested;
    walk(*this);
    object_ = outer;
    (*object_)[key] = std::move(nested);
  }

  nlohmann::ordered_json Take() { return std::move(root_); }

 private:
  nlohmann::ordered_json root_ = nlohmann::ordered_json::object();
  nlohmann::ordered_json* object_ = &root_;
};

template <typename Record, typename Walk>
nlohmann::ordered_json JsonOf(const Record& record, Walk walk) {
  JsonFields json;
  walk(record, json);
  return json.Take();
}

}  // namespace

nlohmann::ordered_json PeakJson(const core::PeakCountResult& result) {
  return JsonOf(result, core::VisitPeakFields<JsonFields>);
}

nlohmann::ordered_json RangeJson(const core::RangeCountResult& result) {
  return JsonOf(result, core::VisitRangeFields<JsonFields>);
}

nlohmann::ordered_json FatigueJson(const core::FatigueResult& fatigue) {
  return JsonOf(fatigue, core::VisitFatigueFields<JsonFields>);
}

nlohmann::ordered_json RainflowJson(const core::RainflowResult& result) {
  return JsonOf(result, core::VisitRainflowFields<JsonFields>);
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

nlohmann::ordered_json ResultJson(const core::AnyResultFile& file) {
  return std::visit(
      [](const auto& f) {
        using File = std::decay_t<decltype(f)>;
        if constexpr (std::is_same_v<File, core::PeakResultFile>) return PeakJson(f.result);
        if constexpr (std::is_same_v<File, core::RangeResultFile>) return RangeJson(f.result);
        if constexpr (std::is_same_v<File, core::RainflowResultFile>) return RainflowJson(f.result);
      },
      file);
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
      },
      file);
}

}  // namespace torvwy::output
