// RainflowCycleExtractor: turning points and four-point closings, each cycle kept.
#include "core/rainflow/rainflow_cycles.h"

#include <cmath>
#include <limits>

namespace torvwy::core {

void RainflowCycleExtractor::Push(Point point) {
  stack_.push_back(point);
  // Window a b c d on the top of the stack: b c closes when |c - b| lies inside both neighbours.
  while (stack_.size() >= 4) {
    const size_t n = stack_.size();
    const Point& a = stack_[n - 4];
    const Point& b = stack_[n - 3];
    const Point& c = stack_[n - 2];
    const Point& d = stack_[n - 1];
    const double range = std::fabs(c.value - b.value);
    if (!(range <= std::fabs(b.value - a.value) && range <= std::fabs(d.value - c.value))) break;
    if (!(range <= 0.0))
      cycles_.push_back({range, (b.value + c.value) / 2.0, 1.0, b.index, c.index});
    stack_[n - 3] = d;
    stack_.resize(n - 2);
  }
}

void RainflowCycleExtractor::Feed(std::span<const double> samples) {
  if (finished_) return;
  for (const double x : samples) {
    const int64_t index = next_index_++;
    if (index == 0) {
      Push({x, 0});
    } else if (index == 1) {
      direction_ = x < previous_.value ? -1 : 1;
    } else {
      // A step against the direction makes the previous sample a turning point; a step of zero
      // (or a NaN) keeps the direction, so a flat run ends at its last sample.
      const int step =
          static_cast<int>(x > previous_.value) - static_cast<int>(x < previous_.value);
      if (step + direction_ == 0) Push(previous_);
      if (step != 0) direction_ = step;
    }
    previous_ = {x, index};
  }
}

std::vector<RainflowCycle> RainflowCycleExtractor::Finish() {
  if (finished_) return {};
  finished_ = true;
  if (next_index_ >= 2) Push(previous_);
  for (size_t i = 1; i < stack_.size(); ++i) {
    const Point& b = stack_[i - 1];
    const Point& c = stack_[i];
    const double range = std::fabs(c.value - b.value);
    if (!(range <= 0.0))
      cycles_.push_back({range, (b.value + c.value) / 2.0, 0.5, b.index, c.index});
  }
  stack_.clear();
  return std::move(cycles_);
}

void RainflowCycleExtractor::SaveState(CountStateWriter& out) const {
  out.Int(finished_);
  out.Int(next_index_);
  out.Double(previous_.value);
  out.Int(previous_.index);
  out.Int(direction_);
  out.Int(static_cast<int64_t>(stack_.size()));
  for (const Point& point : stack_) {
    out.Double(point.value);
    out.Int(point.index);
  }
  out.Int(static_cast<int64_t>(cycles_.size()));
  for (const RainflowCycle& cycle : cycles_) {
    out.Double(cycle.range);
    out.Double(cycle.mean);
    out.Double(cycle.count);
    out.Int(cycle.start);
    out.Int(cycle.end);
  }
}

bool RainflowCycleExtractor::LoadState(CountStateReader& in) {
  constexpr int64_t kMost = std::numeric_limits<int64_t>::max();
  finished_ = in.Int(0, 1) != 0;
  next_index_ = in.Int(0, kMost);
  previous_.value = in.Double();
  previous_.index = in.Int(0, kMost);
  direction_ = static_cast<int>(in.Int(-1, 1));
  // Each point takes 16 bytes and each cycle 40, so no count can ask for more than is there.
  const int64_t points = in.Int(0, kMost / 16);
  stack_.clear();
  for (int64_t i = 0; i < points && in.ok(); ++i) {
    const double value = in.Double();
    stack_.push_back({value, in.Int(0, kMost)});
  }
  const int64_t cycles = in.Int(0, kMost / 40);
  cycles_.clear();
  for (int64_t i = 0; i < cycles && in.ok(); ++i) {
    RainflowCycle cycle;
    cycle.range = in.Double();
    cycle.mean = in.Double();
    cycle.count = in.Double();
    cycle.start = in.Int(0, kMost);
    cycle.end = in.Int(0, kMost);
    cycles_.push_back(cycle);
  }
  return in.ok();
}

}  // namespace torvwy::core
