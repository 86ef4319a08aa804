// GBK conversion and cutting at character boundaries.
#include "core/services/gbk.h"

#include <gtest/gtest.h>

#include <array>

namespace torvwy::core {
namespace {

TEST(Gbk, RoundTripsChineseAndAscii) {
  const std::string text = "测点 5 应变 MPa";
  const std::string gbk = Utf8ToGbk(text);
  // "测" is 0xB2 0xE2 in GBK: two bytes per Chinese character.
  EXPECT_EQ(static_cast<unsigned char>(gbk[0]), 0xB2);
  EXPECT_EQ(static_cast<unsigned char>(gbk[1]), 0xE2);
  EXPECT_EQ(gbk.size(), 4u + 3u + 4u + 4u);
  EXPECT_EQ(GbkToUtf8(gbk), text);
}

TEST(Gbk, CutsNeverInsideATwoByteCharacter) {
  const std::string gbk = Utf8ToGbk("a测点");  // 1 + 2 + 2 bytes
  struct Case {
    size_t max;
    size_t kept;
  };
  for (const Case& c :
       {Case{0, 0}, Case{1, 1}, Case{2, 1}, Case{3, 3}, Case{4, 3}, Case{5, 5}, Case{9, 5}}) {
    EXPECT_EQ(CutGbk(gbk, c.max).size(), c.kept) << "max " << c.max;
  }
  // A dangling lead byte at the end of the text is dropped too.
  EXPECT_EQ(CutGbk(std::string("ab\xB2"), 10), "ab");
}

TEST(Gbk, FieldsAreZeroTerminatedAndCutToTheirWidth) {
  std::array<char, 6> field;
  field.fill('x');
  StoreGbkField(field, "ab测点");  // 6 GBK bytes; room for 5 plus the zero
  EXPECT_EQ(std::string(field.data()), Utf8ToGbk("ab测"));
  EXPECT_EQ(field[4], '\0');
  EXPECT_EQ(field[5], '\0');
  EXPECT_EQ(LoadGbkField(field), "ab测");
}

TEST(Gbk, InvalidInputIsReplacedNotLost) {
  EXPECT_EQ(GbkToUtf8("a\xFF"
                      "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80"
                      "b"),
            "a?b");  // an emoji has no GBK form
}

}  // namespace
}  // namespace torvwy::core
