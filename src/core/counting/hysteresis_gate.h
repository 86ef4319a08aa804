// HysteresisGate: removes the reversals smaller than a gate G from a stream of samples.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "core/counting/count_state.h"

namespace torvwy::core {

/// Removes every reversal smaller than the gate G (EU) before a count sees the load. Samples go
/// in raw (x k = EU, compared in EU); the samples that pass come out raw with their index:
///
///   the first sample;
///   while no direction is known: the largest and smallest sample so far (hi, lo); once
///     hi - lo >= G the load has reversed by G: the extreme it left (when it differs from the
///     first sample) passes, and the load now moves towards the other;
///   then the extreme of the current excursion (the last sample of a flat one) waits as the
///     candidate, and passes once the load has come back G or more from it;
///   at the end, the waiting candidate. A last step back smaller than G is itself a reversal
///     smaller than G, and does not pass.
///
///        c               every step between two passed points is G or more, and the
///       / \    /\  /     points alternate between peaks and valleys; a wobble smaller
///      /   \  /  \/  <G  than G inside a step is gone
///     /     \/
///
/// Why rainflow may count through it (shown on random loads in the tests): every rainflow cycle
/// of range G or more, closed or half, is the same with and without the gate; only cycles
/// smaller than G go. A closed cycle b c of range >= G needs its neighbours a and d beyond it,
/// so the gate keeps all four; a wobble smaller than G lies inside one step and closes against
/// it as a cycle smaller than G.
class HysteresisGate {
 public:
  struct Point {
    double raw = 0.0;
    int64_t index = 0;  ///< counted from the first sample fed, 0-based
  };

  /// A gate of G EU (above 0) for samples that are EU after x `scale`.
  HysteresisGate(double gate, double scale) : gate_(gate), scale_(scale) {}

  /// Examines the next samples; calls pass(Point) for each that passes, in time order.
  template <typename Pass>
  void Feed(std::span<const double> raw_samples, Pass&& pass);

  /// The points still waiting: the candidate of the current excursion, or nothing while no
  /// direction is known. Finish passes them; a snapshot feeds them to a copy of the count.
  std::optional<Point> Waiting() const {
    if (direction_ == 0) return std::nullopt;
    return candidate_;
  }

  /// The smallest and largest raw sample held back (the candidate, or hi and lo while no
  /// direction is known); empty before the first sample.
  std::optional<std::pair<double, double>> HeldRaw() const;

  int64_t samples() const { return next_index_; }

  /// Whether `other` holds the same values as this gate, the samples' indices aside: both then
  /// pass the same values of any further samples.
  bool HoldsTheSame(const HysteresisGate& other) const {
    if (direction_ != other.direction_ || (next_index_ == 0) != (other.next_index_ == 0)) {
      return false;
    }
    if (direction_ != 0) return candidate_eu_ == other.candidate_eu_;
    return first_.eu == other.first_.eu && high_.eu == other.high_.eu && low_.eu == other.low_.eu;
  }

  void SaveState(CountStateWriter& out) const;
  bool LoadState(CountStateReader& in);

 private:
  struct Held {
    double raw = 0.0;
    double eu = 0.0;
    int64_t index = 0;
  };

  double gate_;
  double scale_;
  int64_t next_index_ = 0;
  int direction_ = 0;  // +1 rising, -1 falling, 0 not known yet
  Held first_;
  Held high_;  // while the direction is not known
  Held low_;
  Point candidate_;
  double candidate_eu_ = 0.0;
};

template <typename Pass>
void HysteresisGate::Feed(std::span<const double> raw_samples, Pass&& pass) {
  for (const double raw : raw_samples) {
    const Held p{raw, raw * scale_, next_index_++};
    if (p.index == 0) {
      first_ = high_ = low_ = p;
      pass(Point{raw, 0});
      continue;
    }
    if (direction_ == 0) {
      if (p.eu >= high_.eu) high_ = p;
      if (p.eu <= low_.eu) low_ = p;
      if (!(high_.eu - low_.eu >= gate_ && high_.eu > low_.eu)) continue;
      // The sample that made the span reach G is the new high or the new low.
      const bool falling = low_.index == p.index;
      const Held& left = falling ? high_ : low_;
      if (left.eu != first_.eu) pass(Point{left.raw, left.index});
      direction_ = falling ? -1 : 1;
      candidate_ = {p.raw, p.index};
      candidate_eu_ = p.eu;
      continue;
    }
    // A flat extreme moves the candidate to its last sample, as the turning points have it.
    const double back = direction_ > 0 ? candidate_eu_ - p.eu : p.eu - candidate_eu_;
    if (back <= 0.0) {
      candidate_ = {p.raw, p.index};
      candidate_eu_ = p.eu;
    } else if (back >= gate_) {
      pass(candidate_);
      direction_ = -direction_;
      candidate_ = {p.raw, p.index};
      candidate_eu_ = p.eu;
    }
  }
}

}  // namespace torvwy::core
