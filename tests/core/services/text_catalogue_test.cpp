// The text catalogue: every key once with both texts, the message table as a view of it, and no
// Chinese text typed anywhere else in the sources.
#include "core/services/text_catalogue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "core/services/gbk.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

TEST(TextCatalogue, EveryKeyStandsOnceInKeyOrderWithBothTexts) {
  const auto catalogue = TextCatalogue();
  ASSERT_EQ(catalogue.size(), static_cast<size_t>(TextKey::kCount));
  std::set<TextKey> keys;
  std::set<int> messages;
  for (size_t i = 0; i < catalogue.size(); ++i) {
    const CatalogueEntry& entry = catalogue[i];
    SCOPED_TRACE("entry " + std::to_string(i) + ": " + std::string(entry.english));
    EXPECT_EQ(static_cast<size_t>(entry.key), i);
    EXPECT_TRUE(keys.insert(entry.key).second);
    EXPECT_FALSE(entry.chinese.empty());
    EXPECT_FALSE(entry.english.empty());
    // Format functions are handed data(): the text must end where its literal ends.
    EXPECT_EQ(entry.chinese.data()[entry.chinese.size()], '\0');
    EXPECT_EQ(entry.english.data()[entry.english.size()], '\0');
    if (entry.message != 0) {
      EXPECT_TRUE(messages.insert(entry.message).second);
    }
    EXPECT_EQ(Tr(Language::kChinese, entry.key), entry.chinese);
    EXPECT_EQ(Tr(Language::kEnglish, entry.key), entry.english);
  }
}

TEST(TextCatalogue, EveryTextSurvivesTheGbkFilesItIsWrittenInto) {
  // Reports, lists and result files are written in GBK; a character GBK lacks would come out
  // as '?' in them.
  for (const CatalogueEntry& entry : TextCatalogue()) {
    for (std::string_view text : {entry.chinese, entry.english}) {
      EXPECT_EQ(GbkToUtf8(Utf8ToGbk(text)), text);
    }
  }
}

TEST(TextCatalogue, TheMessageTableLooksUpTheNumberedEntries) {
  // Every number the table answers for; the fixed entries are numbered apart from the rest.
  std::vector<int> numbered = {kMsgFontFace,       kMsgFontPointSize,  kMsgTestNameLabel,
                               kMsgTestCodeLabel,  kMsgNodeLabel,      kMsgInsetYTitle,
                               kMsgInsetXTitle,    kMsgCountXTitle,    kMsgInsetTitle,
                               kMsgTestInfoHeader, kMsgSamplingHeader, kMsgCursorHeader,
                               kMsgTestNameFormat, kMsgTestCodeFormat, kMsgNodeFormat};
  for (int number = kMsgParameterFileUnreadable; number < kMsgLast; ++number) {
    numbered.push_back(number);
  }
  const MessageTable chinese(Language::kChinese);
  const MessageTable english(Language::kEnglish);
  for (int number : numbered) {
    SCOPED_TRACE("message " + std::to_string(number));
    int found = 0;
    for (const CatalogueEntry& entry : TextCatalogue()) {
      if (entry.message != number) continue;
      ++found;
      EXPECT_EQ(chinese[number], entry.chinese);
      EXPECT_EQ(english[number], entry.english);
    }
    EXPECT_EQ(found, 1);
  }
  // A few by their known texts, and numbers that name nothing.
  EXPECT_EQ(chinese[kMsgResultSaved], "结果已保存");
  EXPECT_EQ(english[kMsgResultSaved], "Result saved");
  EXPECT_EQ(english[kMsgCalculationCancelled], "The calculation was cancelled!");
  for (int unknown : {0, -1, 7, 99, static_cast<int>(kMsgLast)}) {
    EXPECT_TRUE(chinese[unknown].empty()) << unknown;
    EXPECT_TRUE(english[unknown].empty()) << unknown;
  }
}

/// The first line of `text` (UTF-8) that holds a CJK character, a CJK punctuation mark or a
/// full-width form; 0 when none does.
int FirstChineseLine(const std::string& text) {
  int line = 1;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\n') ++line;
    // Three-byte sequences E3..E9 cover U+3000..U+9FFF; EF BC..EF BF cover U+FF00..U+FFFF.
    if (byte >= 0xE3 && byte <= 0xE9) return line;
    if (byte == 0xEF && i + 1 < text.size()) {
      const auto next = static_cast<unsigned char>(text[i + 1]);
      if (next >= 0xBC && next <= 0xBF) return line;
    }
  }
  return 0;
}

TEST(TextCatalogue, NoSourceOutsideTheCatalogueHoldsAChineseText) {
  const std::filesystem::path source = TORVWY_SOURCE_DIR;
  ASSERT_TRUE(std::filesystem::is_directory(source)) << source;
  const std::set<std::string> allowed = {"core/services/text_catalogue.cpp"};
  int files = 0;
  for (const auto& item : std::filesystem::recursive_directory_iterator(source)) {
    if (!item.is_regular_file()) continue;
    const std::string extension = item.path().extension().string();
    if (extension != ".cpp" && extension != ".h") continue;
    ++files;
    const std::string name = item.path().lexically_relative(source).generic_string();
    if (allowed.count(name) != 0) continue;
    std::ifstream in(item.path(), std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const int line = FirstChineseLine(text);
    EXPECT_EQ(line, 0) << name << ":" << line << " holds a Chinese text; give it a key in "
                       << "core/services/text_catalogue.cpp";
  }
  EXPECT_GT(files, 50);  // the walk really read the source tree
}

TEST(TextCatalogue, TheScanFindsWhatItLooksFor) {
  EXPECT_EQ(FirstChineseLine("plain\nASCII only\n"), 0);
  EXPECT_EQ(FirstChineseLine("a\nb \"试验\"\n"), 2);
  EXPECT_EQ(FirstChineseLine("x\ny\n\"－TORV\""), 3);  // a full-width dash
  EXPECT_EQ(FirstChineseLine("\"，\""), 1);            // a full-width comma
  EXPECT_EQ(FirstChineseLine("\"÷ ± é\""), 0);         // Latin-1 signs are not Chinese
}

}  // namespace
}  // namespace torvwy::core
