// The partitions of a batch of values from one multiply and a truncation each, proven exact by
// how far the scaled value lies from the nearest edge.
#pragma once

#include <cstddef>
#include <cstdint>

namespace torvwy::core {

/// What the guess of a value's two partitions needs: A, 1 / W2, 1 / W1 and N.
struct PartitionGuess {
  double a = 0.0;
  double two_way_scale = 0.0;
  double one_way_scale = 0.0;
  double partitions = 0.0;
  int32_t lanes = 1;  ///< counters per partition: an index is k x lanes + (j mod lanes)
};

/// A guess g (the position within the range in partition widths) proves partition trunc(g) when
/// its fraction lies at least this far from 0 and from 1. The rounding of g and of the stored
/// edges (each formed from its integer index) moves neither by more than 4.5 x 2^-53 x N
/// partitions, under 10^-12 for N up to 2000, so a value proven so lies strictly inside its
/// partition, whatever side of an edge its rule would put a value on it.
inline constexpr double kProvenMargin = 0x1p-30;

/// For x[0..count), count at most 64, values in EU: bit j of the answer is set when x[j] lies in
/// [-A, A] and both its partitions are proven, the two-way one (x + A) x (1 / W2) and the one-way
/// one |x| x (1 / W1); then two_way[j] and one_way[j] hold k x lanes + (j mod lanes) for them.
/// Entries of clear bits are left unspecified: those values need the edges. Uses the
/// ActiveSimdLevel(); every level gives the same answer.
uint64_t GuessProvenPartitions(const double* x, size_t count, const PartitionGuess& guess,
                               int32_t* two_way, int32_t* one_way);

}  // namespace torvwy::core
