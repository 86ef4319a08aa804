// Fuzz target: opening any result file; the first input byte picks the extension the file
// would have, the rest is the file.
#include <cstdint>
#include <string_view>

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
          torvwy::fuzz::CheckSoundFile(file, size);
          if (file.result.partitions <= torvwy::fuzz::kShownPartitions) {
            torvwy::fuzz::ShowFile(file, data[size - 1],
                                   std::string_view(reinterpret_cast<const char*>(data), size));
          }
        },
        *read);
  } else {
    torvwy::fuzz::CheckError(read.error());
  }
  return 0;
}
