// The fields of the counting results in the order of their JSON objects: one walk per analysis,
// followed by the JSON printer and by the Python package alike.
#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <span>
#include <string_view>

#include "core/fatigue/fatigue_result.h"
#include "core/fatigue/sn_class_table.h"
#include "core/levels/level_crossing_result.h"
#include "core/levels/time_at_level_result.h"
#include "core/peak/peak_count_result.h"
#include "core/rainflow/rainflow_result.h"
#include "core/range/range_count_result.h"
#include "core/range_pairs/range_pair_result.h"

namespace torvwy::core {

// A visitor of the fields offers three calls, each with the field's key:
//
//   Value(key, v)          a scalar: bool, int32_t, double or std::string_view
//   Values(key, span)      a list of numbers: int32_t or double
//   Object(key, walk)      a nested object; walk(visitor) visits its fields
//
// The walks below are the one list of the keys: a key added here appears in every face.

/// The first n values of a container (fewer when it holds fewer).
template <typename Container>
auto FirstValues(const Container& values, size_t n) {
  return std::span(values.data(), std::min(n, values.size()));
}

namespace fields_detail {

/// The keys every counting result starts with, up to the widths, which `widths(v)` visits.
template <typename Visitor, typename Widths>
void VisitHead(Visitor& v, const char* analysis, int32_t partitions, double amplitude,
               const Widths& widths, int32_t first_block, int32_t last_block,
               double envelope_maximum, double envelope_minimum) {
  v.Value("analysis", std::string_view(analysis));
  v.Value("N", partitions);
  v.Value("A", amplitude);
  widths(v);
  v.Value("first_block", first_block);
  v.Value("last_block", last_block);
  v.Value("envelope_max", envelope_maximum);
  v.Value("envelope_min", envelope_minimum);
}

/// The head of a peak or a range count, with the widths of both countings.
template <typename Visitor, typename CountResult>
void VisitTwoWayHead(Visitor& v, const char* analysis, const CountResult& result) {
  VisitHead(
      v, analysis, result.partitions, result.amplitude_range,
      [&](Visitor& w) {
        w.Value("W2", result.two_way_width);
        w.Value("W1", result.one_way_width);
      },
      result.first_block, result.last_block, result.envelope_maximum, result.envelope_minimum);
}

/// The partition count as a length, as the printers have always taken it (FirstValues stops at
/// the end of the container).
inline size_t Length(int32_t partitions) { return static_cast<size_t>(partitions); }

/// The conventions a count names only when they differ from the system's own: "residue" (not
/// half) and "gate" (above 0), so that a count made without them keeps its bytes.
template <typename Visitor>
void VisitConventions(Visitor& v, double gate, const ResidueMethod* residue = nullptr) {
  if (residue != nullptr && *residue != ResidueMethod::kHalf) {
    v.Value("residue", ResidueMethodName(*residue));
  }
  if (gate > 0.0) v.Value("gate", gate);
}

}  // namespace fields_detail

/// Visits the fields of a peak count: the head, the largest counts, the two-way and one-way
/// peak/valley/total counts (N each), the gate when one was set, the envelope and whether the
/// pass was cancelled.
template <typename Visitor>
void VisitPeakFields(const PeakCountResult& result, Visitor& v) {
  const size_t n = fields_detail::Length(result.partitions);
  fields_detail::VisitTwoWayHead(v, "peak", result);
  v.Value("largest_separate", result.largest_separate_count);
  v.Value("largest_total", result.largest_total_count);
  v.Object("two_way", [&](Visitor& w) {
    w.Values("peak", FirstValues(result.two_way_peak_counts, n));
    w.Values("valley", FirstValues(result.two_way_valley_counts, n));
    w.Values("total", FirstValues(result.two_way_total_counts, n));
  });
  v.Object("one_way", [&](Visitor& w) {
    w.Values("peak", FirstValues(result.one_way_peak_counts, n));
    w.Values("valley", FirstValues(result.one_way_valley_counts, n));
    w.Values("total", FirstValues(result.one_way_total_counts, n));
  });
  fields_detail::VisitConventions(v, result.gate);
  v.Values("envelope", FirstValues(result.envelope, result.envelope.size()));
  v.Value("cancelled", result.cancelled);
}

/// Visits the fields of a range count: the head, the largest count, the two-way and one-way
/// counts (N each), the gate when one was set, the envelope and whether the pass was cancelled.
template <typename Visitor>
void VisitRangeFields(const RangeCountResult& result, Visitor& v, const char* analysis = "range") {
  const size_t n = fields_detail::Length(result.partitions);
  fields_detail::VisitTwoWayHead(v, analysis, result);
  v.Value("largest", result.largest_count);
  v.Values("two_way", FirstValues(result.two_way_counts, n));
  v.Values("one_way", FirstValues(result.one_way_counts, n));
  fields_detail::VisitConventions(v, result.gate);
  v.Values("envelope", FirstValues(result.envelope, result.envelope.size()));
  v.Value("cancelled", result.cancelled);
}

/// Visits the fields of a range-pair count: those of a range count, then the ranges left over.
template <typename Visitor>
void VisitRangePairFields(const RangePairResult& result, Visitor& v) {
  VisitRangeFields(result, v, "range-pairs");
  v.Value("left_over_ranges", result.left_over_ranges);
}

/// Visits the fields of a level crossing count: the head (N and A are 0 for a level list), the
/// levels, the upward and downward crossings of each, the counts by the direction, the
/// reference, the gate and the direction, the envelope and whether the pass was cancelled.
template <typename Visitor>
void VisitCrossingFields(const LevelCrossingResult& result, Visitor& v) {
  fields_detail::VisitHead(
      v, "crossings", result.partitions, result.amplitude_range, [](Visitor&) {},
      result.first_block, result.last_block, result.envelope_maximum, result.envelope_minimum);
  v.Values("levels", std::span<const double>(result.levels));
  v.Values("up", std::span<const int64_t>(result.up));
  v.Values("down", std::span<const int64_t>(result.down));
  const std::vector<int64_t> counts = result.Counts();
  v.Values("counts", std::span<const int64_t>(counts));
  v.Value("reference", result.reference);
  v.Value("gate", result.gate);
  v.Value("direction", CrossingDirectionName(result.direction));
  v.Values("envelope", FirstValues(result.envelope, result.envelope.size()));
  v.Value("cancelled", result.cancelled);
}

/// Visits the fields of a time-at-level count: the head with the width W2, the samples and the
/// seconds of each partition, each one's share of the time, the share at or above each, the
/// time outside [-A, A], the envelope and whether the pass was cancelled.
template <typename Visitor>
void VisitTimeAtLevelFields(const TimeAtLevelResult& result, Visitor& v) {
  fields_detail::VisitHead(
      v, "time-at-level", result.partitions, result.amplitude_range,
      [&](Visitor& w) { w.Value("W2", result.width); }, result.first_block, result.last_block,
      result.envelope_maximum, result.envelope_minimum);
  const std::vector<double> seconds = result.Seconds();
  const std::vector<double> fraction = result.Fractions();
  const std::vector<double> exceedance = result.Exceedance();
  v.Values("samples", std::span<const int64_t>(result.samples));
  v.Values("seconds", std::span<const double>(seconds));
  v.Values("fraction", std::span<const double>(fraction));
  v.Values("exceedance", std::span<const double>(exceedance));
  v.Value("samples_outside", result.samples_outside);
  v.Value("seconds_outside", result.SecondsOutside());
  v.Values("envelope", FirstValues(result.envelope, result.envelope.size()));
  v.Value("cancelled", result.cancelled);
}

/// Visits the fields of a rainflow count: the head with the width w, the largest count, the
/// cycles of the N partitions, the residue method and the gate when they are not the system's
/// own, the envelope and whether the pass was cancelled.
template <typename Visitor>
void VisitRainflowFields(const RainflowResult& result, Visitor& v) {
  const size_t n = fields_detail::Length(result.partitions);
  fields_detail::VisitHead(
      v, "rainflow", result.partitions, result.amplitude_range,
      [&](Visitor& w) { w.Value("w", result.partition_width); }, result.first_block,
      result.last_block, result.envelope_maximum, result.envelope_minimum);
  v.Value("largest", result.largest_count);
  v.Values("counts", FirstValues(result.counts, n));
  fields_detail::VisitConventions(v, result.gate, &result.residue);
  v.Values("envelope", FirstValues(result.envelope, result.envelope.size()));
  v.Value("cancelled", result.cancelled);
}

/// Visits the fields of a life estimate: method, class, d, totals, P, L, D (N each) and, for
/// the fitting method, x0, lambda and b. An estimate on another curve than a weld class, or
/// with a mean correction, also names the curve ("curve", "curve_unit") and the correction
/// ("mean_correction", "ultimate" and "walker_gamma", NaN where the correction has none); a
/// curve other than a weld class has no class and d. A life that is infinite (no damage) stays
/// +infinity: the JSON shows it as null.
template <typename Visitor>
void VisitFatigueFields(const FatigueResult& fatigue, Visitor& v) {
  const size_t n = fields_detail::Length(fatigue.partitions);
  v.Value("method",
          std::string_view(fatigue.method == core::FatigueMethod::kFitting ? "fitting" : "actual"));
  const core::MeanCorrection& correction = fatigue.correction;
  const bool corrected = correction.kind != core::MeanCorrectionKind::kNone;
  if (fatigue.curve.is_weld_class()) {
    v.Value("class", core::kSnClassTable[static_cast<size_t>(fatigue.class_index)].name);
    v.Value("d", fatigue.reliability);
  }
  if (!fatigue.curve.is_weld_class() || corrected) {
    v.Value("curve", std::string_view(fatigue.curve.name));
    v.Value("curve_unit", std::string_view(fatigue.curve.unit));
  }
  if (corrected) {
    constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
    v.Value("mean_correction", core::MeanCorrectionName(correction.kind));
    v.Value("ultimate", correction.ultimate > 0.0 ? correction.ultimate : kNone);
    v.Value("walker_gamma",
            correction.kind == core::MeanCorrectionKind::kWalker ? correction.walker_gamma : kNone);
  }
  v.Value("total_cycles", fatigue.total_cycles);
  v.Value("total_damage", fatigue.total_damage);
  v.Values("P", FirstValues(fatigue.probability, n));
  v.Values("L", FirstValues(fatigue.life, n));
  v.Values("D", FirstValues(fatigue.damage, n));
  if (fatigue.method == core::FatigueMethod::kFitting) {
    v.Value("x0", fatigue.location);
    v.Value("lambda", fatigue.scale);
    v.Value("b", fatigue.shape);
  }
}

}  // namespace torvwy::core
