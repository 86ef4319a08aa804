// Fuzz target: opening a statistics result file (.aps), current and older layouts, then its
// table and JSON as `torvwy open` shows them. The first input byte picks the number format and
// the language, the rest is the file.
#include <cstdint>
#include <string_view>

#include "core/files/statistics_result_file.h"
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
  output::PrintStatisticsTable(*table);
  output::PrintJson(output::StatisticsJson(*table));
  return 0;
}
