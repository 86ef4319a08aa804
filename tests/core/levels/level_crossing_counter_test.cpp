// Level crossing counting against the hand-worked load history of the cycle-counting standard,
// hand-made loads on a level and at its gate, and a slow sample-by-sample reference.
#include "core/levels/level_crossing_counter.h"

#include <gtest/gtest.h>

#include <algorithm>
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
