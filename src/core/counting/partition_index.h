// Finding the partition of a value in O(1), identical to the linear scan over the upper edges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace torvwy::core {

/// The partitions of a counting run, given by their upper edges edge(0) .. edge(N-1). A value v
/// belongs to the smallest k with edge(k) >= v, and to N-1 when no edge reaches it:
///
///   edge(0)   edge(1)        edge(N-1)
///   --|---------|----- ... -----|
///   k=0 | k=1   |         k=N-1 |  (open below, closed above)
///
/// Each edge is computed from its integer index by the counting's own formula (never
/// accumulated) and stored; Find() guesses the index from the width and corrects the guess
/// against the stored edges, so its answer is the linear scan's for every value.
class PartitionIndex {
 public:
  /// Edges (k + 1) x W2 - A of two-way counting over [-A, A].
  static PartitionIndex TwoWay(int32_t n, double a, double w2);
  /// Edges (k + 1) x W1 of one-way counting over [0, A].
  static PartitionIndex OneWay(int32_t n, double w1);
  /// Edges j x w + w of rainflow counting over [0, A].
  static PartitionIndex Rainflow(int32_t n, double w);

  /// The partition of v: what the linear scan gives.
  int32_t Find(double v) const;
  /// The linear scan itself, for tests and for edges that are not monotone.
  int32_t FindLinear(double v) const;

  int32_t size() const { return static_cast<int32_t>(edges_.size()); }
  double edge(int32_t k) const { return edges_[static_cast<size_t>(k)]; }

 private:
  PartitionIndex(std::vector<double> edges, double origin, double width);

  std::vector<double> edges_;
  double origin_;     // where partition 0 starts, for the guess
  double inv_width_;  // 1 / width, for the guess
  bool monotone_ = true;
  bool guess_ = true;
};

}  // namespace torvwy::core
