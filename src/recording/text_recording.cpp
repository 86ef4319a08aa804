// Text recordings: columns of numbers in a CSV or plain text file, one channel per column.
#include "recording/text_recording.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

#include "core/services/file_read.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/text.h"
#include "recording/recording.h"

namespace torvwy::recording {
namespace {

/// Longer than any line of a recording: a file without line ends can't fill the memory.
constexpr size_t kMaxLineBytes = 4 << 20;
/// More columns than any acquisition system writes.
constexpr size_t kMaxColumns = 4096;

/// What a cell of a number row holds.
enum class Cell { kEmpty, kNumber, kText };

/// Reads a cell; with `decimal_comma` a ',' is the decimal mark.
Cell ReadCell(std::string_view field, bool decimal_comma, double& value) {
  if (field.empty()) return Cell::kEmpty;
  std::optional<double> number;
  if (decimal_comma && field.find(',') != std::string_view::npos) {
    std::string dotted(field);
    std::replace(dotted.begin(), dotted.end(), ',', '.');
    number = core::ParseDouble(dotted);
  } else {
    number = core::ParseDouble(field);
  }
  if (!number) return Cell::kText;
  value = *number;
  return Cell::kNumber;
}

/// A line is a number row when it holds a number and no text cell.
bool IsNumberRow(const std::vector<std::string>& fields, bool decimal_comma) {
  bool number = false;
  for (const std::string& field : fields) {
    double value;
    switch (ReadCell(field, decimal_comma, value)) {
      case Cell::kText:
        return false;
      case Cell::kNumber:
        number = true;
        break;
      case Cell::kEmpty:
        break;
    }
  }
  return number;
}

bool IsSkipped(std::string_view line) {
  const std::string_view content = core::Trim(line);
  return content.empty() || content.front() == '#' || content.front() == '%';
}

/// One column of the file as the opening pass found it.
struct Column {
  size_t field = 0;  ///< index of its field in a line
  std::string name;
  std::string unit;
  int64_t length = 0;
  int64_t ended_at_line = 0;  ///< the line of its first empty cell; 0 while it goes on
  double largest = 0.0;
};

class TextRecording final : public RecordingReader {
 public:
  TextRecording(const std::filesystem::path& path, const RecordingOptions& options)
      : RecordingReader(RecordingKind::kText, path), options_(options) {}

  core::Status Scan();
  core::Status Read(size_t index, const ChannelSink& sink) override;

 private:
  std::string Where(int64_t line) const { return path_.string() + " line " + std::to_string(line); }
  /// The value of a number cell, NaN replaced; fails for a NaN without a replacement.
  core::Result<double> Finite(double value, const Column& column, int64_t line) const;

