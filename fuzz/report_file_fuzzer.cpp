// Fuzz target: the report file (TorvRpt.txt) as the report program reads it.
#include <cstdint>
#include <string_view>

#include "core/report/report_file.h"
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace torvwy;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto items = core::ParseReportFile(bytes);
  if (!items) {
    fuzz::Require(items.error().message == core::kMsgFileRead);
    return 0;
  }
  for (const core::ReportItem& item : *items) {
    fuzz::Require(item.kind >= core::ReportItem::kHead && item.kind <= core::ReportItem::kList);
    // A picture names its file and has a size the report can draw; texts name no file.
    const bool picture = item.kind == core::ReportItem::kPicture;
    fuzz::Require(!picture || (!item.path.empty() && item.width >= 0 && item.width <= 100000 &&
                               item.height >= 0 && item.height <= 100000));
    fuzz::Require(picture || item.kind == core::ReportItem::kList || item.path.empty());
  }
  return 0;
}
