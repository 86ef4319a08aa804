// Splitting file titles into test name, test code and node; refusing unsafe names.
#include "core/services/names.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "core/services/message_table.h"
#include "core/services/number_format.h"

namespace torvwy::core {
namespace {

TEST(Names, SplitsResultFileNames) {
  struct Case {
    const char* file;
    const char* test;
    const char* code;
    const char* node;
  };
  for (const Case& c : {
           Case{"abc12#5.PCM", "abc", "12", "5"},
           Case{"/data/results/abc12#5.PCM", "abc", "12", "5"},
           Case{"abcX#N1.DCM", "abc", "X", "N1"}, Case{"123#7.RFL", "12", "3", "7"},
           Case{"a#7.RFL", "a", "", "7"}, Case{"abc12##5", "abc", "12", "5"},
           Case{"abc12#5#6.PCM", "abc", "12", "5#6"}, Case{"abc12.PCM", "", "", ""},  // no '#'
           Case{"#5.PCM", "", "", ""},                                                // '#' first
       }) {
    const SplitName split = SplitResultFileName(c.file);
    EXPECT_EQ(split.test_name, c.test) << c.file;
    EXPECT_EQ(split.test_code, c.code) << c.file;
    EXPECT_EQ(split.node_name, c.node) << c.file;
  }
}

TEST(Names, RefusesNamesThatLeaveTheirFolder) {
  for (const char* bad : {"", "..", "a/b", "a\\b", "../x", "x.."}) {
    EXPECT_FALSE(CheckName(bad, "node name")) << bad;
  }
  for (const char* good : {"5", "N-1", "测点3", "a.b"})
    EXPECT_TRUE(CheckName(good, "node")) << good;
}

TEST(Names, RefusesControlCharactersInOneLineAndNeverCleansThem) {
  // Every byte below 0x20 and DEL: a line break, a tab, an escape sequence, a bell.
  for (const std::string bad : {"a\nb", "a\rb", "\tx", "x\x1b[31m", "\x07", "a\x7f", "\x01"}) {
    const Status status = CheckName(bad, "node name");
    ASSERT_FALSE(status) << bad;
    EXPECT_EQ(status.error().message, kMsgBadValue);  // not the path-separator message
    EXPECT_NE(status.error().detail.find("node name \""), std::string::npos);
    EXPECT_NE(status.error().detail.find("control character"), std::string::npos);
    for (const char c : status.error().detail) {
      EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7f) << status.error().detail;
    }
  }
  EXPECT_NE(CheckName("a\nb", "test name").error().detail.find("\"a\\nb\""), std::string::npos);
}

TEST(NumberFormat, FormatsByCode) {
  EXPECT_EQ(FormatNumber(1234.5678, 0), "1234.57");
  EXPECT_EQ(FormatNumber(0.000123456, 4), "0.0001235");
  EXPECT_EQ(FormatNumber(2.5, -3), "2.500");
  EXPECT_EQ(FormatTime(12.5), "12.5");
  EXPECT_EQ(FormatTime(1.0 / 1024.0), "0.001");
  EXPECT_EQ(FormatTime(0.0), "0");
  EXPECT_EQ(FormatFrequency(1024.0), "1024");
  EXPECT_EQ(GetNumberFormatCode(0, 3), 0);
  EXPECT_EQ(GetNumberFormatCode(1, 3), 4);
  EXPECT_EQ(GetNumberFormatCode(2, 3), -3);
}

TEST(NumberFormat, ShortestTextReadsBackExactly) {
  EXPECT_EQ(ShortestText(0.1), "0.1");
  EXPECT_EQ(ShortestText(-10.0), "-10");
  EXPECT_EQ(ShortestText(1e300), "1e+300");
  EXPECT_EQ(ShortestText(1024.0), "1024");
  EXPECT_EQ(ShortestText(-std::numeric_limits<double>::infinity()), "-inf");
  EXPECT_EQ(ShortestText(std::nan("")), "nan");
  // No fixed number of digits is enough for these: 0.1 + 0.2 needs 17, 1/3 needs 16.
  for (const double value : {0.1 + 0.2, 1.0 / 3.0, -std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::max(), 9.094947017729282e-13}) {
    const std::string text = ShortestText(value);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
    EXPECT_LE(text.size(), 24u) << text;
  }
}

}  // namespace
}  // namespace torvwy::core
