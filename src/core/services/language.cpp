// Reading the user's language from the environment or the profile.
#include "core/services/language.h"

#include <cstdlib>
#include <cstring>

#include "core/services/folders.h"
#include "core/services/profile.h"
#include "core/services/text.h"

namespace torvwy::core {

Language GetUILanguage() {
  if (const char* env = std::getenv("TORVWY_LANG"); env != nullptr && *env != '\0') {
    if (std::strncmp(env, "zh", 2) == 0) return Language::kChinese;
    if (std::strncmp(env, "en", 2) == 0) return Language::kEnglish;
  }
  auto profile = IniFile::Load(ProfilePath());
  if (profile.ok()) {
    if (auto value = profile->Get("settings", "Language")) {
      return LanguageOfFlag(ParseInt(*value).value_or(1));
    }
  }
  return Language::kEnglish;
}

}  // namespace torvwy::core
