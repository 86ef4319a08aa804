// Statistics JSON and the readable statistics table.
#include "output/stats_output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/services/text.h"

namespace torvwy::output {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kIndexKeys[] = {"code",        "node", "peak",           "max",
                                      "min",         "mean", "variance",       "std",
                                      "mean_square", "rms",  "max_minus_mean", "min_minus_mean",
                                      "unit"};
// The older layout keeps neither difference to the mean.
constexpr const char* kOlderIndexKeys[] = {"code",     "node", "peak",        "max", "min", "mean",
                                           "variance", "std",  "mean_square", "rms", "unit"};
constexpr const char* kPeakPeakKeys[] = {"code",      "node",   "rank",        "difference", "peak",
                                         "peak_time", "valley", "valley_time", "unit"};

Json Header(int content) {
  Json json;
  json["analysis"] = "stats";
  json["content"] = content;
  json["rows"] = Json::array();
  return json;
}

/// The cell as a JSON number when the whole text reads as one, else as the text.
Json Cell(const std::string& text) {
  const auto value = core::ParseDouble(text);
  if (!value) return text;
  if (*value > -9e15 && *value < 9e15 && *value == std::trunc(*value) &&
      text.find_first_of(".eE") == std::string::npos) {
    return static_cast<long long>(*value);
  }
  return *value;
}

/// Columns a text takes on a terminal: two for East Asian wide characters, one otherwise.
size_t DisplayWidth(const std::string& text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    size_t length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    uint32_t code = byte;
    if (length > 1 && i + length <= text.size()) {
      code = byte & (0x3F >> (length - 1));
      for (size_t k = 1; k < length; ++k) code = (code << 6) | (text[i + k] & 0x3F);
    }
    const bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                      (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                      (code >= 0xFF00 && code <= 0xFF60) || (code >= 0xFFE0 && code <= 0xFFE6);
    width += wide ? 2 : 1;
    i += length;
  }
  return width;
}

}  // namespace

Json StatisticsJson(const core::StatisticsBatch& batch) {
  Json json = Header(batch.table.content);
  for (const core::StatisticsPairResult& result : batch.results) {
    if (result.indices) {
      const core::AmplitudeIndices& a = result.indices->indices;
      Json row;
      row["code"] = result.pair.test_code;
      row["node"] = result.pair.node_name;
      row["peak"] = a.peak();
      row["max"] = a.maximum;
      row["min"] = a.minimum;
      row["mean"] = a.mean;
      row["variance"] = a.variance;
      row["std"] = a.standard_deviation;
      row["mean_square"] = a.mean_square();
      row["rms"] = a.rms;
      row["max_minus_mean"] = a.maximum - a.mean;
      row["min_minus_mean"] = a.minimum - a.mean;
      row["unit"] = result.indices->unit;
      json["rows"].push_back(std::move(row));
    }
    if (result.peak_peaks) {
      int rank = 0;
      for (const core::PeakPeak& e : result.peak_peaks->entries) {
        ++rank;
        Json row;
        row["code"] = rank == 1 ? result.pair.test_code : std::string();
        row["node"] = rank == 1 ? result.pair.node_name : std::string();
        row["rank"] = rank;
        row["difference"] = e.difference;
        row["peak"] = e.peak;
        row["peak_time"] = e.peak_time_s;
        row["valley"] = e.valley;
        row["valley_time"] = e.valley_time_s;
        row["unit"] = result.peak_peaks->unit;
        json["rows"].push_back(std::move(row));
      }
    }
  }
  return json;
}

Json StatisticsJson(const core::StatisticsTable& table) {
  Json json = Header(table.content);
  std::vector<const char*> keys;
  if (table.content == core::kStatPeakPeaks) {
    keys.assign(std::begin(kPeakPeakKeys), std::end(kPeakPeakKeys));
  } else if (table.columns.size() == std::size(kIndexKeys) + 1) {
    keys.assign(std::begin(kIndexKeys), std::end(kIndexKeys));
  } else {
    keys.assign(std::begin(kOlderIndexKeys), std::end(kOlderIndexKeys));
  }
  for (const std::vector<std::string>& cells : table.rows) {
    Json row;
    // Column 0 is the row number; the named keys follow it.
    for (size_t k = 0; k < keys.size() && k + 1 < cells.size(); ++k) {
      const std::string_view key = keys[k];
      const bool text = key == "code" || key == "node" || key == "unit";
      row[keys[k]] = text ? Json(cells[k + 1]) : Cell(cells[k + 1]);
    }
    json["rows"].push_back(std::move(row));
  }
  return json;
}

void PrintStatisticsTable(const core::StatisticsTable& table) {
  std::vector<size_t> widths(table.columns.size(), 0);
  for (size_t c = 0; c < table.columns.size(); ++c) {
    widths[c] = DisplayWidth(table.columns[c].title);
    for (const auto& row : table.rows) {
      if (c < row.size()) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    }
  }
  auto print_line = [&widths](auto cell_of) {
    std::string line;
    for (size_t c = 0; c < widths.size(); ++c) {
      const std::string text = cell_of(c);
      if (c > 0) line += "  ";
      line += std::string(widths[c] - std::min(widths[c], DisplayWidth(text)), ' ') + text;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::printf("%s\n", line.c_str());
  };
  print_line([&table](size_t c) { return table.columns[c].title; });
  for (const auto& row : table.rows) {
    print_line([&row](size_t c) { return c < row.size() ? row[c] : std::string(); });
  }
}

}  // namespace torvwy::output
