// The count of a test programme as one load history, and the damage each event contributes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/counting/count_state.h"
#include "core/fatigue/class_matrix.h"
#include "core/fatigue/fatigue_result.h"
#include "core/fatigue/range_mean_matrix.h"
#include "core/programme/programme_file.h"
#include "core/rainflow/rainflow_cycles.h"
#include "core/rainflow/rainflow_result.h"
#include "core/services/progress.h"
#include "core/services/result.h"

namespace torvwy::core {

/// What one event's record gives the programme, counted alone once (values scaled, EU).
///
/// Why this is enough for any number of repeats. Closings may be made in any order and end
/// with the same cycles (see RainflowCounter), and a cycle a record closes alone stays closed
/// wherever the record stands in a longer history: its outer points can only be replaced by
/// points further out (the record's first or last sample turns out no turning point when the
/// load runs on past it). So in a history every record gives its closed cycles, and what is
/// left is the history of the records' residues:
///
///   X1 X1 X1  X2 X2         closed(X1) x 3 + closed(X2) x 2, and the residues
///   R1 R1 R1  R2 R2         R R closes repeat(R) and leaves R again (ResidueMethod::kRepeated),
///   R1 ...... R2 .....      so r repeats of X give r closed(X) + (r - 1) repeat(X) and leave R:
///   R1 R2                   the residues join in order; what they close crosses events.
///
/// That settles which cycles each event gives (closed, repeat). Which way round a cycle runs
/// (its from and to, for the from-to matrix) can depend on the order of closings where two
/// points are equal, so the history's own list is counted from the records' turning points,
/// fed in order as the history would feed them, each record as often as it repeats: from the
/// second copy on every copy closes the same (RainflowCycleExtractor::FeedRepeated), so this
/// costs two passes over the points, whatever the repeats.
struct EventCount {
  std::vector<RainflowCycle> closed;   ///< the cycles the record closes alone
  std::vector<double> residue;         ///< its residue's points in time order
  std::vector<RainflowCycle> repeat;   ///< what the residue followed by itself closes
  std::vector<double> turning_points;  ///< every turning point in time order
  int64_t samples = 0;
  double maximum = 0.0;  ///< the largest value (scaled EU)
  double minimum = 0.0;  ///< the smallest value (scaled EU)
  /// The amplitude range rainflow's full-scale rule gives the node, times the scale; 0 for a
  /// record without a full scale (an array).
  double full_scale_range = 0.0;
  /// The smallest counted range t of the node (a thousandth of its full scale), times the
  /// scale; 0 for an array (every range above 0 counts).
  double smallest_range = 0.0;
  double frequency_hz = 0.0;  ///< the record's sampling frequency; 0 when not known
  std::string unit;           ///< the node's EU
  bool cancelled = false;     ///< the pass was cancelled: the count must not be used

  /// Every field, for a count made in another process (the fleet); LoadState() fails on bytes
  /// that don't fit.
  void SaveState(CountStateWriter& out) const;
  bool LoadState(CountStateReader& in);
};

/// Counts one record for a programme: feed its values in EU, in time order, in chunks of any
/// size; they are multiplied by the scale first. Memory grows with the cycles found.
class EventCounter {
 public:
  explicit EventCounter(double scale);
  EventCounter(const EventCounter&) = delete;  // the extractor reports to this object
  EventCounter& operator=(const EventCounter&) = delete;
  void Feed(std::span<const double> eu);
  /// The parts of the record; the node fields (full scale, t, frequency, unit) are the
  /// caller's to fill.
  EventCount Finish();

