// Fuzz target: opening any result file; the first input byte picks the extension the file
// would have, the rest is the file.
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "core/files/json_result_file.h"
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr std::string_view kExtensions[] = {".PCM", ".dcm", ".Rfl", ".txt"};
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  auto read = torvwy::core::ParseResultFile(bytes, kExtensions[data[0] % 4]);
  torvwy::fuzz::SilencePrinting();
  if (read) {
    std::visit(
        [&](const auto& file) {
          using File = std::decay_t<decltype(file)>;
          if constexpr (std::is_same_v<File, torvwy::core::CrossingResultFile> ||
                        std::is_same_v<File, torvwy::core::RangePairResultFile> ||
                        std::is_same_v<File, torvwy::core::TimeAtLevelResultFile>) {
            // A JSON result file: what was read is written back and reads back the same.
            auto text = torvwy::core::JsonResultText(*read);
            torvwy::fuzz::Require(text.ok());
            auto again = torvwy::core::ParseResultFile(*text, ".json");
            torvwy::fuzz::Require(again.ok() &&
                                  torvwy::core::JsonResultText(*again).value() == *text);
            return;
          } else {
            torvwy::fuzz::CheckSoundFile(file, size);
            if (file.result.partitions <= torvwy::fuzz::kShownPartitions) {
              torvwy::fuzz::ShowFile(file, data[size - 1],
                                     std::string_view(reinterpret_cast<const char*>(data), size));
            }
          }
        },
        *read);
  } else {
    torvwy::fuzz::CheckError(read.error());
  }
  return 0;
}