  RecordingOptions options_;
  std::vector<Column> columns_;  ///< the channels, in file order
  int64_t first_data_line_ = 0;
};

core::Result<double> TextRecording::Finite(double value, const Column& column, int64_t line) const {
  if (std::isfinite(value)) return value;
  if (options_.nan_value) return *options_.nan_value;
  return core::Fail(core::kMsgBadValue,
                    Where(line) + ": column '" + column.name + "' is not a finite number");
}

core::Status TextRecording::Scan() {
  auto file = core::OpenRegularFile(path_, core::kMsgFileRead);
  if (!file) return file.error();
  core::FileLines lines(std::move(*file), kMaxLineBytes);
  const bool comma = options_.decimal_comma;
  std::string line;
  int64_t line_number = 0;
  std::vector<std::vector<std::string>> headers;
  size_t field_count = 0;
  std::optional<size_t> time_field;
  std::optional<double> previous_time;
  double first_time = 0.0, last_time = 0.0;
  int64_t rows = 0;
  while (lines.Next(line)) {
    ++line_number;
    if (IsSkipped(line)) continue;
    const std::vector<std::string> fields = SplitTextFields(line, comma);
    if (first_data_line_ == 0) {
      if (!IsNumberRow(fields, comma)) {
        if (headers.size() < 64) headers.push_back(fields);
        continue;
      }
      // The first number row fixes the columns; a header line of as many fields names them,
      // and a second one right after it gives their units.
      first_data_line_ = line_number;
      field_count = fields.size();
      if (field_count > kMaxColumns) {
        return core::Fail(core::kMsgFileRead, Where(line_number) + ": more than " +
                                                  std::to_string(kMaxColumns) + " columns");
      }
      const std::vector<std::string>* names = nullptr;
      const std::vector<std::string>* units = nullptr;
      for (size_t h = 0; h < headers.size(); ++h) {
        if (headers[h].size() != field_count) continue;
        names = &headers[h];
        if (h + 1 < headers.size() && headers[h + 1].size() == field_count) {
          units = &headers[h + 1];
        }
        break;
      }
      if (options_.time_column > 0) {
        if (static_cast<size_t>(options_.time_column) > field_count) {
          return core::Fail(core::kMsgFileRead, Where(line_number) + ": there is no time column " +
                                                    std::to_string(options_.time_column) +
                                                    " (the rows have " +
                                                    std::to_string(field_count) + " columns)");
        }
        time_field = static_cast<size_t>(options_.time_column - 1);
      } else if (names != nullptr && field_count > 1 && NamesTimeColumn((*names)[0])) {
        time_field = 0;
        skipped_.push_back("column 1 '" + (*names)[0] + "' is the time column");
      }
      for (size_t f = 0; f < field_count; ++f) {
        if (time_field && f == *time_field) continue;
        Column column;
        column.field = f;
        column.name =
            names != nullptr && !(*names)[f].empty() ? (*names)[f] : "col" + std::to_string(f + 1);
        if (units != nullptr) column.unit = (*units)[f];
        columns_.push_back(std::move(column));
      }
    }
    if (fields.size() > field_count) {
      for (size_t f = field_count; f < fields.size(); ++f) {
        if (!fields[f].empty()) {
          return core::Fail(core::kMsgFileRead, Where(line_number) + ": " +
                                                    std::to_string(fields.size()) +
                                                    " fields, but the first number row (line " +
                                                    std::to_string(first_data_line_) + ") has " +
                                                    std::to_string(field_count));
        }
      }
    }
    const auto cell = [&](size_t f, double& value) {
      return f < fields.size() ? ReadCell(fields[f], comma, value) : Cell::kEmpty;
    };
    if (time_field) {
      double time = 0.0;
      if (cell(*time_field, time) != Cell::kNumber || !std::isfinite(time)) {
        return core::Fail(core::kMsgFileRead, Where(line_number) + ": the time column " +
                                                  std::to_string(*time_field + 1) +
                                                  " is missing or not a number");
      }
      if (previous_time && !(time > *previous_time)) {
        return core::Fail(core::kMsgFileRead, Where(line_number) + ": the time " +
                                                  core::ShortestText(time) +
                                                  " does not follow the previous " +
                                                  core::ShortestText(*previous_time));
      }
      if (!previous_time) first_time = time;
      previous_time = last_time = time;
    }
    ++rows;
    for (Column& column : columns_) {
      double value = 0.0;
      switch (cell(column.field, value)) {
        case Cell::kText:
          return core::Fail(core::kMsgFileRead,
                            Where(line_number) + ": column '" + column.name + "' holds '" +
                                core::EscapeControlCharacters(fields[column.field]) +
                                "', not a number");
        case Cell::kEmpty:
          if (column.ended_at_line == 0) column.ended_at_line = line_number;
          break;
        case Cell::kNumber: {
          // A column ends at its first empty cell; one that goes on after a gap has lost rows.
          if (column.ended_at_line != 0) {
            return core::Fail(core::kMsgFileRead, Where(line_number) + ": column '" + column.name +
                                                      "' goes on after its empty cell on line " +
                                                      std::to_string(column.ended_at_line));
          }
          auto finite = Finite(value, column, line_number);
          if (!finite) return finite.error();
          column.largest = std::max(column.largest, std::fabs(*finite));
          ++column.length;
          break;
        }
      }
    }
  }
  if (!lines.error().empty()) {
    return core::Fail(core::kMsgFileRead, path_.string() + " after line " +
                                              std::to_string(line_number) + ": " + lines.error());
  }
  if (first_data_line_ == 0) {
    return core::Fail(core::kMsgFileRead, path_.string() + ": no number rows found");
  }
  double rate = 0.0;
  if (time_field && rows >= 2) rate = static_cast<double>(rows - 1) / (last_time - first_time);
  // A trailing separator on every line makes an empty column without a name: not a channel.
  std::erase_if(columns_, [&](const Column& column) {
    return column.length == 0 && column.name == "col" + std::to_string(column.field + 1);
  });
  if (columns_.empty()) {
    return core::Fail(core::kMsgFileRead, path_.string() + ": no column of numbers");
  }
  for (const Column& column : columns_) {
    channels_.push_back({column.name, column.length, rate, column.unit, column.largest});
  }
  return core::Ok();
}

core::Status TextRecording::Read(size_t index, const ChannelSink& sink) {
  if (index >= columns_.size()) {
    return core::Fail(core::kMsgFileRead,
                      path_.string() + ": no channel " + std::to_string(index + 1));
  }
  const Column& column = columns_[index];
  auto file = core::OpenRegularFile(path_, core::kMsgFileRead);
  if (!file) return file.error();
  core::FileLines lines(std::move(*file), kMaxLineBytes);
  std::vector<double> piece;
  piece.reserve(kRecordingBuffer);
  std::string line;
  int64_t line_number = 0, read = 0;
  while (read < column.length && lines.Next(line)) {
    ++line_number;
    if (line_number < first_data_line_ || IsSkipped(line)) continue;
    const std::vector<std::string> fields = SplitTextFields(line, options_.decimal_comma);
    double value = 0.0;
    if (column.field >= fields.size() ||
        ReadCell(fields[column.field], options_.decimal_comma, value) != Cell::kNumber) {
      return core::Fail(core::kMsgFileRead,
                        Where(line_number) + ": the file changed while it was read");
    }
    auto finite = Finite(value, column, line_number);
    if (!finite) return finite.error();
    piece.push_back(*finite);
    ++read;
    if (piece.size() == kRecordingBuffer) {
      if (auto ok = sink(piece); !ok) return ok;
      piece.clear();
    }
  }
  if (!lines.error().empty()) {
    return core::Fail(core::kMsgFileRead, path_.string() + " after line " +
                                              std::to_string(line_number) + ": " + lines.error());
  }
  if (read < column.length) {
    return core::Fail(core::kMsgFileRead, path_.string() + ": the file changed while it was read");
  }
  if (!piece.empty()) return sink(piece);
  return core::Ok();
}

}  // namespace

std::vector<std::string> SplitTextFields(std::string_view line, bool decimal_comma) {
  const std::string_view separators = decimal_comma ? ";\t" : ",;\t";
  std::vector<std::string> fields;
  if (line.find_first_of(separators) == std::string_view::npos &&
      line.find('"') == std::string_view::npos) {
    // Blank-separated columns.
    size_t pos = 0;
    while ((pos = line.find_first_not_of(" \r", pos)) != std::string_view::npos) {
      size_t end = line.find_first_of(" \r", pos);
      if (end == std::string_view::npos) end = line.size();
      fields.emplace_back(line.substr(pos, end - pos));
      pos = end;
    }
    return fields;
  }
  size_t pos = 0;
  while (true) {
    std::string field;
    // Blanks before an opening quote belong to no field.
    size_t start = pos;
    while (start < line.size() && (line[start] == ' ')) ++start;
    size_t end;
    if (start < line.size() && line[start] == '"') {
      size_t at = start + 1;
      while (at < line.size()) {
        if (line[at] == '"') {
          if (at + 1 < line.size() && line[at + 1] == '"') {
            field += '"';
            at += 2;
            continue;
          }
          ++at;
          break;
        }
        field += line[at++];
      }
      end = line.find_first_of(separators, at);
      if (end == std::string_view::npos) end = line.size();
      field += core::Trim(line.substr(at, end - at));  // text after the closing quote
      fields.emplace_back(core::Trim(field));
    } else {
      end = line.find_first_of(separators, pos);
      if (end == std::string_view::npos) end = line.size();
      fields.emplace_back(core::Trim(line.substr(pos, end - pos)));
    }
    if (end >= line.size()) break;
    pos = end + 1;
  }
  return fields;
}

bool NamesTimeColumn(std::string_view header) {
  const auto lower = [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  };
  std::string text;
  for (char c : core::Trim(header)) text += lower(c);
  if (text == "t") return true;
  if (!text.starts_with("time")) return false;
  return text.size() == 4 || !std::isalpha(static_cast<unsigned char>(text[4]));
}

core::Result<RecordingHandle> OpenTextRecording(const std::filesystem::path& path,
                                                const RecordingOptions& options) {
  auto recording = std::make_unique<TextRecording>(path, options);
  if (auto ok = recording->Scan(); !ok) return ok.error();
  return RecordingHandle(std::move(recording));
}

}  // namespace torvwy::recording
