// Recordings from acquisition systems: the channels of a text, MATLAB, HDF5 or sound file, read
// in fixed buffers so that a recording larger than the memory can be converted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/services/result.h"

namespace torvwy::recording {

/// What kind of file a recording is, told by its first bytes (never by its extension alone).
enum class RecordingKind {
  kText,    ///< CSV or plain text: columns of numbers
  kSound,   ///< WAV, FLAC, AIFF (through the sound-file library)
  kMatlab,  ///< MATLAB level 5 or 7.3 (also 7.3 variables in an HDF5 file without the header)
  kHdf5,    ///< HDF5 (not a MATLAB 7.3 file)
};

/// The name a kind is said with in messages: "text", "sound", "MATLAB", "HDF5".
const char* KindName(RecordingKind kind);

/// One channel of a recording, as the file describes it.
struct ChannelInfo {
  std::string name;    ///< header, variable name, dataset path or "ch1".."chN"
  int64_t length = 0;  ///< samples
  double rate_hz = 0;  ///< sampling frequency the file gives; 0 when it gives none
  std::string unit;    ///< unit the file gives; empty when it gives none
  /// The largest magnitude of the values when the reader knows it without another pass.
  std::optional<double> largest_magnitude;
};

/// How to read a recording. Each reader takes what concerns it.
struct RecordingOptions {
  int time_column = 0;              ///< text: the time column (s), from 1; 0: none given
  bool decimal_comma = false;       ///< text: ';' separates fields, ',' is the decimal mark
  std::optional<double> nan_value;  ///< replaces NaN and infinite values; none: such a value fails
  /// MATLAB: a scalar variable, HDF5: an attribute (of the dataset, then of its groups up to the
  /// root) that gives the rate in Hz; a name "dt" (or one given here that holds a step in s via
  /// the default list) is a sample step and gives 1/dt. Empty: "rate", "sample_rate", "fs",
  /// "dt" are tried in that order.
  std::string rate_from;
  std::vector<std::string> datasets;  ///< HDF5: the dataset paths to take; empty: every one
};

/// The names tried for the rate when none is given; "dt" is a step in seconds.
inline const std::vector<std::string>& DefaultRateNames() {
  static const std::vector<std::string> names{"rate", "sample_rate", "fs", "dt"};
  return names;
}

/// The largest piece a reader hands over at a time.
inline constexpr size_t kRecordingBuffer = 65536;

/// Receives a channel piece by piece, in order; an error stops the reading and is returned.
using ChannelSink = std::function<core::Status(std::span<const double> values)>;

/// An opened recording: its channels, each readable from its start as often as wanted.
class RecordingReader {
 public:
  virtual ~RecordingReader() = default;

  RecordingKind kind() const { return kind_; }
  const std::filesystem::path& path() const { return path_; }
  const std::vector<ChannelInfo>& channels() const { return channels_; }
  /// Whether the values are raw units already (sound files: full scale reads 10000, as the
  /// 16-bit formats convert a sample) rather than engineering units.
  bool values_are_raw() const { return kind_ == RecordingKind::kSound; }
  /// What of the file is not a channel and why, one line each ("column 1 'time' is the time
  /// column", "variable 's' is a struct: not imported").
  const std::vector<std::string>& skipped() const { return skipped_; }

  /// Streams the values of channel `index` (from 0) to `sink` in pieces of at most
  /// kRecordingBuffer values. A NaN or infinite value is replaced by the options' nan_value or
  /// fails (bad-value message) naming the file, the channel and the sample. Fails with the
  /// file-read message naming the file when it can't be read.
  virtual core::Status Read(size_t index, const ChannelSink& sink) = 0;

 protected:
  RecordingReader(RecordingKind kind, std::filesystem::path path)
      : kind_(kind), path_(std::move(path)) {}
  RecordingKind kind_;
  std::filesystem::path path_;
  std::vector<ChannelInfo> channels_;
  std::vector<std::string> skipped_;
};

using RecordingHandle = std::unique_ptr<RecordingReader>;

/// The kind of the file at `path` by its first bytes: "MATLAB" at 0 (level 5, or 7.3 with its
/// HDF5 part at 512) is MATLAB, the HDF5 signature at 0, 512, 1024, ... is HDF5, "RIFF",
/// "RF64", "FORM", "fLaC" or "OggS" is sound, anything else text. Fails when the file can't be
/// opened as a regular file.
core::Result<RecordingKind> DetectRecordingKind(const std::filesystem::path& path);

/// Opens the recording with the reader of its kind. Every reader fails with one line naming the
/// file and what is wrong (file-read message; bad-value message for a value): a damaged or
/// truncated file, a sizes claim the file can't hold, a file without a numeric channel.
core::Result<RecordingHandle> OpenRecording(const std::filesystem::path& path,
                                            const RecordingOptions& options = {});

// The readers of each kind, for the dispatch and the tests.
core::Result<RecordingHandle> OpenTextRecording(const std::filesystem::path& path,
                                                const RecordingOptions& options);
core::Result<RecordingHandle> OpenSoundRecording(const std::filesystem::path& path,
                                                 const RecordingOptions& options);
core::Result<RecordingHandle> OpenMatlabRecording(const std::filesystem::path& path,
                                                  const RecordingOptions& options);
core::Result<RecordingHandle> OpenHdf5Recording(const std::filesystem::path& path,
                                                const RecordingOptions& options);

}  // namespace torvwy::recording
