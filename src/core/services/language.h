// The language of texts, and where the user's choice of it is read.
#pragma once

#include <cstdint>
#include <string_view>

namespace torvwy::core {

/// The two languages every text of the system comes in.
enum class Language { kChinese, kEnglish };

/// The language of the integer flag kept in the profile and on command lines: 0 Chinese, any
/// other value English.
constexpr Language LanguageOfFlag(int64_t flag) {
  return flag == 0 ? Language::kChinese : Language::kEnglish;
}

/// The integer flag of a language: 0 Chinese, 1 English.
constexpr int LanguageFlag(Language language) { return language == Language::kChinese ? 0 : 1; }

/// The language of the user interface: TORVWY_LANG=zh|en when set, else the profile's
/// "settings"/"Language" flag, else English. Read it once at start and hand it down.
Language GetUILanguage();

}  // namespace torvwy::core
