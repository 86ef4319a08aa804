// Fuzz target: the curve files of a life estimate, and the lives of every curve they accept.
#include <cmath>
#include <cstdint>
#include <string_view>

#include "core/fatigue/sn_curve.h"
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace torvwy;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto curve = core::ParseSnCurveText(bytes, "fuzz.ini");
  if (!curve) {
    fuzz::Require(curve.error().message == core::kMsgBadValue);
    fuzz::Require(curve.error().detail.find('\n') == std::string::npos);
    return 0;
  }
  // An accepted curve has its pieces in order and a life (finite or none) at every range.
  fuzz::Require(curve->reference_range > 0.0 && curve->reference_cycles > 0.0);
  fuzz::Require(curve->slope > 0.0 && std::isfinite(curve->slope));
  const double knee = curve->knee_range();
  const double cutoff = curve->cutoff_range();
  fuzz::Require(std::isfinite(knee) && std::isfinite(cutoff) && knee >= 0.0 && cutoff >= 0.0);
  if (knee > 0.0 && cutoff > 0.0) fuzz::Require(cutoff < knee);
  for (double s : {1e-300, 1e-3, 1.0, curve->reference_range, knee, cutoff, 1e6, 1e300}) {
    if (!(s > 0.0)) continue;
    const double life = curve->CyclesToFailure(s);
    fuzz::Require(!std::isnan(life) && life >= 0.0);
  }
  return 0;
}
