// Sample conversion of every format, the inverse encoding and unknown codes.
#include "core/data/sample_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace torvwy::core {
namespace {

template <typename T>
std::string Bytes(std::initializer_list<T> values) {
  std::string out;
  for (T v : values) out.append(reinterpret_cast<const char*>(&v), sizeof v);
  return out;
}

TEST(SampleFormat, ConvertsEveryFormat) {
  struct Case {
    int32_t format;
    int size;
    std::string raw;
    std::vector<double> expected;
  };
  const std::vector<Case> cases = {
      {951,
       2,
       Bytes<int16_t>({-32768, 0, 16384, 32767}),
       {-10000.0, 0.0, 5000.0, 32767 * 10000.0 / 32768}},
      {706, 2, Bytes<int16_t>({16384}), {5000.0}},
      {712, 2, Bytes<int16_t>({-16384}), {-5000.0}},
      {861, 2, Bytes<int16_t>({16384}), {2500.0}},
      {863, 2, Bytes<int16_t>({-32768}), {-5000.0}},
      {872, 4, Bytes<int32_t>({1073741824, -2147483647 - 1}), {5000.0, -10000.0}},
      {885, 4, Bytes<float>({1.5f, -0.25f}), {1.5, -0.25}},
      {111, 4, Bytes<float>({3.0f}), {3.0}},
      {886, 8, Bytes<double>({1e300, -7.125}), {1e300, -7.125}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(*GetSampleSize(c.format), c.size) << c.format;
    std::vector<double> out(c.expected.size());
    ASSERT_TRUE(ConvertSamples(c.format, out, c.raw)) << c.format;
    EXPECT_EQ(out, c.expected) << c.format;
    // Encoding the raw values gives the stored samples back.
    std::string encoded;
    ASSERT_TRUE(EncodeSamples(c.format, c.expected, encoded));
    EXPECT_EQ(encoded, c.raw) << c.format;
  }
}

TEST(SampleFormat, ReportsPositionsOfTheFirstExtremes) {
  const std::string raw = Bytes<int16_t>({3, 9, -4, 9, -4, 0});
  std::vector<double> out(6);
  ExtremePositions positions;
  ASSERT_TRUE(ConvertSamples(951, out, raw, &positions));
  EXPECT_EQ(positions.largest, 1);
  EXPECT_EQ(positions.smallest, 2);
}

TEST(SampleFormat, UnknownCodesAreErrorsNotCrashes) {
  std::vector<double> out(4);
  for (int32_t code : {0, 1, 950, -951, 100000}) {
    EXPECT_FALSE(IsKnownFormat(code));
    EXPECT_FALSE(GetSampleSize(code)) << code;
    EXPECT_FALSE(GetFormatFullScale(code)) << code;
    EXPECT_FALSE(ConvertSamples(code, out, std::string(8, '\0'))) << code;
    std::string encoded;
    EXPECT_FALSE(EncodeSamples(code, out, encoded)) << code;
  }
}

TEST(SampleFormat, EncodingClampsToTheIntegerRange) {
  std::string encoded;
  const std::vector<double> values = {20000.0, -20000.0, std::nan("")};
  ASSERT_TRUE(EncodeSamples(951, values, encoded));
  EXPECT_EQ(encoded, Bytes<int16_t>({32767, -32768, -32768}));
}

}  // namespace
}  // namespace torvwy::core
