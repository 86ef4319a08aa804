// Damage by Miner's rule from the counted or the fitted cycles.
#include "core/fatigue/fatigue_estimate.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/counting/partition_index.h"
#include "core/fatigue/sn_class_table.h"
#include "core/fatigue/weibull_fit.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

// Counts beyond this can't be rounded to a whole number of cycles exactly.
constexpr double kLargestCount = 1.0e15;

/// A weld class's curve, unchecked: PartitionLives checks its indices where the estimates of
/// before did.
SnCurve UncheckedWeldClass(int32_t class_index, int32_t reliability_index) {
  SnCurve curve;
  curve.class_index = class_index;
  curve.reliability_index = reliability_index;
  if (IsSnClassIndex(class_index) && IsReliabilityIndex(reliability_index)) {
    curve = *WeldClassCurve(class_index, reliability_index);
  }
  return curve;
}

/// The common part of both estimates: the choice, the histogram, F and the lives.
Result<FatigueResult> Prepare(FatigueMethod method, const RainflowResult& rainflow,
                              const SnCurve& curve) {
  if (!PartitionCountValid(rainflow.partitions)) {
    return Fail(kMsgBadValue, "the partition count " + std::to_string(rainflow.partitions) +
                                  " lies outside 1..2000");
  }
  FatigueResult result;
  result.method = method;
  result.curve = curve;
  if (curve.is_weld_class()) {
    result.class_index = curve.class_index;
    result.reliability_index = curve.reliability_index;
  }
  result.partitions = rainflow.partitions;
  result.partition_width = rainflow.partition_width;
  result.counts.assign(rainflow.counts.begin(), rainflow.counts.begin() + rainflow.partitions);
  for (double count : result.counts) {
    if (!(count >= 0.0 && count <= kLargestCount)) {
      return Fail(kMsgBadValue, "the histogram holds a count that is not a number of cycles");
    }
    result.total_cycles += count;
  }
  if (result.total_cycles == 0.0) return Fail(kMsgNoCycles, "the histogram holds no cycle");
  auto lives = PartitionLives(rainflow.partitions, rainflow.partition_width, curve);
  if (!lives) return lives.error();
  // The reliability factor belongs to a weld class; the other curves are design curves.
  result.reliability = curve.is_weld_class()
                           ? kReliabilityFactors[static_cast<size_t>(curve.reliability_index)].d
                           : 0.0;
  result.life = std::move(*lives);
  result.probability.assign(result.counts.size(), 0.0);
  result.damage.assign(result.counts.size(), 0.0);
  return result;
}

Status CheckTotal(const FatigueResult& result) {
  if (!std::isfinite(result.total_damage)) {
    return Fail(kMsgBadValue, "the damage degree is not a finite number");
  }
  return Ok();
}

/// Miner's rule on the counted cycles of any curve.
Result<FatigueResult> ActualDamage(const RainflowResult& rainflow, const SnCurve& curve) {
  auto prepared = Prepare(FatigueMethod::kActual, rainflow, curve);
  if (!prepared) return prepared;
  FatigueResult& result = *prepared;
  for (size_t j = 0; j < result.counts.size(); ++j) {
    result.probability[j] = result.counts[j] / result.total_cycles;
    result.damage[j] = result.counts[j] / result.life[j];
    result.total_damage += result.damage[j];
  }
  if (auto ok = CheckTotal(result); !ok) return ok.error();
  return prepared;
}

/// Miner's rule on the fitted distribution of any curve.
Result<FatigueResult> FittedDamage(const RainflowResult& rainflow, const SnCurve& curve) {
  auto prepared = Prepare(FatigueMethod::kFitting, rainflow, curve);
  if (!prepared) return prepared;
  FatigueResult& result = *prepared;
  auto fit = FitWeibull(result.counts, result.partition_width);
  if (!fit) return fit.error();
  result.location = fit->location;
  result.scale = fit->scale;
  result.shape = fit->shape;
  for (double count : result.counts) {
    result.whole_cycles += static_cast<int64_t>(std::trunc(count + 0.5));
  }
  const auto whole_cycles = static_cast<double>(result.whole_cycles);
  for (size_t j = 0; j < result.counts.size(); ++j) {
    const double stress_range = (static_cast<double>(j) + 0.5) * result.partition_width;
    result.probability[j] = WeibullProbability(*fit, stress_range);
    result.damage[j] = whole_cycles * result.probability[j] / result.life[j];
    result.total_damage += result.damage[j];
  }
  if (auto ok = CheckTotal(result); !ok) return ok.error();
  return prepared;
}

}  // namespace

