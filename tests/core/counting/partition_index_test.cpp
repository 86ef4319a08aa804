// The quick partition search, and the batched counts built on it, against the linear scan.
#include "core/counting/partition_index.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "core/counting/partition_counter.h"
#include "core/counting/simd_levels.h"
#include "core/services/simd_level.h"

namespace torvwy::core {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// N from 1 to 2000: all small ones, larger ones around powers of two and at the end.
std::vector<int32_t> SampledN() {
  std::vector<int32_t> n;
  for (int32_t k = 1; k <= 40; ++k) n.push_back(k);
  for (int32_t k : {63, 64, 65, 127, 128, 333, 1000, 1024, 1999, 2000}) n.push_back(k);
  return n;
}

const double kAmplitudes[] = {10.0, 0.1, 12345.678, 3e-7, -7.5, 0.0};

// Edge k = 0 .. N-1 by the counting's formula.
std::vector<double> Edges(int32_t n, const std::function<double(int32_t)>& edge) {
  std::vector<double> edges;
  for (int32_t k = 0; k < n; ++k) edges.push_back(edge(k));
  return edges;
}

// Every edge with its neighbours on both sides, and values any search must survive.
std::vector<double> ValuesAround(const std::vector<double>& edges, double a) {
  std::vector<double> values = {0.0, -0.0, a, -a, kInf, -kInf, 1e300, -1e300, 5e-324, NAN};
  for (double e : edges) {
    values.insert(values.end(), {e, std::nextafter(e, -kInf), std::nextafter(e, kInf)});
  }
  return values;
}

// The rule written out: the first k whose upper edge is at or above v, else N - 1.
int32_t Scan(const std::vector<double>& edges, double v) {
  const auto n = static_cast<int32_t>(edges.size());
  const double* edge = edges.data();
  for (int32_t k = 0; k < n; ++k) {
    if (edge[k] >= v) return k;
  }
  return n - 1;
}

TEST(PartitionIndexTest, FindIsTheLinearScanOnAndAroundEveryEdge) {
  int failures = 0;
  for (double a : kAmplitudes) {
    for (int32_t n : SampledN()) {
      const double w2 = (a + a) / n, w = a / n;
      const std::pair<PartitionIndex, std::vector<double>> kinds[] = {
          {PartitionIndex::TwoWay(n, a, w2), Edges(n, [&](int32_t k) { return (k + 1) * w2 - a; })},
          {PartitionIndex::OneWay(n, w), Edges(n, [&](int32_t k) { return (k + 1) * w; })},
          {PartitionIndex::Rainflow(n, w), Edges(n, [&](int32_t k) { return k * w + w; })}};
      for (const auto& [index, edges] : kinds) {
        for (double v : ValuesAround(edges, a)) {
          const int32_t expected = Scan(edges, v);
          if ((index.FindLinear(v) != expected || index.Find(v) != expected) && ++failures <= 10) {
            ADD_FAILURE() << "A=" << a << " N=" << n << " v=" << v << ": scan " << expected
                          << ", FindLinear " << index.FindLinear(v) << ", Find " << index.Find(v);
          }
        }
      }
    }
  }
  EXPECT_EQ(failures, 0);
}

// The engines count through PartitionCounter, which checks a guess against the edges: its
// histograms over the same values must be those of the index (held to the scan above).
TEST(PartitionIndexTest, BatchedCountsMatchTheIndexOnAndAroundEveryEdge) {
  int failures = 0;
  for (double a : kAmplitudes) {
    for (int32_t n : SampledN()) {
      const double w2 = (a + a) / n, w1 = a / n;
      const PartitionIndex two_way = PartitionIndex::TwoWay(n, a, w2);
      const PartitionIndex one_way = PartitionIndex::OneWay(n, w1);
      std::vector<double> values =
          ValuesAround(Edges(n, [&](int32_t k) { return two_way.edge(k); }), a);
      for (double v : ValuesAround(Edges(n, [&](int32_t k) { return one_way.edge(k); }), a)) {
        values.insert(values.end(), {v, -v});
      }
      // Values just and far beyond the range among the others, in the same pieces.
      const size_t inside = values.size();
      for (size_t j = 0; j < inside; j += 3) {
        const double beyond[] = {std::nextafter(a, kInf), -std::nextafter(a, kInf), a * 1.5,
                                 -a * 1.5};
        values.insert(values.begin() + static_cast<std::ptrdiff_t>(j), beyond[j % 4]);
      }
      for (const bool top : {false, true}) {
        std::vector<int64_t> expected_two_way(static_cast<size_t>(n));
        std::vector<int64_t> expected_one_way(static_cast<size_t>(n));
        for (double v : values) {
          if (top && a > 0.0 && v > a) {  // the top takes them only for A > 0
            ++expected_two_way.back();
            ++expected_one_way.back();
          }
          if (!(v <= a && v >= -a)) continue;
          ++expected_two_way[static_cast<size_t>(two_way.Find(v))];
          ++expected_one_way[static_cast<size_t>(one_way.Find(std::fabs(v)))];
        }
        for (SimdLevel level : kLevels) {
          const LevelInUse use(level);
          auto counter = PartitionCounter::Create(
              {.partitions = n, .amplitude_range = a, .top_takes_above = top});
          PartitionCounts counts = counter->MakeCounts();
          std::vector<double> raw = values;
          counter->CountRaw(raw, counts);
          if ((counts.TwoWay() != expected_two_way || counts.OneWay() != expected_one_way) &&
              ++failures <= 10) {
            ADD_FAILURE() << "A=" << a << " N=" << n << (top ? " top" : "") << " "
                          << SimdLevelName(level);
          }
        }
      }
    }
  }
  EXPECT_EQ(failures, 0);
}

}  // namespace
}  // namespace torvwy::core
