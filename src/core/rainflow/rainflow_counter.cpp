// RainflowCounter: the streaming turning-point rule, the cycle stack and the partition count.
#include "core/rainflow/rainflow_counter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/counting/turning_points.h"
#include "core/services/message_table.h"

namespace torvwy::core {

double SmallestCountedRange(double full_scale, const SamplingInfo& info) {
  return std::fabs(full_scale / info.c2() / info.c1()) * 0.001;  // the size, as for A
}
namespace {

std::optional<Error> CheckSetup(const RainflowSetup& setup) {
  if (!PartitionCountValid(setup.partitions)) {
    return Fail(kMsgBadValue, "rainflow: the partition count " + std::to_string(setup.partitions) +
                                  " lies outside 1..2000");
  }
  if (!std::isfinite(setup.amplitude_range)) {
    return Fail(kMsgBadValue, "rainflow: the amplitude range is not a finite number");
  }
  if (!std::isfinite(setup.scale) || setup.scale == 0.0) {
    return Fail(kMsgBadValue, "rainflow: the calibration gives no finite scale 1 / (c2 x c1)");
  }
  if (std::isnan(setup.smallest_range)) {
    return Fail(kMsgBadValue, "rainflow: the smallest counted range is not a number");
  }
  return std::nullopt;
}

}  // namespace

RainflowCounter::RainflowCounter(const RainflowSetup& setup)
    : setup_(setup),
      index_(PartitionIndex::Rainflow(
          PartitionCountValid(setup.partitions) ? setup.partitions : 1,
          PartitionCountValid(setup.partitions) ? setup.amplitude_range / setup.partitions : 1.0)),
      stack_(setup.residue_memory_points, setup.scratch_folder),
      scale_(setup.scale),
      amplitude_range_(setup.amplitude_range),
      smallest_range_(setup.smallest_range),
      counted_from_(std::max(setup.smallest_range, std::numeric_limits<double>::denorm_min())),
      error_(CheckSetup(setup)),
      opens_range_(setup.opens_range),
      direction_(setup.opens_range ? 1 : 0) {}

void RainflowCounter::Failed(Error error) {
  error_ = std::move(error);
  stack_.Release();
}

void RainflowCounter::CountRange(double range, double weight) {
  if (setup_.on_cycle) setup_.on_cycle(range, weight);
  CountRangeInto(counts_, range, weight);
}

void RainflowCounter::CountRangeInto(std::array<double, kMaxPartitions>& counts, double range,
                                     double weight) const {
  // Counted when t <= r <= A and r > 0; a NaN range (from a NaN sample) is no range and is
  // dropped too.
  if (!(range <= amplitude_range_ && range >= counted_from_)) return;
  counts[static_cast<size_t>(index_.Find(range))] += weight;
}

bool RainflowCounter::AddTurningPoints(const double* raw, size_t count, double k) {
  // The top of the stack is worked on through a local pointer and size; the stack is told the
  // size whenever it has to grow, spill or reload.
  double* s = stack_.data();
  size_t n = stack_.in_memory();
  size_t room = stack_.room();
  const bool observed = static_cast<bool>(setup_.on_cycle);
  // Ranges up to the first edge w (w <= A, or w < 0 when A < 0, which no range reaches) that
  // pass t fall in partition 0; they are summed here and added to counts_[0] at the end (sums of
  // 1.0 are exact in any order).
  const double first_edge = index_.edge(0);
  const double smallest_range = counted_from_;
  double first_partition = 0.0;
  for (size_t i = 0; i < count; ++i) {
    if (n == room) {
      stack_.set_in_memory(n);
      if (auto ok = stack_.MakeRoom(); !ok) {
        Failed(ok.error());
        return false;
      }
      s = stack_.data();
      n = stack_.in_memory();
      room = stack_.room();
    }
    s[n++] = raw[i] * k;
    for (;;) {
      if (n < 4) {
        if (stack_.spilled() == 0) break;
        stack_.set_in_memory(n);
        if (auto ok = stack_.Reload(); !ok) {
          Failed(ok.error());
          return false;
        }
        s = stack_.data();
        n = stack_.in_memory();
        room = stack_.room();
        if (n < 4) break;
      }
      // Window a b c d = s[n-4] .. s[n-1]: the cycle b c closes inside its neighbours.
      const double range = std::fabs(s[n - 2] - s[n - 3]);
      const bool closes =
          (range <= std::fabs(s[n - 3] - s[n - 4])) & (range <= std::fabs(s[n - 1] - s[n - 2]));
      if (!closes) break;
      // CountRange(range, 1.0), with the common case (no observer, first partition) inline.
      if (observed || !(range <= first_edge)) {
        CountRange(range, 1.0);
      } else {
        first_partition += static_cast<double>(range >= smallest_range);
      }
      s[n - 3] = s[n - 1];
      n -= 2;
    }
  }
  stack_.set_in_memory(n);
  counts_[0] += first_partition;
  return true;
}

Status RainflowCounter::Feed(std::span<const double> raw_samples) {
  if (error_) return *error_;
  if (finished_) return Fail(kMsgBadValue, "rainflow: samples fed after Finish()");
  size_t i = 0;
  const size_t n = raw_samples.size();
  const auto sign = [](double to, double from) {
    return static_cast<int>(to > from) - static_cast<int>(to < from);  // NaN: 0
  };
  if (opens_range_) {
    if (seen_ == 0 && i < n) {
      first_ = raw_samples[i++];
      seen_ = 1;
      ++turning_points_;
      if (!AddTurningPoints(&first_, 1, scale_)) return *error_;
    }
    if (seen_ == 1 && i < n) {
      prev_ = raw_samples[i++];
      direction_ = prev_ < first_ ? -1 : 1;  // equal samples start rising
      seen_ = 2;
    }
  } else {
    // The first sample belongs to the stretch before; the step after it only tells the
    // direction. Until a step that is not zero the direction is not known, and the sample before
    // that step waits for the join.
    if (seen_ == 0 && i < n) {
      prev_ = raw_samples[i++];
      seen_ = 1;
    }
    if (seen_ == 1 && i < n) {
      const double x = raw_samples[i++];
      direction_ = sign(x, prev_);
      prev_ = x;
      seen_ = 2;
    }
    for (; direction_ == 0 && i < n; ++i) {
      const double x = raw_samples[i];
      const int step = sign(x, prev_);
      if (step != 0) {
        has_waiting_ = true;
        waiting_ = prev_;
        waiting_step_ = step;
        direction_ = step;
      }
      prev_ = x;
    }
  }
  // Turning points are gathered piece by piece without a branch per sample. The direction is the
  // sign of the last difference that was not zero (+1 rising, -1 falling; known by now whenever
  // a sample is left); a difference of the opposite sign makes the previous sample a turning
  // point.
  constexpr size_t kPiece = 4096;
  turning_buffer_.resize(kPiece + kCollectSlack);
  double prev = prev_;
  int direction = direction_;
  while (i < n) {
    const size_t end = std::min(n, i + kPiece);
    double* out = turning_buffer_.data();
    const size_t found = CollectReversals(raw_samples.data() + i, end - i, prev, direction, out);
    prev = raw_samples[end - 1];
    i = end;
    turning_points_ += static_cast<int64_t>(found);
    if (!AddTurningPoints(out, found, scale_)) return *error_;
  }
  prev_ = prev;
  direction_ = direction;
  return Ok();
}

Status RainflowCounter::Join(RainflowCounter& later) {
  if (error_) return *error_;
  if (later.error_) {
    Failed(*later.error_);
    return *error_;
  }
  if (finished_ || later.finished_) return Fail(kMsgBadValue, "rainflow: joined after Finish()");
  for (size_t j = 0; j < counts_.size(); ++j) counts_[j] += later.counts_[j];
  if (later.has_waiting_ && direction_ != 0 && later.waiting_step_ == -direction_) {
    ++turning_points_;
    if (!AddTurningPoints(&later.waiting_, 1, scale_)) return *error_;
  }
  // The residue of `later` is in EU already: it goes on unscaled, in pieces.
  constexpr size_t kPiece = 4096;
  std::vector<double> piece;
  piece.reserve(kPiece);
  bool added = true;
  auto visited = later.stack_.ForEach([&](double point) {
    piece.push_back(point);
    if (piece.size() == kPiece) {
      added = added && AddTurningPoints(piece.data(), piece.size(), 1.0);
      piece.clear();
    }
  });
  later.stack_.Release();
  if (!visited) {
    Failed(visited.error());
    return *error_;
  }
  if (added) added = AddTurningPoints(piece.data(), piece.size(), 1.0);
  if (!added) return *error_;
  turning_points_ += later.turning_points_;
  if (later.direction_ != 0) direction_ = later.direction_;
  if (later.seen_ == 2) {
    prev_ = later.prev_;
    seen_ = 2;
  }
  return Ok();
}

Result<RainflowResult> RainflowCounter::Finish() {
  if (error_) return *error_;
  if (finished_) return Fail(kMsgBadValue, "rainflow: Finish() called twice");
  finished_ = true;
  if (seen_ == 2) {
    ++turning_points_;
    if (!AddTurningPoints(&prev_, 1, scale_)) return *error_;
  }

  // The residue streams from its stack, in constant memory, unless the repeat needs it whole.
  const ResidueMethod method = setup_.residue;
  std::vector<double> whole;
  const double weight = method == ResidueMethod::kHalf ? 0.5 : 1.0;
  bool has_previous = false;
  double previous = 0.0;
  auto visited = stack_.ForEach([&](double point) {
    if (setup_.on_residue) setup_.on_residue(point);
    if (method == ResidueMethod::kRepeated) {
      whole.push_back(point);
      return;
    }
    if (has_previous && method != ResidueMethod::kDiscard) {
      CountRange(std::fabs(point - previous), weight);
    }
    previous = point;
    has_previous = true;
  });
  stack_.Release();
  if (!visited) {
    error_ = visited.error();
    return *error_;
  }
  if (method == ResidueMethod::kRepeated) CountResidue(whole, counts_, true);

  return MakeResult(counts_, turning_points_);
}

void RainflowCounter::CountResidue(std::vector<double>& points,
                                   std::array<double, kMaxPartitions>& counts, bool observed) {
  const auto count = [&](double range, double weight) {
    if (observed && setup_.on_cycle) setup_.on_cycle(range, weight);
    CountRangeInto(counts, range, weight);
  };
  if (setup_.residue == ResidueMethod::kDiscard) return;
  if (setup_.residue != ResidueMethod::kRepeated) {
    const double weight = setup_.residue == ResidueMethod::kHalf ? 0.5 : 1.0;
    for (size_t i = 1; i < points.size(); ++i) count(std::fabs(points[i] - points[i - 1]), weight);
    return;
  }
  if (points.size() < 2) return;
  const std::vector<double> residue = points;
  const auto sign = [](double to, double from) {
    return static_cast<int>(to > from) - static_cast<int>(to < from);
  };
  // The direction the record ended in, in EU (a negative k turns it over).
  int direction = scale_ > 0.0 ? direction_ : -direction_;
  if (direction == 0) direction = sign(residue.back(), residue[residue.size() - 2]);
  // The last sample is a turning point of the repeat only where the seam reverses.
  double previous = points.back();
  points.pop_back();
  const auto push = [&](double point) {
    points.push_back(point);
    for (size_t n = points.size(); n >= 4; n = points.size()) {
      const double range = std::fabs(points[n - 2] - points[n - 3]);
      const bool closes = (range <= std::fabs(points[n - 3] - points[n - 4])) &
                          (range <= std::fabs(points[n - 1] - points[n - 2]));
      if (!closes) break;
      count(range, 1.0);
      points[n - 3] = points[n - 1];
      points.resize(n - 2);
    }
  };
  for (const double x : residue) {
    const int step = sign(x, previous);
    if (step != 0 && step == -direction) push(previous);
    if (step != 0) direction = step;
    previous = x;
  }
  push(previous);
}

RainflowResult RainflowCounter::MakeResult(const std::array<double, kMaxPartitions>& counts,
                                           int64_t turning_points) const {
  RainflowResult result;
  const int32_t n = setup_.partitions;
  result.partitions = n;
  result.counts = counts;
  result.amplitude_range = amplitude_range_;
  result.partition_width = amplitude_range_ / n;
  result.smallest_range = smallest_range_;
  result.turning_points = turning_points;
  int32_t largest = 0;
  for (int32_t j = 0; j < n; ++j) {
    const double whole = std::trunc(counts[static_cast<size_t>(j)]);
    const int32_t value = whole >= std::numeric_limits<int32_t>::max()
                              ? std::numeric_limits<int32_t>::max()
                              : static_cast<int32_t>(whole);
    if (value > largest) largest = value;
  }
  result.largest_count = largest == 0 ? 1 : largest;
  result.cursor_partition = n / 2;
  result.residue = setup_.residue;
  return result;
}

Result<RainflowResult> RainflowCounter::Peek() {
  if (error_) return *error_;
  if (finished_) return Fail(kMsgBadValue, "rainflow: Peek() after Finish()");
  // The residue holds no window that closes (each was tested when its top came), so only the
  // last sample, taken as the last turning point, can close cycles: at the top, as Finish()
  // closes them, then down the residue as far as the closings reach.
  std::vector<double> points;
  points.reserve(static_cast<size_t>(stack_.size()) + 1);
  if (auto ok = stack_.ForEach([&](double point) { points.push_back(point); }); !ok) {
    return ok.error();
  }
  std::array<double, kMaxPartitions> counts = counts_;
  int64_t turning_points = turning_points_;
  if (seen_ == 2) {
    ++turning_points;
    points.push_back(prev_ * scale_);
    for (size_t n = points.size(); n >= 4; n = points.size()) {
      const double range = std::fabs(points[n - 2] - points[n - 3]);
      const bool closes = (range <= std::fabs(points[n - 3] - points[n - 4])) &
                          (range <= std::fabs(points[n - 1] - points[n - 2]));
      if (!closes) break;
      CountRangeInto(counts, range, 1.0);
      points[n - 3] = points[n - 1];
      points.resize(n - 2);
    }
  }
  CountResidue(points, counts, false);
  return MakeResult(counts, turning_points);
}

Result<std::optional<std::pair<double, double>>> RainflowCounter::HeldRange() {
  if (error_) return *error_;
  if (seen_ == 0 && stack_.size() == 0) return std::optional<std::pair<double, double>>();
  double lowest = std::numeric_limits<double>::infinity();
  double highest = -lowest;
  const auto hold = [&](double point) {
    lowest = std::min(lowest, point);
    highest = std::max(highest, point);
  };
  if (auto ok = stack_.ForEach(hold); !ok) return ok.error();
  if (seen_ == 2) hold(prev_ * scale_);
  return std::optional(std::pair(lowest, highest));
}

Status RainflowCounter::SaveState(CountStateWriter& out) {
  if (error_) return *error_;
  if (finished_) return Fail(kMsgBadValue, "rainflow: state saved after Finish()");
  out.Doubles(counts_.data(), static_cast<size_t>(setup_.partitions));
  out.Int(opens_range_);
  out.Int(seen_);
  out.Double(first_);
  out.Double(prev_);
  out.Int(direction_);
  out.Int(has_waiting_);
  out.Double(waiting_);
  out.Int(waiting_step_);
  out.Int(turning_points_);
  out.Int(stack_.size());
  return stack_.ForEach([&](double point) { out.Double(point); });
}

bool RainflowCounter::LoadState(CountStateReader& in) {
  if (error_ || finished_ || stack_.size() != 0) return in.Fail();
  const std::vector<double> counts = in.Doubles();
  if (counts.size() != static_cast<size_t>(setup_.partitions)) return in.Fail();
  // Counts of whole and half cycles, as Feed() adds them.
  for (const double count : counts) {
    if (!(count >= 0.0) || !std::isfinite(count) || std::fmod(count, 0.5) != 0.0) {
      return in.Fail();
    }
  }
  counts_.fill(0.0);
  std::copy(counts.begin(), counts.end(), counts_.begin());
  opens_range_ = in.Int(0, 1) != 0;
  seen_ = static_cast<int>(in.Int(0, 2));
  first_ = in.Double();
  prev_ = in.Double();
  direction_ = static_cast<int>(in.Int(-1, 1));
  has_waiting_ = in.Int(0, 1) != 0;
  waiting_ = in.Double();
  waiting_step_ = static_cast<int>(in.Int(-1, 1));
  turning_points_ = in.Int(0, std::numeric_limits<int64_t>::max());
  const int64_t points = in.Int(0, std::numeric_limits<int64_t>::max());
  // The residue goes back as it was: no window of it closes, so it is pushed without the test.
  for (int64_t i = 0; i < points && in.ok(); ++i) {
    const double point = in.Double();
    if (!in.ok()) break;
    if (stack_.in_memory() == stack_.room()) {
      if (auto ok = stack_.MakeRoom(); !ok) {
        Failed(ok.error());
        return in.Fail();
      }
    }
    stack_.Push(point);
  }
  return in.ok();
}

}  // namespace torvwy::core
