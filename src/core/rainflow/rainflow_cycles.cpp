// RainflowCycleExtractor: turning points and four-point closings, each cycle kept.
#include "core/rainflow/rainflow_cycles.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace torvwy::core {

namespace {

RainflowCycle CycleBetween(double b, int64_t b_index, double c, int64_t c_index, double count) {
  return {std::fabs(c - b), (b + c) / 2.0, count, b_index, c_index, b, c};
}

}  // namespace

void RainflowCycleExtractor::Push(Point point) {
  if (on_turning_point) on_turning_point(point.value);
  PushAndClose(point);
}

void RainflowCycleExtractor::PushAndClose(Point point) {
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
    if (!(range <= 0.0)) cycles_.push_back(CycleBetween(b.value, b.index, c.value, c.index, 1.0));
    stack_[n - 3] = d;
    stack_.resize(n - 2);
  }
}

void RainflowCycleExtractor::Step(double x, int64_t index) {
  if (next_index_ == 0) {
    Push({x, index});
  } else if (next_index_ == 1) {
    direction_ = x < previous_.value ? -1 : 1;
  } else {
    // A step against the direction makes the previous sample a turning point; a step of zero
    // (or a NaN) keeps the direction, so a flat run ends at its last sample.
    const int step = static_cast<int>(x > previous_.value) - static_cast<int>(x < previous_.value);
    if (step + direction_ == 0) Push(previous_);
    if (step != 0) direction_ = step;
  }
  previous_ = {x, index};
  ++next_index_;
}

void RainflowCycleExtractor::Feed(std::span<const double> samples) {
  if (finished_) return;
  if (gated_) {
    gated_->Feed(samples, [&](const HysteresisGate::Point& p) { Step(p.raw, p.index); });
    return;
  }
  for (const double x : samples) Step(x, next_index_);
}

void RainflowCycleExtractor::FeedAt(double sample, int64_t index) {
  if (finished_) return;
  Step(sample, index);
}

void RainflowCycleExtractor::CloseRepeat() {
  // The residue's points follow it once more, as samples after the last one, on the stack that
  // holds it (see RainflowCounter::CountResidue); the closings are whole cycles of the repeat.
  if (stack_.size() < 2) return;
  const std::vector<Point> residue = stack_;
  int direction = direction_;
  Point previous = stack_.back();
  stack_.pop_back();
  // The repeat's points are no turning points of the record: the observer does not see them.
  for (const Point& x : residue) {
    const int step =
        static_cast<int>(x.value > previous.value) - static_cast<int>(x.value < previous.value);
    if (step != 0 && step == -direction) PushAndClose(previous);
    if (step != 0) direction = step;
    previous = x;
  }
  PushAndClose(previous);
}

std::vector<RainflowCycle> RainflowCycleExtractor::Finish() {
  if (finished_) return {};
  finished_ = true;
  if (gated_) {
    if (const auto waiting = gated_->Waiting()) Step(waiting->raw, waiting->index);
  }
  if (next_index_ >= 2) Push(previous_);
  if (residue_ == ResidueMethod::kRepeated) {
    CloseRepeat();
  } else if (residue_ != ResidueMethod::kDiscard) {
    const double count = residue_ == ResidueMethod::kHalf ? 0.5 : 1.0;
    for (size_t i = 1; i < stack_.size(); ++i) {
      const Point& b = stack_[i - 1];
      const Point& c = stack_[i];
      if (!(std::fabs(c.value - b.value) <= 0.0)) {
        cycles_.push_back(CycleBetween(b.value, b.index, c.value, c.index, count));
      }
    }
  }
  stack_.clear();
  return std::move(cycles_);
}

