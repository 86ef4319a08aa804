// The S-N curves of the BS 7608 weld classes and the reliability factors of a life estimate.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/services/result.h"

namespace torvwy::core {

/// One weld class: log10 N = log10 C0 - d x sigma - m x log10 S, with S the stress range
/// (N/mm^2) and N the cycles to failure; one straight line in log-log coordinates, no knee.
struct SnClass {
  std::string_view name;
  double log10_c0;  ///< log10 C0 of the mean curve
  double sigma;     ///< standard deviation of log10 N
  double m;         ///< inverse slope
};

/// The basic S-N curves of BS 7608, indexed as the life estimate dialog lists them.
using SnClassTable = std::array<SnClass, 10>;
inline constexpr SnClassTable kSnClassTable = {{
    {"B", 15.3697, 0.1821, 4.0},
    {"C", 14.0342, 0.2041, 3.5},
    {"D", 12.6007, 0.2095, 3.0},
    {"E", 12.5169, 0.2509, 3.0},
    {"F", 12.2370, 0.2183, 3.0},
    {"F2", 12.0900, 0.2279, 3.0},
    {"G", 11.7525, 0.1793, 3.0},
    {"W", 11.5662, 0.1846, 3.0},
    {"S", 23.3284, 0.5045, 8.0},
    {"T", 12.6606, 0.2484, 3.0},
}};
constexpr int32_t kDefaultSnClassIndex = 0;  // class B

/// A reliability factor d (standard deviations below the mean curve) and its dialog text, which
/// shows the survival probability.
struct ReliabilityFactor {
  double d;
  std::string_view text;
};
inline constexpr std::array<ReliabilityFactor, 5> kReliabilityFactors = {{
    {0.0, "0      (50%)"},
    {0.5, "0.5    (69%)"},
    {1.0, "1.0    (84%)"},
    {2.0, "2.0    (97.7%) *"},
    {3.0, "3.0    (99.86%) "},
}};
constexpr int32_t kDefaultReliabilityIndex = 3;  // d = 2.0

inline bool IsSnClassIndex(int32_t index) {
  return index >= 0 && index < static_cast<int32_t>(kSnClassTable.size());
}
inline bool IsReliabilityIndex(int32_t index) {
  return index >= 0 && index < static_cast<int32_t>(kReliabilityFactors.size());
}

/// The index in kSnClassTable of the weld class named as typed ("F2"). Fails (bad-value
/// message) with `<option> "<name>" is not one of B C D E F F2 G W S T`, `option` naming where
/// the name came from ("--class").
Result<int32_t> ParseSnClassName(std::string_view name, std::string_view option);

/// The index in kReliabilityFactors of the factor d as typed: 0, 0.5, 1, 2 or 3 (or 0.0, 0.50,
/// 1.0, 2.0, 3.0). Fails (bad-value message) with `<option> "<text>" is not one of 0 0.5 1 2 3`.
Result<int32_t> ParseReliabilityText(std::string_view text, std::string_view option);

/// Cycles to failure at `stress_range`: 10^(K - m x log10 S) with K = log10 C0 - d x sigma.
double CyclesToFailure(const SnClass& sn_class, double d, double stress_range);

}  // namespace torvwy::core
