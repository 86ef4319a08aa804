// Reading a value column (and a time column) of a CSV or plain text file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

#include "core/services/result.h"

namespace torvwy::core {

/// Which columns of a text file hold the samples.
struct ColumnChoice {
  int value_column = 1;             ///< from 1
  int time_column = 0;              ///< seconds, from 1; 0: the file has none
  std::optional<double> nan_value;  ///< replaces a non-finite value; none: such a value fails
  bool decimal_comma = false;       ///< ';' and tabs separate fields, ',' is the decimal mark
};

/// Called for every number row, in file order: the value and the time (0 without a time column).
using ColumnRowSink = std::function<void(double value, double time_s)>;

/// Streams the number rows of a text file to `sink`:
///
///   # comment            lines starting with '#' or '%', and blank lines, are skipped
///   time;value           lines before the first number row are headers and skipped
///   0.0;1.5              fields are split at commas, semicolons and tabs, or at blanks
///   0.5;nan              when a line has none of those; "nan" takes choice.nan_value
///
/// Fails naming the file and the line: a non-finite value without a replacement with the
/// bad-value message, every other problem (a missing or non-numeric cell after the first number
/// row, a time that does not increase from row to row, a file that can't be read) with the
/// file-read message. `sink` may have been called for
/// earlier rows when it fails.
Status ReadColumnRows(const std::filesystem::path& path, const ColumnChoice& choice,
                      const ColumnRowSink& sink);

/// What one pass over a column file finds.
struct ColumnSummary {
  int64_t rows = 0;
  double largest_magnitude = 0.0;  ///< of the values, after replacing non-finite ones
  double first_time_s = 0.0;
  double last_time_s = 0.0;

  /// The sampling frequency the time column gives: (rows - 1) / (last - first) in Hz. Fails
  /// (bad-value message) when there are fewer than two rows or the time does not increase.
  Result<double> FrequencyFromTime(const std::filesystem::path& path) const;
};

/// Reads the file once and sums it up; fails as ReadColumnRows does, and (file-read message)
/// when the file holds no number row.
Result<ColumnSummary> SummarizeColumn(const std::filesystem::path& path,
                                      const ColumnChoice& choice);

}  // namespace torvwy::core
