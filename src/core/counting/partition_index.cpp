// PartitionIndex: stored edges and the corrected O(1) guess.
#include "core/counting/partition_index.h"

#include <algorithm>
#include <cmath>

namespace torvwy::core {

PartitionIndex::PartitionIndex(std::vector<double> edges, double origin, double width)
    : edges_(std::move(edges)), origin_(origin) {
  for (size_t k = 1; k < edges_.size(); ++k) {
    if (!(edges_[k - 1] <= edges_[k])) monotone_ = false;
  }
  inv_width_ = 1.0 / width;
  guess_ = monotone_ && std::isfinite(inv_width_) && inv_width_ > 0.0 && std::isfinite(origin_);
}

PartitionIndex PartitionIndex::TwoWay(int32_t n, double a, double w2) {
  std::vector<double> edges(static_cast<size_t>(std::max(n, 0)));
  for (int32_t k = 0; k < n; ++k) edges[static_cast<size_t>(k)] = (k + 1) * w2 - a;
  return PartitionIndex(std::move(edges), -a, w2);
}

PartitionIndex PartitionIndex::OneWay(int32_t n, double w1) {
  std::vector<double> edges(static_cast<size_t>(std::max(n, 0)));
  for (int32_t k = 0; k < n; ++k) edges[static_cast<size_t>(k)] = (k + 1) * w1;
  return PartitionIndex(std::move(edges), 0.0, w1);
}

PartitionIndex PartitionIndex::Rainflow(int32_t n, double w) {
  std::vector<double> edges(static_cast<size_t>(std::max(n, 0)));
  for (int32_t j = 0; j < n; ++j) edges[static_cast<size_t>(j)] = j * w + w;
  return PartitionIndex(std::move(edges), 0.0, w);
}

int32_t PartitionIndex::FindLinear(double v) const {
  const auto n = static_cast<int32_t>(edges_.size());
  for (int32_t k = 0; k < n; ++k) {
    if (edges_[static_cast<size_t>(k)] >= v) return k;
  }
  return n - 1;
}

int32_t PartitionIndex::Find(double v) const {
  if (!monotone_) return FindLinear(v);
  const auto n = static_cast<int32_t>(edges_.size());
  if (n <= 0) return -1;
  int32_t k = 0;
  if (guess_) {
    const double g = (v - origin_) * inv_width_;
    if (g >= n) {
      k = n - 1;
    } else if (g > 0) {
      k = static_cast<int32_t>(g);
    }
  } else {
    k = static_cast<int32_t>(std::lower_bound(edges_.begin(), edges_.end(), v) - edges_.begin());
    if (k >= n) k = n - 1;
  }
  // Correct the guess: k is the smallest index whose edge is at or above v.
  while (k > 0 && edges_[static_cast<size_t>(k - 1)] >= v) --k;
  while (k < n - 1 && !(edges_[static_cast<size_t>(k)] >= v)) ++k;
  return k;
}

}  // namespace torvwy::core
