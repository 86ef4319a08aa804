// Fuzz target: opening a statistics result file (.aps), current and older layouts, the values
// its rows hold twice, then its table and JSON as `torvwy open` shows them. The first input byte
// picks the number format and the language, the rest is the file.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/files/statistics_result_file.h"
#include "core/services/text.h"
#include "fuzz_checks.h"
#include "output/stats_output.h"

namespace {

/// The value a cell shows and half a unit of its last digit; none for a cell that is no finite
/// number.
std::optional<std::pair<double, double>> Shown(const std::string& cell) {
  const auto value = torvwy::core::ParseFiniteDouble(cell);
  if (!value) return std::nullopt;
  const size_t exponent = cell.find_first_of("eE");
  const std::string mantissa = cell.substr(0, exponent);
  const size_t point = mantissa.find('.');
  double place = point == std::string::npos ? 0.0 : -double(mantissa.size() - point - 1);
  if (exponent != std::string::npos) {
    const auto e = torvwy::core::ParseInt(cell.substr(exponent + 1));
    if (!e) return std::nullopt;
    place += double(*e);
  }
  return std::pair{*value, 0.5 * std::pow(10.0, place)};
}

/// Aborts when cell `a` can't be `b(x, y)` of cells x and y (y may be absent) with every cell
/// off by up to half a unit of its last digit; `b` gets the cells' values and slacks and gives
/// the value and its slack.
template <typename Of>
void RequireAgree(const std::vector<std::string>& row, size_t a, size_t x, size_t y, Of of) {
  const auto shown = Shown(row[a]), first = Shown(row[x]), second = Shown(row[y]);
  if (!shown || !first || !second) return;
  const auto [value, slack] = of(*first, *second);
  const double scale = std::max(std::fabs(shown->first), std::fabs(value));
  torvwy::fuzz::Require(std::fabs(shown->first - value) <= shown->second + slack + 1e-12 * scale);
}

using Shown2 = std::pair<double, double>;
std::pair<double, double> Square(const Shown2& root, const Shown2&) {
  return {root.first * root.first, (2.0 * std::fabs(root.first) + root.second) * root.second};
}
std::pair<double, double> Less(const Shown2& x, const Shown2& y) {
  return {x.first - y.first, x.second + y.second};
}
std::pair<double, double> LargerSize(const Shown2& x, const Shown2& y) {
  return {std::max(std::fabs(x.first), std::fabs(y.first)), std::max(x.second, y.second)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace torvwy;
  if (size == 0) return 0;
  fuzz::SilencePrinting();
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const auto language = data[0] & 1 ? core::Language::kEnglish : core::Language::kChinese;
  auto table = core::ReadStatisticsResultFile(fuzz::ScratchFile(bytes, "stats.aps"),
                                              (data[0] >> 1) % 8, language);
  if (!table) {
    fuzz::Require(table.error().message == core::kMsgResultFileDamaged ||
                  table.error().message == core::kMsgResultFileOpen ||
                  table.error().message == core::kMsgFileRead);
    return 0;
  }
  // Every row numbered and holding a cell for every column.
  fuzz::Require(!table->columns.empty());
  for (size_t r = 0; r < table->rows.size(); ++r) {
    fuzz::Require(table->rows[r].size() == table->columns.size());
    fuzz::Require(table->rows[r][0] == std::to_string(r + 1));
  }
  // No variance or standard deviation below 0: columns 7 and 8 of the older layout (first
  // number > 0) and of the current amplitude indices as this program writes them.
  const size_t start = bytes.find_first_not_of(" \t\r\n\v\f");
  const std::string_view rest = start == std::string_view::npos ? "" : bytes.substr(start);
  const auto first = core::ParseInt(rest.substr(0, rest.find_first_of(" \t\r\n\v\f")));
  const bool older = first && *first > 0;
  const bool indices = table->content == core::kStatAmplitudeIndices &&
                       table->columns.size() ==
                           core::StatisticsColumns(core::kStatAmplitudeIndices, language).size();
  if (older || indices) {
    for (const auto& row : table->rows) {
      for (const size_t column : {size_t{7}, size_t{8}}) {
        const auto value = core::ParseDouble(row[column]);
        fuzz::Require(!value || *value >= 0.0);
      }
    }
  }
  // The values a row holds twice agree to within the digits shown: variance and deviation,
  // mean square and RMS (columns 9 and 10 of either layout); the current amplitude indices also
  // the peak value and the extremes less the mean; the current peak-to-peak values, peak less
  // valley.
  const bool peak_peaks =
      !older && table->content == core::kStatPeakPeaks &&
      table->columns.size() == core::StatisticsColumns(core::kStatPeakPeaks, language).size();
  for (const auto& row : table->rows) {
    if (older || indices) {
      RequireAgree(row, 7, 8, 8, Square);
      RequireAgree(row, 9, 10, 10, Square);
    }
    if (indices && !older) {
      RequireAgree(row, 3, 4, 5, LargerSize);
      RequireAgree(row, 11, 4, 6, Less);
      RequireAgree(row, 12, 5, 6, Less);
    }
    if (peak_peaks) RequireAgree(row, 4, 5, 7, Less);
  }
  output::PrintStatisticsTable(*table);
  output::PrintJson(output::StatisticsJson(*table));
  return 0;
}
