// Building and checking the counting plan, and the amplitude range it counts with.
#include "core/run/counting_plan.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <string>

#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/text.h"

namespace torvwy::core {
namespace {

Error Bad(const std::string& text) { return Fail(kMsgBadValue, text); }

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

/// FIRST-LAST; the dash that separates them is the first one after a digit, so that either may
/// be negative (and is then clamped to the record).
Result<BlockRange> ParseBlocks(std::string_view text) {
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] != '-' || std::isdigit(static_cast<unsigned char>(text[i - 1])) == 0) continue;
    const auto first = ParseInt32(text.substr(0, i));
    const auto last = ParseInt32(text.substr(i + 1));
    if (first && last) return BlockRange{*first, *last};
    break;
  }
  return Bad("--blocks " + Quoted(text) + " is not FIRST-LAST");
}

}  // namespace

Result<CrossingOptions> ParseCrossingTexts(const CrossingTexts& texts) {
  CrossingOptions options;
  if (!texts.level_list.empty()) {
    options.level_list.clear();
    std::string_view rest = texts.level_list;
    while (true) {
      const size_t comma = rest.find(',');
      const auto level = ParseFiniteDouble(rest.substr(0, comma));
      if (!level)
        return Bad("--level-list " + Quoted(texts.level_list) + " is not a list of numbers");
      options.level_list.push_back(*level);
      if (comma == std::string_view::npos) break;
      rest = rest.substr(comma + 1);
    }
  }
  if (!texts.reference.empty()) {
    const auto reference = ParseFiniteDouble(texts.reference);
    if (!reference) return Bad("--reference " + Quoted(texts.reference) + " is not a number");
    options.reference = *reference;
  }
  if (!texts.direction.empty()) {
    const auto direction = CrossingDirectionNamed(texts.direction);
    if (!direction) {
      return Bad("--direction " + Quoted(texts.direction) + " is not one of up, down, both, astm");
    }
    options.direction = *direction;
  }
  if (!texts.gate.empty()) {
    const auto gate = ParseDouble(texts.gate);
    if (!gate) return Bad("--gate " + Quoted(texts.gate) + " is not a number");
    options.gate = *gate;
  }
  return options;
}

Status ApplyConventionTexts(const ConventionTexts& texts, CountingPlan& plan) {
  if (!texts.residue.empty()) {
    const auto residue = ResidueMethodNamed(texts.residue);
    if (!residue) {
      return Bad("--residue " + Quoted(texts.residue) +
                 " is not one of half, full, discard, repeated");
    }
    plan.residue = *residue;
  }
  if (!texts.gate.empty()) {
    const auto gate = ParseDouble(texts.gate);
    if (!gate) return Bad("--gate " + Quoted(texts.gate) + " is not a number");
    if (plan.kind == CountingKind::kCrossings) {
      plan.crossings.gate = *gate;
    } else {
      plan.gate = *gate;
    }
  }
  return Ok();
}

namespace {

/// The level crossing options as values: a gate of 0 or more, a level list (when given) of at
/// most 2001 strictly increasing numbers, a finite reference. Whether the reference lies among
/// the levels is known once A is.
Status CheckCrossingOptions(const CrossingOptions& options) {
  if (!std::isfinite(options.gate) || !(options.gate >= 0.0)) {
    return Bad("--gate = " + ShortestText(options.gate) + " is not a finite number of 0 or more");
  }
  if (!std::isfinite(options.reference)) {
    return Bad("--reference = " + ShortestText(options.reference) + " is not a finite number");
  }
  const std::vector<double>& levels = options.level_list;
  if (levels.size() > static_cast<size_t>(kMaxPartitions) + 1) {
    return Bad("--level-list holds " + std::to_string(levels.size()) + " levels; " +
               std::to_string(kMaxPartitions + 1) + " at most");
  }
  for (size_t i = 0; i < levels.size(); ++i) {
    if (!std::isfinite(levels[i])) {
      return Bad("--level-list: level " + std::to_string(i + 1) + " = " + ShortestText(levels[i]) +
                 " is not a finite number");
    }
    if (i > 0 && !(levels[i] > levels[i - 1])) {
      return Bad("--level-list is not strictly increasing: " + ShortestText(levels[i]) +
                 " follows " + ShortestText(levels[i - 1]));
    }
  }
  return Ok();
}

/// The name the messages give the full scale of `method`.
std::string_view FullScaleName(const CountingMethod& method) {
  return method.amplitude.full_scale_two_way ? "the full scale (FS + FS) / c2 / c1"
                                             : "the full scale |FS / c2 / c1|";
}

}  // namespace

