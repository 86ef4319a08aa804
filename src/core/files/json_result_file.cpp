// The JSON object of any counting result, and the result files saved as JSON.
#include "core/files/json_result_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "core/files/json_fields.h"
#include "core/files/result_fields.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

using Json = nlohmann::ordered_json;

Json ResultObject(const AnyResultFile& file) {
  return std::visit(
      [](const auto& f) {
        using File = std::decay_t<decltype(f)>;
        JsonFields json;
        if constexpr (std::is_same_v<File, PeakResultFile>) VisitPeakFields(f.result, json);
        if constexpr (std::is_same_v<File, RangeResultFile>) VisitRangeFields(f.result, json);
        if constexpr (std::is_same_v<File, RainflowResultFile>) {
          VisitRainflowFields(f.result, json);
        }
        if constexpr (std::is_same_v<File, CrossingResultFile>) VisitCrossingFields(f.result, json);
        if constexpr (std::is_same_v<File, RangePairResultFile>) {
          VisitRangePairFields(f.result, json);
        }
        if constexpr (std::is_same_v<File, TimeAtLevelResultFile>) {
          VisitTimeAtLevelFields(f.result, json);
        }
        return json.Take();
      },
      file);
}

std::string Hex(const char* bytes, size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

/// Reads the keys of one object; the first fault is kept and named.
class Reader {
 public:
  explicit Reader(const Json& object, std::string where) : object_(object), where_(where) {}

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  bool Has(const char* key) const { return object_.contains(key); }

  const Json* Find(const char* key, Json::value_t type) {
    if (!ok()) return nullptr;
    const auto it = object_.find(key);
    const bool number = type == Json::value_t::number_float;
    if (it == object_.end() ||
        (number ? !it->is_number()
                : (it->type() != type &&
                   !(type == Json::value_t::number_integer && it->is_number_unsigned())))) {
      Bad(key, "is missing or not a " + TypeName(type));
      return nullptr;
    }
    return &*it;
  }
  double Double(const char* key) {
    const Json* v = Find(key, Json::value_t::number_float);
    if (v == nullptr) return 0.0;
    const double d = v->get<double>();
    if (!std::isfinite(d)) Bad(key, "is not a finite number");
    return d;
  }
  int64_t Int(const char* key, int64_t low, int64_t high) {
    const Json* v = Find(key, Json::value_t::number_integer);
    if (v == nullptr) return low;
    const auto i = v->is_number_unsigned() && v->get<uint64_t>() > uint64_t{INT64_MAX}
                       ? INT64_MAX
                       : v->get<int64_t>();
    if (i < low || i > high)
      Bad(key, "is not in " + std::to_string(low) + ".." + std::to_string(high));
    return i;
  }
  bool Bool(const char* key) {
    const Json* v = Find(key, Json::value_t::boolean);
    return v != nullptr && v->get<bool>();
  }
  std::string Text(const char* key) {
    const Json* v = Find(key, Json::value_t::string);
    return v == nullptr ? std::string() : v->get<std::string>();
  }
  std::vector<double> Doubles(const char* key) {
    std::vector<double> values;
    const Json* v = Find(key, Json::value_t::array);
    if (v == nullptr) return values;
    for (const Json& item : *v) {
      if (!item.is_number() || !std::isfinite(item.get<double>())) {
        Bad(key, "holds an entry that is not a finite number");
        return {};
      }
      values.push_back(item.get<double>());
    }
    return values;
  }
  std::vector<int64_t> Counts(const char* key, size_t size) {
    std::vector<int64_t> values;
    const Json* v = Find(key, Json::value_t::array);
    if (v == nullptr) return values;
    if (v->size() != size) {
      Bad(key, "holds " + std::to_string(v->size()) + " entries, not " + std::to_string(size));
      return {};
    }
    for (const Json& item : *v) {
      if (!item.is_number_integer() || item.get<int64_t>() < 0 ||
          (item.is_number_unsigned() && item.get<uint64_t>() > uint64_t{INT64_MAX})) {
        Bad(key, "holds an entry that is not a count");
        return {};
      }
      values.push_back(item.get<int64_t>());
    }
    return values;
  }
  void Bad(const std::string& key, const std::string& what) {
    if (ok()) error_ = where_ + "\"" + key + "\" " + what;
  }

 private:
  static std::string TypeName(Json::value_t type) {
    switch (type) {
      case Json::value_t::number_float:
        return "number";
      case Json::value_t::number_integer:
        return "whole number";
      case Json::value_t::boolean:
        return "true or false";
      case Json::value_t::string:
        return "text";
      case Json::value_t::array:
        return "list";
      default:
        return "object";
    }
  }

  const Json& object_;
  std::string where_;
  std::string error_;
};

Error NotOpened(const std::string& detail) { return Error{kMsgResultFileOpen, detail}; }

/// The head fields every result has, into `r`.
template <typename Counted>
void ReadHead(Reader& in, Reader& modes, Counted& r) {
  r.first_block = static_cast<int32_t>(in.Int("first_block", 0, INT32_MAX));
  r.last_block = static_cast<int32_t>(in.Int("last_block", 0, INT32_MAX));
  r.envelope_maximum = in.Double("envelope_max");
  r.envelope_minimum = in.Double("envelope_min");
  r.envelope = in.Doubles("envelope");
  r.cancelled = in.Bool("cancelled");
  r.amplitude_mode = static_cast<int32_t>(modes.Int("amplitude_mode", 0, 2));
  r.set_value = modes.Double("set_value");
  r.range_mode = static_cast<int32_t>(modes.Int("range_mode", 0, 2));
}

Result<AnyResultFile> ReadCrossings(Reader& in, Reader& modes) {
  CrossingResultFile file;
  LevelCrossingResult& r = file.result;
  r.partitions = static_cast<int32_t>(in.Int("N", 0, kMaxPartitions));
  r.amplitude_range = in.Double("A");
  r.levels = in.Doubles("levels");
  r.up = in.Counts("up", r.levels.size());
  r.down = in.Counts("down", r.levels.size());
  r.reference = in.Double("reference");
  r.gate = in.Double("gate");
  const auto direction = CrossingDirectionNamed(in.Text("direction"));
  ReadHead(in, modes, r);
  if (in.ok() && !direction) in.Bad("direction", "is not up, down, both or astm");
  if (in.ok() && (r.levels.empty() ||
                  !std::is_sorted(r.levels.begin(), r.levels.end(), std::less_equal<>()))) {
    in.Bad("levels", "are not one or more strictly increasing numbers");
  }
  if (in.ok() && !(r.gate >= 0.0)) in.Bad("gate", "is below 0");
  if (!in.ok() || !modes.ok()) return NotOpened(in.ok() ? modes.error() : in.error());
  r.direction = *direction;
  r.cursor_partition = static_cast<int32_t>(r.levels.size() / 2);
  return AnyResultFile(std::move(file));
}

Result<AnyResultFile> ReadRangePairs(Reader& in, Reader& modes) {
  RangePairResultFile file;
  RangePairResult& r = file.result;
  r.partitions = static_cast<int32_t>(in.Int("N", 1, kMaxPartitions));
  r.amplitude_range = in.Double("A");
  r.two_way_width = in.Double("W2");
  r.one_way_width = in.Double("W1");
  r.largest_count = static_cast<int32_t>(in.Int("largest", 1, INT32_MAX));
  const auto n = static_cast<size_t>(r.partitions);
  const auto two_way = in.Counts("two_way", n);
  const auto one_way = in.Counts("one_way", n);
  r.left_over_ranges = in.Int("left_over_ranges", 0, INT64_MAX);
  if (in.Has("gate")) r.gate = in.Double("gate");
  ReadHead(in, modes, r);
  if (in.ok() && !(r.gate >= 0.0)) in.Bad("gate", "is below 0");
  if (!in.ok() || !modes.ok()) return NotOpened(in.ok() ? modes.error() : in.error());
  for (size_t k = 0; k < n; ++k) {
    r.two_way_counts[k] = SaturatedCount(two_way[k]);
    r.one_way_counts[k] = SaturatedCount(one_way[k]);
  }
  r.cursor_partition = r.partitions / 2;
  return AnyResultFile(std::move(file));
}

Result<AnyResultFile> ReadTimeAtLevel(Reader& in, Reader& modes, double frequency_hz) {
  TimeAtLevelResultFile file;
  TimeAtLevelResult& r = file.result;
  r.partitions = static_cast<int32_t>(in.Int("N", 1, kMaxPartitions));
  r.amplitude_range = in.Double("A");
  r.width = in.Double("W2");
  r.samples = in.Counts("samples", static_cast<size_t>(r.partitions));
  r.samples_outside = in.Int("samples_outside", 0, INT64_MAX);
  ReadHead(in, modes, r);
  if (!in.ok() || !modes.ok()) return NotOpened(in.ok() ? modes.error() : in.error());
  r.frequency_hz = frequency_hz;
  r.cursor_partition = r.partitions / 2;
  return AnyResultFile(std::move(file));
}

}  // namespace

