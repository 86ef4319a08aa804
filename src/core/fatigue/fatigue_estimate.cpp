// Damage by Miner's rule from the counted or the fitted cycles.
#include "core/fatigue/fatigue_estimate.h"

#include <cmath>
#include <string>

#include "core/fatigue/sn_class_table.h"
#include "core/fatigue/weibull_fit.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

// Counts beyond this can't be rounded to a whole number of cycles exactly.
constexpr double kLargestCount = 1.0e15;

/// The common part of both estimates: the choice, the histogram, F and the lives.
Result<FatigueResult> Prepare(FatigueMethod method, const RainflowResult& rainflow,
                              int32_t class_index, int32_t reliability_index) {
  if (!PartitionCountValid(rainflow.partitions)) {
    return Fail(kMsgBadValue, "the partition count " + std::to_string(rainflow.partitions) +
                                  " lies outside 1..2000");
  }
  FatigueResult result;
  result.method = method;
  result.class_index = class_index;
  result.reliability_index = reliability_index;
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
  auto lives =
      PartitionLives(rainflow.partitions, rainflow.partition_width, class_index, reliability_index);
  if (!lives) return lives.error();
  result.reliability = kReliabilityFactors[static_cast<size_t>(reliability_index)].d;
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
  auto prepared = Prepare(FatigueMethod::kActual, rainflow, class_index, reliability_index);
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

Result<FatigueResult> EstimateFittedDamage(const RainflowResult& rainflow, int32_t class_index,
                                           int32_t reliability_index) {
  auto prepared = Prepare(FatigueMethod::kFitting, rainflow, class_index, reliability_index);
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

Result<FatigueResult> EstimateDamage(FatigueMethod method, const RainflowResult& rainflow,
                                     int32_t class_index, int32_t reliability_index) {
  return method == FatigueMethod::kFitting
             ? EstimateFittedDamage(rainflow, class_index, reliability_index)
             : EstimateActualDamage(rainflow, class_index, reliability_index);
}

}  // namespace torvwy::core
