// Sample conversion of every format, the inverse encoding and unknown codes.
#include "core/data/sample_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
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

// The bulk conversion against a sample-by-sample conversion written here, compared bit for bit,
// for every length up to three lanes' worth past a vector step and at every byte offset, so the
// vector body, its tail and unaligned input are all covered.
TEST(SampleFormat, BulkConversionEqualsOneSampleAtATimeBitForBit) {
  std::mt19937 random(19);
  const auto int16_of = [](const char* p) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return static_cast<double>(v);
  };
  const auto int32_of = [](const char* p) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return static_cast<double>(v);
  };
  const auto float_of = [](const char* p) {
    float v;
    std::memcpy(&v, p, 4);
    return static_cast<double>(v);
  };
  const auto double_of = [](const char* p) {
    double v;
    std::memcpy(&v, p, 8);
    return v;
  };
  using Limits16 = std::numeric_limits<int16_t>;
  using Limits32 = std::numeric_limits<int32_t>;
  using LimitsF = std::numeric_limits<float>;
  using LimitsD = std::numeric_limits<double>;
  // Every int16 value, then the special values each format can hold, then random bytes.
  std::string every_int16;
  for (int v = Limits16::min(); v <= Limits16::max(); ++v) {
    every_int16 += Bytes<int16_t>({static_cast<int16_t>(v)});
  }
  const std::string int32_specials =
      Bytes<int32_t>({Limits32::min(), Limits32::min() + 1, -1, 0, 1, Limits32::max(), 12345678});
  const std::string float_specials = Bytes<float>(
      {LimitsF::quiet_NaN(), -LimitsF::quiet_NaN(), LimitsF::signaling_NaN(), LimitsF::infinity(),
       -LimitsF::infinity(), -0.0f, 0.0f, LimitsF::denorm_min(), -LimitsF::denorm_min(),
       LimitsF::min(), LimitsF::max(), LimitsF::lowest(), 1.0f / 3.0f});
  const std::string double_specials =
      Bytes<double>({LimitsD::quiet_NaN(), LimitsD::infinity(), -LimitsD::infinity(), -0.0,
                     LimitsD::denorm_min(), LimitsD::max(), LimitsD::lowest()});
  std::string noise(4096, '\0');
  for (char& c : noise) c = static_cast<char>(random());

  struct Case {
    int32_t format;
    size_t size;
    double (*load)(const char*);
    double numerator;
    double denominator;
    std::string specials;
  };
  const std::vector<Case> cases = {
      {951, 2, +int16_of, 10000.0, 32768.0, every_int16},
      {706, 2, +int16_of, 10000.0, 32768.0, every_int16},
      {712, 2, +int16_of, 10000.0, 32768.0, every_int16},
      {861, 2, +int16_of, 5000.0, 32768.0, every_int16},
      {863, 2, +int16_of, 5000.0, 32768.0, every_int16},
      {872, 4, +int32_of, 10000.0, 2147483648.0, int32_specials},
      {885, 4, +float_of, 1.0, 1.0, float_specials},
      {111, 4, +float_of, 1.0, 1.0, float_specials},
      {886, 8, +double_of, 1.0, 1.0, double_specials},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    const auto expect_same = [&](const std::string& raw) {
      const size_t n = raw.size() / c.size;
      std::vector<double> out(n + 1, 99.0);
      ASSERT_TRUE(ConvertSamples(c.format, out, raw).ok());
      for (size_t i = 0; i < n; ++i) {
        double v = c.load(raw.data() + i * c.size);
        if (c.numerator != 1.0) v = v * c.numerator / c.denominator;
        ASSERT_EQ(std::memcmp(&v, &out[i], sizeof v), 0)
            << "sample " << i << " of " << n << ": " << v << " became " << out[i];
      }
      EXPECT_EQ(out[n], 99.0) << "wrote past the samples";
    };
    expect_same(c.specials);
    for (size_t offset = 0; offset < c.size + 1; ++offset) {
      for (size_t n = 0; n <= 27; ++n) {
        expect_same(noise.substr(offset, n * c.size));
        expect_same((c.specials + c.specials)
                        .substr(offset * c.size % c.specials.size(),
                                std::min(n, c.specials.size() / c.size) * c.size));
      }
    }
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

TEST(SampleFormat, StoringARawValueSaysWhatReadsBackAndWhetherItIsClipped) {
  // 951: s x 10000 / 32768; a step is 0.30517578125 raw units, the range -10000..9999.6948.
  const double step = 10000.0 / 32768.0;
  const double float_max = 3.4028234663852886e38;
  struct Case {
    int32_t format;
    double raw;
    double reads_back;
    bool in_range;
  };
  const Case cases[] = {
      {951, 1.0, 3 * step, true},              // 3.2768 steps round to 3
      {951, -10000.0, -10000.0, true},         // the lowest integer exactly
      {951, 9999.85, 32767 * step, false},     // 32767.51 steps round to 32768: clipped
      {951, 9999.8, 32767 * step, true},       // 32767.34 steps round to 32767
      {951, -10000.16, -10000.0, false},       // -32768.52 steps: beyond the lowest
      {951, 0.0762939453125, 0.0, true},       // a quarter step
      {861, 4999.9, 32767 * step / 2, true},   // 861 steps are half as large
      {861, 5000.0, 32767 * step / 2, false},  //
      {872, 10000.0, 2147483647 * (10000.0 / 2147483648.0), false},
      {885, 0.1, static_cast<double>(0.1f), true},
      {885, 3.5e38, float_max, false},  // beyond the largest float
      {111, -1e39, -float_max, false},
      {886, 1e-310, 1e-310, true},  // float64 keeps a subnormal as it is
      {886, HUGE_VAL, HUGE_VAL, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.format) + " " + std::to_string(c.raw));
    const StoredRawValue stored = StoreRawValue(c.format, c.raw);
    EXPECT_EQ(stored.value, c.reads_back);
    EXPECT_EQ(stored.in_range, c.in_range);
    if (c.in_range && c.format != 886) {
      // What EncodeSamples writes and ConvertSamples reads back.
      std::string bytes;
      ASSERT_TRUE(EncodeSamples(c.format, std::vector<double>{c.raw}, bytes));
      std::vector<double> back(1);
      ASSERT_TRUE(ConvertSamples(c.format, back, bytes));
      EXPECT_EQ(back[0], c.reads_back);
    }
  }
  EXPECT_FALSE(StoreRawValue(951, std::nan("")).in_range);
  EXPECT_FALSE(StoreRawValue(885, std::nan("")).in_range);

  auto range = GetRawValueRange(951);
  ASSERT_TRUE(range);
  EXPECT_EQ(range->lowest, -10000.0);
  EXPECT_EQ(range->highest, 32767 * step);
  EXPECT_EQ(range->step, step);
  range = GetRawValueRange(863);
  ASSERT_TRUE(range);
  EXPECT_EQ(range->lowest, -5000.0);
  EXPECT_EQ(GetRawValueRange(885)->highest, float_max);
  EXPECT_FALSE(GetRawValueRange(950));
}