nlohmann::ordered_json ResultJson(const AnyResultFile& file) { return ResultObject(file); }

bool SavedAsJson(CountingKind kind) {
  return kind == CountingKind::kCrossings || kind == CountingKind::kRangePairs ||
         kind == CountingKind::kTimeAtLevel;
}

Result<std::string> JsonResultText(const AnyResultFile& file) {
  const CountingKind kind = KindOf(file);
  if (!SavedAsJson(kind)) return Fail(kMsgBadValue, "this result is not saved as JSON");
  const ResultFileNode& node = NodeOf(file);
  const auto& modes_of = [](const auto& f) {
    return Json{{"amplitude_mode", f.result.amplitude_mode},
                {"set_value", f.result.set_value},
                {"range_mode", f.result.range_mode}};
  };
  Json text = Json::object();
  text["format"] = "torvwy-result";
  text["version"] = kJsonResultVersion;
  text["analysis"] = std::string(CountingKindName(kind));
  text["node"] =
      Json{{"test", node.test_name},
           {"code", node.test_code},
           {"node", node.node_name},
           {"eu", node.sampling.eu()},
           {"frequency_hz", node.sampling.frequency_hz()},
           {"sampling_record", Hex(node.sampling.bytes().data(), node.sampling.bytes().size())}};
  text["modes"] = std::visit(modes_of, file);
  text["result"] = ResultObject(file);
  // Texts that are not UTF-8 (a damaged name) are replaced rather than refused.
  return text.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool LooksLikeJsonResult(std::string_view bytes) {
  const size_t first = bytes.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && bytes[first] == '{';
}

Result<AnyResultFile> ParseJsonResultFile(std::string_view bytes) {
  const Json text = Json::parse(bytes, nullptr, false);
  if (text.is_discarded() || !text.is_object()) {
    return NotOpened("not a result file: the JSON can't be read");
  }
  Reader top(text, "");
  if (top.Text("format") != "torvwy-result") {
    return NotOpened("not a result file: \"format\" is not \"torvwy-result\"");
  }
  const int64_t version = top.Int("version", 1, INT32_MAX);
  if (top.ok() && version > kJsonResultVersion) {
    return NotOpened("a result file of version " + std::to_string(version) +
                     ", newer than this torvwy reads (" + std::to_string(kJsonResultVersion) + ")");
  }
  const std::string analysis = top.Text("analysis");
  const std::optional<CountingKind> kind = CountingKindNamed(analysis);
  if (top.ok() && (!kind || !SavedAsJson(*kind))) {
    return NotOpened("\"analysis\" \"" + analysis + "\" is not saved as JSON");
  }
  const Json* node_object = top.Find("node", Json::value_t::object);
  const Json* modes_object = top.Find("modes", Json::value_t::object);
  const Json* result_object = top.Find("result", Json::value_t::object);
  if (!top.ok()) return NotOpened(top.error());
  Reader node(*node_object, "node: ");
  ResultFileNode names;
  names.test_name = node.Text("test");
  names.test_code = node.Text("code");
  names.node_name = node.Text("node");
  const std::string record = node.Text("sampling_record");
  if (node.ok() && record.size() != 2 * kSamplingInfoSize) {
    node.Bad("sampling_record", "is not " + std::to_string(kSamplingInfoSize) + " bytes in hex");
  }
  for (size_t i = 0; node.ok() && i < kSamplingInfoSize; ++i) {
    unsigned value = 0;
    if (std::sscanf(record.c_str() + 2 * i, "%2x", &value) != 1 ||
        !std::isxdigit(static_cast<unsigned char>(record[2 * i])) ||
        !std::isxdigit(static_cast<unsigned char>(record[2 * i + 1]))) {
      node.Bad("sampling_record", "is not hex");
      break;
    }
    names.sampling.bytes()[i] = static_cast<char>(value);
  }
  if (!node.ok()) return NotOpened(node.error());
  names.total_blocks = names.sampling.whole_blocks();

  Reader in(*result_object, "result: ");
  Reader modes(*modes_object, "modes: ");
  if (in.Text("analysis") != analysis && in.ok()) in.Bad("analysis", "differs from the file's");
  Result<AnyResultFile> file = NotOpened("unknown analysis");
  switch (*kind) {
    case CountingKind::kCrossings:
      file = ReadCrossings(in, modes);
      break;
    case CountingKind::kRangePairs:
      file = ReadRangePairs(in, modes);
      break;
    case CountingKind::kTimeAtLevel:
      file = ReadTimeAtLevel(in, modes, names.sampling.frequency_hz());
      break;
    default:
      break;
  }
  if (!file) return file;
  static_cast<ResultFileNode&>(NodeOf(*file)) = names;
  return file;
}

}  // namespace torvwy::core
