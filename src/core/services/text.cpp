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

namespace {

/// The length of the valid UTF-8 sequence at the start of `text` (its first byte 0x80 or above),
/// or 0 when it is not one: a stray continuation byte, an overlong form, a surrogate, a value
/// beyond U+10FFFF or a sequence cut short.
size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

std::string EscapeControlCharacters(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string escaped;
  escaped.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      if (const size_t length = Utf8SequenceLength(text.substr(i)); length > 0) {
        escaped.append(text.substr(i, length));
        i += length;
        continue;
      }
    } else if (c >= 0x20 && c != 0x7F) {
      escaped += static_cast<char>(c);
      ++i;
      continue;
    }
    if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\t') {
      escaped += "\\t";
    } else {
      escaped += "\\x";
      escaped += kHex[c >> 4];
      escaped += kHex[c & 0xF];
    }
    ++i;
  }
  return escaped;
}

std::string_view CutCharacters(std::string_view utf8, size_t max_characters) {
  size_t characters = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    // A byte that does not continue a character starts the next one.
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80 && characters++ == max_characters) {
      return utf8.substr(0, i);
    }
  }
  return utf8;
}

std::string CsvField(std::string_view raw) {
  std::string text(raw);
  const size_t first = text.find_first_not_of("\t\r\n");
  if (first != std::string::npos &&
      std::string_view("=+-@").find(text[first]) != std::string_view::npos) {
    text.insert(0, 1, '\'');
  }
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace torvwy::core