TEST(SampleFormat, EncodingClampsToTheIntegerRange) {
  std::string encoded;
  const std::vector<double> values = {20000.0, -20000.0, std::nan("")};
  ASSERT_TRUE(EncodeSamples(951, values, encoded));
  EXPECT_EQ(encoded, Bytes<int16_t>({32767, -32768, -32768}));
}

}  // namespace
}  // namespace torvwy::core

namespace torvwy::core {
namespace {

// The rule written out: the first value above every one before it, and the first below.
ExtremePositions ExtremesByRule(const std::vector<double>& x) {
  ExtremePositions p;
  for (size_t i = 1; i < x.size(); ++i) {
    if (x[i] > x[static_cast<size_t>(p.largest)]) p.largest = static_cast<int64_t>(i);
    if (x[i] < x[static_cast<size_t>(p.smallest)]) p.smallest = static_cast<int64_t>(i);
  }
  return p;
}

TEST(SampleFormat, ExtremePositionsAreTheFirstOfEqualsAtEveryLength) {
  std::mt19937 random(5);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  // Few distinct values, so that the extremes repeat; signed zeros, infinities and NaN.
  const std::vector<double> pool{-2.0, -1.0, -0.0, 0.0, 1.0, 2.0, inf, -inf, nan};
  for (size_t length = 0; length <= 70; ++length) {
    for (int round = 0; round < 40; ++round) {
      std::vector<double> x(length);
      const size_t kinds = round < 20 ? 6 : pool.size();  // half of the rounds without NaN or inf
      for (double& v : x) v = pool[random() % kinds];
      ExtremePositions got;
      FindExtremePositions(x, &got);
      const ExtremePositions want = ExtremesByRule(x);
      ASSERT_EQ(got.largest, want.largest) << "length " << length << " round " << round;
      ASSERT_EQ(got.smallest, want.smallest) << "length " << length << " round " << round;
    }
  }
}

}  // namespace
}  // namespace torvwy::core
