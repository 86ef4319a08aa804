// Amplitude indices and the peak-to-peak detector, and their passes over a waveform file.
#include "core/stats/amplitude_statistics.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/data/int16_samples.h"
#include "core/data/sample_format.h"
#include "core/data/sampling_info.h"
#include "core/data/waveform_reader.h"
#include "core/services/extreme.h"
#include "core/services/message_table.h"
#include "core/stats/statistics_parameters.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace torvwy::core {

double AmplitudeIndices::peak() const { return std::max(std::abs(maximum), std::abs(minimum)); }

void AmplitudeIndexCounter::Feed(std::span<const double> eu_samples) {
  for (const double x : eu_samples) {
    if (samples_ == 0) {
      maximum_ = x;
      minimum_ = x;
    } else {
      if (x > maximum_) maximum_ = x;
      if (x < minimum_) minimum_ = x;
    }
    ++samples_;
    sum_ += x;
    sum_squares_ += x * x;
  }
}

double AmplitudeIndexCounter::mean() const {
  return samples_ == 0 ? 0.0 : sum_ / static_cast<double>(samples_);
}

void AmplitudeIndexCounter::FeedDeviation(std::span<const double> eu_samples) {
  const double m = mean();
  for (const double x : eu_samples) sum_deviations_ += (x - m) * (x - m);
}

AmplitudeIndices AmplitudeIndexCounter::Finish() const {
  AmplitudeIndices indices;
  if (samples_ == 0) return indices;
  const auto n = static_cast<double>(samples_);
  indices.maximum = maximum_;
  indices.minimum = minimum_;
  indices.mean = sum_ / n;
  indices.rms = std::sqrt(sum_squares_ / n);
  indices.variance = sum_deviations_ / n;
  indices.standard_deviation = std::sqrt(indices.variance);
  return indices;
}

PeakPeakDetector::PeakPeakDetector(int32_t count, double frequency_hz)
    : slots_(static_cast<size_t>(std::max(count, 1))), frequency_hz_(frequency_hz) {}

void PeakPeakDetector::FeedBlock(std::span<const double> block, size_t largest, size_t smallest) {
  if (block.empty()) return;
  const double p = block[std::min(largest, block.size() - 1)];
  const double q = block[std::min(smallest, block.size() - 1)];
  const double high = 0.6 * p + 0.4 * q;
  const double low = 0.4 * p + 0.6 * q;
  const double* x = block.data();
  const size_t n = block.size();
  size_t i = 0;
  // Eight samples at a time while nothing in them changes the state; the eight that hold a
  // change (or a NaN) go one by one.
  for (; i + kRun <= n; i += kRun) {
    if (RunThrough(x + i, high, low)) continue;
    for (size_t j = i; j < i + kRun; ++j) Step(x[j], high, low);
  }
  for (; i < n; ++i) Step(x[i], high, low);
}

void PeakPeakDetector::Step(double x, double high, double low) {
  const int64_t g = next_index_++;
  switch (state_) {
    case State::kUndecided:
      if (x > high) {
        state_ = State::kRising;
        peak_ = x;
        peak_index_ = g;
      }
      if (x < low) {
        state_ = State::kFalling;
        valley_ = x;
        valley_index_ = g;
      }
      if (state_ != State::kUndecided) opposite_known_ = false;
      break;
    case State::kRising:
      if (x > peak_) {
        peak_ = x;
        peak_index_ = g;
      }
      if (x < low) {
        state_ = State::kFalling;
        if (opposite_known_) Record(peak_index_, valley_index_);
        opposite_known_ = true;
        valley_ = low;
      }
      break;
    case State::kFalling:
      if (x < valley_) {
        valley_ = x;
        valley_index_ = g;
      }
      if (x > high) {
        state_ = State::kRising;
        if (opposite_known_) Record(peak_index_, valley_index_);
        opposite_known_ = true;
        peak_ = high;
      }
      break;
  }
}

#if defined(__SSE2__)
namespace {

// Whether any of kRun samples crosses `threshold` (below it when rising, above it when
// falling) or is NaN, and their largest (rising) or smallest (falling).
template <bool kRising>
bool CrossesOrExtreme(const double* x, size_t run, double threshold, double* extreme) {
  const __m128d t = _mm_set1_pd(threshold);
  __m128d change = _mm_setzero_pd();
  __m128d e = _mm_loadu_pd(x);
  for (size_t j = 0; j < run; j += 2) {
    const __m128d v = _mm_loadu_pd(x + j);
    const __m128d crosses = kRising ? _mm_cmplt_pd(v, t) : _mm_cmpgt_pd(v, t);
    change = _mm_or_pd(change, _mm_or_pd(crosses, _mm_cmpunord_pd(v, v)));
    e = kRising ? _mm_max_pd(e, v) : _mm_min_pd(e, v);
  }
  const double a = _mm_cvtsd_f64(e);
  const double b = _mm_cvtsd_f64(_mm_unpackhi_pd(e, e));
  *extreme = kRising ? std::max(a, b) : std::min(a, b);
  return _mm_movemask_pd(change) != 0;
}

}  // namespace
#endif

