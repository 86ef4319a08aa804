// Writing and reading statistics result files, and the statistics list-file text.
#include "core/files/statistics_result_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "core/services/atomic_file.h"
#include "core/services/file_read.h"
#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/text.h"

namespace torvwy::core {
namespace {

constexpr std::string_view kFullWidthBlank = "\xE3\x80\x80";  // U+3000 in UTF-8
constexpr int64_t kMaxColumns = 1000;
constexpr int64_t kMaxRows = 10000000;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

/// A text as one token of the file.
std::string Token(std::string_view text) {
  std::string token;
  for (const char c : text) {
    if (c == '\r' || c == '\n') continue;
    token += IsSpace(c) ? '_' : c;
  }
  return token.empty() ? std::string(kFullWidthBlank) : token;
}

/// The whitespace-separated tokens of a text, read one after the other.
class Tokens {
 public:
  explicit Tokens(std::string text) : text_(std::move(text)) {}
  bool Next(std::string& token) {
    while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
    if (at_ >= text_.size()) return false;
    const size_t start = at_;
    while (at_ < text_.size() && !IsSpace(text_[at_])) ++at_;
    token.assign(text_, start, at_ - start);
    return true;
  }
  /// True when the last token read ran to the end of the text: every token the writer writes is
  /// followed by blanks or a line break, so the file was cut inside it.
  bool EndedInsideToken() const { return at_ >= text_.size() && at_ > 0 && !IsSpace(text_.back()); }
  bool NextInt(int64_t& value) {
    std::string token;
    if (!Next(token)) return false;
    const auto number = ParseInt(token);
    if (number) value = *number;
    return number.has_value();
  }

