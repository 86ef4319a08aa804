// Fuzz target: the export file (TorvEpt.Dat) as the export program reads it.
#include <cstdint>
#include <string_view>
#include <variant>

#include "core/report/export_file.h"
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace torvwy;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto table = core::ParseExportFile(bytes);
  if (!table) {
    fuzz::Require(table.error().message == core::kMsgFileRead);
    return 0;
  }
  // A kind for every column and a cell of that kind in every row: then it writes again.
  fuzz::Require(table->kinds.size() == table->columns.size());
  for (const auto& row : table->rows) {
    fuzz::Require(row.size() == table->columns.size());
    for (size_t c = 0; c < row.size(); ++c) {
      const bool text = table->kinds[c] == core::ExportColumnKind::kText;
      fuzz::Require(std::holds_alternative<std::string>(row[c]) == text);
    }
  }
  fuzz::Require(static_cast<bool>(core::EncodeExportFile(*table)));
  return 0;
}
