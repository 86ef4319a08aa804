// The vector paths of the counting kernels against their scalar path and the rules written out,
// at every tail length: turning points, proven partition guesses, envelope extremes, and whole
// peak and range counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <span>
#include <vector>

#include "core/counting/partition_index.h"
#include "core/counting/partition_kernel.h"
#include "core/counting/simd_levels.h"
#include "core/counting/turning_points.h"
#include "core/data/envelope.h"
#include "core/data/sampling_info.h"
#include "core/peak/peak_counter.h"
#include "core/range/range_counter.h"

namespace torvwy::core {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Samples with plateaus (few distinct values), and now and then a NaN, an infinity or -0.
std::vector<double> Samples(size_t count, uint32_t seed, bool specials) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> level(-3, 3);
  std::uniform_int_distribution<int> special(0, 40);
  std::vector<double> x(count);
  for (double& v : x) {
    v = level(rng) * 0.25;
    if (!specials) continue;
    const int s = special(rng);
    v = s == 0 ? kNaN : s == 1 ? kInf : s == 2 ? -kInf : s == 3 ? -0.0 : v;
  }
  return x;
}

// Peaks and valleys in two lists and all turning points in one, appended to lists that already
// hold values, as the rule finds them; nothing is written past the lists' slack.
TEST(VectorKernelsTest, TurningPointsAtEveryLengthAndLevel) {
  int failures = 0;
  for (size_t count = 0; count <= 200; ++count) {
    const std::vector<double> x = Samples(count + 2, static_cast<uint32_t>(count), true);
    std::vector<double> peaks{7.0, 8.0};
    std::vector<double> valleys{9.0};
    std::vector<double> all{7.0};
    for (size_t j = 1; j <= count; ++j) {
      const double* c = x.data() + j;
      if (c[0] > c[-1] && c[0] >= c[1]) peaks.push_back(c[0]);
      if (c[0] < c[-1] && c[0] <= c[1]) valleys.push_back(c[0]);
      if ((c[0] > c[-1] && c[0] >= c[1]) || (c[0] < c[-1] && c[0] <= c[1])) all.push_back(c[0]);
    }
    // Compares bit for bit (NaN is never a turning point, but -0 and +0 must not swap).
    const auto same = [](const std::vector<double>& got, size_t n,
                         const std::vector<double>& want) {
      return n == want.size() && std::memcmp(got.data(), want.data(), n * sizeof(double)) == 0;
    };
    constexpr double kGuard = 12345.5;
    for (SimdLevel level : kLevels) {
      const LevelInUse use(level);
      std::vector<double> first(count + 2 + kCollectSlack + 1, kGuard);
      std::vector<double> second(first.size(), kGuard);
      first[0] = 7.0;
      first[1] = 8.0;
      second[0] = 9.0;
      const TurningPointCounts n =
          CollectTurningPoints(x.data() + 1, count, first.data(), second.data(), {2, 1});
      std::vector<double> one(first.size(), kGuard);
      one[0] = 7.0;
      const TurningPointCounts m =
          CollectTurningPoints(x.data() + 1, count, one.data(), nullptr, {1, 0});
      const bool ok =
          same(first, n.first, peaks) && same(second, n.second, valleys) &&
          same(one, m.first, all) && m.second == 0 && first[n.first + kCollectSlack] == kGuard &&
          second[n.second + kCollectSlack] == kGuard && one[m.first + kCollectSlack] == kGuard;
      if (!ok && ++failures <= 5) {
        ADD_FAILURE() << SimdLevelName(use.used()) << " count " << count;
      }
    }
  }
  EXPECT_EQ(failures, 0);
}