Result<std::vector<double>> PartitionLives(int32_t partitions, double partition_width,
                                           int32_t class_index, int32_t reliability_index) {
  if (!IsSnClassIndex(class_index)) {
    return Fail(kMsgBadValue, "unknown S-N class index " + std::to_string(class_index));
  }
  if (!IsReliabilityIndex(reliability_index)) {
    return Fail(kMsgBadValue, "unknown reliability index " + std::to_string(reliability_index));
  }
  if (!PartitionCountValid(partitions)) {
    return Fail(kMsgBadValue,
                "the partition count " + std::to_string(partitions) + " lies outside 1..2000");
  }
  if (!std::isfinite(partition_width) || !(partition_width > 0.0)) {
    return Fail(kMsgBadValue, "the partition width is not a positive number");
  }
  const SnClass& sn_class = kSnClassTable[static_cast<size_t>(class_index)];
  const double d = kReliabilityFactors[static_cast<size_t>(reliability_index)].d;
  std::vector<double> lives(static_cast<size_t>(partitions));
  for (int32_t j = 0; j < partitions; ++j) {
    const double stress_range = (j + 0.5) * partition_width;
    const double life = CyclesToFailure(sn_class, d, stress_range);
    if (!std::isfinite(life) || !(life > 0.0)) {
      return Fail(kMsgBadValue, "the S-N curve gives no finite life at the stress range " +
                                    std::to_string(stress_range));
    }
    lives[static_cast<size_t>(j)] = life;
  }
  return lives;
}

Result<FatigueResult> EstimateActualDamage(const RainflowResult& rainflow, int32_t class_index,
                                           int32_t reliability_index) {
  return ActualDamage(rainflow, UncheckedWeldClass(class_index, reliability_index));
}

Result<FatigueResult> EstimateFittedDamage(const RainflowResult& rainflow, int32_t class_index,
                                           int32_t reliability_index) {
  return FittedDamage(rainflow, UncheckedWeldClass(class_index, reliability_index));
}

Result<FatigueResult> EstimateDamage(FatigueMethod method, const RainflowResult& rainflow,
                                     int32_t class_index, int32_t reliability_index) {
  return method == FatigueMethod::kFitting
             ? EstimateFittedDamage(rainflow, class_index, reliability_index)
             : EstimateActualDamage(rainflow, class_index, reliability_index);
}

Result<std::vector<double>> PartitionLives(int32_t partitions, double partition_width,
                                           const SnCurve& curve) {
  if (curve.is_weld_class()) {
    return PartitionLives(partitions, partition_width, curve.class_index, curve.reliability_index);
  }
  if (!PartitionCountValid(partitions)) {
    return Fail(kMsgBadValue,
                "the partition count " + std::to_string(partitions) + " lies outside 1..2000");
  }
  if (!std::isfinite(partition_width) || !(partition_width > 0.0)) {
    return Fail(kMsgBadValue, "the partition width is not a positive number");
  }
  std::vector<double> lives(static_cast<size_t>(partitions));
  for (int32_t j = 0; j < partitions; ++j) {
    const double stress_range = (j + 0.5) * partition_width;
    const double life = curve.CyclesToFailure(stress_range);
    // +infinity is a life too: the curve does no damage at this range.
    if (std::isnan(life) || !(life > 0.0)) {
      return Fail(kMsgBadValue, "the S-N curve gives no life at the stress range " +
                                    std::to_string(stress_range));
    }
    lives[static_cast<size_t>(j)] = life;
  }
  return lives;
}

