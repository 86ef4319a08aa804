// Trim and the checked number parsers: what they accept and what they refuse.
#include "core/services/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "core/services/language.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

TEST(Text, TrimRemovesBlanksAtBothEndsOnly) {
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim(" \t\r\n"), "");
  EXPECT_EQ(Trim("  a b\t\r\n"), "a b");
  EXPECT_EQ(Trim("\xA1\xA1"), "\xA1\xA1");  // a GBK full-width blank is not ours to cut
  EXPECT_EQ(Trim("x"), "x");
}

TEST(Text, ParseDoubleReadsWholeTextsOnly) {
  const struct {
    const char* text;
    std::optional<double> value;
  } cases[] = {
      {"0.1", 0.1},
      {"-2.5e3", -2500.0},
      {"+7", 7.0},
      {"  12.5 \r\n", 12.5},  // blanks around are no garbage
      {"1e308", 1e308},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"+", std::nullopt},
      {"+-1", std::nullopt},
      {"++1", std::nullopt},
      {"1.5x", std::nullopt},  // trailing garbage
      {"1 2", std::nullopt},
      {"12,5", std::nullopt},
      {"0x10", std::nullopt},
      {"1e999", std::nullopt},  // beyond a double
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseDouble(c.text), c.value) << '"' << c.text << '"';
    if (c.value) {
      EXPECT_EQ(ParseFiniteDouble(c.text), c.value) << '"' << c.text << '"';
    }
  }
}

TEST(Text, NonFiniteValuesReadOnlyWhereAllowed) {
  ASSERT_TRUE(ParseDouble("nan").has_value());
  EXPECT_TRUE(std::isnan(*ParseDouble("nan")));
  EXPECT_EQ(ParseDouble("-inf"), -std::numeric_limits<double>::infinity());
  for (const char* text : {"nan", "NaN", "inf", "-inf", "+inf", "infinity"}) {
    EXPECT_FALSE(ParseFiniteDouble(text).has_value()) << text;
  }
}

TEST(Text, ParseIntRefusesFractionsAndOverflow) {
  const struct {
    const char* text;
    std::optional<int64_t> value;
  } cases[] = {
      {"0", 0},
      {"-42", -42},
      {" +42 ", 42},
      {"007", 7},
      {"9223372036854775807", std::numeric_limits<int64_t>::max()},
      {"9223372036854775808", std::nullopt},
      {"1.0", std::nullopt},
      {"1e3", std::nullopt},
      {"12abc", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseInt(c.text), c.value) << '"' << c.text << '"';

  EXPECT_EQ(ParseInt32("2147483647"), 2147483647);
  EXPECT_EQ(ParseInt32("-2147483648"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(ParseInt32("2147483648"), std::nullopt);
  EXPECT_EQ(ParseInt32("-2147483649"), std::nullopt);
}

TEST(Text, EscapesControlCharactersAndBrokenUtf8) {
  const struct {
    std::string text;
    std::string escaped;
  } cases[] = {
      {"plain C:\\path", "plain C:\\path"},  // backslashes stay: escaping twice is harmless
      {"a\nb\r\tc", "a\\nb\\r\\tc"},
      {std::string("\x1b[31m\x00\x7f", 7), "\\x1b[31m\\x00\\x7f"},
      {"试验#测点.tsp", "试验#测点.tsp"},            // valid UTF-8 (3 bytes a sign)
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},      // U+1F600, 4 bytes
      {"\xB2\xE2x", "\\xb2\\xe2x"},                  // GBK bytes, not UTF-8
      {"\xC0\xAF", "\\xc0\\xaf"},                    // an overlong '/'
      {"\xED\xA0\x80", "\\xed\\xa0\\x80"},           // a surrogate
      {"\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},  // beyond U+10FFFF
      {"\xE8\xAF", "\\xe8\\xaf"},                    // cut short at the end
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EscapeControlCharacters(c.text), c.escaped) << c.text;
    EXPECT_EQ(EscapeControlCharacters(c.escaped), c.escaped) << c.text;
  }

  // The one error text every face shows stays one line whatever the name holds.
  const Error error{kMsgDataFileUnopenable, "/data/a\nb\x1b[2J#1.sts: not a regular file"};
  for (const Language language : {Language::kEnglish, Language::kChinese}) {
    const std::string text = ErrorText(error, language);
    EXPECT_EQ(text.find_first_of("\n\r\x1b"), std::string::npos) << text;
    EXPECT_NE(text.find("a\\nb\\x1b[2J#1.sts"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace torvwy::core
