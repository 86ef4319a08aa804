// The two statistics of one waveform: amplitude indices and the largest peak-to-peak values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/services/result.h"

namespace torvwy::core {

/// Amplitude indices of one waveform, in engineering units (EU).
struct AmplitudeIndices {
  double maximum = 0.0;
  double minimum = 0.0;
  double mean = 0.0;
  double rms = 0.0;
  double variance = 0.0;  ///< mean of (x - mean)^2, divided by n (not n - 1)
  double standard_deviation = 0.0;

  /// The larger of |maximum| and |minimum|.
  double peak() const;
  /// RMS x RMS.
  double mean_square() const { return rms * rms; }
};

/// Accumulates the amplitude indices of a waveform in two streaming passes:
///
///   pass 1: Feed(...) over every sample      maximum, minimum, sum x, sum x^2
///   pass 2: FeedDeviation(...) over them all  sum (x - mean)^2, with the mean of pass 1
///
/// The extremes start from the first sample, so a waveform lying wholly beyond any fixed bound
/// still gets its true extremes.
class AmplitudeIndexCounter {
 public:
  void Feed(std::span<const double> eu_samples);
  void FeedDeviation(std::span<const double> eu_samples);
  int64_t samples() const { return samples_; }
  /// Mean of the samples fed to pass 1 (0 when none).
  double mean() const;
  /// The indices; all zero when no sample was fed.
  AmplitudeIndices Finish() const;

 private:
  int64_t samples_ = 0;
  double maximum_ = 0.0;
  double minimum_ = 0.0;
  double sum_ = 0.0;
  double sum_squares_ = 0.0;
  double sum_deviations_ = 0.0;
};

/// One peak-to-peak half-cycle.
struct PeakPeak {
  double difference = 0.0;  ///< peak - valley, EU
  double peak = 0.0;        ///< EU
  double peak_time_s = 0.0;
  double valley = 0.0;  ///< EU
  double valley_time_s = 0.0;
};

/// Finds the N largest peak-to-peak half-cycles of a waveform by hysteresis, block by block.
/// Each block of 512 samples sets its thresholds from p and q, the samples at the positions of
/// its largest and its smallest converted value:
///
///      p ------------------------
///      H = 0.6 p + 0.4 q ----------    rising -> falling when x < L
///      L = 0.4 p + 0.6 q ----------    falling -> rising when x > H
///      q ------------------------
///
/// The state and the trackers carry over between blocks. On a transition the new tracker starts
/// at the threshold just crossed, so the new extreme is the most extreme later sample beyond it.
/// The half-cycle that ends first after the undecided state has no opposite extreme yet, and one
/// whose peak does not lie above its valley (a tracker left at the threshold of an earlier block
/// can lie beyond the opposite extreme): neither is kept nor counted. Of the others the N largest
/// differences are kept (a later half-cycle equal to the smallest kept one does not replace it).
class PeakPeakDetector {
 public:
  /// `count` = N (at least 1); `frequency_hz` turns sample indices into times.
  PeakPeakDetector(int32_t count, double frequency_hz);
  /// Feeds the next block of EU samples; `largest` and `smallest` are the positions within the
  /// block of its largest and its smallest converted (unscaled) sample.
  void FeedBlock(std::span<const double> block, size_t largest, size_t smallest);
  /// Half-cycles counted so far, each with peak - valley > 0.
  int64_t half_cycles() const { return half_cycles_; }
  /// The kept half-cycles, min(half cycles, N) of them, largest difference first (of equal
  /// differences the one in the lower slot first).
  std::vector<PeakPeak> Finish() const;

 private:
  enum class State { kUndecided, kRising, kFalling };
  static constexpr size_t kRun = 8;
  void Step(double x, double high, double low);
  bool RunThrough(const double* x, double high, double low);
  void Record(int64_t peak_index, int64_t valley_index);

  std::vector<PeakPeak> slots_;
  double frequency_hz_;
  State state_ = State::kUndecided;
  bool opposite_known_ = false;
  double peak_ = 0.0;
  double valley_ = 0.0;
  int64_t peak_index_ = 0;
  int64_t valley_index_ = 0;
  int64_t next_index_ = 0;
  int64_t half_cycles_ = 0;
};

/// Amplitude indices of a waveform file and its unit text.
struct AmplitudeIndicesOfNode {
  AmplitudeIndices indices;
  std::string unit;
};

/// The largest peak-to-peak values of a waveform file.
struct PeakPeaksOfNode {
  std::vector<PeakPeak> entries;  ///< largest first
  int64_t half_cycles = 0;
  std::string unit;
};

/// Asked before every block of a statistics pass; true stops the pass. It may be called from a
/// worker thread, so it reads something thread-safe (an atomic flag), never the Progress.
using CancelPoll = std::function<bool()>;

/// Reads the sampling parameters (.tsp) and streams the waveform (.sts) twice in blocks of 512
/// samples, each divided by c1 x c2. Fails (sampling or data-file message) when either file can't
/// be read, when the record is empty or longer than the file, and with the cancelled message
/// as soon as `cancelled` (polled once per block, when given) says so.
Result<AmplitudeIndicesOfNode> ComputeAmplitudeIndices(const std::filesystem::path& tsp_path,
                                                       const std::filesystem::path& sts_path,
                                                       const CancelPoll& cancelled = {});

/// Streams the waveform once and keeps its `count` largest peak-to-peak values (count 1..200,
/// else the bad-value message). Fails as ComputeAmplitudeIndices does.
Result<PeakPeaksOfNode> FindLargestPeakPeaks(const std::filesystem::path& tsp_path,
                                             const std::filesystem::path& sts_path, int32_t count,
                                             const CancelPoll& cancelled = {});

}  // namespace torvwy::core
