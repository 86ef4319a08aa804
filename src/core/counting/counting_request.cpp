// Settling a counting request into the parameters of a run.
#include "core/counting/counting_request.h"

#include <string>

#include "core/services/message_table.h"

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

Status CheckPartitionCount(int64_t partitions, std::string_view name) {
  if (partitions >= kMinPartitions) return Ok();
  return Fail(kMsgBadValue, std::string(name) + " must be 1 or more");
}

}  // namespace torvwy::core
