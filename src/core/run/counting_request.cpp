// Settling a counting request into the parameters of a run.
#include "core/run/counting_request.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/services/message_table.h"
#include "core/services/number_format.h"

namespace torvwy::core {

CountingRequest BlockRequest(std::optional<BlockRange> blocks, int32_t amplitude_mode,
                             double set_value, int32_t partitions) {
  CountingRequest request;
  request.range_mode = blocks ? kRangeByBlock : kRangeFull;
  request.blocks = blocks;
  request.amplitude_mode = amplitude_mode;
  request.set_value = set_value;
  request.partitions = partitions;
  return request;
}

Result<CountingParameters> SettleCountingRequest(const CountingRequest& request,
                                                 const SamplingInfo& info) {
  if (request.range_mode < kRangeFull || request.range_mode > kRangeByBlock) {
    return Fail(kMsgBadValue,
                "analysis range mode " + std::to_string(request.range_mode) + " is not 0, 1 or 2");
  }
  if (request.amplitude_mode < kAmplitudeFullScale || request.amplitude_mode > kAmplitudeSetValue) {
    return Fail(kMsgBadValue,
                "amplitude mode " + std::to_string(request.amplitude_mode) + " is not 0, 1 or 2");
  }
  if (request.amplitude_mode == kAmplitudeSetValue) {
    if (auto ok =
            CheckAmplitudeRange(request.set_value, request.partitions, "the set amplitude range");
        !ok) {
      return ok.error();
    }
  } else if (request.amplitude_mode == kAmplitudeFullScale) {
    // An unknown format is left for the run to refuse, as it always has been.
    if (auto full_scale = FullScaleOf(info)) {
      const double range = AdRangeValue(CountingKind::kRange, *full_scale, info);
      if (auto ok =
              CheckAmplitudeRange(range, request.partitions, "the full scale (FS + FS) / c2 / c1");
          !ok) {
        return ok.error();
      }
    }
  }
  CountingParameters p;
  p.range_mode = request.range_mode;
  p.amplitude_mode = request.amplitude_mode;
  p.set_value = request.set_value;
  p.partitions = request.partitions;
  ResetRangeOnNodeLoad(p, info);
  if (request.blocks) {
    p.block_from = request.blocks->first;
    p.block_to = request.blocks->last;
  }
  if (request.times) {
    p.time_from = request.times->from_s;
    p.time_to = request.times->to_s;
  }
  SettleRange(p);
  return p;
}

Status CheckAmplitudeRange(double amplitude_range, int64_t partitions, std::string_view name) {
  const std::string value = " = " + ShortestText(amplitude_range);
  if (!std::isfinite(amplitude_range) || !(amplitude_range > 0.0)) {
    return Fail(kMsgBadValue, std::string(name) + value + " is not a finite number above 0");
  }
  // The widest partition is the two-way one, (A + A) / N with N >= 1; the narrowest the one-way
  // one, A / N, which the counters divide by and the files store.
  if (!std::isfinite(amplitude_range + amplitude_range)) {
    return Fail(kMsgBadValue, std::string(name) + value + " makes the partition width infinite");
  }
  const int32_t n = std::max(EffectivePartitions(partitions), kMinPartitions);
  if (!std::isnormal(amplitude_range / n)) {
    return Fail(kMsgBadValue, std::string(name) + value +
                                  " makes the partition width too small: A / " + std::to_string(n) +
                                  " is below " + ShortestText(std::numeric_limits<double>::min()));
  }
  return Ok();
}

Result<double> CountingAmplitudeRange(CountingKind kind, const CountingParameters& parameters,
                                      const SamplingInfo& info, const EnvelopeExtremes& extremes,
                                      const std::filesystem::path& record) {
  double range = 0.0;
  std::string name;
  switch (parameters.amplitude_mode) {
    case kAmplitudeFullScale: {
      auto full_scale = FullScaleOf(info);
      if (!full_scale) return full_scale.error();
      range = AdRangeValue(kind, *full_scale, info);
      name = kind == CountingKind::kPeak ? "the full scale |FS / c2 / c1|"
                                         : "the full scale (FS + FS) / c2 / c1";
      break;
    }
    case kAmplitudeAutomatic:
      range = kind == CountingKind::kPeak ? extremes.maximum
                                          : (extremes.maximum - extremes.minimum) * 1.1;
      if (auto ok = CheckAutomaticAmplitude(range, extremes.maximum, extremes.minimum, record);
          !ok) {
        return ok.error();
      }
      name = record.string() + ": the automatic amplitude range";
      break;
    case kAmplitudeSetValue:
      range = parameters.set_value;
      name = "the set amplitude range";
      break;
    default:
      return Fail(kMsgBadValue,
                  "unknown amplitude mode " + std::to_string(parameters.amplitude_mode));
  }
  if (auto ok = CheckAmplitudeRange(range, parameters.partitions, name); !ok) return ok.error();
  return range;
}

Status CheckAutomaticAmplitude(double amplitude_range, double envelope_maximum,
                               double envelope_minimum, const std::filesystem::path& record) {
  if (amplitude_range > 0.0) return Ok();
  const std::string give = "; give the full scale or a value";
  if (envelope_maximum == envelope_minimum) {
    return Fail(kMsgBadValue, record.string() + ": the record is constant at " +
                                  ShortestText(envelope_maximum) +
                                  " EU: the automatic amplitude range is 0" + give);
  }
  return Fail(kMsgBadValue, record.string() + ": the largest peak " +
                                ShortestText(envelope_maximum) +
                                " EU is not above 0: the automatic amplitude range is " +
                                ShortestText(amplitude_range) + give);
}

Status CheckPartitionCount(int64_t partitions, std::string_view name) {
  if (partitions >= kMinPartitions) return Ok();
  return Fail(kMsgBadValue, std::string(name) + " must be 1 or more");
}

std::string PartitionCountNote(int64_t partitions, std::string_view name) {
  if (partitions <= kMaxPartitions) return {};
  return std::string(name) + " " + std::to_string(partitions) + " is above " +
         std::to_string(kMaxPartitions) + "; counted with " + std::to_string(kMaxPartitions) +
         " partitions";
}

}  // namespace torvwy::core
