// MeanCorrection: the equivalent fully reversed range of a cycle with a mean stress.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/services/result.h"

namespace torvwy::core {

enum class MeanCorrectionKind : int32_t { kNone = 0, kGoodman, kGerber, kSwt, kWalker };

/// How a cycle of amplitude Sa = range / 2 and mean Sm, with Smax = Sm + Sa, becomes the fully
/// reversed amplitude Sa' that does the same damage; the equivalent range is 2 Sa'.
///
///   Goodman  Sa' = Sa / (1 - Sm / Su)                for Sm > 0; Sa' = Sa for Sm <= 0
///   Gerber   Sa' = Sa / (1 - (Sm / Su)^2)            for Sm > 0; Sa' = Sa for Sm <= 0
///   SWT      Sa' = sqrt(Smax x Sa)                   for Smax > 0; no damage (0) otherwise
///   Walker   Sa' = Smax^(1 - gamma) x Sa^gamma       for Smax > 0; no damage (0) otherwise
///
/// A compressive mean is taken as harmless by Goodman and Gerber (no credit is given for it),
/// and a zero mean leaves every cycle as it is. Walker with gamma = 0.5 is SWT.
struct MeanCorrection {
  MeanCorrectionKind kind = MeanCorrectionKind::kNone;
  double ultimate = 0.0;      ///< Su (EU): required for Goodman and Gerber; 0 when not given
  double walker_gamma = 0.5;  ///< gamma, 0 < gamma <= 1
};

/// "none", "goodman", "gerber", "swt", "walker".
std::string_view MeanCorrectionName(MeanCorrectionKind kind);
/// The kind of one of those names (case-sensitive); fails naming the text otherwise.
Result<MeanCorrectionKind> ParseMeanCorrectionName(std::string_view name);

/// Fails (bad-value message) for an ultimate strength that Goodman or Gerber needs and that is
/// missing or not a positive finite number, an ultimate given that is <= 0 or not finite, and
/// a Walker gamma outside (0, 1].
Status CheckMeanCorrection(const MeanCorrection& correction);

/// The equivalent fully reversed range of a cycle (range > 0, mean, in EU). Fails (bad-value
/// message) when the cycle's maximum Sm + Sa exceeds an ultimate strength that is given: such
/// a cycle would have broken the part.
Result<double> EquivalentRange(const MeanCorrection& correction, double range, double mean);

}  // namespace torvwy::core
