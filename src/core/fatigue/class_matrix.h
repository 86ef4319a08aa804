// ClassMatrix: the from-to matrix of rainflow cycles and the transition matrix of reversals.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/counting/partition_index.h"
#include "core/rainflow/rainflow_cycles.h"
#include "core/rainflow/rainflow_result.h"
#include "core/services/result.h"

namespace torvwy::core {

/// M x M classes of [-A, A], rows the class a step starts in (from), columns the class it ends
/// in (to). The edges are k x 2A / M - A, k = 0..M, each from its index; a value belongs to the
/// class whose upper edge is the first at or above it (open below, closed above), -A itself to
/// the first class:
///
///          to:  c0    c1   ...  cM-1
///   from c0   [ n00   n01  ...       ]     a cycle from b to c adds its count at
///        c1   [ n10   ...            ]     (class of b, class of c)
///        ...
///
/// A step whose from or to lies outside [-A, A] is not placed; its count is added to `outside`
/// so that nothing leaves unsaid.
struct ClassMatrix {
  int32_t classes = 0;           ///< M
  double amplitude_range = 0.0;  ///< A
  std::vector<double> edges;     ///< M + 1 values
  std::vector<double> counts;    ///< M x M, row-major: counts[from * M + to]
  double total = 0.0;            ///< the sum of the cells
  double outside = 0.0;          ///< counts of steps that lie outside [-A, A]

  double at(int32_t from, int32_t to) const {
    return counts[static_cast<size_t>(from) * static_cast<size_t>(classes) +
                  static_cast<size_t>(to)];
  }
  /// Adds `count` at the classes of `from` and `to`, or to `outside`.
  void Add(double from, double to, double count);
  /// The class of v, or -1 outside [-A, A].
  int32_t ClassOf(double v) const;
  /// The largest cell.
  double LargestCount() const;

  PartitionIndex index = PartitionIndex::TwoWay(1, 1.0, 2.0);
};

/// An empty matrix of M classes of [-A, A]. Fails (bad value) "--classes M lies outside
/// 1..2000" or for an A that is not a finite number above 0.
Result<ClassMatrix> MakeClassMatrix(int32_t classes, double amplitude_range);

/// The from-to matrix of `cycles` in M classes of the histogram's [-A, A]: each cycle the
/// histogram counts (RainflowCountsRange: t <= range <= A) at (its from, its to) with its count
/// (a residue half 0.5), so that with every value inside [-A, A] its sum is the histogram's.
Result<ClassMatrix> MakeFromToMatrix(std::span<const RainflowCycle> cycles,
                                     const RainflowResult& histogram, int32_t classes);

/// Counts the transition matrix: every reversal from one turning point to the next, in the
/// classes of `matrix`, each 1, whatever its range (no drop at t). Feed the turning points in
/// time order (RainflowCycleExtractor::on_turning_point).
class TransitionCounter {
 public:
  explicit TransitionCounter(ClassMatrix& matrix) : matrix_(matrix) {}
  void Add(double point);
  int64_t reversals() const { return reversals_; }

 private:
  ClassMatrix& matrix_;
  bool has_previous_ = false;
  double previous_ = 0.0;
  int64_t reversals_ = 0;
};

}  // namespace torvwy::core