Result<CountingPlan> PlanCounting(const CountingPlan& asked) {
  const CountingParameters& p = asked.parameters;
  if (p.range_mode < kRangeFull || p.range_mode > kRangeByBlock) {
    return Bad("analysis range mode " + std::to_string(p.range_mode) + " is not 0, 1 or 2");
  }
  if (p.amplitude_mode < kAmplitudeFullScale || p.amplitude_mode > kAmplitudeSetValue) {
    return Bad("amplitude mode " + std::to_string(p.amplitude_mode) + " is not 0, 1 or 2");
  }
  if (p.partitions < kMinPartitions) return Bad("--partitions must be 1 or more");
  if (p.amplitude_mode == kAmplitudeSetValue) {
    if (auto ok = CheckAmplitudeRange(p.set_value, p.partitions, "--amplitude"); !ok) {
      return ok.error();
    }
  }
  if (auto ok = CheckCrossingOptions(asked.crossings); !ok) return ok.error();
  if (!std::isfinite(asked.gate) || !(asked.gate >= 0.0)) {
    return Bad("--gate = " + ShortestText(asked.gate) + " is not a finite number of 0 or more");
  }
  if (asked.residue && asked.kind != CountingKind::kRainflow) {
    return Bad("--residue applies to rainflow counting only (a " +
               std::string(asked.method().name) + " count has no cycles)");
  }
  if (asked.gate > 0.0 && !asked.method().takes_gate) {
    return Bad("--gate does not apply to " + std::string(asked.method().name));
  }
  if (asked.threads < 0 || asked.threads > kMaxThreads) {
    return Bad("--threads = " + std::to_string(asked.threads) + " is not in 0.." +
               std::to_string(kMaxThreads));
  }
  CountingPlan plan = asked;
  plan.note = PartitionCountNote(p.partitions);
  return plan;
}

Result<CountingPlan> PlanCounting(const CountingTexts& texts, CountingPlan base) {
  const CountingMethod* method = MethodNamed(texts.method);
  if (method == nullptr) {
    std::string names;
    for (const CountingMethod& m : CountingMethods()) {
      names += (names.empty() ? "" : ", ") + std::string(m.name);
    }
    return Bad("--method " + Quoted(texts.method) + " is not one of " + names);
  }
  base.kind = method->kind;
  const auto n = ParseInt32(texts.partitions);
  if (!n) return Bad("--partitions " + Quoted(texts.partitions) + " is not a whole number");
  base.parameters.partitions = *n;
  if (texts.amplitude == "full") {
    base.parameters.amplitude_mode = kAmplitudeFullScale;
  } else if (texts.amplitude == "auto") {
    base.parameters.amplitude_mode = kAmplitudeAutomatic;
  } else {
    const auto value = ParseFiniteDouble(texts.amplitude);
    if (!value) {
      return Bad("--amplitude " + Quoted(texts.amplitude) + " is neither full, auto nor a number");
    }
    base.parameters.amplitude_mode = kAmplitudeSetValue;
    base.parameters.set_value = *value;
  }
  base.blocks.reset();
  base.parameters.range_mode = kRangeFull;
  if (!texts.blocks.empty()) {
    // Checked after N and A, as the command line always has.
    if (auto ok = PlanCounting(base); !ok) return ok.error();
    auto blocks = ParseBlocks(texts.blocks);
    if (!blocks) return blocks.error();
    base.blocks = *blocks;
    base.parameters.range_mode = kRangeByBlock;
  }
  return PlanCounting(base);
}

