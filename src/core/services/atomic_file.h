// Saving a file so that a failure never destroys the previous good file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/services/result.h"

namespace torvwy::core {

/// Writes a new file beside the target and renames it over the target on Commit():
///
///   target.tmp-XXXXXX  --write, write, ..., fsync, close-->  rename --> target
///
/// Every write and the close are checked; on any failure (or when the writer is destroyed
/// without Commit) the temporary file is removed and the target stays as it was.
class AtomicFileWriter {
 public:
  /// Creates the temporary file in the folder of `target`; `message` is the message-table
  /// number reported on failure (the "result file can't be created" message by default).
  static Result<AtomicFileWriter> Open(const std::filesystem::path& target, int message = 0);

  AtomicFileWriter(AtomicFileWriter&& other) noexcept;
  AtomicFileWriter& operator=(AtomicFileWriter&&) = delete;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  ~AtomicFileWriter();

  /// Appends bytes; a failed write makes every later call and Commit() fail.
  void Write(std::string_view bytes);
  void Write(const void* data, size_t size) {
    Write(std::string_view(static_cast<const char*>(data), size));
  }
  /// Little-endian scalars, as the binary files store them.
  void WriteInt32(int32_t value);
  void WriteDouble(double value);

  /// The temporary file, for a library that writes a whole file by name instead of through
  /// Write(). It must write into this file in place (as fopen(name, "wb") does); Commit() then
  /// syncs, closes and renames what it wrote. Empty after Commit().
  const std::filesystem::path& temp_path() const { return temp_; }

  /// Flushes, syncs to the disk, closes and renames over the target.
  Status Commit();

  /// For tests: make the write that would pass `bytes` bytes in total fail, as a full disk does.
  void FailAfterBytesForTesting(uint64_t bytes) { fail_after_ = bytes; }

 private:
  AtomicFileWriter() = default;
  bool Flush();
  void Abandon();

  int fd_ = -1;
  int message_ = 0;
  bool failed_ = false;
  std::string error_;
  std::filesystem::path target_;
  std::filesystem::path temp_;
  std::string buffer_;
  uint64_t written_ = 0;
  std::optional<uint64_t> fail_after_;
};

/// Makes a write beyond the file-size limit (ulimit -f) fail with "File too large" instead of
/// killing the process: the writer then reports the error and removes its temporary file.
/// Every program calls it first thing in main().
void IgnoreFileSizeSignal();

/// Saves `content` as the file `target` atomically.
Status SaveFileAtomically(const std::filesystem::path& target, std::string_view content,
                          int message = 0);

}  // namespace torvwy::core
