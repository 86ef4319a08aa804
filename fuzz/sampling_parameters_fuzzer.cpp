// Fuzz target: the sampling parameter file (.tsp) of a node, its [Sampling] keys and labels.
#include <cmath>
#include <cstdint>
#include <string_view>

#include "core/data/labels.h"
#include "core/data/sample_format.h"
#include "core/data/sampling_info.h"
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace torvwy;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto path = fuzz::ScratchFile(bytes, "node.tsp");
  auto info = core::ReadSamplingParameters(path);
  if (info) {
    // What every pass divides by or scales with.
    fuzz::Require(std::isfinite(info->frequency_hz()) && info->frequency_hz() > 0.0);
    fuzz::Require(std::isfinite(info->c1()) && info->c1() != 0.0);
    fuzz::Require(std::isfinite(info->c2()) && info->c2() != 0.0);
    fuzz::Require(info->length_half_blocks() >= 0);
    fuzz::Require(info->format() == core::kFormatNone ||
                  static_cast<bool>(core::FullScaleOf(*info)));
  } else {
    fuzz::Require(info.error().message == core::kMsgSamplingUnreadable ||
                  info.error().message == core::kMsgUnknownFormat);
  }
  for (const core::Label& label : core::ReadLabels(path)) {
    // Each cut to 255 GBK bytes; a byte that is no GBK may widen to three in UTF-8.
    fuzz::Require(label.position.size() <= 255 * 3 && label.text.size() <= 255 * 3);
  }
  return 0;
}
