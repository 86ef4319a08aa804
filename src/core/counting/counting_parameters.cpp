// Resetting and settling the counting parameters.
#include "core/counting/counting_parameters.h"

#include <cmath>
#include <utility>

namespace torvwy::core {

void ResetRangeOnNodeLoad(CountingParameters& p, const SamplingInfo& info) {
  p.total_blocks = info.whole_blocks();
  p.time_from = 0.0;
  p.time_to = static_cast<double>(p.total_blocks) * 1024.0 / info.frequency_hz();
  p.block_from = p.first_block = 1;
  p.block_to = p.last_block = p.total_blocks;
}

void TakeAdRangeAsDefault(CountingParameters& p, double ad_range_value) {
  if (p.set_value == 0.0) p.set_value = ad_range_value;
}

void SettleRange(CountingParameters& p) {
  switch (p.range_mode) {
    case kRangeFull:
      p.first_block = 1;
      p.last_block = p.total_blocks;
      break;
    case kRangeByBlock:
      if (p.block_from < 1) p.block_from = 1;
      if (p.block_to < 1) p.block_to = 1;
      if (p.block_from > p.total_blocks) p.block_from = p.total_blocks;
      if (p.block_to > p.total_blocks) p.block_to = p.total_blocks;
      if (p.block_from > p.block_to) std::swap(p.block_from, p.block_to);
      p.first_block = p.block_from;
      p.last_block = p.block_to;
      break;
    case kRangeByTime:
      if (p.time_from < 0.0) p.time_from = 0.0;
      if (p.time_to < 0.0) p.time_to = 0.0;
      if (p.time_from > p.time_to) std::swap(p.time_from, p.time_to);
      break;
    default:
      break;
  }
}

}  // namespace torvwy::core
