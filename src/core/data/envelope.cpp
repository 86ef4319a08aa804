// Building the waveform envelope in one streaming pass.
#include "core/data/envelope.h"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "core/data/waveform_reader.h"
#include "core/services/message_table.h"
#include "core/services/progress.h"
#include "core/services/simd_level.h"

namespace torvwy::core {
namespace {

struct PieceExtremes {
  double min;
  double max;
};

PieceExtremes FindPieceExtremesScalar(const double* x, size_t i, size_t n, double min, double max) {
  for (; i < n; ++i) {
    max = x[i] > max ? x[i] : max;
    min = x[i] < min ? x[i] : min;
  }
  return {min, max};
}

#if defined(__x86_64__)

// VMAXPD and VMINPD keep the second operand when the first is NaN, as the scalar update does.
__attribute__((target("avx2"))) PieceExtremes FindPieceExtremesAvx2(const double* x, size_t n,
                                                                    double min, double max) {
  __m256d lo0 = _mm256_set1_pd(min), lo1 = lo0;
  __m256d hi0 = _mm256_set1_pd(max), hi1 = hi0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256d a = _mm256_loadu_pd(x + i);
    const __m256d b = _mm256_loadu_pd(x + i + 4);
    hi0 = _mm256_max_pd(a, hi0);
    hi1 = _mm256_max_pd(b, hi1);
    lo0 = _mm256_min_pd(a, lo0);
    lo1 = _mm256_min_pd(b, lo1);
  }
  double lanes[8];
  _mm256_storeu_pd(lanes, _mm256_max_pd(hi0, hi1));
  _mm256_storeu_pd(lanes + 4, _mm256_min_pd(lo0, lo1));
  for (int k = 0; k < 4; ++k) {
    max = lanes[k] > max ? lanes[k] : max;
    min = lanes[4 + k] < min ? lanes[4 + k] : min;
  }
  return FindPieceExtremesScalar(x, i, n, min, max);
}

#endif

// The smallest and the largest of x[0..n) and the given bounds (numbers), ignoring NaN.
PieceExtremes FindPieceExtremes(const double* x, size_t n, double min, double max) {
  const SimdLevel level = ActiveSimdLevel();
#if defined(__x86_64__)
  if (level == SimdLevel::kAvx2) return FindPieceExtremesAvx2(x, n, min, max);
#endif
  size_t i = 0;
#if defined(__SSE2__)
  if (level == SimdLevel::kScalar) return FindPieceExtremesScalar(x, 0, n, min, max);
  // MAXPD and MINPD keep the second operand when the first is NaN, as `v > max ? v : max` does.
  __m128d lo0 = _mm_set1_pd(min), lo1 = lo0;
  __m128d hi0 = _mm_set1_pd(max), hi1 = hi0;
  for (; i + 4 <= n; i += 4) {
    const __m128d a = _mm_loadu_pd(x + i);
    const __m128d b = _mm_loadu_pd(x + i + 2);
    hi0 = _mm_max_pd(a, hi0);
    hi1 = _mm_max_pd(b, hi1);
    lo0 = _mm_min_pd(a, lo0);
    lo1 = _mm_min_pd(b, lo1);
  }
  double lanes[4];
  _mm_storeu_pd(lanes, _mm_max_pd(hi0, hi1));
  _mm_storeu_pd(lanes + 2, _mm_min_pd(lo0, lo1));
  max = lanes[0] > lanes[1] ? lanes[0] : lanes[1];
  min = lanes[2] < lanes[3] ? lanes[2] : lanes[3];
#endif
  return FindPieceExtremesScalar(x, i, n, min, max);
}

// Index of the first x[i] == value; value is one of x[0..n).
size_t FirstEqual(const double* x, size_t n, double value) {
  size_t i = 0;
  while (i + 1 < n && !(x[i] == value)) ++i;
  return i;
}

}  // namespace

EnvelopeBuilder::EnvelopeBuilder(const SamplingInfo& info, int64_t first_sample)
    : overview_size_(info.overview_size()),
      length_half_blocks_(info.length_half_blocks()),
      divisor_(info.c2() * info.c1()),
      segments_(static_cast<size_t>(overview_size_ / 2)),
      consumed_(first_sample) {
  while (segment_ <= segment_count() && SegmentEnd(segment_) <= first_sample) ++segment_;
  segment_end_ = SegmentEnd(segment_);
}

EnvelopeBuilder EnvelopeBuilder::StretchFrom(int64_t first_sample) const {
  EnvelopeBuilder stretch = *this;
  stretch.segments_.assign(segments_.size(), Segment{});
  stretch.segment_ = 1;
  stretch.consumed_ = first_sample;
  while (stretch.segment_ <= segment_count() && SegmentEnd(stretch.segment_) <= first_sample) {
    ++stretch.segment_;
  }
  stretch.segment_end_ = SegmentEnd(stretch.segment_);
  return stretch;
}

int64_t EnvelopeBuilder::SegmentEnd(int segment) const {
  const double s = static_cast<double>(length_half_blocks_) * 1024.0 / overview_size_;
  return static_cast<int64_t>(std::trunc(segment * s));
}

