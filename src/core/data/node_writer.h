// Writing a node: its waveform file streamed in, its sampling parameter file at the end.
#pragma once

#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/data/labels.h"
#include "core/data/sampling_info.h"
#include "core/services/atomic_file.h"
#include "core/services/result.h"

namespace torvwy::core {

/// The calibration factor c1 an imported column gets when none is given: the full scale in EU
/// (F / c2 / c1) should fit the signal, since the amplitude range "full" and the smallest counted
/// rainflow range (a thousandth of it) depend on it. Integer formats put the largest magnitude
/// at 90 % of their full scale; float formats take the power of two below that, so that
/// v x c2 x c1 / c2 / c1 gives every value back exactly. 1 for a signal of zeros or an unknown
/// format.
double ImportC1(int32_t format, double largest_magnitude, double c2);

/// Streams raw values into "<folder>/<test><code>#<node>.sts" and, on Commit(), writes the
/// matching .tsp with the record length of what was appended (padded to whole half blocks with
/// the last value) and the labels. The two files are saved as one set: on any failure neither
/// changes, so a node is never left with one file new and the other old or missing.
class NodeWriter {
 public:
  static Result<NodeWriter> Open(const std::filesystem::path& folder, const std::string& test_name,
                                 const std::string& test_code, const std::string& node_name,
                                 const SamplingInfo& info);

  /// Appends raw values (converted to the record's format).
  Status Append(std::span<const double> raw_values);
  /// Samples appended so far.
  int64_t samples() const { return samples_; }
  /// Pads to whole half blocks, writes the .sts and the .tsp; returns the padding added.
  Result<int64_t> Commit(const std::vector<Label>& labels = {});

  const std::filesystem::path& sts_path() const { return sts_; }
  const SamplingInfo& info() const { return info_; }
  /// The full scale of the record in EU: F / c2 / c1.
  double full_scale_eu() const;
  const std::filesystem::path& tsp_path() const { return tsp_; }

 private:
  NodeWriter() : files_(std::make_unique<AtomicFileSet>()) {}
  std::unique_ptr<AtomicFileSet> files_;  ///< the .sts, then the .tsp at Commit()
  AtomicFileWriter* sts_writer_ = nullptr;
  std::filesystem::path sts_, tsp_;
  SamplingInfo info_;
  int64_t samples_ = 0;
  double last_ = 0.0;
  std::string buffer_;
};

}  // namespace torvwy::core