Status SettlePlan(CountingPlan& plan, const SamplingInfo& info) {
  CountingParameters& p = plan.parameters;
  if (p.amplitude_mode == kAmplitudeFullScale) {
    // An unknown format is left for the run to refuse, as it always has been.
    if (auto range = FullScaleRange(plan.method(), info)) {
      if (auto ok = CheckAmplitudeRange(*range, p.partitions, FullScaleName(plan.method())); !ok) {
        return ok;
      }
    }
  }
  ResetRangeOnNodeLoad(p, info);
  if (plan.blocks) {
    p.block_from = plan.blocks->first;
    p.block_to = plan.blocks->last;
  }
  if (plan.times) {
    p.time_from = plan.times->from_s;
    p.time_to = plan.times->to_s;
  }
  SettleRange(p);
  return Ok();
}

Result<double> FullScaleRange(const CountingMethod& method, const SamplingInfo& info) {
  auto full_scale = FullScaleOf(info);
  if (!full_scale) return full_scale.error();
  const double fs = method.amplitude.full_scale_two_way ? *full_scale + *full_scale : *full_scale;
  return std::fabs(fs / info.c2() / info.c1());
}

Result<double> AmplitudeRangeOf(const CountingPlan& plan, const SamplingInfo& info,
                                const EnvelopeExtremes& extremes,
                                const std::filesystem::path& record) {
  const CountingParameters& p = plan.parameters;
  const AmplitudeRule& rule = plan.method().amplitude;
  double range = 0.0;
  std::string name;
  switch (p.amplitude_mode) {
    case kAmplitudeFullScale: {
      auto full_scale = FullScaleRange(plan.method(), info);
      if (!full_scale) return full_scale.error();
      range = *full_scale;
      name = FullScaleName(plan.method());
      break;
    }
    case kAmplitudeAutomatic:
      if (rule.automatic_largest_magnitude) {
        range = std::max(std::fabs(extremes.maximum), std::fabs(extremes.minimum));
      } else {
        range = rule.automatic_largest_peak ? extremes.maximum
                                            : (extremes.maximum - extremes.minimum) * 1.1;
      }
      if (auto ok = CheckAutomaticAmplitude(range, extremes.maximum, extremes.minimum, record);
          !ok) {
        return ok.error();
      }
      name = record.string() + ": the automatic amplitude range";
      break;
    default:  // kAmplitudeSetValue: PlanCounting accepts no other mode
      range = p.set_value;
      name = "the set amplitude range";
      break;
  }
  if (auto ok = CheckAmplitudeRange(range, p.partitions, name); !ok) return ok.error();
  return range;
}

Status CheckAmplitudeRange(double amplitude_range, int64_t partitions, std::string_view name) {
  const std::string value = " = " + ShortestText(amplitude_range);
  if (!std::isfinite(amplitude_range) || !(amplitude_range > 0.0)) {
    return Bad(std::string(name) + value + " is not a finite number above 0");
  }
  // The widest partition is the two-way one, (A + A) / N with N >= 1; the narrowest the one-way
  // one, A / N, which the counters divide by and the files store.
  if (!std::isfinite(amplitude_range + amplitude_range)) {
    return Bad(std::string(name) + value + " makes the partition width infinite");
  }
  const int32_t n = std::max(EffectivePartitions(partitions), kMinPartitions);
  if (!std::isnormal(amplitude_range / n)) {
    return Bad(std::string(name) + value + " makes the partition width too small: A / " +
               std::to_string(n) + " is below " + ShortestText(std::numeric_limits<double>::min()));
  }
  return Ok();
}

Status CheckAutomaticAmplitude(double amplitude_range, double envelope_maximum,
                               double envelope_minimum, const std::filesystem::path& record) {
  if (amplitude_range > 0.0) return Ok();
  const std::string give = "; give the full scale or a value";
  if (envelope_maximum == envelope_minimum) {
    return Bad(record.string() + ": the record is constant at " + ShortestText(envelope_maximum) +
               " EU: the automatic amplitude range is 0" + give);
  }
  return Bad(record.string() + ": the largest peak " + ShortestText(envelope_maximum) +
             " EU is not above 0: the automatic amplitude range is " +
             ShortestText(amplitude_range) + give);
}

std::string PartitionCountNote(int64_t partitions) {
  if (partitions <= kMaxPartitions) return {};
  return "--partitions " + std::to_string(partitions) + " is above " +
         std::to_string(kMaxPartitions) + "; counted with " + std::to_string(kMaxPartitions) +
         " partitions";
}

}  // namespace torvwy::core