bool PeakPeakDetector::RunThrough(const double* x, double high, double low) {
#if defined(__SSE2__)
  // Rising, kRun samples none of which falls below `low` only move the peak to their first
  // largest, when that is above it; falling, the same for the valley and `high`. The first
  // largest of the run is its largest, then the first sample equal to it.
  double extreme = 0.0;
  if (state_ == State::kRising) {
    if (CrossesOrExtreme<true>(x, kRun, low, &extreme)) return false;
    if (extreme > peak_) {
      size_t j = 0;
      while (x[j] != extreme) ++j;
      peak_ = x[j];
      peak_index_ = next_index_ + static_cast<int64_t>(j);
    }
  } else if (state_ == State::kFalling) {
    if (CrossesOrExtreme<false>(x, kRun, high, &extreme)) return false;
    if (extreme < valley_) {
      size_t j = 0;
      while (x[j] != extreme) ++j;
      valley_ = x[j];
      valley_index_ = next_index_ + static_cast<int64_t>(j);
    }
  } else {
    return false;
  }
  next_index_ += static_cast<int64_t>(kRun);
  return true;
#else
  (void)x;
  (void)high;
  (void)low;
  return false;
#endif
}

void PeakPeakDetector::Record(int64_t peak_index, int64_t valley_index) {
  // The thresholds follow each block, so a tracker left at the threshold of an earlier block can
  // lie beyond the opposite extreme: such a half-cycle has no height and is no half-cycle.
  const double d = peak_ - valley_;
  if (!(d > 0.0)) return;
  ++half_cycles_;
  const auto n = static_cast<int64_t>(slots_.size());
  size_t slot = static_cast<size_t>(half_cycles_ - 1);
  if (half_cycles_ > n) {
    std::vector<double> differences(slots_.size());
    for (size_t i = 0; i < slots_.size(); ++i) differences[i] = slots_[i].difference;
    slot = static_cast<size_t>(FindExtremeValue(differences, 1).index);
  }
  if (d > slots_[slot].difference) {
    slots_[slot] = PeakPeak{d, peak_, static_cast<double>(peak_index) / frequency_hz_, valley_,
                            static_cast<double>(valley_index) / frequency_hz_};
  }
}

std::vector<PeakPeak> PeakPeakDetector::Finish() const {
  const auto kept =
      static_cast<size_t>(std::min<int64_t>(half_cycles_, static_cast<int64_t>(slots_.size())));
  std::vector<double> differences(kept);
  for (size_t i = 0; i < kept; ++i) differences[i] = slots_[i].difference;
  std::vector<PeakPeak> entries;
  entries.reserve(kept);
  for (size_t r = 0; r < kept; ++r) {
    const auto j = static_cast<size_t>(FindExtremeValue(differences, 0).index);
    entries.push_back(slots_[j]);
    // Taken entries drop below every difference (all differences are positive).
    differences[j] = -1.0;
  }
  return entries;
}

namespace {

/// A waveform opened for the statistics: its reader and the divisor s = c1 x c2.
struct OpenedNode {
  SamplingInfo info;
  WaveformReader reader;
  double divisor = 1.0;
};

Result<OpenedNode> OpenNode(const std::filesystem::path& tsp_path,
                            const std::filesystem::path& sts_path) {
  auto info = ReadSamplingParameters(tsp_path);
  if (!info) return info.error();
  if (info->length_half_blocks() <= 0) {
    return Fail(kMsgDataFileShort, tsp_path.string() + ": the record holds no block");
  }
  auto reader = WaveformReader::Open(sts_path, *info);
  if (!reader) return reader.error();
  const double divisor = info->c1() * info->c2();
  if (!std::isfinite(divisor) || divisor == 0.0) {
    return Fail(kMsgSamplingUnreadable, tsp_path.string() + ": c1 x c2 is not usable");
  }
  return OpenedNode{*info, std::move(*reader), divisor};
}

/// Half blocks read at once: one read of the file per 64 half blocks (256 KB of values) rather
/// than one per half block, whose system calls cost more than the pass's own work.
constexpr int64_t kReadHalfBlocks = 64;

/// The record's half blocks in order, read kReadHalfBlocks at a time and divided by s, and
/// `with_positions`, where each half block's largest and smallest raw values lie.
class HalfBlocks {
 public:
  HalfBlocks(OpenedNode& node, const CancelPoll& cancelled, bool with_positions)
      : node_(node),
        cancelled_(cancelled),
        with_positions_(with_positions),
        values_(static_cast<size_t>(kReadHalfBlocks * kHalfBlockSamples)),
        // A record of 16-bit samples shorter than the table divides each sample instead.
        quotients_(node.info.length_half_blocks() * kHalfBlockSamples >=
                           static_cast<int64_t>(Int16Samples::kEntries)
                       ? QuotientTable::For(node.info.format(), node.divisor)
                       : nullptr) {}

