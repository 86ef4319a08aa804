// WaveformEnvelope: the overview of a whole waveform, two extremes per segment.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "core/data/sampling_info.h"
#include "core/services/result.h"

namespace torvwy::core {

class Progress;
class WaveformReader;

/// Builds the envelope of M values from the samples of a whole record fed in time order:
///
///   samples  |--- segment 1 ---|--- segment 2 ---| ... |--- segment M/2 ---|
///   ends at     trunc(1 s)        trunc(2 s)              trunc(M/2 s) = L
///
/// with s = length in half blocks x 1024 / M. Each segment gives its smallest and its largest
/// sample, the one that comes first in time first (the first of equal extremes counts). Finish()
/// divides every value once by c2 x c1.
class EnvelopeBuilder {
 public:
  explicit EnvelopeBuilder(const SamplingInfo& info);

  /// Feeds the next samples (raw values) of the record.
  void Feed(std::span<const double> samples);
  /// Segments completed so far.
  int segments_done() const { return segment_ - 1; }
  int segment_count() const { return overview_size_ / 2; }
  /// The envelope in EU; segments never fed stay zero.
  std::vector<double> Finish() const;

 private:
  int64_t SegmentEnd(int segment) const;
  void CloseSegment();

  int overview_size_;
  int32_t length_half_blocks_;
  double divisor_;
  std::vector<double> values_;
  int segment_ = 1;          // 1-based segment being filled
  int64_t consumed_ = 0;     // samples fed so far
  int64_t segment_end_ = 0;  // sample index where the current segment ends
  bool has_ = false;
  double min_ = 0, max_ = 0;
  int64_t min_pos_ = 0, max_pos_ = 0;
};

/// Reads the whole record once and builds its envelope (not cancellable). The progress runs
/// from 0 to M/2 with one step per segment and shows `caption` (left as it is when empty).
Result<std::vector<double>> BuildWaveformEnvelope(WaveformReader& reader, const SamplingInfo& info,
                                                  Progress& progress,
                                                  std::string_view caption = {});

/// Largest and smallest envelope value: a later value replaces the maximum when strictly
/// greater, the minimum when strictly smaller, starting from the first value.
struct EnvelopeExtremes {
  double maximum = 0.0;
  double minimum = 0.0;
};
EnvelopeExtremes FindEnvelopeExtremes(std::span<const double> envelope);

}  // namespace torvwy::core
