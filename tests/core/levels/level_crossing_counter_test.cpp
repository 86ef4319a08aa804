// Level crossing counting against the hand-worked load history of the cycle-counting standard,
// hand-made loads on a level and at its gate, and a slow sample-by-sample reference.
#include "core/levels/level_crossing_counter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace torvwy::core {
namespace {

struct Crossings {
  std::vector<int64_t> up, down;
  bool operator==(const Crossings&) const = default;
};

Crossings Count(const std::vector<double>& levels, double gate, const std::vector<double>& x) {
  LevelCrossingCounter counter({.levels = levels, .gate = gate});
  counter.Feed(x);
  return {counter.up(), counter.down()};
}

/// The definition, sample by sample and level by level: a level turns above at x >= L and
/// below at x < L - G, and each turn is a crossing.
Crossings Reference(const std::vector<double>& levels, double gate, const std::vector<double>& x) {
  Crossings c{std::vector<int64_t>(levels.size()), std::vector<int64_t>(levels.size())};
  for (size_t i = 0; i < levels.size(); ++i) {
    bool above = x[0] >= levels[i];
    for (const double v : x) {
      if (!above && v >= levels[i]) {
        above = true;
        ++c.up[i];
      } else if (above && v < levels[i] - gate) {
        above = false;
        ++c.down[i];
      }
    }
  }
  return c;
}

TEST(LevelCrossingCounter, CountsTheStandardsLoadHistoryAsWorkedByHand) {
  // Levels -3 .. 4, no gate. The moves and the levels each crosses (x >= L is above L):
  //   -2 -> 1   up  -1 0 1          1 -> -3  down -2 -1 0 1
  //   -3 -> 5   up  -2 .. 4         5 -> -1  down 0 1 2 3 4     (-1 lands on -1: still above)
  //   -1 -> 3   up  0 1 2 3         3 -> -4  down -3 .. 3
  //   -4 -> 4   up  -3 .. 4         4 -> -2  down -1 .. 4       (-2 lands on -2)
  const std::vector<double> levels = {-3, -2, -1, 0, 1, 2, 3, 4};
  const std::vector<double> load = {-2, 1, -3, 5, -1, 3, -4, 4, -2};
  const Crossings counted = Count(levels, 0.0, load);
  EXPECT_EQ(counted.up, (std::vector<int64_t>{1, 2, 3, 4, 4, 3, 3, 2}));
  EXPECT_EQ(counted.down, (std::vector<int64_t>{1, 2, 3, 4, 4, 3, 3, 2}));
}

TEST(LevelCrossingCounter, ASampleOnALevelIsAboveItAndTheGateHoldsBackNoise) {
  const std::vector<double> zero = {0.0};
  // Resting on the level is being above it: one crossing up, one down.
  EXPECT_EQ(Count(zero, 0.0, {-1, 0, 0, 0, -1}), (Crossings{{1}, {1}}));
  // Starting on it and leaving downwards: no upward crossing, one downward.
  EXPECT_EQ(Count(zero, 0.0, {0, 0, -1, -1}), (Crossings{{0}, {1}}));
  // Noise around the level, all of it above L - G = -1: it counts once.
  EXPECT_EQ(Count(zero, 1.0, {-2, 0.5, -0.5, 0.1, -0.9, 0.5, -3}), (Crossings{{1}, {1}}));
  // Coming back exactly G beyond is not yet beyond: x = L - G stays inside the band.
  EXPECT_EQ(Count(zero, 1.0, {-2, 0.5, -1.0, 0.5, -1.5, 0.5}), (Crossings{{2}, {1}}));
  // A gate wider than every swing after the first crossing: one crossing.
  EXPECT_EQ(Count(zero, 10.0, {-20, 1, -1, 1, -1}), (Crossings{{1}, {0}}));
}

TEST(LevelCrossingCounter, EqualsTheReferenceOnRandomLoadsInAnyPiecesAndChunks) {
  std::mt19937 random(4);
  std::uniform_int_distribution<int> step(-6, 6);
  for (size_t length = 2; length <= 200; ++length) {
    // Integer loads, so that many samples sit exactly on a level or a band's edge.
    std::vector<double> x;
    double v = 0;
    for (size_t k = 0; k < length; ++k) x.push_back(v = std::clamp(v + step(random), -12.0, 12.0));
    const std::vector<double> levels =
        length % 3 == 0 ? std::vector<double>{-7.5, -2, 0, 0.5, 3, 9}
                        : std::vector<double>{-10, -8, -6, -4, -2, 0, 2, 4, 6, 8, 10};
    for (const double gate : {0.0, 0.5, 2.0, 5.0}) {
      SCOPED_TRACE(testing::Message() << "length " << length << ", gate " << gate);
      const Crossings expected = Reference(levels, gate, x);
      ASSERT_EQ(Count(levels, gate, x), expected);

      // Fed in two pieces, and counted in three chunks as the run cuts a record.
      const size_t a = 1 + random() % (length - 1);
      const size_t b = std::min(a + 1 + random() % (length - a), length);
      LevelCrossingCounter pieces({.levels = levels, .gate = gate});
      pieces.Feed(std::span(x).first(a));
      pieces.Feed(std::span(x).subspan(a));
      EXPECT_EQ((Crossings{pieces.up(), pieces.down()}), expected);
      LevelCrossingCounter first({.levels = levels, .gate = gate});
      LevelCrossingCounter second({.levels = levels, .gate = gate, .opens_range = false});
      LevelCrossingCounter third({.levels = levels, .gate = gate, .opens_range = false});
      // Chunks [0, a), [a, b), [b, length), each fed one sample more on either side it has.
      const auto window = [&x](size_t begin, size_t end) {
        const size_t from = begin == 0 ? 0 : begin - 1;
        return std::span(x).subspan(from, std::min(end + 1, x.size()) - from);
      };
      first.Feed(window(0, a));
      second.Feed(window(a, b));
      if (b < length) third.Feed(window(b, length));
      first.Join(second);
      first.Join(third);
      EXPECT_EQ((Crossings{first.up(), first.down()}), expected);

      // A state saved midway goes on exactly in another counter.
      CountStateWriter out;
      LevelCrossingCounter saved({.levels = levels, .gate = gate});
      saved.Feed(std::span(x).first(a));
      saved.SaveState(out);
      const std::string bytes = out.Take();
      CountStateReader in(bytes);
      LevelCrossingCounter restored({.levels = levels, .gate = gate});
      ASSERT_TRUE(restored.LoadState(in) && in.at_end());
      restored.Feed(std::span(x).subspan(a));
      EXPECT_EQ((Crossings{restored.up(), restored.down()}), expected);
    }
  }
}

TEST(LevelCrossingCounter, CountsRawSamplesAsTheReferenceCountsTheirConversions) {
  // Without a gate the raw values are counted against thresholds; these loads are integers under
  // factors whose divisions round, with levels on the converted values of samples themselves,
  // the partition edges k x W2 - A and an uneven list, fed across whole blocks, in pieces, in
  // chunks, and with infinities that the blocks leave to the sample-by-sample count.
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  const double c2 = 3.0, c1 = 0.7;
  const auto convert = [&](double raw) { return raw / c2 / c1; };
  std::vector<double> edges;
  for (int k = 0; k <= 20; ++k) edges.push_back(k * (2 * 30.0 / 20) - 30.0);
  std::vector<double> on_samples;
  for (int raw = -60; raw <= 60; raw += 7) on_samples.push_back(convert(raw));
  const std::vector<std::vector<double>> level_sets = {
      edges, on_samples, {-11.5, convert(-13), -0.25, convert(0), convert(1), 4, 19}, {convert(5)}};
  std::mt19937 random(12);
  std::uniform_int_distribution<int> step(-9, 9);
  std::vector<size_t> lengths;
  for (size_t length = 1; length <= 40; ++length) lengths.push_back(length);
  for (size_t length = 1020; length <= 1030; ++length) lengths.push_back(length);
  for (int k = 0; k < 20; ++k) lengths.push_back(2 + random() % 5000);
  for (const size_t length : lengths) {
    std::vector<double> x;
    double v = 0;
    for (size_t k = 0; k < length; ++k) {
      x.push_back(v = std::clamp(v + step(random), -70.0, 70.0));
      if (random() % 700 == 0) x.back() = random() % 2 ? kInfinity : -kInfinity;
    }
    std::vector<double> converted(x.size());
    std::transform(x.begin(), x.end(), converted.begin(), convert);
    for (const std::vector<double>& levels : level_sets) {
      SCOPED_TRACE(testing::Message() << "length " << length << ", " << levels.size() << " levels");
      const Crossings expected = Reference(levels, 0.0, converted);
      const CrossingSetup setup{.levels = levels, .c1 = c1, .c2 = c2};
      LevelCrossingCounter whole(setup);
      whole.Feed(x);
      ASSERT_EQ((Crossings{whole.up(), whole.down()}), expected);

      // In random pieces, read out midway (the counts settle and go on), and in two chunks.
      LevelCrossingCounter pieces(setup);
      for (size_t begin = 0; begin < length;) {
        const size_t size = std::min<size_t>(length - begin, 1 + random() % 1500);
        pieces.Feed(std::span(x).subspan(begin, size));
        const auto midway = pieces.up();
        begin += size;
        if (begin < length) {
          const std::vector<double> so_far(converted.begin(), converted.begin() + begin);
          EXPECT_EQ(midway, Reference(levels, 0.0, so_far).up);
        }
      }
      EXPECT_EQ((Crossings{pieces.up(), pieces.down()}), expected);
      if (length < 3) continue;
      const size_t a = 1 + random() % (length - 1);
      LevelCrossingCounter first(setup);
      CrossingSetup later_setup = setup;
      later_setup.opens_range = false;
      LevelCrossingCounter second(later_setup);
      // Chunks [0, a) and [a, length), each fed one sample more on the side it has.
      first.Feed(std::span(x).first(a + 1));
      second.Feed(std::span(x).subspan(a - 1));
      first.Join(second);
      EXPECT_EQ((Crossings{first.up(), first.down()}), expected);
    }
  }
}

TEST(LevelCrossingCounter, EqualsTheReferenceOnAFewMillionSamples) {
  std::mt19937 random(9);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<double> x(3'000'000);
  double v = 0.0;
  for (double& s : x) s = v = 0.98 * v + noise(random);
  std::vector<double> levels;
  for (int k = -20; k <= 20; ++k) levels.push_back(k * 0.75);
  for (const double gate : {0.0, 0.3}) {
    EXPECT_EQ(Count(levels, gate, x), Reference(levels, gate, x)) << "gate " << gate;
  }
}

}  // namespace
}  // namespace torvwy::core
