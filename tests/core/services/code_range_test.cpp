// ExpandCodeRange: the hint's examples, spans, blanks and malformed texts.
#include "core/services/code_range.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

using Codes = std::vector<std::string>;

TEST(CodeRange, ExpandsWellFormedTexts) {
  const struct {
    const char* text;
    Codes codes;
  } cases[] = {
      {"1,3,5-9,A1-A7,B5",
       {"1", "3", "5", "6", "7", "8", "9", "A1", "A2", "A3", "A4", "A5", "A6", "A7", "B5"}},
      {"1", {"1"}},
      {"B5", {"B5"}},
      {"5-9", {"5", "6", "7", "8", "9"}},
      {"A1-A7", {"A1", "A2", "A3", "A4", "A5", "A6", "A7"}},
      {"7-7", {"7"}},
      {" 1 , 3 ,\t5 - 6 ", {"1", "3", "5", "6"}},
      {"9-11", {"9", "10", "11"}},         // the tail grows a digit
      {"A08-A10", {"A08", "A09", "A10"}},  // leading zeros keep the width
      {"abc", {"abc"}},                    // a code need not hold digits
      {"3,1,3", {"3", "1", "3"}},          // order and duplicates as written
      {"XY2-XY3,x4", {"XY2", "XY3", "x4"}},
  };
  for (const auto& c : cases) {
    auto codes = ExpandCodeRange(c.text);
    ASSERT_TRUE(codes.ok()) << c.text << ": " << codes.error().detail;
    EXPECT_EQ(*codes, c.codes) << c.text;
  }
}

TEST(CodeRange, RefusesMalformedTexts) {
  for (const char* text : {"",      " ",   ",",     "1,",           ",1",       "1,,2",     "-",
                           "1-",    "-5",  "5-1",   "A1-B3",        "A1-7",     "1-A7",     "A-A3",
                           "1-2-3", "1 2", "A7-A1", "1-9999999999", "1-999999", "T01A-T01A"}) {
    auto codes = ExpandCodeRange(text);
    EXPECT_FALSE(codes.ok()) << '"' << text << '"';
    if (!codes.ok()) {
      EXPECT_EQ(codes.error().message, kMsgBadValue) << text;
    }
  }
}

}  // namespace
}  // namespace torvwy::core
