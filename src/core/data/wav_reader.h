// Reading the samples of a 16-bit PCM WAV file, one channel at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "core/services/file_read.h"
#include "core/services/result.h"

namespace torvwy::core {

/// Whether the file begins like a RIFF file (the only test the importer makes before it
/// chooses the WAV reader over the column reader).
bool LooksLikeWav(const std::filesystem::path& path);

/// The sample frames of a 16-bit PCM WAV file:
///
///   "RIFF" size "WAVE"
///   "fmt " 16+   format 1 (or 0xFFFE), channels, rate, ..., bits 16
///   ...          other chunks are skipped (each padded to an even size)
///   "data" size  frames of `channels` little-endian int16 samples
///
/// Every chunk is checked against the file's size before it is read.
class WavReader {
 public:
  /// Reads the header; fails (file-read message, naming the file) when the file is not a
  /// RIFF/WAVE file, is not 16-bit PCM, or ends before its data chunk does.
  static Result<WavReader> Open(const std::filesystem::path& path);

  int channels() const { return channels_; }
  uint32_t rate_hz() const { return rate_hz_; }
  /// Whole frames of the data chunk.
  uint64_t frames() const { return frames_; }
  /// Frames not read yet.
  uint64_t frames_left() const { return frames_ - frames_read_; }

  /// Reads the next frames, at most `max_frames`, and keeps the samples of `channel` (from 0)
  /// in `samples` (resized to the frames read; empty at the end of the data). Fails when the
  /// file can't be read.
  Status Read(int channel, size_t max_frames, std::vector<int16_t>& samples);

 private:
  WavReader() = default;
  std::filesystem::path path_;
  FileDescriptor fd_;
  uint64_t next_offset_ = 0;  ///< of the next frame to read
  int channels_ = 0;
  uint32_t rate_hz_ = 0;
  uint64_t frames_ = 0;
  uint64_t frames_read_ = 0;
  std::vector<char> raw_;
};

}  // namespace torvwy::core
