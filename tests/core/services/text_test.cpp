// Trim and the checked number parsers: what they accept and what they refuse.
#include "core/services/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

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

}  // namespace
}  // namespace torvwy::core
