// Building the waveform envelope in one streaming pass.
#include "core/data/envelope.h"

#include <algorithm>
#include <cmath>

#include "core/counting/progress.h"
#include "core/data/waveform_reader.h"

namespace torvwy::core {

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
    double min = seg.min, max = seg.max;
    int64_t min_pos = seg.min_pos, max_pos = seg.max_pos;
    for (; k < take; ++k) {
      const double v = x[k];
      if (v > max) {
        max = v;
        max_pos = consumed_ + static_cast<int64_t>(k);
      } else if (v < min) {
        min = v;
        min_pos = consumed_ + static_cast<int64_t>(k);
      }
    }
    seg.min = min;
    seg.max = max;
    seg.min_pos = min_pos;
    seg.max_pos = max_pos;
    seg.fed += static_cast<int64_t>(take);
    consumed_ += static_cast<int64_t>(take);
    i += take;
    if (consumed_ >= segment_end_) {
      ++segment_;
      segment_end_ = SegmentEnd(segment_);
    }
  }
}

void EnvelopeBuilder::Merge(const EnvelopeBuilder& later) {
  for (size_t j = 0; j < segments_.size() && j < later.segments_.size(); ++j) {
    Segment& a = segments_[j];
    const Segment& b = later.segments_[j];
    if (b.fed == 0) continue;
    if (a.fed == 0) {
      a = b;
      continue;
    }
    a.fed += b.fed;
    if (!b.has) continue;
    if (!a.has) {
      a.has = true;
      a.min = b.min;
      a.max = b.max;
      a.min_pos = b.min_pos;
      a.max_pos = b.max_pos;
      continue;
    }
    // The earlier stretch keeps an extreme the later one only equals.
    if (b.max > a.max) {
      a.max = b.max;
      a.max_pos = b.max_pos;
    }
    if (b.min < a.min) {
      a.min = b.min;
      a.min_pos = b.min_pos;
    }
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
    if (seg.fed > 0 && seg.fed == end - begin) {
      double* out = envelope.data() + 2 * (j - 1);
      if (std::isnan(seg.first)) {
        out[0] = out[1] = seg.first;
      } else if (seg.min_pos <= seg.max_pos) {
        out[0] = seg.min;
        out[1] = seg.max;
      } else {
        out[0] = seg.max;
        out[1] = seg.min;
      }
    }
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
  std::vector<double> buffer(kChunk);
  int64_t left = reader.record_samples();
  while (left > 0) {
    const int64_t n = std::min(left, kChunk);
    std::span<double> chunk(buffer.data(), static_cast<size_t>(n));
    if (auto ok = reader.Read(chunk); !ok) return ok.error();
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
