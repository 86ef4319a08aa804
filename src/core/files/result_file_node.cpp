// The old-format notice and the full scale of a saved result.
#include "core/files/result_file_node.h"

#include "core/data/sample_format.h"
#include "core/services/message_table.h"
#include "core/services/text_catalogue.h"

namespace torvwy::core {

std::string_view OldFormatMessage(Language language) { return Tr(language, TextKey::kOldFormat); }

Result<double> ResultFullScale(CountingKind kind, const ResultFileNode& node) {
  if (node.old_format) return 10000.0;
  if (kind == CountingKind::kRainflow) return FullScaleOf(node.sampling);
  return GetFormatFullScale(node.sampling.format());
}

}  // namespace torvwy::core
