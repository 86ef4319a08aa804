// The extremes of fixed-size groups of a stretch of a record, read in fixed buffers: what a
// time-history view draws of the samples it shows.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/data/envelope.h"
#include "core/data/sampling_info.h"
#include "core/services/result.h"

namespace torvwy::core {

class WaveformReader;

/// The largest stretch the view reads sample by sample; a longer one is drawn from the record's
/// envelope, so that a view of a long record never reads all of it.
inline constexpr int64_t kMaxWindowReadSamples = int64_t{1} << 22;

/// A stretch of a record as groups of samples, each group's smallest and largest sample:
///
///   first                                         first + count
///   |-- group 1 --|-- group 2 --| ... |-- group n -|      n = ceil(count / g)
///
/// values holds two EU values per group, the one that comes first in time first (as the
/// envelope gives them), so that a line through them draws every excursion of the stretch.
struct WindowExtremes {
  int64_t first = 0;          ///< first sample of the stretch
  int64_t count = 0;          ///< samples of the stretch
  int64_t group_samples = 1;  ///< g; the last group may be shorter
  std::vector<double> values;
};

/// Reads samples first .. first + count - 1 of the record through `reader`, one fixed buffer at
/// a time, and gives the extremes of groups of at most `max_groups` groups (at least one sample
/// each). The stretch is kept within the record. Fails as the reader does.
Result<WindowExtremes> ReadWindowExtremes(WaveformReader& reader, const SamplingInfo& info,
                                          int64_t first, int64_t count, int64_t max_groups);

/// The segments of a whole record's envelope (M values in EU, M / 2 segments) that cover
/// samples first .. first + count - 1, as whole segments: no sample is read.
WindowExtremes EnvelopeWindow(std::span<const double> envelope, const SamplingInfo& info,
                              int64_t first, int64_t count);

}  // namespace torvwy::core
