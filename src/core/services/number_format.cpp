// Number, frequency and time formatting.
#include "core/services/number_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "core/services/folders.h"
#include "core/services/profile.h"

namespace torvwy::core {

std::string FormatNumber(double value, int format_code) {
  char text[64];
  if (format_code < 0) {
    const int decimals = format_code < -17 ? 17 : -format_code;
    std::snprintf(text, sizeof(text), "%.*f", decimals, value);
  } else {
    const int digits = format_code == 0 ? 6 : (format_code > 17 ? 17 : format_code);
    std::snprintf(text, sizeof(text), "%.*g", digits, value);
  }
  return text;
}

std::string ShortestText(double value) {
  char text[32];  // the longest shortest form, "-2.2250738585072014e-308", takes 24
  const auto [end, error] = std::to_chars(text, text + sizeof(text), value);
  if (error != std::errc()) return {};
  return std::string(text, end);
}

std::string FormatFrequency(double frequency_hz) { return FormatNumber(frequency_hz, 0); }

std::string FormatTime(double time_s) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.3f", time_s);
  // Drop trailing zeros of the fraction, and the point when nothing follows it.
  std::string result = text;
  if (result.find('.') != std::string::npos) {
    while (!result.empty() && result.back() == '0') result.pop_back();
    if (!result.empty() && result.back() == '.') result.pop_back();
  }
  if (result == "-0") result = "0";
  return result;
}

int GetNumberFormatCode(int setting, int digits) {
  switch (setting) {
    case 1:
      return 4;
    case 2:
      return -digits;
    default:
      return 0;
  }
}

int ReadNumberFormatCode() {
  auto profile = IniFile::Load(ProfilePath());
  if (!profile) return 0;
  const long long setting = profile->GetInt("settings", "NumberFormat", 0);
  const long long digits = profile->GetInt("settings", "NumberDigits", 3);
  if (setting < 0 || setting > 2 || digits < 0 || digits > 9) return 0;
  return GetNumberFormatCode(static_cast<int>(setting), static_cast<int>(digits));
}

}  // namespace torvwy::core
