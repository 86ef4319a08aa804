// Printing results on the console.
#include "output/console_output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "core/services/number_format.h"

namespace torvwy::output {

void ShowRun(bool json, nlohmann::ordered_json object, const std::function<void()>& print_text,
             const std::filesystem::path& saved, const nlohmann::ordered_json* trailing) {
  if (json) {
    if (!saved.empty()) object["result_file"] = saved.string();
    if (trailing != nullptr) {
      for (auto it = trailing->begin(); it != trailing->end(); ++it) object[it.key()] = it.value();
    }
    PrintJson(object);
    return;
  }
  print_text();
  if (!saved.empty()) std::printf("\nsaved %s\n", saved.string().c_str());
}

void PrintParameter(const std::string& name, const std::string& value) {
  std::printf("%-20s %s\n", name.c_str(), value.c_str());
}

void PrintHistogram(const std::string& title, const std::vector<std::string>& columns,
                    const std::vector<HistogramRow>& rows, const std::string& unit) {
  std::printf("\n%s\n", title.c_str());
  double largest = 0.0;
  for (const auto& row : rows) largest = std::max(largest, row.counts.back());
  std::printf("%5s  %12s  %12s", "#", ("from " + unit).c_str(), ("to " + unit).c_str());
  for (const auto& column : columns) std::printf("  %10s", column.c_str());
  std::printf("\n");
  constexpr int kBarWidth = 40;
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& row = rows[i];
    std::printf("%5zu  %12s  %12s", i + 1, core::FormatNumber(row.lower, 6).c_str(),
                core::FormatNumber(row.upper, 6).c_str());
    for (double count : row.counts) std::printf("  %10s", core::FormatNumber(count, 10).c_str());
    // Clamped, so that no count (negative, NaN, beyond the largest) draws outside 0..40.
    double share = largest > 0.0 ? row.counts.back() / largest : 0.0;
    if (!(share > 0.0)) share = 0.0;
    share = std::min(share, 1.0);
    int bar = static_cast<int>(std::lround(share * kBarWidth));
    if (bar == 0 && row.counts.back() > 0.0) bar = 1;
    std::printf("  %s\n", std::string(static_cast<size_t>(bar), '#').c_str());
  }
}

void PrintJson(const nlohmann::ordered_json& json) {
  std::cout << json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
}

}  // namespace torvwy::output
