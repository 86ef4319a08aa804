// Trim and the checked number parsers every text reader uses.
#include "core/services/text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace torvwy::core {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

/// The trimmed text without one leading '+' (from_chars takes only '-'); empty when nothing
/// but the sign is left or a second sign follows.
std::string_view NumberPart(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) return {};
  }
  return text;
}

}  // namespace

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<double> ParseDouble(std::string_view text) {
  text = NumberPart(text);
  if (text.empty()) return std::nullopt;
  double value = 0.0;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value);
  if (error != std::errc() || end != last) return std::nullopt;
  return value;
}

std::optional<double> ParseFiniteDouble(std::string_view text) {
  const auto value = ParseDouble(text);
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return value;
}

std::optional<int64_t> ParseInt(std::string_view text) {
  text = NumberPart(text);
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value);
  if (error != std::errc() || end != last) return std::nullopt;
  return value;
}

std::optional<int32_t> ParseInt32(std::string_view text) {
  const auto value = ParseInt(text);
  if (!value || *value < std::numeric_limits<int32_t>::min() ||
      *value > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(*value);
}

}  // namespace torvwy::core
