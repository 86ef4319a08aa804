// PartitionCounter: batched, exact partition counting.
#include "core/counting/partition_counter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/counting/counting_parameters.h"
#include "core/counting/partition_kernel.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"

namespace torvwy::core {
namespace {

constexpr size_t kBatch = 1024;

// Counts the packed partitions `both` (two-way | one-way << 16) into lane `lane` of the counts.
inline void AddPacked(uint32_t both, size_t lane, int64_t* two_way, int64_t* one_way) {
  two_way[(both & 0xffff) * PartitionCounts::kLanes + lane] += 1;
  one_way[(both >> 16) * PartitionCounts::kLanes + lane] += 1;
}

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

// Bit j set for each of x[0..count) (count <= 64) below -a, or not a number, or above a unless
// `top_takes_above`: the values PartitionsOf drops for lying beyond the range.
uint64_t DroppedBeyond(const double* x, size_t count, double a, bool top_takes_above) {
  uint64_t bits = 0;
  size_t j = 0;
#if defined(__SSE2__)
  const __m128d high = _mm_set1_pd(top_takes_above ? std::numeric_limits<double>::infinity() : a);
  const __m128d low = _mm_set1_pd(-a);
  for (; j + 2 <= count; j += 2) {
    const __m128d v = _mm_loadu_pd(x + j);
    // Inside: -a <= v <= high (false for NaN); the bits are its complement.
    const __m128d inside = _mm_and_pd(_mm_cmpge_pd(v, low), _mm_cmple_pd(v, high));
    bits |= static_cast<uint64_t>(_mm_movemask_pd(inside) ^ 3) << j;
  }
#endif
  for (; j < count; ++j) {
    const bool inside = x[j] >= -a && (top_takes_above || x[j] <= a);
    bits |= static_cast<uint64_t>(!inside) << j;
  }
  return bits;
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
      two_way_guess_(kGuessPiece),
      one_way_guess_(kGuessPiece) {
  // The proof of a guess holds for widths and scales that are normal numbers; other ranges (A
  // of zero or below, or too small or large to scale) are left to the index.
  const double two_way_scale = 1.0 / two_way_width_;
  const double one_way_scale = 1.0 / one_way_width_;
  guess_ = amplitude_range_ > 0.0 && std::isnormal(two_way_width_) &&
           std::isnormal(one_way_width_) && std::isnormal(two_way_scale) &&
           std::isnormal(one_way_scale) && std::isfinite(amplitude_range_ + amplitude_range_);
  guess_setup_ = PartitionGuess{.a = amplitude_range_,
                                .two_way_scale = two_way_scale,
                                .one_way_scale = one_way_scale,
                                .partitions = static_cast<double>(partitions),
                                .lanes = static_cast<int32_t>(PartitionCounts::kLanes)};
}

bool PartitionCounts::Assign(const std::vector<int64_t>& two_way,
                             const std::vector<int64_t>& one_way) {
  if (two_way.size() != partitions_ || one_way.size() != partitions_) return false;
  const auto negative = [](int64_t count) { return count < 0; };
  if (std::any_of(two_way.begin(), two_way.end(), negative) ||
      std::any_of(one_way.begin(), one_way.end(), negative)) {
    return false;
  }
  std::fill(two_way_.begin(), two_way_.end(), 0);
  std::fill(one_way_.begin(), one_way_.end(), 0);
  for (size_t k = 0; k < partitions_; ++k) {
    two_way_[k * kLanes] = two_way[k];
    one_way_[k * kLanes] = one_way[k];
  }
  std::fill(tally_.begin(), tally_.end(), 0);
  tallied_ = 0;
  return true;
}

void PartitionCounts::Add(const PartitionCounts& other) {
  for (size_t j = 0; j < two_way_.size(); ++j) {
    two_way_[j] += other.two_way_[j];
    one_way_[j] += other.one_way_[j];
  }
  if (!other.settled()) AddTally(other.tally_, *other.step_partitions_);
}

void PartitionCounts::AddTally(const std::vector<uint32_t>& tally,
                               const std::vector<uint32_t>& step_partitions) {
  for (size_t e = 0; e < tally.size(); ++e) {
    const uint32_t count = tally[e];
    const uint32_t both = step_partitions[e];
    if (count == 0 || both == kDropped) continue;
    two_way_[(both & 0xffff) * kLanes] += count;
    one_way_[(both >> 16) * kLanes] += count;
  }
}

void PartitionCounts::Settle() {
  if (settled()) return;
  AddTally(tally_, *step_partitions_);
  std::fill(tally_.begin(), tally_.end(), 0);
  tallied_ = 0;
}

PartitionCounts PartitionCounts::Settled() const {
  PartitionCounts settled(partitions_);
  settled.two_way_ = two_way_;
  settled.one_way_ = one_way_;
  if (!this->settled()) settled.AddTally(tally_, *step_partitions_);
  return settled;
}

PartitionCounts PartitionCounter::MakeCounts() const {
  return PartitionCounts(static_cast<size_t>(partitions_));
}

void PartitionCounter::CountRaw(std::span<double> raw_values, PartitionCounts& counts) {
  for (size_t begin = 0; begin < raw_values.size(); begin += kBatch) {
    const size_t count = std::min(kBatch, raw_values.size() - begin);
    CountBatch(raw_values.data() + begin, count, counts.two_way_lanes(), counts.one_way_lanes());
  }
}

void PartitionCounter::Tally(std::span<double> raw_values, PartitionCounts& counts) {
  if (!table_) return CountRaw(raw_values, counts);
  const std::vector<uint32_t>* partitions = &table_->partitions;
  if (counts.step_partitions_.get() != partitions) {
    counts.Settle();
    counts.step_partitions_ = std::shared_ptr<const std::vector<uint32_t>>(table_, partitions);
    counts.tally_.assign(Int16Steps::kEntries, 0);
  }
  // One increment per value, instead of a lookup and two increments; each step's tally goes to
  // its partitions once, when the counts are settled.
  const Int16Steps& steps = table_->steps;
  uint32_t* tally = counts.tally_.data();
  for (size_t begin = 0; begin < raw_values.size(); begin += kBatch) {
    const size_t count = std::min(kBatch, raw_values.size() - begin);
    if (counts.tallied_ + count > tally_limit_) counts.Settle();
    counts.tallied_ += count;
    const double* values = raw_values.data() + begin;
    size_t j = 0;
#if defined(__SSE2__)
    for (; j + 4 <= count; j += 4) {
      alignas(16) uint32_t e[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(e),
                      _mm_unpacklo_epi64(steps.Entries(values + j), steps.Entries(values + j + 2)));
      ++tally[e[0]];
      ++tally[e[1]];
      ++tally[e[2]];
      ++tally[e[3]];
    }
#endif
    for (; j < count; ++j) ++tally[steps.Entry(values[j])];
  }
}

void PartitionCounter::UseSampleTable(int32_t format) {
  const auto steps = Int16Steps::Of(format);
  if (!steps) return;
  auto table = std::make_shared<SampleTable>(SampleTable{*steps, {}});
  table->partitions.resize(Int16Steps::kEntries);
  // Every step in pieces, as CountBatch finds partitions: divided by c2 and c1, the proven
  // guess, else the stored edges (a guess of one lane gives the partition itself).
  PartitionGuess one_lane = guess_setup_;
  one_lane.lanes = 1;
  std::vector<double> eu(kGuessPiece);
  std::vector<int32_t> two(kGuessPiece);
  std::vector<int32_t> one(kGuessPiece);
  for (size_t begin = 0; begin < Int16Steps::kEntries; begin += kGuessPiece) {
    for (size_t j = 0; j < kGuessPiece; ++j) eu[j] = steps->Value(begin + j);
    DivideAll(eu.data(), kGuessPiece, c2_);
    DivideAll(eu.data(), kGuessPiece, c1_);
    const uint64_t proven =
        guess_ ? GuessProvenPartitions(eu.data(), kGuessPiece, one_lane, two.data(), one.data())
               : 0;
    for (size_t j = 0; j < kGuessPiece; ++j) {
      table->partitions[begin + j] =
          (proven >> j) & 1 ? static_cast<uint32_t>(two[j]) | static_cast<uint32_t>(one[j]) << 16
                            : PartitionsOf(eu[j]);
    }
  }
  table_ = std::move(table);
}

void PartitionCounter::CountByTable(const double* values, size_t count, int64_t* two_way,
                                    int64_t* one_way) const {
  constexpr size_t kLanes = PartitionCounts::kLanes;
  const uint32_t* partitions = table_->partitions.data();
  const Int16Steps& steps = table_->steps;
  const auto add = [&](uint32_t both, size_t lane) {
    if (both != kDropped) AddPacked(both, lane, two_way, one_way);
  };
  size_t j = 0;
#if defined(__SSE2__)
  static_assert(kLanes == 4);
  for (; j + 4 <= count; j += 4) {
    const __m128i four =
        _mm_unpacklo_epi64(steps.Entries(values + j), steps.Entries(values + j + 2));
    alignas(16) uint32_t e[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(e), four);
    add(partitions[e[0]], 0);
    add(partitions[e[1]], 1);
    add(partitions[e[2]], 2);
    add(partitions[e[3]], 3);
  }
#endif
  for (; j < count; ++j) add(partitions[steps.Entry(values[j])], j % kLanes);
}

void PartitionCounter::CountBatch(double* values, size_t count, int64_t* two_way,
                                  int64_t* one_way) {
  if (table_) return CountByTable(values, count, two_way, one_way);
  DivideAll(values, count, c2_);
  DivideAll(values, count, c1_);
  int32_t* two_way_guess = two_way_guess_.data();
  int32_t* one_way_guess = one_way_guess_.data();
  for (size_t begin = 0; begin < count; begin += kGuessPiece) {
    const size_t piece = std::min(kGuessPiece, count - begin);
    const double* x = values + begin;
    const uint64_t all = piece == 64 ? ~uint64_t{0} : (uint64_t{1} << piece) - 1;
    const uint64_t proven =
        guess_ ? GuessProvenPartitions(x, piece, guess_setup_, two_way_guess, one_way_guess) : 0;
    if (proven == all) {
      for (size_t j = 0; j < piece; ++j) {
        ++two_way[two_way_guess[j]];
        ++one_way[one_way_guess[j]];
      }
      continue;
    }
    for (uint64_t bits = proven; bits != 0; bits &= bits - 1) {
      const auto j = static_cast<size_t>(std::countr_zero(bits));
      ++two_way[two_way_guess[j]];
      ++one_way[one_way_guess[j]];
    }
    // A value beyond the range that no top partition takes is dropped without a search.
    const uint64_t dropped = DroppedBeyond(x, piece, amplitude_range_, top_takes_above_);
    for (uint64_t bits = all & ~proven & ~dropped; bits != 0; bits &= bits - 1) {
      const auto j = static_cast<size_t>(std::countr_zero(bits));
      if (const uint32_t both = PartitionsOf(x[j]); both != kDropped) {
        AddPacked(both, j % PartitionCounts::kLanes, two_way, one_way);
      }
    }
  }
}

uint32_t PartitionCounter::PartitionsOf(double v) const {
  const double a = amplitude_range_;
  if ((v <= a) & (v >= -a)) {
    return static_cast<uint32_t>(FindSlowly(two_way_index_, v)) |
           static_cast<uint32_t>(FindSlowly(one_way_index_, std::fabs(v))) << 16;
  }
  if (top_takes_above_ && v > a) {
    const auto last = static_cast<uint32_t>(partitions_ - 1);
    return last | last << 16;
  }
  // Anything else lies beyond the amplitude range (or is not a number) and is dropped.
  return kDropped;
}

}  // namespace torvwy::core
