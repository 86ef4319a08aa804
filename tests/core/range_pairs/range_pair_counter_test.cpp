// Range-pair counting against the standard's load history worked by hand, and a literal
// reference of the standard's steps on random loads, whole, in pieces and across a saved state.
#include "core/range_pairs/range_pair_counter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace torvwy::core {
namespace {

struct Histograms {
  std::vector<int32_t> two_way, one_way;
  int64_t left_over = 0;
  bool operator==(const Histograms&) const = default;
};

void PrintTo(const Histograms& h, std::ostream* out) {
  *out << "two-way " << testing::PrintToString(h.two_way) << ", one-way "
       << testing::PrintToString(h.one_way) << ", left over " << h.left_over;
}

Histograms Of(const RangePairResult& count) {
  const auto n = static_cast<size_t>(count.partitions);
  return {{count.two_way_counts.begin(), count.two_way_counts.begin() + n},
          {count.one_way_counts.begin(), count.one_way_counts.begin() + n},
          count.left_over_ranges};
}

RangePairResult Count(const std::vector<double>& x, int32_t n, double a) {
  auto counter = RangePairCounter::Create({.partitions = n, .amplitude_range = a});
  EXPECT_TRUE(counter.ok());
  counter->Feed(x);
  return counter->Finish();
}

/// The standard's steps, literally: the points are the first sample, the samples where the load
/// turns (the first of a flat top or bottom) and the last sample; read a point, and while three
/// or more are kept compare X (the newest range) with Y (the one before it): X >= Y counts Y as
/// one cycle and discards its two points. The counted ranges go into the partitions by a scan
/// of the edges.
Histograms Reference(const std::vector<double>& x, int32_t n, double a) {
  std::vector<double> points = {x[0]};
  for (size_t j = 1; j + 1 < x.size(); ++j) {
    if ((x[j] > x[j - 1] && x[j] >= x[j + 1]) || (x[j] < x[j - 1] && x[j] <= x[j + 1])) {
      points.push_back(x[j]);
    }
  }
  if (x.size() >= 2 && x.back() != points.back()) points.push_back(x.back());
  std::vector<double> kept, counted;
  for (const double p : points) {
    kept.push_back(p);
    while (kept.size() >= 3) {
      const size_t t = kept.size() - 1;
      if (std::fabs(kept[t] - kept[t - 1]) < std::fabs(kept[t - 1] - kept[t - 2])) break;
      counted.push_back(kept[t - 1] - kept[t - 2]);
      kept.erase(kept.end() - 3, kept.end() - 1);
    }
  }
  Histograms h{std::vector<int32_t>(static_cast<size_t>(n)),
               std::vector<int32_t>(static_cast<size_t>(n)), static_cast<int64_t>(kept.size()) - 1};
  const double w2 = (a + a) / n, w1 = a / n;
  for (const double r : counted) {
    if (r < -a || r > a) continue;
    int32_t k2 = 0, k1 = 0;
    while (k2 < n - 1 && (k2 + 1) * w2 - a < r) ++k2;
    while (k1 < n - 1 && (k1 + 1) * w1 < std::fabs(r)) ++k1;
    ++h.two_way[static_cast<size_t>(k2)];
    ++h.one_way[static_cast<size_t>(k1)];
  }
  return h;
}

TEST(RangePairCounter, CountsTheStandardsLoadHistoryAsWorkedByHand) {
  // Points A..I = -2 1 -3 5 -1 3 -4 4 -2 (every sample a turning point or an end).
  //   read A B C: X = |C - B| = 4 >= Y = |B - A| = 3: count A-B (+3), keep C
  //   read D E:   X = |E - D| = 6 <  Y = |D - C| = 8
  //   read F:     X = |F - E| = 4 <  Y = 6
  //   read G:     X = |G - F| = 7 >= Y = 4: count E-F (+4); then C D G: X = 9 >= Y = 8: count
  //               C-D (+8), keep G
  //   read H I:   X = |I - H| = 6 <  Y = |H - G| = 8; out of points: G H I are left over, two
  //               ranges, neither counted.
  // With A = 10, N = 5: two-way W2 = 4, +3 and +4 in (2, 6], +8 in (6, 10]; one-way W1 = 2, 3
  // and 4 in (2, 4], 8 in (6, 8].
  const RangePairResult count = Count({-2, 1, -3, 5, -1, 3, -4, 4, -2}, 5, 10.0);
  EXPECT_EQ(Of(count), (Histograms{{0, 0, 0, 2, 1}, {0, 2, 0, 1, 0}, 2}));
}

TEST(RangePairCounter, EqualsTheLiteralStepsOnRandomLoadsWholeInPiecesAndAfterASavedState) {
  std::mt19937 random(8);
  std::uniform_int_distribution<int> step(-7, 7);
  for (size_t length = 2; length <= 200; ++length) {
    std::vector<double> x;
    double v = 0;
    for (size_t k = 0; k < length; ++k) x.push_back(v = std::clamp(v + step(random), -15.0, 15.0));
    SCOPED_TRACE(testing::Message() << "length " << length);
    const Histograms expected = Reference(x, 7, 20.0);
    ASSERT_EQ(Of(Count(x, 7, 20.0)), expected);

    const size_t a = 1 + random() % (length - 1);
    auto pieces = RangePairCounter::Create({.partitions = 7, .amplitude_range = 20.0});
    pieces->Feed(std::span(x).first(a));
    const RangePairResult midway = pieces->Finish();  // a look midway changes nothing
    EXPECT_EQ(Of(midway), Reference(std::vector<double>(x.begin(), x.begin() + a), 7, 20.0));
    CountStateWriter out;
    pieces->SaveState(out);
    pieces->Feed(std::span(x).subspan(a));
    EXPECT_EQ(Of(pieces->Finish()), expected);

    const std::string bytes = out.Take();
    CountStateReader in(bytes);
    auto restored = RangePairCounter::Create({.partitions = 7, .amplitude_range = 20.0});
    ASSERT_TRUE(restored->LoadState(in) && in.at_end());
    restored->Feed(std::span(x).subspan(a));
    EXPECT_EQ(Of(restored->Finish()), expected);
  }
}

TEST(RangePairCounter, EqualsTheLiteralStepsOnAFewMillionSamples) {
  std::mt19937 random(3);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<double> x(3'000'000);
  double v = 0.0;
  for (double& s : x) s = v = 0.97 * v + noise(random);
  EXPECT_EQ(Of(Count(x, 40, 12.0)), Reference(x, 40, 12.0));
}

}  // namespace
}  // namespace torvwy::core
