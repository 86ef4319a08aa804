// The damage of each cycle and the cumulative damage through the record.
#include "core/fatigue/damage_history.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "core/counting/partition_index.h"
#include "core/services/message_table.h"

namespace torvwy::core {

Result<std::vector<double>> CycleDamages(const FatigueChoice& choice,
                                         const RainflowResult& histogram,
                                         const FatigueResult& estimate,
                                         std::span<const RainflowCycle> cycles) {
  if (estimate.method != FatigueMethod::kActual) {
    return Fail(kMsgBadValue,
                "the damage of each cycle needs the estimate from the counted cycles (actual)");
  }
  if (estimate.partitions < 1 || estimate.life.size() < static_cast<size_t>(estimate.partitions)) {
    return Fail(kMsgBadValue, "the life estimate holds no partitions");
  }
  std::vector<double> damages(cycles.size(), 0.0);
  const bool corrected = choice.correction.kind != MeanCorrectionKind::kNone;
  const PartitionIndex index =
      PartitionIndex::Rainflow(estimate.partitions, estimate.partition_width);
  for (size_t i = 0; i < cycles.size(); ++i) {
    const RainflowCycle& cycle = cycles[i];
    if (!RainflowCountsRange(histogram, cycle.range)) continue;
    if (corrected) {
      auto equivalent = EquivalentRange(choice.correction, cycle.range, cycle.mean);
      if (!equivalent) return equivalent.error();
      if (*equivalent > 0.0) damages[i] = cycle.count / choice.curve.CyclesToFailure(*equivalent);
    } else {
      damages[i] = cycle.count / estimate.life[static_cast<size_t>(index.Find(cycle.range))];
    }
  }
  return damages;
}

Result<std::vector<DamageStep>> DamageHistory(const FatigueChoice& choice,
                                              const RainflowResult& histogram,
                                              const FatigueResult& estimate,
                                              std::span<const RainflowCycle> cycles,
                                              const CycleTiming& timing) {
  if (!(std::isfinite(timing.frequency_hz) && timing.frequency_hz > 0.0)) {
    return Fail(kMsgBadValue, "the damage over time needs the sampling frequency");
  }
  auto damages = CycleDamages(choice, histogram, estimate, cycles);
  if (!damages) return damages.error();
  std::vector<size_t> closed;
  DamageStep residue;
  residue.residue = true;
  residue.sample = timing.last_sample;
  for (size_t i = 0; i < cycles.size(); ++i) {
    if (cycles[i].count == 1.0) {
      closed.push_back(i);
    } else {
      residue.count += cycles[i].count;
      residue.damage += (*damages)[i];
    }
  }
  std::stable_sort(closed.begin(), closed.end(),
                   [&](size_t a, size_t b) { return cycles[a].end < cycles[b].end; });
  std::vector<DamageStep> steps;
  steps.reserve(closed.size() + 1);
  double cumulative = 0.0;
  for (const size_t i : closed) {
    DamageStep step;
    step.sample = timing.first_sample + cycles[i].end;
    step.seconds = static_cast<double>(step.sample) / timing.frequency_hz;
    step.range = cycles[i].range;
    step.mean = cycles[i].mean;
    step.count = cycles[i].count;
    step.damage = (*damages)[i];
    cumulative += step.damage;
    step.cumulative = cumulative;
    steps.push_back(step);
  }
  residue.seconds = static_cast<double>(residue.sample) / timing.frequency_hz;
  residue.cumulative = cumulative + residue.damage;
  steps.push_back(residue);
  return steps;
}

}  // namespace torvwy::core