void EnvelopeBuilder::Feed(std::span<const double> samples) {
  size_t i = 0;
  while (i < samples.size() && segment_ <= segment_count()) {
    const int64_t room = segment_end_ - consumed_;
    const size_t take =
        static_cast<size_t>(std::min<int64_t>(room, static_cast<int64_t>(samples.size() - i)));
    Segment& seg = segments_[static_cast<size_t>(segment_ - 1)];
    const double* x = samples.data() + i;
    size_t k = 0;
    if (seg.fed == 0 && take > 0) seg.first = x[0];
    // Samples that are not numbers are never an extreme; the first number starts both.
    for (; !seg.has && k < take; ++k) {
      if (std::isnan(x[k])) continue;
      seg.has = true;
      seg.min = seg.max = x[k];
      seg.min_pos = seg.max_pos = consumed_ + static_cast<int64_t>(k);
    }
    // The largest and smallest of the rest; only a piece that beats the extremes so far is
    // searched for the first position of its extreme, which is what a strict running update
    // keeps (a NaN never compares, so it never wins).
    if (k < take) {
      const PieceExtremes piece = FindPieceExtremes(x + k, take - k, seg.min, seg.max);
      if (piece.max > seg.max) {
        const size_t at = FirstEqual(x + k, take - k, piece.max);
        seg.max = x[k + at];
        seg.max_pos = consumed_ + static_cast<int64_t>(k + at);
      }
      if (piece.min < seg.min) {
        const size_t at = FirstEqual(x + k, take - k, piece.min);
        seg.min = x[k + at];
        seg.min_pos = consumed_ + static_cast<int64_t>(k + at);
      }
    }
    seg.fed += static_cast<int64_t>(take);
    consumed_ += static_cast<int64_t>(take);
    i += take;
    if (consumed_ >= segment_end_) {
      ++segment_;
      segment_end_ = SegmentEnd(segment_);
    }
  }
}

void EnvelopeSegment::Join(const EnvelopeSegment& later) {
  if (later.fed == 0) return;
  if (fed == 0) {
    *this = later;
    return;
  }
  fed += later.fed;
  if (!later.has) return;
  if (!has) {
    has = true;
    min = later.min;
    max = later.max;
    min_pos = later.min_pos;
    max_pos = later.max_pos;
    return;
  }
  // The earlier stretch keeps an extreme the later one only equals.
  if (later.max > max) {
    max = later.max;
    max_pos = later.max_pos;
  }
  if (later.min < min) {
    min = later.min;
    min_pos = later.min_pos;
  }
}

void EnvelopeSegment::Put(double* out) const {
  if (std::isnan(first)) {
    out[0] = out[1] = first;
  } else if (min_pos <= max_pos) {
    out[0] = min;
    out[1] = max;
  } else {
    out[0] = max;
    out[1] = min;
  }
}

void EnvelopeBuilder::Merge(const EnvelopeBuilder& later) {
  for (size_t j = 0; j < segments_.size() && j < later.segments_.size(); ++j) {
    segments_[j].Join(later.segments_[j]);
  }
  if (later.consumed_ > consumed_) {
    consumed_ = later.consumed_;
    segment_ = later.segment_;
    segment_end_ = later.segment_end_;
  }
}

std::vector<double> EnvelopeBuilder::Finish() const {
  std::vector<double> envelope(static_cast<size_t>(overview_size_), 0.0);
  int64_t begin = 0;
  for (int j = 1; j <= segment_count(); ++j) {
    const int64_t end = SegmentEnd(j);
    const Segment& seg = segments_[static_cast<size_t>(j - 1)];
    // A segment seen only in part (impossible for a whole record) keeps its zeros.
    if (seg.fed > 0 && seg.fed == end - begin) seg.Put(envelope.data() + 2 * (j - 1));
    begin = end;
  }
  for (double& v : envelope) v /= divisor_;
  return envelope;
}

Result<std::vector<double>> BuildWaveformEnvelope(WaveformReader& reader, const SamplingInfo& info,
                                                  Progress& progress, std::string_view caption) {
  EnvelopeBuilder builder(info);
  progress.SetRange(0, builder.segment_count());
  progress.SetStep(1);
  if (!caption.empty()) progress.SetStatus(caption);
  if (auto ok = reader.Seek(0); !ok) return ok.error();
  constexpr int64_t kChunk = 1 << 16;
  // Cancel is polled once every 1 Mi samples (a few milliseconds of reading); a record shorter
  // than that is read whole.
  constexpr int kChunksPerPoll = 16;
  std::vector<double> buffer(kChunk);
  int64_t left = reader.record_samples();
  for (int chunks = 1; left > 0; ++chunks) {
    if (chunks % kChunksPerPoll == 1 && chunks > 1 && progress.CheckCancelButton()) {
      return Fail(kMsgCalculationCancelled,
                  std::string(kCancelledPassDetail) + "nothing was counted");
    }
    const int64_t n = std::min(left, kChunk);
    std::span<double> chunk(buffer.data(), static_cast<size_t>(n));
    if (auto ok = reader.Read(chunk); !ok) return ok.error();
    if (auto ok = reader.CheckFinite(chunk, reader.record_samples() - left); !ok) {
      return ok.error();
    }
    const int before = builder.segments_done();
    builder.Feed(chunk);
    if (builder.segments_done() != before) progress.SetPos(builder.segments_done());
    left -= n;
  }
  return builder.Finish();
}

EnvelopeExtremes FindEnvelopeExtremes(std::span<const double> envelope) {
  EnvelopeExtremes extremes;
  if (envelope.empty()) return extremes;
  extremes.maximum = extremes.minimum = envelope[0];
  for (double v : envelope.subspan(1)) {
    if (v > extremes.maximum) extremes.maximum = v;
    if (v < extremes.minimum) extremes.minimum = v;
  }
  return extremes;
}

}  // namespace torvwy::core