// Reversals of the direction, as rainflow counting finds its turning points: every length, both
// starting directions, on plateaus and NaN (which send the vector loops to the scalar one) and
// on a load whose every step is up or down (which keeps them in the vector loops).
TEST(VectorKernelsTest, ReversalsAtEveryLengthAndLevel) {
  int failures = 0;
  for (size_t count = 0; count <= 120; ++count) {
    for (const bool plateaus : {true, false}) {
      std::vector<double> x = Samples(count + 1, static_cast<uint32_t>(count) + 500, plateaus);
      if (!plateaus) {
        std::mt19937 rng(static_cast<uint32_t>(count));
        double level = 0.0;
        for (double& v : x) v = level += (rng() % 2 == 0 ? -1.0 : 1.0) * (1 + rng() % 3);
      }
      for (const int start : {1, -1}) {
        // The rule, sample by sample.
        std::vector<double> want;
        int want_direction = start;
        for (size_t j = 1; j <= count; ++j) {
          const int step = (x[j] > x[j - 1]) - (x[j] < x[j - 1]);
          if (step == -want_direction) want.push_back(x[j - 1]);
          if (step != 0) want_direction = step;
        }
        for (SimdLevel level : kLevels) {
          const LevelInUse use(level);
          std::vector<double> out(count + kCollectSlack, 12345.5);
          int direction = start;
          const size_t found = CollectReversals(x.data() + 1, count, x[0], direction, out.data());
          const bool ok =
              found == want.size() && direction == want_direction &&
              (found == 0 || std::memcmp(out.data(), want.data(), found * sizeof(double)) == 0);
          if (!ok && ++failures <= 5) {
            ADD_FAILURE() << SimdLevelName(use.used()) << " count " << count
                          << (plateaus ? " plateaus" : " steps") << " start " << start;
          }
        }
      }
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(VectorKernelsTest, ProvenGuessesAreTheIndexAndAgreeAtEveryLevel) {
  std::mt19937 rng(7);
  int failures = 0;
  for (const auto& [n, a] :
       {std::pair{25, 10.0}, std::pair{100, 3e-7}, std::pair{2000, 12345.678}, std::pair{7, 1.0}}) {
    const double w2 = (a + a) / n;
    const double w1 = a / n;
    const PartitionIndex two_way = PartitionIndex::TwoWay(n, a, w2);
    const PartitionIndex one_way = PartitionIndex::OneWay(n, w1);
    const PartitionGuess guess{.a = a,
                               .two_way_scale = 1.0 / w2,
                               .one_way_scale = 1.0 / w1,
                               .partitions = static_cast<double>(n),
                               .lanes = 4};
    // Values on, next to and between edges, beyond A, and not numbers.
    std::vector<double> values = {0.0, -0.0, a, -a, kNaN, kInf, -kInf, a * 1.5, -a * 1.5};
    for (int32_t k = 0; k < n; ++k) {
      for (double e : {two_way.edge(k), one_way.edge(k), -one_way.edge(k)}) {
        values.insert(values.end(), {e, std::nextafter(e, kInf), std::nextafter(e, -kInf)});
      }
    }
    std::uniform_real_distribution<double> any(-a * 1.1, a * 1.1);
    for (int i = 0; i < 2000; ++i) values.push_back(any(rng));
    std::shuffle(values.begin(), values.end(), rng);
    for (size_t count = 0; count <= 64; ++count) {
      for (size_t begin = 0; begin + count <= values.size(); begin += 61) {
        uint64_t scalar_bits = 0;
        std::vector<int32_t> scalar2(64), scalar1(64);
        for (SimdLevel level : kLevels) {
          const LevelInUse use(level);
          std::vector<int32_t> k2(64, -1), k1(64, -1);
          const uint64_t bits =
              GuessProvenPartitions(values.data() + begin, count, guess, k2.data(), k1.data());
          if (level == SimdLevel::kScalar) scalar_bits = bits;
          for (size_t j = 0; j < count; ++j) {
            if (!((bits >> j) & 1)) continue;
            const double v = values[begin + j];
            const int32_t lane = static_cast<int32_t>(j % 4);
            if ((k2[j] != two_way.FindLinear(v) * 4 + lane ||
                 k1[j] != one_way.FindLinear(std::fabs(v)) * 4 + lane) &&
                ++failures <= 5) {
              ADD_FAILURE() << SimdLevelName(use.used()) << " N=" << n << " v=" << v;
            }
          }
          if (bits != scalar_bits && ++failures <= 5) {
            ADD_FAILURE() << SimdLevelName(use.used()) << " proves other values than scalar";
          }
        }
      }
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(VectorKernelsTest, EnvelopeIsTheSameAtEveryLevelAndPieceSize) {
  SamplingInfo info;
  info.set_length_half_blocks(8);  // 4096 samples
  info.set_c1(1.0);
  info.set_c2(1.0);
  std::vector<double> x = Samples(4096, 3, false);
  std::mt19937 rng(5);
  std::normal_distribution<double> noise(0.0, 1.0);
  for (double& v : x) v += noise(rng);
  for (size_t i = 100; i < x.size(); i += 997) x[i] = kNaN;
  std::vector<double> expected;
  for (size_t piece : {1, 3, 7, 8, 9, 63, 64, 65, 1000, 4096}) {
    for (SimdLevel level : kLevels) {
      const LevelInUse use(level);
      EnvelopeBuilder builder(info);
      for (size_t i = 0; i < x.size(); i += piece) {
        builder.Feed(std::span<const double>(x).subspan(i, std::min(piece, x.size() - i)));
      }
      const std::vector<double> envelope = builder.Finish();
      if (expected.empty()) expected = envelope;
      // Bit for bit: a segment that starts with a NaN gives it twice.
      ASSERT_EQ(envelope.size(), expected.size());
      EXPECT_EQ(std::memcmp(envelope.data(), expected.data(), envelope.size() * sizeof(double)), 0)
          << SimdLevelName(use.used()) << " piece " << piece;
    }
  }
}

TEST(VectorKernelsTest, PeakAndRangeCountsAreTheSameAtEveryLevel) {
  std::mt19937 rng(11);
  std::normal_distribution<double> step(0.0, 40.0);
  std::vector<double> x(50000);
  double v = 0.0;
  for (double& s : x) s = v = std::round(std::clamp(v + step(rng), -3000.0, 3000.0));
  std::uniform_int_distribution<size_t> piece(1, 5000);
  std::vector<size_t> pieces;
  for (size_t i = 0; i < x.size();) i += pieces.emplace_back(std::min(piece(rng), x.size() - i));
  PeakCountResult peak_expected;
  RangeCountResult range_expected;
  for (SimdLevel level : kLevels) {
    const LevelInUse use(level);
    auto peak = PeakCounter::Create({.partitions = 50, .amplitude_range = 0.25, .c1 = 10000.0});
    auto range = RangeCounter::Create({.partitions = 50, .amplitude_range = 0.5, .c1 = 10000.0});
    ASSERT_TRUE(peak && range);
    size_t at = 0;
    for (size_t p : pieces) {
      peak->Feed(std::span<const double>(x).subspan(at, p));
      range->Feed(std::span<const double>(x).subspan(at, p));
      at += p;
    }
    const PeakCountResult peaks = peak->Finish();
    const RangeCountResult ranges = range->Finish();
    if (level == SimdLevel::kScalar) {
      peak_expected = peaks;
      range_expected = ranges;
      continue;
    }
    EXPECT_EQ(peaks.two_way_peak_counts, peak_expected.two_way_peak_counts);
    EXPECT_EQ(peaks.one_way_valley_counts, peak_expected.one_way_valley_counts);
    EXPECT_EQ(ranges.two_way_counts, range_expected.two_way_counts);
    EXPECT_EQ(ranges.one_way_counts, range_expected.one_way_counts);
  }
}

}  // namespace
}  // namespace torvwy::core
