// Time at level against a slow reference that finds each sample's partition by scanning the
// edges, whole, in pieces, in chunks, across a saved state and by the table of a long record.
#include "core/levels/time_at_level_counter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "core/data/sample_format.h"

namespace torvwy::core {
namespace {

/// Samples per partition, and outside [-A, A] last: the edges (k + 1) x W2 - A scanned upwards.
std::vector<int64_t> Reference(const std::vector<double>& raw, int32_t n, double a, double c1,
                               double c2) {
  std::vector<int64_t> counts(static_cast<size_t>(n) + 1);
  const double w2 = (a + a) / n;
  for (const double r : raw) {
    const double v = r / c2 / c1;
    if (v < -a || v > a) {
      ++counts.back();
      continue;
    }
    int32_t k = 0;
    while (k < n - 1 && (k + 1) * w2 - a < v) ++k;
    ++counts[static_cast<size_t>(k)];
  }
  return counts;
}

LevelTimeSetup PartitionsOf(int32_t n, double a, double c1, double c2) {
  LevelTimeSetup setup;
  setup.partitions = n;
  setup.amplitude_range = a;
  setup.c1 = c1;
  setup.c2 = c2;
  return setup;
}

std::vector<int64_t> WithOutside(const TimeAtLevelCounter& counter) {
  std::vector<int64_t> counts = counter.Counts();
  int64_t inside = 0;
  for (const int64_t c : counts) inside += c;
  counts.push_back(counter.samples() - inside);
  return counts;
}

TEST(TimeAtLevelCounter, EqualsTheReferenceWholeInPiecesInChunksAndAfterASavedState) {
  std::mt19937 random(5);
  std::uniform_int_distribution<int> step(-5, 5);
  const LevelTimeSetup setup = PartitionsOf(8, 12.0, 2.0, 0.5);
  for (size_t length = 2; length <= 200; ++length) {
    // Integer values in EU, many exactly on a partition edge (W2 = 3) or on -A and A.
    std::vector<double> x;
    double v = 0;
    for (size_t k = 0; k < length; ++k) x.push_back(v = std::clamp(v + step(random), -14.0, 14.0));
    SCOPED_TRACE(testing::Message() << "length " << length);
    const auto expected = Reference(x, 8, 12.0, 2.0, 0.5);

    auto whole = TimeAtLevelCounter::Create(setup);
    ASSERT_TRUE(whole.ok());
    whole->Feed(x);
    ASSERT_EQ(WithOutside(*whole), expected);

    const size_t a = 1 + random() % (length - 1);
    const size_t b = std::min(a + 1 + random() % (length - a), length);
    auto pieces = TimeAtLevelCounter::Create(setup);
    pieces->Feed(std::span(x).first(a));
    pieces->Feed(std::span(x).subspan(a));
    EXPECT_EQ(WithOutside(*pieces), expected);

    // Chunks [0, a), [a, b), [b, length), each fed one sample more on either side it has.
    const auto window = [&x](size_t begin, size_t end) {
      const size_t from = begin == 0 ? 0 : begin - 1;
      return std::span(x).subspan(from, std::min(end + 1, x.size()) - from);
    };
    LevelTimeSetup later = setup;
    later.opens_range = false;
    auto first = TimeAtLevelCounter::Create(setup);
    auto second = TimeAtLevelCounter::Create(later);
    auto third = TimeAtLevelCounter::Create(later);
    first->Feed(window(0, a));
    second->Feed(window(a, b));
    if (b < length) third->Feed(window(b, length));
    first->Join(*second);
    if (b < length) first->Join(*third);
    EXPECT_EQ(WithOutside(*first), expected);

    CountStateWriter out;
    pieces = TimeAtLevelCounter::Create(setup);
    pieces->Feed(std::span(x).first(a));
    pieces->SaveState(out);
    const std::string bytes = out.Take();
    CountStateReader in(bytes);
    auto restored = TimeAtLevelCounter::Create(setup);
    ASSERT_TRUE(restored->LoadState(in) && in.at_end());
    restored->Feed(std::span(x).subspan(a));
    EXPECT_EQ(WithOutside(*restored), expected);
  }
}

TEST(TimeAtLevelCounter, ALongSixteenBitRecordCountsAlikeByItsTable) {
  // Raw values of format 951 (s x 10000 / 32768), a random walk over the whole scale.
  std::mt19937 random(6);
  std::uniform_int_distribution<int> step(-300, 300);
  std::vector<double> raw(3'000'000);
  int s = 0;
  for (double& r : raw) r = (s = std::clamp(s + step(random), -32768, 32767)) * 10000.0 / 32768.0;
  const LevelTimeSetup setup = PartitionsOf(40, 4000.0, 1.25, 1.0);
  auto counter = TimeAtLevelCounter::Create(setup);
  ASSERT_TRUE(counter.ok());
  counter->UseSampleTable(kFormatInt16);
  counter->Feed(raw);
  EXPECT_EQ(WithOutside(*counter), Reference(raw, 40, 4000.0, 1.25, 1.0));
}

}  // namespace
}  // namespace torvwy::core
