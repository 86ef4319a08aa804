// Group extremes of a stretch of a record, and the stretch of an envelope.
#include "core/data/waveform_window.h"

#include <algorithm>
#include <cmath>

#include "core/data/waveform_reader.h"

namespace torvwy::core {
namespace {

constexpr int64_t kBufferSamples = 65536;

/// What `chunk` (samples from `position` on, all in one group) saw, as an envelope segment.
EnvelopeSegment SegmentOf(std::span<const double> chunk, int64_t position) {
  EnvelopeSegment part;
  part.fed = static_cast<int64_t>(chunk.size());
  part.first = chunk.empty() ? 0.0 : chunk[0];
  for (size_t i = 0; i < chunk.size(); ++i) {
    const double v = chunk[i];
    if (std::isnan(v)) continue;
    const int64_t at = position + static_cast<int64_t>(i);
    if (!part.has) {
      part.has = true;
      part.min = part.max = v;
      part.min_pos = part.max_pos = at;
    } else if (v > part.max) {
      part.max = v;
      part.max_pos = at;
    } else if (v < part.min) {
      part.min = v;
      part.min_pos = at;
    }
  }
  return part;
}

}  // namespace

Result<WindowExtremes> ReadWindowExtremes(WaveformReader& reader, const SamplingInfo& info,
                                          int64_t first, int64_t count, int64_t max_groups) {
  const int64_t record = reader.record_samples();
  WindowExtremes window;
  window.first = std::clamp<int64_t>(first, 0, record);
  window.count = std::clamp<int64_t>(count, 0, record - window.first);
  if (window.count == 0) return window;
  const int64_t groups_wanted = std::max<int64_t>(1, max_groups);
  window.group_samples = std::max<int64_t>(1, (window.count + groups_wanted - 1) / groups_wanted);
  const double divisor = info.c2() * info.c1();
  if (auto moved = reader.Seek(window.first); !moved) return moved.error();
  std::vector<double> buffer(static_cast<size_t>(std::min(kBufferSamples, window.count)));
  EnvelopeSegment group;
  int64_t in_group = 0;
  int64_t position = window.first;
  const int64_t end = window.first + window.count;
  auto close_group = [&] {
    double pair[2];
    group.Put(pair);
    window.values.push_back(pair[0] / divisor);
    window.values.push_back(pair[1] / divisor);
    group = EnvelopeSegment{};
    in_group = 0;
  };
  while (position < end) {
    const int64_t n = std::min<int64_t>(static_cast<int64_t>(buffer.size()), end - position);
    const std::span<double> chunk(buffer.data(), static_cast<size_t>(n));
    if (auto read = reader.Read(chunk); !read) return read.error();
    int64_t i = 0;
    while (i < n) {
      const int64_t take = std::min(n - i, window.group_samples - in_group);
      group.Join(SegmentOf(chunk.subspan(static_cast<size_t>(i), static_cast<size_t>(take)),
                           position + i));
      in_group += take;
      i += take;
      if (in_group == window.group_samples) close_group();
    }
    position += n;
  }
  if (in_group > 0) close_group();
  return window;
}

WindowExtremes EnvelopeWindow(std::span<const double> envelope, const SamplingInfo& info,
                              int64_t first, int64_t count) {
  WindowExtremes window;
  const int64_t segments = static_cast<int64_t>(envelope.size() / 2);
  const int64_t record = info.record_samples();
  if (segments <= 0 || record <= 0) return window;
  // Segment j ends at trunc((j + 1) s), s = record / segments (as the envelope cuts them).
  const double s = static_cast<double>(record) / static_cast<double>(segments);
  auto start_of = [&](int64_t j) { return static_cast<int64_t>(std::floor(j * s)); };
  first = std::clamp<int64_t>(first, 0, record);
  const int64_t last = std::clamp<int64_t>(first + std::max<int64_t>(count, 1), 1, record);
  int64_t j0 = std::clamp<int64_t>(static_cast<int64_t>(first / s), 0, segments - 1);
  while (j0 > 0 && start_of(j0) > first) --j0;
  int64_t j1 = std::clamp<int64_t>(static_cast<int64_t>(std::ceil(last / s)), j0 + 1, segments);
  window.first = start_of(j0);
  window.count = (j1 == segments ? record : start_of(j1)) - window.first;
  window.group_samples = std::max<int64_t>(1, static_cast<int64_t>(std::llround(s)));
  window.values.assign(envelope.begin() + 2 * j0, envelope.begin() + 2 * j1);
  return window;
}

}  // namespace torvwy::core
