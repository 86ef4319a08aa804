// Streaming reader of a node's waveform file: sequential reads converted to raw values.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

#include "core/data/sample_format.h"
#include "core/data/sampling_info.h"
#include "core/services/result.h"

namespace torvwy::core {

/// Raw values (not yet divided by the calibration factors) of samples first .. first +
/// out.size() - 1 of a record held elsewhere, such as in memory. Called from the pass's worker
/// threads, one call at a time per reader; it must not change what it reads from.
using SampleSupplier = std::function<Status(int64_t first, std::span<double> out)>;

/// Where a record's samples come from: its .sts file, or a supplier of raw values.
///
/// A supplied record may also say how many of its samples are real: a record held in memory has
/// no blocks, and its counting ends at its last real sample, inside its last block:
///
///   record     |---- block 1 ----|---- block 2 ----|      length: whole blocks (the envelope)
///   real       |==========================|               sample_count
///   counted    |==========================|               every real sample
///   padding                               |..........|    the last real value repeated
///
/// The supplier is asked for real samples only; the reader pads the rest of the record itself.
struct SampleSource {
  SampleSource(const std::filesystem::path& file) : path(file) {}  // NOLINT: a file is a source
  SampleSource(std::filesystem::path name, SampleSupplier samples, int64_t real_samples = -1)
      : path(std::move(name)), supplier(std::move(samples)), sample_count(real_samples) {}
  std::filesystem::path path;  ///< the .sts file, or the name messages give the record
  SampleSupplier supplier;     ///< when set, the samples come from it and no file is read
  /// With a supplier: the real samples, 1 up to the record's length; -1 (and always for a file):
  /// the counting counts the record's whole blocks, as of a file.
  int64_t sample_count = -1;
};

/// Reads the samples of one record in order through one fixed raw buffer. The file must hold
/// at least the record (length in half blocks x 512 samples); bytes beyond it are ignored.
class WaveformReader {
 public:
  WaveformReader(WaveformReader&& other) noexcept;
  WaveformReader& operator=(WaveformReader&& other) noexcept;
  WaveformReader(const WaveformReader&) = delete;
  WaveformReader& operator=(const WaveformReader&) = delete;
  ~WaveformReader();

  /// Opens the .sts file. Fails (data-file message) when it can't be opened, on format 0 or an
  /// unknown format, on a record length <= 0, and when the file is shorter than the record; a
  /// supplied record fails (bad-value message) when its real samples are not 1 up to its length.
  static Result<WaveformReader> Open(const SampleSource& source, const SamplingInfo& info);

  /// A second reader of the same open file, at sample 0, with a raw buffer of its own: readers
  /// on different threads each take one. Fails (data-file message) when the system refuses.
  Result<WaveformReader> Duplicate() const;

  int64_t record_samples() const { return record_samples_; }
  /// The samples a counting may count, from sample 0: the record's whole blocks, or every real
  /// sample of a supplied record that says how many it holds (its last block may be partial).
  int64_t countable_samples() const { return countable_samples_; }
  /// True when the countable samples end at the last real sample rather than at a block border.
  bool sample_exact() const { return sample_exact_; }
  int32_t format() const { return format_; }
  int sample_size() const { return sample_size_; }
  /// The next sample to be read.
  int64_t position() const { return position_; }
  const std::filesystem::path& path() const { return path_; }
  /// True when the samples may be NaN or infinite: a floating-point format, or supplied values.
  bool may_hold_non_finite() const;

  /// Fails (bad-value message naming the file, the block and the sample) on the first sample of
  /// `samples` that is not a finite number, where samples[0] is sample `first_sample` (0-based)
  /// of the record: a count of such samples would be no count. Quick when the format can't hold
  /// one.
  Status CheckFinite(std::span<const double> samples, int64_t first_sample) const;

  /// Moves to sample `index` (0-based, at most the record's length).
  Status Seek(int64_t index);

  /// Reads and converts the next out.size() samples. Reading past the record is an error.
  Status Read(std::span<double> out, ExtremePositions* positions = nullptr);

 private:
  WaveformReader() = default;
  int fd_ = -1;
  int32_t format_ = 0;
  int sample_size_ = 0;
  int64_t record_samples_ = 0;
  int64_t countable_samples_ = 0;
  bool sample_exact_ = false;
  int64_t position_ = 0;
  std::filesystem::path path_;
  std::vector<char> raw_;
  SampleSupplier supplier_;  ///< the record's samples when they come from no file
};

}  // namespace torvwy::core
