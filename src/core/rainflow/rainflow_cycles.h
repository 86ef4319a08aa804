// Every extracted rainflow cycle with its range, mean, weight and the samples it runs between.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "core/counting/count_state.h"
#include "core/counting/hysteresis_gate.h"
#include "core/rainflow/residue_method.h"

namespace torvwy::core {

/// One extracted cycle: a closed cycle (count 1.0) or a half cycle of the residue (0.5; 1.0
/// when the residue is counted whole).
struct RainflowCycle {
  double range = 0.0;  ///< |c - b| of its two turning points (EU)
  double mean = 0.0;   ///< (b + c) / 2 (EU)
  double count = 1.0;  ///< 1.0 closed, 0.5 residue half cycle
  int64_t start = 0;   ///< sample index of its first turning point b (0-based)
  int64_t end = 0;     ///< sample index of its second turning point c
  double from = 0.0;   ///< b, the value of its first turning point (EU)
  double to = 0.0;     ///< c, the value of its second turning point (EU)
};

/// Lists the cycles of a record the way RainflowCounter counts them, but keeps each cycle
/// instead of binning it: the same turning points (the first sample, every reversal, the last
/// sample; a flat top or bottom is one point at its last sample), the same four-point closing
/// on a stack and the residue as half cycles between its neighbouring points. A range of zero
/// (two equal neighbours, as a first sample repeated) is no cycle and is not listed. Binned by
/// range under the counter's drop and partition rules, the cycles give the counter's histogram.
///
/// Feed the samples in EU in time order, in chunks of any size; the memory held grows with the
/// cycles found and the residue (the list is the result).
class RainflowCycleExtractor {
 public:
  RainflowCycleExtractor() = default;
  /// Lists the residue by `residue` (as RainflowCounter counts it), of the samples a gate of
  /// `gate` EU passes (HysteresisGate; 0: every sample).
  explicit RainflowCycleExtractor(ResidueMethod residue, double gate = 0.0) : residue_(residue) {
    if (gate > 0.0) gated_.emplace(gate, 1.0);
  }

  /// Examines the next samples; their indices continue from the last call's.
  void Feed(std::span<const double> samples);
  /// Room for `cycles` cycles before the list grows.
  void Reserve(size_t cycles) { cycles_.reserve(cycles); }
  /// Examines one sample of a given index (above the last one's): the samples a gate passed.
  void FeedAt(double sample, int64_t index);
  /// Takes the last sample as the last turning point, lists the residue by the residue method
  /// and returns every cycle: closed cycles in the order they closed, then the residue's halves
  /// in time order (whole cycles for `full`; for `repeated` the cycles the repeat closes, in the
  /// order they closed; nothing for `discard`). Later calls return an empty list.
  std::vector<RainflowCycle> Finish();

  /// A record counted alone as one piece of a longer history (see ProgrammeCount): the cycles
  /// it closes, its residue and the cycles the residue closes with a repeat of itself.
  struct Parts {
    std::vector<RainflowCycle> closed;  ///< closed cycles (count 1), in the order they closed
    std::vector<double> residue;  ///< the residue's points in time order, the last sample last
    std::vector<RainflowCycle> repeat;  ///< what the residue followed by itself closes (count 1)
  };
  /// Takes the last sample as the last turning point and returns the parts, whatever the
  /// residue method; a later call returns empty parts.
  Parts FinishParts();

  /// Feeds `points` as samples `times` times in a row, in constant time for any number: once
  /// two copies begin from the same stack, every further copy closes what the last one closed,
  /// and those cycles are counted that many times more. They do at the latest from the second
  /// copy on: the residue (what is left once nothing closes) is the same whatever the order of
  /// closings, and a record's points after a history reduce first to its residue R, which
  /// followed by R again is R; so the history with one copy more leaves the same stack.
  /// Returns false if eight copies did not settle, which the argument rules out.
  bool FeedRepeated(std::span<const double> points, int64_t times);

  /// Called with each turning point (EU) as it is found, the last sample at Finish() included:
  /// the steps between successive calls are the record's reversals. Not carried by SaveState.
  std::function<void(double point)> on_turning_point;

  /// What Finish() would return now, without finishing: the extractor may be fed on.
  std::vector<RainflowCycle> Peek() const {
    RainflowCycleExtractor copy = *this;
    return copy.Finish();
  }

  /// Every cycle so far and what is held between feeds, for a count carried between processes;
  /// LoadState() of them (into a fresh extractor) goes on where it was, and fails on bytes that
  /// don't fit.
  void SaveState(CountStateWriter& out) const;
  bool LoadState(CountStateReader& in);

  /// Samples examined (those a gate passed, with a gate).
  int64_t samples() const { return next_index_; }

 private:
  struct Point {
    double value;
    int64_t index;
  };
  void Push(Point point);
  /// Pushes `point` and closes the cycles its window closes, as whole cycles.
  void PushAndClose(Point point);
  void Step(double x, int64_t index);
  void CloseRepeat();

  ResidueMethod residue_ = ResidueMethod::kHalf;
  std::optional<HysteresisGate> gated_;
  std::vector<Point> stack_;
  std::vector<RainflowCycle> cycles_;
  int64_t next_index_ = 0;
  Point previous_{0.0, 0};
  int direction_ = 1;
  bool finished_ = false;
};

/// Writes `cycles` for a count carried between processes; ReadCycleList() reads them back and
/// fails on bytes that don't fit.
void WriteCycleList(CountStateWriter& out, std::span<const RainflowCycle> cycles);
bool ReadCycleList(CountStateReader& in, std::vector<RainflowCycle>& cycles);

}  // namespace torvwy::core
