// Column files: splitting lines into fields and reading the chosen columns as numbers.
#include "core/data/column_reader.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/services/file_read.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/text.h"

namespace torvwy::core {
namespace {

/// A line longer than any column file has: a file without line ends can't fill the memory.
constexpr size_t kMaxLineBytes = 1 << 20;

/// Fields of a text line, split at commas, semicolons and tabs (with a decimal comma: semicolons
/// and tabs), or at runs of blanks when the line has none of those.
std::vector<std::string_view> SplitFields(std::string_view line, bool decimal_comma) {
  std::vector<std::string_view> fields;
  const char* separators = decimal_comma ? ";\t" : ",;\t";
  const bool has_separator = line.find_first_of(separators) != std::string_view::npos;
  size_t pos = 0;
  while (pos <= line.size()) {
    if (!has_separator) {
      pos = line.find_first_not_of(' ', pos);
      if (pos == std::string_view::npos) break;
    }
    size_t end = line.find_first_of(has_separator ? separators : " ", pos);
    if (end == std::string_view::npos) end = line.size();
    fields.push_back(Trim(line.substr(pos, end - pos)));
    pos = end + 1;
  }
  return fields;
}

}  // namespace

Status ReadColumnRows(const std::filesystem::path& path, const ColumnChoice& choice,
                      const ColumnRowSink& sink) {
  auto file = OpenRegularFile(path, kMsgFileRead);
  if (!file) return file.error();
  FileLines lines(std::move(*file), kMaxLineBytes);
  std::string line;
  int64_t line_number = 0;
  bool data_started = false;
  std::optional<double> previous_time_s;
  while (lines.Next(line)) {
    ++line_number;
    const std::string_view text = line;
    const std::string_view content = Trim(text);
    if (content.empty() || content.front() == '#' || content.front() == '%') continue;
    const auto fields = SplitFields(text, choice.decimal_comma);  // a leading tab: empty field
    const auto where = [&] { return path.string() + " line " + std::to_string(line_number); };
    const auto number = [&](int column) -> std::optional<double> {
      if (column < 1 || static_cast<size_t>(column) > fields.size()) return std::nullopt;
      const std::string_view field = fields[static_cast<size_t>(column - 1)];
      if (!choice.decimal_comma || field.find(',') == std::string_view::npos) {
        return ParseDouble(field);
      }
      std::string dotted(field);
      std::replace(dotted.begin(), dotted.end(), ',', '.');
      return ParseDouble(dotted);
    };
    auto value = number(choice.value_column);
    if (!value) {
      if (!data_started) continue;  // a header line
      return Fail(kMsgFileRead, where() + ": column " + std::to_string(choice.value_column) +
                                    " is missing or not a number");
    }
    data_started = true;
    if (!std::isfinite(*value)) {
      if (!choice.nan_value) return Fail(kMsgBadValue, where() + ": the value is not finite");
      value = *choice.nan_value;
    }
    double time_s = 0.0;
    if (choice.time_column > 0) {
      const auto time = number(choice.time_column);
      if (!time || !std::isfinite(*time)) {
        return Fail(kMsgFileRead, where() + ": time column " + std::to_string(choice.time_column) +
                                      " is missing or not a number");
      }
      time_s = *time;
      // Samples are equally spaced in time order: a time that runs backwards or repeats is
      // a sorted or merged file gone wrong, not a waveform.
      if (previous_time_s && !(time_s > *previous_time_s)) {
        return Fail(kMsgFileRead, where() + ": the time " + ShortestText(time_s) +
                                      " does not follow the previous " +
                                      ShortestText(*previous_time_s));
      }
      previous_time_s = time_s;
    }
    sink(*value, time_s);
  }
  if (!lines.error().empty()) {
    return Fail(kMsgFileRead, path.string() + " after line " + std::to_string(line_number) + ": " +
                                  lines.error());
  }
  return Ok();
}

Result<ColumnSummary> SummarizeColumn(const std::filesystem::path& path,
                                      const ColumnChoice& choice) {
  ColumnSummary summary;
  auto read = ReadColumnRows(path, choice, [&summary](double value, double time_s) {
    if (summary.rows == 0) summary.first_time_s = time_s;
    summary.last_time_s = time_s;
    summary.largest_magnitude = std::max(summary.largest_magnitude, std::fabs(value));
    ++summary.rows;
  });
  if (!read) return read.error();
  if (summary.rows == 0) return Fail(kMsgFileRead, path.string() + ": no number rows found");
  return summary;
}

Result<double> ColumnSummary::FrequencyFromTime(const std::filesystem::path& path) const {
  if (rows < 2 || !(last_time_s > first_time_s)) {
    return Fail(kMsgBadValue, path.string() + ": the time column does not increase");
  }
  return static_cast<double>(rows - 1) / (last_time_s - first_time_s);
}

}  // namespace torvwy::core
