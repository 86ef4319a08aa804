// The user's language from the environment and the profile, and the text of an error in it.
#include "core/services/language.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "core/services/folders.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

/// Unsets TORVWY_LANG while it lives.
class NoLanguageVariable {
 public:
  NoLanguageVariable() {
    if (const char* value = std::getenv("TORVWY_LANG")) old_ = value;
    ::unsetenv("TORVWY_LANG");
  }
  ~NoLanguageVariable() {
    if (old_) ::setenv("TORVWY_LANG", old_->c_str(), 1);
  }

 private:
  std::optional<std::string> old_;
};

TEST(Language, TheProfileFlagIsReadAtTheBorderOnly) {
  testing::ScopedHome home;
  NoLanguageVariable unset;
  EXPECT_EQ(GetUILanguage(), Language::kEnglish);  // no profile at all
  const struct {
    const char* line;
    Language language;
  } cases[] = {
      {"Language=0", Language::kChinese},
      {"Language = 0 ", Language::kChinese},
      {"Language=1", Language::kEnglish},
      {"Language=7", Language::kEnglish},   // any other flag is English
      {"Language=zh", Language::kEnglish},  // not a number: the default
      {"Other=0", Language::kEnglish},
  };
  for (const auto& c : cases) {
    std::ofstream(ProfilePath()) << "[settings]\n" << c.line << "\n";
    EXPECT_EQ(GetUILanguage(), c.language) << c.line;
  }
  std::ofstream(ProfilePath()) << "[settings]\nLanguage=0\n";
  ::setenv("TORVWY_LANG", "en_GB.UTF-8", 1);  // the variable wins over the profile
  EXPECT_EQ(GetUILanguage(), Language::kEnglish);
  ::setenv("TORVWY_LANG", "zh", 1);
  EXPECT_EQ(GetUILanguage(), Language::kChinese);
  ::unsetenv("TORVWY_LANG");

  EXPECT_EQ(LanguageFlag(LanguageOfFlag(0)), 0);
  EXPECT_EQ(LanguageFlag(LanguageOfFlag(1)), 1);
}

TEST(Language, AnErrorReadsAsItsMessageThenItsDetail) {
  const Error both{kMsgFileWrite, "/x/y.PCM: No space left on device"};
  EXPECT_EQ(ErrorText(both, Language::kEnglish),
            "The file can't be written! /x/y.PCM: No space left on device");
  EXPECT_EQ(ErrorText(both, Language::kChinese), "无法写入文件! /x/y.PCM: No space left on device");
  EXPECT_EQ(ErrorText({kMsgOutOfMemory, ""}, Language::kEnglish), "Out of memory!");
  EXPECT_EQ(ErrorText({0, "only the detail"}, Language::kEnglish), "only the detail");
}

}  // namespace
}  // namespace torvwy::core
