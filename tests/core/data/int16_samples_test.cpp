// The raw values of 16-bit formats and the quotient table: every sample, bit for bit.
#include "core/data/int16_samples.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "core/data/sample_format.h"

namespace torvwy::core {
namespace {

// Every sample of a 16-bit format, converted as the reader converts them.
std::vector<double> EverySample(int32_t format) {
  std::vector<char> bytes;
  for (int32_t s = -32768; s <= 32767; ++s) {
    const auto u = static_cast<uint16_t>(static_cast<int16_t>(s));
    bytes.push_back(static_cast<char>(u & 0xff));
    bytes.push_back(static_cast<char>(u >> 8));
  }
  std::vector<double> raw(Int16Samples::kEntries);
  EXPECT_TRUE(ConvertSamples(format, raw, bytes).ok());
  return raw;
}

TEST(Int16Samples, EveryRawValueFindsItsOwnEntry) {
  for (const int32_t format : {706, 712, 861, 863, 951}) {
    SCOPED_TRACE(format);
    const auto samples = Int16Samples::Of(format);
    ASSERT_TRUE(samples.has_value());
    const std::vector<double> raw = EverySample(format);
    for (size_t j = 0; j < raw.size(); ++j) {
      ASSERT_EQ(samples->Value(j), raw[j]) << "entry " << j;
      ASSERT_EQ(samples->Entry(raw[j]), j) << "entry " << j;
    }
    // Values no sample of the format gives stay inside the table.
    EXPECT_EQ(samples->Entry(-1e300), 0u);
    EXPECT_EQ(samples->Entry(1e300), Int16Samples::kEntries - 1);
    EXPECT_EQ(samples->Entry(std::numeric_limits<double>::quiet_NaN()), 0u);
  }
  for (const int32_t format : {0, 111, 872, 885, 886, 12345}) {
    EXPECT_FALSE(Int16Samples::Of(format).has_value()) << format;
  }
}

// Raw values and differences of two raw values are steps, each finding its own entry.
TEST(Int16Samples, EveryStepFindsItsOwnEntry) {
  for (const int32_t format : {861, 951}) {
    SCOPED_TRACE(format);
    const auto steps = Int16Steps::Of(format);
    ASSERT_TRUE(steps.has_value());
    const std::vector<double> raw = EverySample(format);
    for (size_t j = 0; j < Int16Steps::kEntries; ++j) {
      ASSERT_EQ(steps->Entry(steps->Value(j)), j) << "entry " << j;
    }
    for (const auto& [a, b] : {std::pair{0u, 65535u}, std::pair{65535u, 0u}, std::pair{7u, 8u},
                               std::pair{40000u, 12u}}) {
      const double difference = raw[a] - raw[b];
      EXPECT_EQ(steps->Value(steps->Entry(difference)), difference) << a << " - " << b;
    }
    EXPECT_EQ(steps->Entry(raw[0]), 65536u - 32768u);
  }
  EXPECT_FALSE(Int16Steps::Of(886).has_value());
}

TEST(QuotientTable, DividesEverySampleAsTheDivisionDoes) {
  // Divisors with inexact quotients, a negative one, and ones whose quotients overflow or
  // become subnormal.
  for (const double divisor : {1.0, 3.0, 0.7 * 3.0, -7.3e-4, 1e-306, 1e306}) {
    SCOPED_TRACE(divisor);
    const auto table = QuotientTable::For(951, divisor);
    ASSERT_NE(table, nullptr);
    const std::vector<double> raw = EverySample(951);
    std::vector<double> divided = raw;
    table->Divide(divided);
    for (size_t j = 0; j < raw.size(); ++j) {
      ASSERT_EQ(std::bit_cast<uint64_t>(divided[j]), std::bit_cast<uint64_t>(raw[j] / divisor))
          << "entry " << j;
    }
  }
  // Values no sample gives go to the ends of the table, in pairs and in the odd one after them.
  const auto table = QuotientTable::For(951, 2.0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> outside{1e300, -1e300, nan, 1e300, nan};
  table->Divide(outside);
  const double top = 32767 * (10000.0 / 32768.0) / 2.0;
  const double bottom = -32768 * (10000.0 / 32768.0) / 2.0;
  EXPECT_EQ(outside, (std::vector<double>{top, bottom, bottom, top, bottom}));
  EXPECT_EQ(QuotientTable::For(885, 3.0), nullptr);
}

TEST(QuotientTable, AKeptTableOutlivesTheNextOne) {
  const auto first = QuotientTable::For(951, 3.0);
  EXPECT_EQ(QuotientTable::For(951, 3.0), first);  // the same calibration builds it once
  const auto other = QuotientTable::For(861, 3.0);
  const auto second = QuotientTable::For(951, 5.0);
  EXPECT_NE(second, first);
  std::vector<double> values{10000.0 / 32768.0 * 3};
  first->Divide(values);
  EXPECT_EQ(values[0], 10000.0 / 32768.0 * 3 / 3.0);
  values = {5000.0 / 32768.0 * 3};
  other->Divide(values);
  EXPECT_EQ(values[0], 5000.0 / 32768.0 * 3 / 3.0);
}

}  // namespace
}  // namespace torvwy::core