  /// Moves to the next half block; fails on a read error, a sample that is no finite number,
  /// or a cancelled pass.
  Status Next() {
    if (cancelled_ && cancelled_()) {
      return Fail(kMsgCalculationCancelled, "the statistics pass was cancelled");
    }
    if (++current_ < held_) return Ok();
    const int64_t left =
        node_.info.length_half_blocks() - node_.reader.position() / kHalfBlockSamples;
    held_ = std::min(kReadHalfBlocks, left);
    current_ = 0;
    const std::span<double> chunk(values_.data(), static_cast<size_t>(held_ * kHalfBlockSamples));
    const int64_t first = node_.reader.position();
    if (auto read = node_.reader.Read(chunk); !read) return read;
    if (auto finite = node_.reader.CheckFinite(chunk, first); !finite) return finite;
    positions_.resize(with_positions_ ? static_cast<size_t>(held_) : 0);
    for (int64_t b = 0; b < static_cast<int64_t>(positions_.size()); ++b) {
      FindExtremePositions(HalfBlock(b), &positions_[static_cast<size_t>(b)]);
    }
    if (quotients_ != nullptr) {
      quotients_->Divide(chunk);
    } else {
      const double divisor = node_.divisor;
      for (double& x : chunk) x /= divisor;
    }
    return Ok();
  }

  /// The current half block's EU values and where its largest and smallest raw values lie.
  std::span<const double> values() const {
    return {values_.data() + current_ * kHalfBlockSamples, static_cast<size_t>(kHalfBlockSamples)};
  }
  const ExtremePositions& positions() const { return positions_[static_cast<size_t>(current_)]; }

  /// Starts again at the first half block.
  Status Rewind() {
    held_ = 0;
    current_ = -1;
    return node_.reader.Seek(0);
  }

 private:
  std::span<double> HalfBlock(int64_t b) {
    return {values_.data() + b * kHalfBlockSamples, static_cast<size_t>(kHalfBlockSamples)};
  }

  OpenedNode& node_;
  const CancelPoll& cancelled_;
  bool with_positions_;
  std::vector<double> values_;
  std::vector<ExtremePositions> positions_;
  std::shared_ptr<const QuotientTable> quotients_;  // the quotient of every raw value, or none
  int64_t held_ = 0;
  int64_t current_ = -1;
};

}  // namespace

Result<AmplitudeIndicesOfNode> ComputeAmplitudeIndices(const std::filesystem::path& tsp_path,
                                                       const std::filesystem::path& sts_path,
                                                       const CancelPoll& cancelled) {
  auto node = OpenNode(tsp_path, sts_path);
  if (!node) return node.error();
  const int64_t blocks = node->info.length_half_blocks();
  AmplitudeIndexCounter counter;
  HalfBlocks half_blocks(*node, cancelled, false);
  for (int64_t b = 0; b < blocks; ++b) {
    if (auto next = half_blocks.Next(); !next) return next.error();
    counter.Feed(half_blocks.values());
  }
  if (auto rewind = half_blocks.Rewind(); !rewind) return rewind.error();
  for (int64_t b = 0; b < blocks; ++b) {
    if (auto next = half_blocks.Next(); !next) return next.error();
    counter.FeedDeviation(half_blocks.values());
  }
  return AmplitudeIndicesOfNode{counter.Finish(), node->info.eu()};
}

Result<PeakPeaksOfNode> FindLargestPeakPeaks(const std::filesystem::path& tsp_path,
                                             const std::filesystem::path& sts_path, int32_t count,
                                             const CancelPoll& cancelled) {
  if (count < kMinPeakPeakCount || count > kMaxPeakPeakCount) {
    return Fail(kMsgBadValue, "peak-peak number " + std::to_string(count) + " is not in 1..200");
  }
  auto node = OpenNode(tsp_path, sts_path);
  if (!node) return node.error();
  PeakPeakDetector detector(count, node->info.frequency_hz());
  HalfBlocks half_blocks(*node, cancelled, true);
  for (int64_t b = 0; b < node->info.length_half_blocks(); ++b) {
    if (auto next = half_blocks.Next(); !next) return next.error();
    detector.FeedBlock(half_blocks.values(), static_cast<size_t>(half_blocks.positions().largest),
                       static_cast<size_t>(half_blocks.positions().smallest));
  }
  return PeakPeaksOfNode{detector.Finish(), detector.half_cycles(), node->info.eu()};
}

}  // namespace torvwy::core
