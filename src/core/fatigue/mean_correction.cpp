// The mean-stress corrections of a cycle.
#include "core/fatigue/mean_correction.h"

#include <array>
#include <cmath>
#include <string>

#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/text.h"

namespace torvwy::core {
namespace {

constexpr std::array<std::string_view, 5> kNames = {"none", "goodman", "gerber", "swt", "walker"};

bool Positive(double value) { return std::isfinite(value) && value > 0.0; }

bool NeedsUltimate(MeanCorrectionKind kind) {
  return kind == MeanCorrectionKind::kGoodman || kind == MeanCorrectionKind::kGerber;
}

}  // namespace

std::string_view MeanCorrectionName(MeanCorrectionKind kind) {
  const auto index = static_cast<size_t>(kind);
  return index < kNames.size() ? kNames[index] : "none";
}

Result<MeanCorrectionKind> ParseMeanCorrectionName(std::string_view name) {
  for (size_t i = 0; i < kNames.size(); ++i) {
    if (kNames[i] == name) return static_cast<MeanCorrectionKind>(i);
  }
  return Error{kMsgBadValue, "\"" + EscapeControlCharacters(name) +
                                 "\" is not a mean-stress correction (goodman gerber swt walker)"};
}

Status CheckMeanCorrection(const MeanCorrection& correction) {
  if (NeedsUltimate(correction.kind) && !Positive(correction.ultimate)) {
    return Fail(kMsgBadValue, std::string("the ") +
                                  std::string(MeanCorrectionName(correction.kind)) +
                                  " correction needs an ultimate strength above 0");
  }
  if (correction.ultimate != 0.0 && !Positive(correction.ultimate)) {
    return Fail(kMsgBadValue, "the ultimate strength must be above 0");
  }
  if (correction.kind == MeanCorrectionKind::kWalker &&
      !(std::isfinite(correction.walker_gamma) && correction.walker_gamma > 0.0 &&
        correction.walker_gamma <= 1.0)) {
    return Fail(kMsgBadValue, "the Walker exponent gamma must lie in (0, 1]");
  }
  return Ok();
}

Result<double> EquivalentRange(const MeanCorrection& correction, double range, double mean) {
  const double amplitude = range / 2.0;
  const double maximum = mean + amplitude;
  if (correction.kind == MeanCorrectionKind::kNone) return range;
  if (auto ok = CheckMeanCorrection(correction); !ok) return ok.error();
  if (correction.ultimate > 0.0 && maximum > correction.ultimate) {
    return Fail(kMsgBadValue, "a cycle's maximum " + ShortestText(maximum) +
                                  " exceeds the ultimate strength " +
                                  ShortestText(correction.ultimate));
  }
  switch (correction.kind) {
    case MeanCorrectionKind::kGoodman:
      if (!(mean > 0.0)) return range;
      return 2.0 * amplitude / (1.0 - mean / correction.ultimate);
    case MeanCorrectionKind::kGerber: {
      if (!(mean > 0.0)) return range;
      const double ratio = mean / correction.ultimate;
      return 2.0 * amplitude / (1.0 - ratio * ratio);
    }
    case MeanCorrectionKind::kSwt:
      if (!(maximum > 0.0)) return 0.0;
      return 2.0 * std::sqrt(maximum * amplitude);
    case MeanCorrectionKind::kWalker:
      if (!(maximum > 0.0)) return 0.0;
      return 2.0 * std::pow(maximum, 1.0 - correction.walker_gamma) *
             std::pow(amplitude, correction.walker_gamma);
    case MeanCorrectionKind::kNone:
      break;
  }
  return range;
}

}  // namespace torvwy::core
