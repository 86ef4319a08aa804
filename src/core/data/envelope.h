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

/// What one envelope segment, or a stretch of one, has seen: its first sample, and the first
/// positions of its largest and its smallest sample that is a number.
struct EnvelopeSegment {
  int64_t fed = 0;  ///< samples seen
  double first = 0.0;
  bool has = false;  ///< a sample that is a number was seen
  double min = 0.0, max = 0.0;
  int64_t min_pos = 0, max_pos = 0;

  /// Adds what `later` saw, which starts where this one's samples end; this one keeps an
  /// extreme the later one only equals.
  void Join(const EnvelopeSegment& later);
  /// The segment's two envelope values (raw): the one that comes first in time first; the first
  /// sample twice when it is a NaN.
  void Put(double* out) const;
};

/// Builds the envelope of M values from the samples of a whole record fed in time order:
///
///   samples  |--- segment 1 ---|--- segment 2 ---| ... |--- segment M/2 ---|
///   ends at     trunc(1 s)        trunc(2 s)              trunc(M/2 s) = L
///
/// with s = length in half blocks x 1024 / M. Each segment gives its smallest and its largest
/// sample, the one that comes first in time first (the first of equal extremes counts; a segment
/// that starts with a NaN gives that NaN twice). Finish() divides every value once by c2 x c1.
///
/// A builder may also start inside the record and see only a stretch of it; builders of
/// neighbouring stretches, merged in time order, give what one builder over all of them gives:
///
///   builder 1 |--- seg 1 ---|--- se|          merged: |--- seg 1 ---|--- seg 2 ---|--- ...
///   builder 2                      |g 2 ---|--- ...
class EnvelopeBuilder {
 public:
  /// A builder whose first sample fed is sample `first_sample` (0-based) of the record.
  explicit EnvelopeBuilder(const SamplingInfo& info, int64_t first_sample = 0);

  /// An empty builder of the same record whose first sample fed is `first_sample`.
  EnvelopeBuilder StretchFrom(int64_t first_sample) const;

  /// Feeds the next samples (raw values) of the record.
  void Feed(std::span<const double> samples);
  /// Adds what `later` saw; `later` must have started where this builder's samples end.
  void Merge(const EnvelopeBuilder& later);
  /// Segments completed so far.
  int segments_done() const { return segment_ - 1; }
  int segment_count() const { return overview_size_ / 2; }
  /// The envelope in EU; segments not fed in full stay zero.
  std::vector<double> Finish() const;

 private:
  using Segment = EnvelopeSegment;

  int64_t SegmentEnd(int segment) const;

  int overview_size_;
  int32_t length_half_blocks_;
  double divisor_;
  std::vector<Segment> segments_;
  int segment_ = 1;          // 1-based segment being filled
  int64_t consumed_ = 0;     // index of the next sample
  int64_t segment_end_ = 0;  // sample index where the current segment ends
};

/// Reads the whole record once and builds its envelope; fails on a sample that is not a finite
/// number (WaveformReader::CheckFinite), which no count may take. The progress runs from 0 to M/2
/// with one step per segment and shows `caption` (left as it is when empty). Cancel is polled
/// after every 1 Mi samples read; a cancel fails with kMsgCalculationCancelled, its detail
/// beginning with kCancelledPassDetail.
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
