// ClassMatrix: classes of [-A, A], the from-to matrix and the transitions.
#include "core/fatigue/class_matrix.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/counting/counting_parameters.h"
#include "core/services/message_table.h"

namespace torvwy::core {

Result<ClassMatrix> MakeClassMatrix(int32_t classes, double amplitude_range) {
  if (classes < 1 || classes > kMaxPartitions) {
    return Fail(kMsgBadValue, "--classes " + std::to_string(classes) + " lies outside 1..2000");
  }
  if (!(std::isfinite(amplitude_range) && amplitude_range > 0.0)) {
    return Fail(kMsgBadValue, "the count has no amplitude range A above 0 to make classes of");
  }
  ClassMatrix matrix;
  matrix.classes = classes;
  matrix.amplitude_range = amplitude_range;
  const double a = amplitude_range;
  const double w2 = (a + a) / classes;
  matrix.edges.resize(static_cast<size_t>(classes) + 1);
  for (int32_t k = 0; k <= classes; ++k) matrix.edges[static_cast<size_t>(k)] = k * w2 - a;
  matrix.counts.assign(static_cast<size_t>(classes) * static_cast<size_t>(classes), 0.0);
  matrix.index = PartitionIndex::TwoWay(classes, a, w2);
  return matrix;
}

int32_t ClassMatrix::ClassOf(double v) const {
  if (!(v >= -amplitude_range && v <= edges.back())) return -1;
  return index.Find(v);
}

void ClassMatrix::Add(double from, double to, double count) {
  const int32_t i = ClassOf(from);
  const int32_t j = ClassOf(to);
  if (i < 0 || j < 0) {
    outside += count;
    return;
  }
  counts[static_cast<size_t>(i) * static_cast<size_t>(classes) + static_cast<size_t>(j)] += count;
  total += count;
}

double ClassMatrix::LargestCount() const {
  return counts.empty() ? 0.0 : *std::max_element(counts.begin(), counts.end());
}

Result<ClassMatrix> MakeFromToMatrix(std::span<const RainflowCycle> cycles,
                                     const RainflowResult& histogram, int32_t classes) {
  auto matrix = MakeClassMatrix(classes, histogram.amplitude_range);
  if (!matrix) return matrix;
  for (const RainflowCycle& cycle : cycles) {
    if (RainflowCountsRange(histogram, cycle.range)) matrix->Add(cycle.from, cycle.to, cycle.count);
  }
  return matrix;
}

void TransitionCounter::Add(double point) {
  if (has_previous_ && point != previous_) {
    matrix_.Add(previous_, point, 1.0);
    ++reversals_;
  }
  has_previous_ = true;
  previous_ = point;
}

}  // namespace torvwy::core
