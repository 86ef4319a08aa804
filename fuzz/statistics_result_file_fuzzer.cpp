// Fuzz target: opening a statistics result file (.aps), current and older layouts, then its
// table and JSON as `torvwy open` shows them. The first input byte picks the number format and
// the language, the rest is the file.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/files/statistics_result_file.h"
#include "core/services/text.h"
#include "fuzz_checks.h"
#include "output/stats_output.h"

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
  output::PrintStatisticsTable(*table);
  output::PrintJson(output::StatisticsJson(*table));
  return 0;
}
