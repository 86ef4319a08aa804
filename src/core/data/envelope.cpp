// Building the waveform envelope in one streaming pass.
#include "core/data/envelope.h"

#include <algorithm>
#include <cmath>

#include "core/counting/progress.h"
#include "core/data/waveform_reader.h"

namespace torvwy::core {

EnvelopeBuilder::EnvelopeBuilder(const SamplingInfo& info)
    : overview_size_(info.overview_size()),
      length_half_blocks_(info.length_half_blocks()),
      divisor_(info.c2() * info.c1()) {
  values_.reserve(static_cast<size_t>(overview_size_));
  segment_end_ = SegmentEnd(1);
}

int64_t EnvelopeBuilder::SegmentEnd(int segment) const {
  const double s = static_cast<double>(length_half_blocks_) * 1024.0 / overview_size_;
  return static_cast<int64_t>(std::trunc(segment * s));
}

void EnvelopeBuilder::CloseSegment() {
  if (has_) {
    if (min_pos_ <= max_pos_) {
      values_.push_back(min_);
      values_.push_back(max_);
    } else {
      values_.push_back(max_);
      values_.push_back(min_);
    }
  } else {
    // An empty segment (impossible for a positive record length) keeps its zeros.
    values_.push_back(0.0);
    values_.push_back(0.0);
  }
  has_ = false;
  ++segment_;
  segment_end_ = SegmentEnd(segment_);
}

void EnvelopeBuilder::Feed(std::span<const double> samples) {
  size_t i = 0;
  while (i < samples.size() && segment_ <= segment_count()) {
    const int64_t room = segment_end_ - consumed_;
    const size_t take =
        static_cast<size_t>(std::min<int64_t>(room, static_cast<int64_t>(samples.size() - i)));
    for (size_t k = 0; k < take; ++k) {
      const double v = samples[i + k];
      const int64_t pos = consumed_ + static_cast<int64_t>(k);
      if (!has_) {
        min_ = max_ = v;
        min_pos_ = max_pos_ = pos;
        has_ = true;
      } else if (v > max_) {
        max_ = v;
        max_pos_ = pos;
      } else if (v < min_) {
        min_ = v;
        min_pos_ = pos;
      }
    }
    consumed_ += static_cast<int64_t>(take);
    i += take;
    if (consumed_ >= segment_end_) CloseSegment();
  }
}

std::vector<double> EnvelopeBuilder::Finish() const {
  std::vector<double> envelope(static_cast<size_t>(overview_size_), 0.0);
  std::copy(values_.begin(), values_.end(), envelope.begin());
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