namespace {

/// Miner's rule on the counted cycles at their equivalent ranges (see FatigueResult::correction).
Result<FatigueResult> CorrectedDamage(const FatigueChoice& choice, const RainflowResult& rainflow,
                                      std::span<const RainflowCycle> cycles) {
  if (auto ok = CheckMeanCorrection(choice.correction); !ok) return ok.error();
  if (!PartitionCountValid(rainflow.partitions)) {
    return Fail(kMsgBadValue, "the partition count " + std::to_string(rainflow.partitions) +
                                  " lies outside 1..2000");
  }
  if (!(std::isfinite(rainflow.amplitude_range) && rainflow.amplitude_range > 0.0)) {
    return Fail(kMsgBadValue, "the rainflow count has no amplitude range A above 0");
  }
  // The equivalent range of every cycle the histogram counts; -1 for one it leaves out.
  std::vector<double> equivalent(cycles.size(), -1.0);
  double largest = rainflow.amplitude_range;
  double histogram_cycles = 0.0;
  double listed_cycles = 0.0;
  for (int32_t j = 0; j < rainflow.partitions; ++j) {
    histogram_cycles += rainflow.counts[static_cast<size_t>(j)];
  }
  for (size_t i = 0; i < cycles.size(); ++i) {
    if (!RainflowCountsRange(rainflow, cycles[i].range)) continue;
    auto range = EquivalentRange(choice.correction, cycles[i].range, cycles[i].mean);
    if (!range) return range.error();
    if (!std::isfinite(*range)) {
      return Fail(kMsgBadValue, "a cycle's equivalent range is not a finite number");
    }
    equivalent[i] = *range;
    largest = std::max(largest, *range);
    listed_cycles += cycles[i].count;
  }
  if (listed_cycles == 0.0 && histogram_cycles > 0.0) {
    return Fail(kMsgBadValue, "a mean-stress correction needs the cycles of the count");
  }
  // Halves and wholes sum exactly, so the two agree exactly when the list is the histogram's.
  if (listed_cycles != histogram_cycles) {
    return Fail(kMsgBadValue, "the cycle list is not the one the histogram was counted from");
  }
  RainflowResult widened = rainflow;
  widened.partition_width = largest / rainflow.partitions;
  widened.counts.fill(0.0);
  const PartitionIndex index =
      PartitionIndex::Rainflow(rainflow.partitions, widened.partition_width);
  for (size_t i = 0; i < cycles.size(); ++i) {
    if (equivalent[i] < 0.0) continue;
    widened.counts[static_cast<size_t>(index.Find(equivalent[i]))] += cycles[i].count;
  }
  auto prepared = Prepare(FatigueMethod::kActual, widened, choice.curve);
  if (!prepared) return prepared;
  FatigueResult& result = *prepared;
  result.correction = choice.correction;
  for (size_t i = 0; i < cycles.size(); ++i) {
    if (!(equivalent[i] > 0.0)) continue;
    result.damage[static_cast<size_t>(index.Find(equivalent[i]))] +=
        cycles[i].count / choice.curve.CyclesToFailure(equivalent[i]);
  }
  for (size_t j = 0; j < result.counts.size(); ++j) {
    result.probability[j] = result.counts[j] / result.total_cycles;
    result.total_damage += result.damage[j];
  }
  if (auto ok = CheckTotal(result); !ok) return ok.error();
  return prepared;
}

}  // namespace

Result<FatigueResult> EstimateDamage(const FatigueChoice& choice, const RainflowResult& rainflow,
                                     std::span<const RainflowCycle> cycles) {
  if (choice.correction.kind == MeanCorrectionKind::kNone) {
    if (choice.curve.is_weld_class()) {
      return EstimateDamage(choice.method, rainflow, choice.curve.class_index,
                            choice.curve.reliability_index);
    }
    return choice.method == FatigueMethod::kFitting ? FittedDamage(rainflow, choice.curve)
                                                    : ActualDamage(rainflow, choice.curve);
  }
  if (choice.method != FatigueMethod::kActual) {
    return Fail(kMsgBadValue,
                "a mean-stress correction works on the counted cycles: use the actual estimate");
  }
  return CorrectedDamage(choice, rainflow, cycles);
}

}  // namespace torvwy::core
