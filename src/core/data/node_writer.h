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

  /// Appends raw values in the record's format; refuses, as AppendEu does, a value the format
  /// can't give back.
  Status Append(std::span<const double> raw_values);
  /// Appends values in EU, each stored as v x c2 x c1 raw units, and refuses (bad-value message
  /// "sample N: ...", N counted from 1 over the node) the first the record can't give back:
  /// - a value that is not a finite number or whose raw value lies beyond the format's range
  ///   (an integer format would clip it, a float format make it infinite);
  /// - in a float format, a value other than 0 that reads back (raw / (c2 x c1)) other than
  ///   itself to the format's precision: it fell to 0 or lost digits as a subnormal.
  /// Nothing of a refused piece is appended.
  Status AppendEu(std::span<const double> eu_values);
  /// Samples appended so far.
  int64_t samples() const { return samples_; }
  /// Pads to whole half blocks, writes the .sts and the .tsp; returns the padding added. In an
  /// integer format a record whose values other than 0 all round to 0 is refused (bad-value
  /// message naming the first of them) and nothing is written.
  Result<int64_t> Commit(const std::vector<Label>& labels = {});

  const std::filesystem::path& sts_path() const { return sts_; }
  const SamplingInfo& info() const { return info_; }
  /// The full scale of the record in EU: F / c2 / c1.
  double full_scale_eu() const;
  const std::filesystem::path& tsp_path() const { return tsp_; }

 private:
  NodeWriter() : files_(std::make_unique<AtomicFileSet>()) {}
  /// Checks `given` (EU when `eu`, else raw) against the format, then stores it.
  Status Store(std::span<const double> given, bool eu);
  /// "sample N: v x c2 .. x c1 .. = r raw units" (EU) or "sample N: r raw units".
  std::string SampleText(int64_t index, double given, double raw, bool eu) const;

  std::unique_ptr<AtomicFileSet> files_;  ///< the .sts, then the .tsp at Commit()
  AtomicFileWriter* sts_writer_ = nullptr;
  std::filesystem::path sts_, tsp_;
  SamplingInfo info_;
  int64_t samples_ = 0;
  double last_ = 0.0;
  std::string buffer_;
  std::vector<double> raw_;
  /// The first value other than 0 (integer formats): sample index, value as given, raw value.
  int64_t first_nonzero_ = -1;
  double first_nonzero_given_ = 0.0, first_nonzero_raw_ = 0.0;
  bool first_nonzero_eu_ = false;
  bool nonzero_kept_ = false;  ///< a value other than 0 was stored as other than 0
};

}  // namespace torvwy::core