 private:
  double scale_;
  RainflowCycleExtractor extractor_{ResidueMethod::kHalf};
  std::vector<double> scaled_;
  std::vector<double> turning_points_;
  int64_t samples_ = 0;
  double maximum_ = 0.0;
  double minimum_ = 0.0;
};

/// Counts event `index` of `programme` from its node: every block of the record, in fixed
/// buffers, scaled to EU as rainflow counting scales it and then by the event's scale. Polls
/// `progress` once per block; a cancel ends the pass with `cancelled` set. Fails naming the
/// event's section for a node that is not there or can't be read.
Result<EventCount> CountProgrammeEvent(const Programme& programme, size_t index,
                                       Progress& progress);

/// One event's part of the programme.
struct ProgrammeEventResult {
  std::string label;
  int64_t repeats = 1;
  double scale = 1.0;
  /// The cycles it gives the programme's histogram: its closed cycles times its repeats, plus
  /// those its residue closes with its own repeats.
  double cycles = 0.0;
  double damage = 0.0;                  ///< the damage of those cycles
  double damage_per_repeat = 0.0;       ///< damage / repeats
  double share = 0.0;                   ///< damage / the programme's damage (0 when that is 0)
  double seconds_per_repeat = 0.0;      ///< its Duration, else the record's length; NaN: not known
  std::optional<double> km_per_repeat;  ///< its Distance
};

/// The bins of the matrices; 0: the programme's partitions N.
struct ProgrammeLayout {
  int32_t range_bins = 0;
  int32_t mean_bins = kDefaultMeanBins;
  int32_t classes = 0;
};

/// What a programme gives: its history's rainflow count and life estimate, and each event's
/// share of it.
struct ProgrammeResult {
  std::string name;
  std::string unit;               ///< the events' EU
  RainflowResult histogram;       ///< the programme's count (no envelope, blocks 1..1)
  FatigueResult fatigue;          ///< the actual estimate on the programme's curve
  RangeMeanMatrix range_mean;     ///< cycles by range and mean
  RangeMeanMatrix damage_matrix;  ///< the same cells holding the damage of their cycles
  ClassMatrix from_to;            ///< cycles by the classes of their two turning points
  std::vector<ProgrammeEventResult> events;
  /// The cycles that close across events and those the residue method counts at the
  /// programme's end, and their damage: with the events' damages they add up to the total.
  double cross_event_cycles = 0.0;
  double cross_event_damage = 0.0;
  double total_damage = 0.0;
  std::optional<double> life_programmes;  ///< 1 / total damage; empty without damage
  double programme_seconds = 0.0;         ///< sum of repeats x seconds per repeat (NaN: unknown)
  std::optional<double> programme_km;     ///< sum of repeats x km; empty without distances
  std::optional<double> life_hours;
  std::optional<double> life_km;
  /// equivalence[a][b]: how many repeats of event a do the damage of one repeat of event b;
  /// empty where event a does no damage.
  std::vector<std::vector<std::optional<double>>> equivalence;
  bool cancelled = false;  ///< the count was cancelled: nothing else is filled
};

/// Joins the events' counts (in the programme's order) into the programme's result, exactly as
/// the history of every repeat written out would count in one piece:
///   - A: `full` the largest of the events' full-scale ranges, `auto` (maximum - minimum) x 1.1
///     of all events' values, or the value; t the smallest of the events' (0 when one is an
///     array);
///   - the cycles: each event's closed cycles times its repeats and its repeat cycles times its
///     repeats less one; then its residue's points, event after event, as one further record
///     whose residue is counted by the programme's residue method (`repeated`: the programme
///     itself repeats, its last residue joining its first);
///   - a gate G leaves out every cycle below G (a gate removes exactly those: the cycles of G
///     or more are the same with and without it).
/// Fails (bad value) naming the event whose unit is not the first event's, for an amplitude
/// range the partitions can't be made of, and as the estimate (no cycle counted).
Result<ProgrammeResult> JoinProgramme(const Programme& programme,
                                      std::span<const EventCount> counts,
                                      const ProgrammeLayout& layout = {});

/// Counts every event of the programme from its node, `threads` at a time (0: one per core;
/// the result is the same for every number), and joins them. A cancel returns a result with
/// `cancelled` set. Fails as CountProgrammeEvent and JoinProgramme.
Result<ProgrammeResult> RunProgramme(const Programme& programme, int threads, Progress& progress,
                                     const ProgrammeLayout& layout = {});

}  // namespace torvwy::core
