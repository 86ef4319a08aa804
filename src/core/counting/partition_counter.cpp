// PartitionCounter: batched, exact partition counting.
#include "core/counting/partition_counter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/counting/counting_parameters.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"

namespace torvwy::core {
namespace {

constexpr size_t kBatch = 1024;

// 1 / c when x / c equals x * (1 / c) for every x: c a power of two whose reciprocal is a normal
// number, so that the reciprocal is exact and both forms round the same exact quotient. 0
// otherwise.
double ExactReciprocal(double c) {
  int exponent = 0;
  const double mantissa = std::frexp(c, &exponent);
  if (std::fabs(mantissa) != 0.5) return 0.0;
  const double reciprocal = 1.0 / c;
  return std::isnormal(reciprocal) ? reciprocal : 0.0;
}

// Divides every value by c, as a multiplication when that gives the same result.
void DivideAll(double* values, size_t count, double c) {
  if (const double reciprocal = ExactReciprocal(c); reciprocal == 1.0) {
    return;
  } else if (reciprocal != 0.0) {
    for (size_t j = 0; j < count; ++j) values[j] *= reciprocal;
  } else {
    for (size_t j = 0; j < count; ++j) values[j] /= c;
  }
}

// The stored edges with -infinity in front. When they are not monotone the check of a guess
// can't prove it, so they are all NaN: every check fails and the index answers.
std::vector<double> PaddedEdges(const PartitionIndex& index) {
  const auto n = static_cast<size_t>(index.size());
  std::vector<double> edges(n + 1, -std::numeric_limits<double>::infinity());
  for (size_t k = 0; k < n; ++k) {
    edges[k + 1] = index.edge(static_cast<int32_t>(k));
    if (!(edges[k] <= edges[k + 1])) {
      return std::vector<double>(n + 1, std::numeric_limits<double>::quiet_NaN());
    }
  }
  return edges;
}

// Guesses the two-way partition of each value and the one-way partition of its magnitude
// from the position within the range, clamped to 0..last (a NaN guess, from a zero width,
// becomes 0). Written without branches so that it vectorises.
void GuessPartitions(const double* values, size_t count, double a, double two_way_width,
                     double one_way_width, int32_t last, int32_t* two_way, int32_t* one_way) {
  const double top = last;
  const double two_way_scale = 1.0 / two_way_width;
  const double one_way_scale = 1.0 / one_way_width;
  for (size_t j = 0; j < count; ++j) {
    double g = (values[j] + a) * two_way_scale;
    g = g > 0.0 ? g : 0.0;
    g = g < top ? g : top;
    two_way[j] = static_cast<int32_t>(g);
    double h = std::fabs(values[j]) * one_way_scale;
    h = h > 0.0 ? h : 0.0;
    h = h < top ? h : top;
    one_way[j] = static_cast<int32_t>(h);
  }
}

// The partition of v when the guess fails its check; kept out of line, it is seldom needed.
[[gnu::noinline]] int32_t FindSlowly(const PartitionIndex& index, double v) {
  return index.Find(v);
}

}  // namespace

Result<PartitionCounter> PartitionCounter::Create(const PartitionSetup& setup) {
  const int32_t n = EffectivePartitions(setup.partitions);
  if (n < 1) {
    return Fail(kMsgBadValue,
                "partition count " + std::to_string(setup.partitions) + ": at least 1 is needed");
  }
  if (!std::isfinite(setup.amplitude_range)) {
    return Fail(kMsgBadValue, "amplitude range " + FormatNumber(setup.amplitude_range, 0) +
                                  " is not a finite number");
  }
  return PartitionCounter(setup, n);
}

PartitionCounter::PartitionCounter(const PartitionSetup& setup, int32_t partitions)
    : partitions_(partitions),
      amplitude_range_(setup.amplitude_range),
      two_way_width_((setup.amplitude_range + setup.amplitude_range) / partitions),
      one_way_width_(setup.amplitude_range / partitions),
      c1_(setup.c1),
      c2_(setup.c2),
      top_takes_above_(setup.top_takes_above && setup.amplitude_range > 0.0),
      two_way_index_(PartitionIndex::TwoWay(partitions, amplitude_range_, two_way_width_)),
      one_way_index_(PartitionIndex::OneWay(partitions, one_way_width_)),
      two_way_edges_(PaddedEdges(two_way_index_)),
      one_way_edges_(PaddedEdges(one_way_index_)),
      two_way_guess_(kBatch),
      one_way_guess_(kBatch) {}

PartitionCounts PartitionCounter::MakeCounts() const {
  const auto n = static_cast<size_t>(partitions_);
  return PartitionCounts{std::vector<int64_t>(n), std::vector<int64_t>(n)};
}

void PartitionCounter::CountRaw(std::span<double> raw_values, PartitionCounts& counts) {
  for (size_t begin = 0; begin < raw_values.size(); begin += kBatch) {
    const size_t count = std::min(kBatch, raw_values.size() - begin);
    CountBatch(raw_values.data() + begin, count, counts.two_way.data(), counts.one_way.data());
  }
}

void PartitionCounter::CountBatch(double* values, size_t count, int64_t* two_way,
                                  int64_t* one_way) {
  DivideAll(values, count, c2_);
  DivideAll(values, count, c1_);
  const double a = amplitude_range_;
  const int32_t last = partitions_ - 1;
  int32_t* two_way_guess = two_way_guess_.data();
  int32_t* one_way_guess = one_way_guess_.data();
  GuessPartitions(values, count, a, two_way_width_, one_way_width_, last, two_way_guess,
                  one_way_guess);
  // edges[k] is edge(k - 1): the guess k holds when edges[k] < v <= edges[k + 1].
  const double* two_way_edges = two_way_edges_.data();
  const double* one_way_edges = one_way_edges_.data();
  for (size_t j = 0; j < count; ++j) {
    const double v = values[j];
    if ((v <= a) & (v >= -a)) {
      int32_t k = two_way_guess[j];
      if (!((two_way_edges[k] < v) & (two_way_edges[k + 1] >= v))) {
        k = FindSlowly(two_way_index_, v);
      }
      ++two_way[k];
      const double magnitude = std::fabs(v);
      k = one_way_guess[j];
      if (!((one_way_edges[k] < magnitude) & (one_way_edges[k + 1] >= magnitude))) {
        k = FindSlowly(one_way_index_, magnitude);
      }
      ++one_way[k];
    } else if (top_takes_above_ && v > a) {
      ++two_way[last];
      ++one_way[last];
    }
    // Anything else lies beyond the amplitude range (or is not a number) and is dropped.
  }
}

}  // namespace torvwy::core