 private:
  std::string text_;
  size_t at_ = 0;
};

/// Columns of a spread that no waveform can have below 0, in a row of either layout: variance
/// and standard deviation.
constexpr size_t kVarianceColumn = 7;
constexpr size_t kDeviationColumn = 8;

/// True when `cell` is a number below 0 or NaN (an empty or text cell is not checked).
bool NegativeSpread(std::string_view cell) {
  const auto value = ParseDouble(cell);
  return value && !(*value >= 0.0);
}

/// A number cell as its text shows it: the value, and how far the value it was written from may
/// lie from it, half a unit of its last digit (the trailing zeros that "%g" drops only widen
/// that).
struct ShownNumber {
  double value = 0.0;
  double slack = 0.0;
};

/// The number a cell shows; none for a cell that is no finite number.
std::optional<ShownNumber> Shown(std::string_view cell) {
  const auto value = ParseFiniteDouble(cell);
  if (!value) return std::nullopt;
  const size_t exponent_at = cell.find_first_of("eE");
  const std::string_view mantissa = cell.substr(0, exponent_at);
  const size_t point = mantissa.find('.');
  int64_t place =
      point == std::string_view::npos ? 0 : -static_cast<int64_t>(mantissa.size() - point - 1);
  if (exponent_at != std::string_view::npos) {
    const auto exponent = ParseInt(cell.substr(exponent_at + 1));
    if (!exponent) return std::nullopt;
    place += *exponent;
  }
  return ShownNumber{*value, 0.5 * std::pow(10.0, static_cast<double>(place))};
}

/// True when `shown` may have been written from `computed`, itself known to within
/// `computed_slack`; 1e-12 of the larger one more covers the rounding of the writer's doubles.
bool Agrees(const ShownNumber& shown, double computed, double computed_slack) {
  const double scale = std::max(std::fabs(shown.value), std::fabs(computed));
  return std::fabs(shown.value - computed) <= shown.slack + computed_slack + 1e-12 * scale;
}

/// True when `square` may be `root` x `root`, each as its cell shows it.
bool SquareOf(const ShownNumber& square, const ShownNumber& root) {
  return Agrees(square, root.value * root.value,
                (2.0 * std::fabs(root.value) + root.slack) * root.slack);
}

/// The reason a row of amplitude indices contradicts itself where it holds a value twice; none
/// when it does not. By the columns this program writes (a cell that is no number is not
/// checked):
///
///   3 peak value  = max(|4 maximum|, |5 minimum|)   8 deviation  = root of 7 variance
///   9 mean square = 10 RMS squared                  11 = 4 - 6, 12 = 5 - 6 (extreme - mean)
std::optional<std::string_view> IndicesContradict(const std::vector<std::string>& row) {
  const auto at = [&row](size_t column) { return Shown(row[column]); };
  const auto peak = at(3), maximum = at(4), minimum = at(5), mean = at(6);
  const auto variance = at(7), deviation = at(8), mean_square = at(9), rms = at(10);
  const auto above = at(11), below = at(12);
  if (peak && maximum && minimum &&
      !Agrees(*peak, std::max(std::fabs(maximum->value), std::fabs(minimum->value)),
              std::max(maximum->slack, minimum->slack))) {
    return "the peak value is not the larger size of the maximum and the minimum";
  }
  if (variance && deviation && !SquareOf(*variance, *deviation)) {
    return "the standard deviation is not the root of the variance";
  }
  if (mean_square && rms && !SquareOf(*mean_square, *rms)) {
    return "the mean square is not the RMS squared";
  }
  if (above && maximum && mean &&
      !Agrees(*above, maximum->value - mean->value, maximum->slack + mean->slack)) {
    return "maximum - mean is not the maximum less the mean";
  }
  if (below && minimum && mean &&
      !Agrees(*below, minimum->value - mean->value, minimum->slack + mean->slack)) {
    return "minimum - mean is not the minimum less the mean";
  }
  return std::nullopt;
}

}  // namespace

std::filesystem::path StatisticsResultFilePath(const std::string& result_path,
                                               const std::string& test_name,
                                               const std::vector<std::string>& codes,
                                               const std::vector<std::string>& nodes) {
  std::string name = test_name;
  if (codes.size() == 1) name += codes.front();
  name += "#";
  if (nodes.size() == 1) {
    name += nodes.front();
  } else if (!nodes.empty()) {
    name += nodes.front() + "_" + nodes.back();
  }
  name += ".aps";
  return std::filesystem::path(result_path) / name;
}

std::string StatisticsResultFileText(const StatisticsTable& table) {
  const size_t data_columns = table.columns.empty() ? 0 : table.columns.size() - 1;
  std::string text = std::to_string(-table.content) + "   " + std::to_string(data_columns) + "   " +
                     std::to_string(table.rows.size()) + "\n";
  for (size_t c = 1; c < table.columns.size(); ++c) text += Token(table.columns[c].title) + "  ";
  text += "\n";
  for (const auto& row : table.rows) {
    for (size_t c = 1; c <= data_columns; ++c) {
      text += Token(c < row.size() ? std::string_view(row[c]) : std::string_view()) + "  ";
    }
    text += "\n";
  }
  return Utf8ToGbk(text);
}

Status WriteStatisticsResultFile(const std::filesystem::path& path, const StatisticsTable& table) {
  return SaveFileAtomically(path, StatisticsResultFileText(table), kMsgResultFileCreate);
}

Result<StatisticsTable> ReadStatisticsResultFile(const std::filesystem::path& path,
                                                 int number_format, Language language) {
  auto bytes = ReadTextFile(path, kMsgResultFileOpen, kMsgResultFileDamaged);
  if (!bytes) return bytes.error();
  Tokens tokens(GbkToUtf8(*bytes));
  auto damaged = [&path](std::string_view why) {
    return Fail(kMsgResultFileDamaged, path.string() + ": " + std::string(why));
  };

  StatisticsTable table;
  int64_t first = 0;
  if (!tokens.NextInt(first)) return damaged("no layout number");
  if (first <= 0) {
    int64_t data_columns = 0, rows = 0;
    if (first < -1) return damaged("unknown content");
    if (!tokens.NextInt(data_columns) || !tokens.NextInt(rows)) return damaged("no counts");
    if (data_columns < 1 || data_columns > kMaxColumns || rows < 0 || rows > kMaxRows) {
      return damaged("impossible counts");
    }
    table.content = static_cast<int32_t>(-first);
    const int width = table.content == kStatPeakPeaks ? 90 : 80;
    table.columns.push_back({"No.", 40});
    std::string token;
    for (int64_t c = 0; c < data_columns; ++c) {
      if (!tokens.Next(token)) return damaged("titles end early");
      table.columns.push_back({token, width});
    }
    // The amplitude indices as this program writes them hold a variance and a deviation, and
    // values twice (IndicesContradict); its peak-to-peak values are their peak less their valley.
    const bool spreads =
        table.content == kStatAmplitudeIndices &&
        table.columns.size() == StatisticsColumns(kStatAmplitudeIndices, language).size();
    const bool peak_peaks =
        table.content == kStatPeakPeaks &&
        table.columns.size() == StatisticsColumns(kStatPeakPeaks, language).size();
    for (int64_t r = 1; r <= rows; ++r) {
      std::vector<std::string> row{std::to_string(r)};
      for (int64_t c = 0; c < data_columns; ++c) {
        if (!tokens.Next(token)) return damaged("rows end early");
        row.push_back(token == kFullWidthBlank ? std::string() : token);
      }
      if (spreads &&
          (NegativeSpread(row[kVarianceColumn]) || NegativeSpread(row[kDeviationColumn]))) {
        return damaged("a variance or standard deviation is below 0");
      }
      if (spreads) {
        if (const auto why = IndicesContradict(row)) {
          return damaged("row " + std::to_string(r) + ": " + std::string(*why));
        }
      }
      if (peak_peaks) {
        const auto difference = Shown(row[4]), peak = Shown(row[5]), valley = Shown(row[7]);
        if (difference && peak && valley &&
            !Agrees(*difference, peak->value - valley->value, peak->slack + valley->slack)) {
          return damaged("row " + std::to_string(r) +
                         ": the peak-peak value is not its peak less its valley");
        }
      }
      table.rows.push_back(std::move(row));
    }
    if (tokens.EndedInsideToken()) return damaged("the file ends inside its last cell");
    return table;
  }

  // The older layout: amplitude indices only, without the two deviation columns.
  if (first > kMaxRows) return damaged("impossible row count");
  std::vector<StatisticsColumn> columns = StatisticsColumns(kStatAmplitudeIndices, language);
  columns.erase(columns.begin() + 11, columns.begin() + 13);
  table.columns = std::move(columns);
  for (int64_t r = 1; r <= first; ++r) {
    std::string t[12];
    for (std::string& token : t) {
      if (!tokens.Next(token)) return damaged("rows end early");
    }
    const auto maximum = ParseDouble(t[2]);
    const auto minimum = ParseDouble(t[3]);
    if (!maximum || !minimum) return damaged("an extreme is not a number");
    if (NegativeSpread(t[kVarianceColumn]) || NegativeSpread(t[kDeviationColumn])) {
      return damaged("a variance or standard deviation is below 0");
    }
    // Tokens 7 and 8 are a variance and its root, 9 and 10 an RMS and its square.
    const auto variance = Shown(t[7]), deviation = Shown(t[8]);
    const auto rms = Shown(t[9]), mean_square = Shown(t[10]);
    if (variance && deviation && !SquareOf(*variance, *deviation)) {
      return damaged("the standard deviation is not the root of the variance");
    }
    if (rms && mean_square && !SquareOf(*mean_square, *rms)) {
      return damaged("the mean square is not the RMS squared");
    }
    const double peak = std::max(std::abs(*maximum), std::abs(*minimum));
    table.rows.push_back({std::to_string(r), t[0], t[1], FormatNumber(peak, number_format),
                          FormatNumber(*maximum, number_format),
                          FormatNumber(*minimum, number_format), t[6], t[7], t[8], t[10], t[9],
                          t[11]});
  }
  if (tokens.EndedInsideToken()) return damaged("the file ends inside its last unit");
  return table;
}

std::string StatisticsListText(const StatisticsTable& table) {
  std::string text = "Stat-Result\n" + std::to_string(table.rows.size()) + "  " +
                     std::to_string(table.columns.size()) + "\n";
  for (const StatisticsColumn& column : table.columns) text += column.title + "  ";
  text += "\n";
  int64_t number = 0;
  for (const auto& row : table.rows) {
    text += std::to_string(++number) + "  ";
    for (size_t c = 1; c < table.columns.size(); ++c) {
      const std::string_view cell = c < row.size() ? std::string_view(row[c]) : std::string_view();
      text += cell.empty() ? std::string(kFullWidthBlank) : std::string(cell);
      text += "  ";
    }
    text += "\n";
  }
  return text;
}

}  // namespace torvwy::core
