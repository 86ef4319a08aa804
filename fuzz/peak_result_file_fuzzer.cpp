// Fuzz target: the peak result file reader, current and older layouts; what it reads must hold
// the values its layout keeps twice in agreement (CheckRelations in fuzz_checks.h).
#include <cstdint>
#include <string_view>

#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  torvwy::fuzz::CheckRead(torvwy::core::ParsePeakResultFile(bytes), bytes);
  return 0;
}