bool RainflowCycleExtractor::FeedRepeated(std::span<const double> points, int64_t times) {
  if (finished_ || points.empty()) return true;
  constexpr int64_t kMostCopiesBeforeSettling = 8;
  const auto same_values = [](const std::vector<Point>& a, const std::vector<Point>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const Point& p, const Point& q) { return p.value == q.value; });
  };
  for (int64_t copy = 0; copy < times; ++copy) {
    if (copy == kMostCopiesBeforeSettling) return false;
    const std::vector<Point> stack_before = stack_;
    const Point previous_before = previous_;
    const int direction_before = direction_;
    const bool started = next_index_ >= 2;
    const std::optional<HysteresisGate> gate_before = gated_;
    const size_t first_cycle = cycles_.size();
    Feed(points);
    if (started && direction_ == direction_before && previous_.value == previous_before.value &&
        same_values(stack_, stack_before) && (!gated_ || gated_->HoldsTheSame(*gate_before))) {
      // This copy began where the next will: all the others close what it closed.
      const auto more = static_cast<double>(times - copy - 1);
      for (size_t i = first_cycle; i < cycles_.size(); ++i) cycles_[i].count *= 1.0 + more;
      return true;
    }
  }
  return true;
}

RainflowCycleExtractor::Parts RainflowCycleExtractor::FinishParts() {
  Parts parts;
  if (finished_) return parts;
  finished_ = true;
  if (gated_) {
    if (const auto waiting = gated_->Waiting()) Step(waiting->raw, waiting->index);
  }
  if (next_index_ >= 2) Push(previous_);
  parts.residue.reserve(stack_.size());
  for (const Point& point : stack_) parts.residue.push_back(point.value);
  parts.closed = std::move(cycles_);
  cycles_.clear();
  CloseRepeat();
  parts.repeat = std::move(cycles_);
  cycles_.clear();
  stack_.clear();
  return parts;
}

void RainflowCycleExtractor::SaveState(CountStateWriter& out) const {
  if (gated_) gated_->SaveState(out);
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
  WriteCycleList(out, cycles_);
}

bool RainflowCycleExtractor::LoadState(CountStateReader& in) {
  constexpr int64_t kMost = std::numeric_limits<int64_t>::max();
  if (gated_ && !gated_->LoadState(in)) return false;
  finished_ = in.Int(0, 1) != 0;
  next_index_ = in.Int(0, kMost);
  previous_.value = in.Double();
  previous_.index = in.Int(0, kMost);
  direction_ = static_cast<int>(in.Int(-1, 1));
  // Each point takes 16 bytes, so no count can ask for more than is there.
  const int64_t points = in.Int(0, kMost / 16);
  stack_.clear();
  for (int64_t i = 0; i < points && in.ok(); ++i) {
    const double value = in.Double();
    stack_.push_back({value, in.Int(0, kMost)});
  }
  return ReadCycleList(in, cycles_);
}

void WriteCycleList(CountStateWriter& out, std::span<const RainflowCycle> cycles) {
  out.Int(static_cast<int64_t>(cycles.size()));
  for (const RainflowCycle& cycle : cycles) {
    out.Double(cycle.range);
    out.Double(cycle.mean);
    out.Double(cycle.count);
    out.Int(cycle.start);
    out.Int(cycle.end);
    out.Double(cycle.from);
    out.Double(cycle.to);
  }
}

bool ReadCycleList(CountStateReader& in, std::vector<RainflowCycle>& cycles) {
  constexpr int64_t kMost = std::numeric_limits<int64_t>::max();
  // Each cycle takes 56 bytes, so no count can ask for more than is there.
  const int64_t count = in.Int(0, kMost / 56);
  cycles.clear();
  for (int64_t i = 0; i < count && in.ok(); ++i) {
    RainflowCycle cycle;
    cycle.range = in.Double();
    cycle.mean = in.Double();
    cycle.count = in.Double();
    cycle.start = in.Int(0, kMost);
    cycle.end = in.Int(0, kMost);
    cycle.from = in.Double();
    cycle.to = in.Double();
    cycles.push_back(cycle);
  }
  return in.ok();
}

}  // namespace torvwy::core
