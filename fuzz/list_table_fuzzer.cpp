// Fuzz target: the list files (readout lists, statistics lists, fatigue tables) as the
// companions read them.
#include <cstdint>
#include <string_view>

#include "core/report/list_export.h"
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace torvwy;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto table = core::ParseListTable(bytes);
  if (!table) {
    fuzz::Require(table.error().message == core::kMsgFileRead);
    return 0;
  }
  // As many cells in every row as the header has titles, and at least one title.
  fuzz::Require(!table->header.empty());
  for (const auto& row : table->rows) fuzz::Require(row.size() == table->header.size());
  return 0;
}
