// Cycles to failure from an S-N curve, and the weld class and reliability factor as typed.
#include "core/fatigue/sn_class_table.h"

#include <cmath>
#include <string>

#include "core/services/message_table.h"
#include "core/services/text.h"

namespace torvwy::core {
namespace {

Error NotOneOf(std::string_view option, std::string_view text, std::string_view choices) {
  return Fail(kMsgBadValue, std::string(option) + " \"" + EscapeControlCharacters(text) +
                                "\" is not one of " + std::string(choices));
}

}  // namespace

Result<int32_t> ParseSnClassName(std::string_view name, std::string_view option) {
  for (size_t i = 0; i < kSnClassTable.size(); ++i) {
    if (kSnClassTable[i].name == name) return static_cast<int32_t>(i);
  }
  return NotOneOf(option, name, "B C D E F F2 G W S T");
}

Result<int32_t> ParseReliabilityText(std::string_view text, std::string_view option) {
  constexpr std::string_view kTexts[][2] = {
      {"0", "0.0"}, {"0.5", "0.50"}, {"1", "1.0"}, {"2", "2.0"}, {"3", "3.0"}};
  for (int32_t i = 0; i < static_cast<int32_t>(std::size(kTexts)); ++i) {
    if (text == kTexts[i][0] || text == kTexts[i][1]) return i;
  }
  return NotOneOf(option, text, "0 0.5 1 2 3");
}

double CyclesToFailure(const SnClass& sn_class, double d, double stress_range) {
  const double k = sn_class.log10_c0 - d * sn_class.sigma;
  return std::pow(10.0, k - sn_class.m * std::log10(stress_range));
}

}  // namespace torvwy::core
