// The export file: encoding, reading, the tables of the four analyses and the CSV form.
#include "core/report/export_file.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/report/hand_over_text.h"
#include "core/services/atomic_file.h"
#include "core/services/folders.h"
#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/text.h"
#include "core/services/text_catalogue.h"

namespace torvwy::core {
namespace {

constexpr std::string_view kMagic = "[TORV-EXPORT-FORMAT-FILE]     ";
static_assert(kMagic.size() == 30);

void PutInt32(std::string& out, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((bits >> shift) & 0xFF);
}

void PutDouble(std::string& out, double value) {
  const auto bits = std::bit_cast<uint64_t>(value);
  for (int shift = 0; shift < 64; shift += 8) out += static_cast<char>((bits >> shift) & 0xFF);
}

bool PutText(std::string& out, std::string_view utf8) {
  const std::string gbk = Utf8ToGbk(OneLine(utf8));
  if (gbk.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return false;
  PutInt32(out, static_cast<int32_t>(gbk.size()));
  out += gbk;
  return true;
}

/// Reads little-endian fields from the bytes, refusing to pass their end.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  size_t left() const { return bytes_.size() - at_; }
  bool Int32(int32_t& value) {
    if (left() < 4) return false;
    uint32_t bits = 0;
    for (int k = 0; k < 4; ++k)
      bits |= uint32_t{static_cast<unsigned char>(bytes_[at_ + k])} << (8 * k);
    at_ += 4;
    value = static_cast<int32_t>(bits);
    return true;
  }
  bool Double(double& value) {
    if (left() < 8) return false;
    uint64_t bits = 0;
    for (int k = 0; k < 8; ++k)
      bits |= uint64_t{static_cast<unsigned char>(bytes_[at_ + k])} << (8 * k);
    at_ += 8;
    value = std::bit_cast<double>(bits);
    return true;
  }
  bool Text(std::string& utf8) {
    int32_t length = 0;
    if (!Int32(length) || length < 0 || static_cast<size_t>(length) > left()) return false;
    utf8 = GbkToUtf8(bytes_.substr(at_, static_cast<size_t>(length)));
    at_ += static_cast<size_t>(length);
    return true;
  }
  bool Skip(std::string_view expected) {
    if (left() < expected.size() || bytes_.substr(at_, expected.size()) != expected) return false;
    at_ += expected.size();
    return true;
  }

 private:
  std::string_view bytes_;
  size_t at_ = 0;
};

std::string NodeName(const ReadoutNames& names) {
  return names.test_name + names.test_code + "#" + names.node_name;
}

/// XL, X and XR of partition i.
void AddEdges(std::vector<ExportCell>& row, double left, double width, int32_t i) {
  const double x = static_cast<double>(i);
  row.emplace_back(left + x * width);
  row.emplace_back(left + (x + 0.5) * width);
  row.emplace_back(left + (x + 1.0) * width);
}

std::vector<std::string> EdgeTitles(Language language) {
  return {std::string(Tr(language, TextKey::kExportLeftEdge)),
          std::string(Tr(language, TextKey::kExportCentre)),
          std::string(Tr(language, TextKey::kExportRightEdge))};
}

int32_t RowsOf(int32_t partitions) { return PartitionsHeld(partitions); }

int32_t At(const std::vector<int32_t>& counts, int32_t i) {
  return static_cast<size_t>(i) < counts.size() ? counts[static_cast<size_t>(i)] : 0;
}

}  // namespace

bool ExportTable::has_text_columns() const {
  for (const ExportColumnKind kind : kinds) {
    if (kind == ExportColumnKind::kText) return true;
  }
  return false;
}

Result<std::string> EncodeExportFile(const ExportTable& table) {
  const size_t k = table.columns.size();
  if (table.kinds.size() != k) {
    return Fail(kMsgBadValue, "export table: " + std::to_string(table.kinds.size()) +
                                  " column kinds for " + std::to_string(k) + " columns");
  }
  if (k > 100000 || table.rows.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    return Fail(kMsgBadValue, "export table: too many columns or rows");
  }
  const bool typed = table.has_text_columns();
  std::string out(kMagic);
  PutDouble(out, typed ? 2.0 : 1.0);
  if (!PutText(out, table.name)) return Fail(kMsgBadValue, "export table: the name is too long");
  PutInt32(out, static_cast<int32_t>(k));
  PutInt32(out, static_cast<int32_t>(table.rows.size()));
  for (const std::string& column : table.columns) {
    if (!PutText(out, column)) return Fail(kMsgBadValue, "export table: a column name is too long");
  }
  if (typed) {
    for (const ExportColumnKind kind : table.kinds) PutInt32(out, static_cast<int32_t>(kind));
  }
  for (size_t r = 0; r < table.rows.size(); ++r) {
    const auto& row = table.rows[r];
    if (row.size() != k) {
      return Fail(kMsgBadValue, "export table: row " + std::to_string(r + 1) + " has " +
                                    std::to_string(row.size()) + " cells for " + std::to_string(k) +
                                    " columns");
    }
    for (size_t c = 0; c < k; ++c) {
      const bool text = table.kinds[c] == ExportColumnKind::kText;
      if (text != std::holds_alternative<std::string>(row[c])) {
        return Fail(kMsgBadValue, "export table: row " + std::to_string(r + 1) + ", column " +
                                      std::to_string(c + 1) + " is not of its column's kind");
      }
      if (text) {
        if (!PutText(out, std::get<std::string>(row[c]))) {
          return Fail(kMsgBadValue, "export table: a text cell is too long");
        }
      } else {
        PutDouble(out, std::get<double>(row[c]));
      }
    }
  }
  return out;
}

Result<ExportTable> ParseExportFile(std::string_view bytes) {
  const auto damaged = [](const std::string& detail) {
    return Fail(kMsgFileRead, "export file: " + detail);
  };
  Reader in(bytes);
  if (!in.Skip(kMagic)) return damaged("it doesn't begin with [TORV-EXPORT-FORMAT-FILE]");
  double version = 0.0;
  if (!in.Double(version)) return damaged("it ends before its version");
  if (version != 1.0 && version != 2.0) {
    return damaged("version " + ShortestText(version) + " is not 1.0 or 2.0");
  }
  ExportTable table;
  int32_t k = 0;
  int32_t r = 0;
  if (!in.Text(table.name)) return damaged("the table name runs past the end");
  if (!in.Int32(k) || !in.Int32(r)) return damaged("it ends before the column and row counts");
  // Every column takes at least 4 bytes (its name length), every cell at least 4; rows without
  // columns take no bytes, so any number of them would fit: none is allowed.
  if (k < 0 || r < 0 || (k == 0 && r > 0) || static_cast<uint64_t>(k) * 4 > in.left() ||
      (k > 0 && static_cast<uint64_t>(r) * static_cast<uint64_t>(k) * 4 > in.left())) {
    return damaged(std::to_string(k) + " columns and " + std::to_string(r) +
                   " rows don't fit the file");
  }
  table.columns.resize(static_cast<size_t>(k));
  for (auto& column : table.columns) {
    if (!in.Text(column)) return damaged("a column name runs past the end");
  }
  table.kinds.assign(static_cast<size_t>(k), ExportColumnKind::kNumber);
  if (version == 2.0) {
    for (auto& kind : table.kinds) {
      int32_t value = 0;
      if (!in.Int32(value)) return damaged("it ends in the column kinds");
      if (value != 0 && value != 1) return damaged("column kind " + std::to_string(value));
      kind = static_cast<ExportColumnKind>(value);
    }
  }
  table.rows.reserve(static_cast<size_t>(r));
  for (int32_t row_index = 0; row_index < r; ++row_index) {
    std::vector<ExportCell> row;
    row.reserve(static_cast<size_t>(k));
    for (int32_t c = 0; c < k; ++c) {
      if (table.kinds[static_cast<size_t>(c)] == ExportColumnKind::kText) {
        std::string text;
        if (!in.Text(text))
          return damaged("row " + std::to_string(row_index + 1) + " is cut short");
        row.emplace_back(std::move(text));
      } else {
        double value = 0.0;
        if (!in.Double(value))
          return damaged("row " + std::to_string(row_index + 1) + " is cut short");
        row.emplace_back(value);
      }
    }
    table.rows.push_back(std::move(row));
  }
  if (in.left() != 0) return damaged(std::to_string(in.left()) + " bytes follow the last row");
  return table;
}

ExportTable PeakExportTable(const PeakCountResult& result, const ReadoutNames& names, bool one_way,
                            Language language) {
  ExportTable table;
  table.name = NodeName(names) + "Cont";
  table.columns = EdgeTitles(language);
  for (TextKey key :
       {TextKey::kExportPeakCount, TextKey::kExportValleyCount, TextKey::kExportTotalCount}) {
    table.columns.emplace_back(Tr(language, key));
  }
  table.kinds.assign(6, ExportColumnKind::kNumber);
  const double left = one_way ? 0.0 : -result.amplitude_range;
  const double width = one_way ? result.one_way_width : result.two_way_width;
  const auto& peaks = one_way ? result.one_way_peak_counts : result.two_way_peak_counts;
  const auto& valleys = one_way ? result.one_way_valley_counts : result.two_way_valley_counts;
  const auto& totals = one_way ? result.one_way_total_counts : result.two_way_total_counts;
  for (int32_t i = 0; i < RowsOf(result.partitions); ++i) {
    std::vector<ExportCell> row;
    AddEdges(row, left, width, i);
    row.emplace_back(double{static_cast<double>(At(peaks, i))});
    row.emplace_back(double{static_cast<double>(At(valleys, i))});
    row.emplace_back(double{static_cast<double>(At(totals, i))});
    table.rows.push_back(std::move(row));
  }
  return table;
}

ExportTable RangeExportTable(const RangeCountResult& result, const ReadoutNames& names,
                             bool one_way, Language language) {
  ExportTable table;
  table.name = NodeName(names) + "Disp";
  table.columns = EdgeTitles(language);
  table.columns.emplace_back(Tr(language, TextKey::kExportRangeCount));
  table.kinds.assign(4, ExportColumnKind::kNumber);
  const double left = one_way ? 0.0 : -result.amplitude_range;
  const double width = one_way ? result.one_way_width : result.two_way_width;
  const auto& counts = one_way ? result.one_way_counts : result.two_way_counts;
  for (int32_t i = 0; i < RowsOf(result.partitions); ++i) {
    std::vector<ExportCell> row;
    AddEdges(row, left, width, i);
    row.emplace_back(double{static_cast<double>(At(counts, i))});
    table.rows.push_back(std::move(row));
  }
  return table;
}

ExportTable RangePairExportTable(const RangePairResult& result, const ReadoutNames& names,
                                 bool one_way, Language language) {
  ExportTable table = RangeExportTable(result, names, one_way, language);
  table.name = NodeName(names) + "Pairs";
  return table;
}

ExportTable CrossingExportTable(const LevelCrossingResult& result, const ReadoutNames& names,
                                Language language) {
  ExportTable table;
  table.name = NodeName(names) + "Cross";
  for (TextKey key : {TextKey::kExportLevel, TextKey::kExportUp, TextKey::kExportDown,
                      TextKey::kExportCrossingCount}) {
    table.columns.emplace_back(Tr(language, key));
  }
  table.kinds.assign(4, ExportColumnKind::kNumber);
  const std::vector<int64_t> counts = result.Counts();
  const auto at = [](const std::vector<int64_t>& values, size_t i) {
    return i < values.size() ? static_cast<double>(values[i]) : 0.0;
  };
  for (size_t i = 0; i < result.levels.size(); ++i) {
    table.rows.push_back({result.levels[i], at(result.up, i), at(result.down, i), at(counts, i)});
  }
  return table;
}

ExportTable TimeAtLevelExportTable(const TimeAtLevelResult& result, const ReadoutNames& names,
                                   Language language) {
  ExportTable table;
  table.name = NodeName(names) + "Time";
  table.columns = EdgeTitles(language);
  for (TextKey key :
       {TextKey::kExportSeconds, TextKey::kExportFraction, TextKey::kExportExceedance}) {
    table.columns.emplace_back(Tr(language, key));
  }
  table.kinds.assign(6, ExportColumnKind::kNumber);
  const std::vector<double> seconds = result.Seconds();
  const std::vector<double> fractions = result.Fractions();
  const std::vector<double> exceedance = result.Exceedance();
  for (int32_t i = 0; i < static_cast<int32_t>(seconds.size()); ++i) {
    std::vector<ExportCell> row;
    AddEdges(row, -result.amplitude_range, result.width, i);
    const auto k = static_cast<size_t>(i);
    row.emplace_back(seconds[k]);
    row.emplace_back(k < fractions.size() ? fractions[k] : 0.0);
    row.emplace_back(k < exceedance.size() ? exceedance[k] : 0.0);
    table.rows.push_back(std::move(row));
  }
  return table;
}

ExportTable RainflowExportTable(const RainflowResult& result, const ReadoutNames& names,
                                Language language) {
  ExportTable table;
  table.name = NodeName(names) + "Rainflow";
  table.columns = EdgeTitles(language);
  table.columns.emplace_back(Tr(language, TextKey::kExportRainflowCount));
  table.kinds.assign(4, ExportColumnKind::kNumber);
  for (int32_t i = 0; i < RowsOf(result.partitions); ++i) {
    std::vector<ExportCell> row;
    AddEdges(row, 0.0, result.partition_width, i);
    row.emplace_back(result.counts[static_cast<size_t>(i)]);
    table.rows.push_back(std::move(row));
  }
  return table;
}

ExportTable StatisticsExportTable(const StatisticsTable& statistics,
                                  const StatisticsReportNames& names) {
  ExportTable table;
  const bool peaks = statistics.content == kStatPeakPeaks;
  table.name = StatisticsDataName(names) + (peaks ? "PP" : "Stat");
  const size_t k = statistics.columns.empty() ? 0 : statistics.columns.size() - 1;
  for (size_t c = 1; c <= k; ++c) {
    table.columns.push_back(statistics.columns[c].title);
    const bool text = c == 1 || c == 2 || c == k || (c == 3 && peaks);
    table.kinds.push_back(text ? ExportColumnKind::kText : ExportColumnKind::kNumber);
  }
  for (const auto& cells : statistics.rows) {
    std::vector<ExportCell> row;
    for (size_t c = 1; c <= k; ++c) {
      const std::string cell = c < cells.size() ? cells[c] : std::string();
      if (table.kinds[c - 1] == ExportColumnKind::kText) {
        row.emplace_back(cell);
        continue;
      }
      row.emplace_back(ParseDouble(cell).value_or(std::numeric_limits<double>::quiet_NaN()));
    }
    table.rows.push_back(std::move(row));
  }
  return table;
}

Result<std::filesystem::path> WriteExport(const ExportTable& table,
                                          const std::filesystem::path& folder) {
  auto bytes = EncodeExportFile(table);
  if (!bytes) return bytes.error();
  const std::filesystem::path target =
      (folder.empty() ? std::filesystem::path(GetWorkFolder()) : folder) / kExportFileName;
  if (auto saved = SaveFileAtomically(target, *bytes, kMsgFileWrite); !saved) return saved.error();
  return target;
}

std::string ExportCsv(const ExportTable& table) {
  std::string csv = "\xEF\xBB\xBF";
  for (size_t c = 0; c < table.columns.size(); ++c) {
    if (c > 0) csv += ',';
    csv += CsvField(table.columns[c]);
  }
  csv += "\r\n";
  for (const auto& row : table.rows) {
    for (size_t c = 0; c < row.size(); ++c) {
      if (c > 0) csv += ',';
      if (const auto* text = std::get_if<std::string>(&row[c])) {
        csv += CsvField(*text);
      } else {
        const double value = std::get<double>(row[c]);
        if (std::isfinite(value)) csv += ShortestText(value);
      }
    }
    csv += "\r\n";
  }
  return csv;
}

}  // namespace torvwy::core
