// Opening and reading files the user names: only regular files, never blocking on a FIFO or a
// device, texts only up to a size cap.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/services/result.h"

namespace torvwy::core {

/// The largest text file we read whole: a sampling file, a parameter file, a profile, a
/// hand-over text. Real ones hold a few KiB; a larger one is damaged or not ours.
inline constexpr uint64_t kMaxTextFileBytes = 8ull << 20;

/// The largest picture file a companion reads: a saved view is a few MiB even as a bitmap.
inline constexpr uint64_t kMaxPictureFileBytes = 256ull << 20;

/// An open file descriptor, closed when this goes away.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();

  int get() const { return fd_; }
  /// Hands the descriptor over; this object no longer closes it.
  int release();

 private:
  int fd_ = -1;
};

/// An opened regular file and its size when it was opened.
struct RegularFile {
  FileDescriptor fd;
  uint64_t size_bytes = 0;
};

/// Opens `path` for reading when it is a regular file (a link to one is followed). A FIFO, a
/// device, a socket or a folder is refused without blocking: the file is opened non-blocking
/// and the opened descriptor is checked, so a file swapped in between can't slip through.
/// Fails with `message` and a detail naming the path.
Result<RegularFile> OpenRegularFile(const std::filesystem::path& path, int message);

/// The whole content of the regular file `path`, refused before reading when it holds more than
/// `max_bytes`. Fails with `message` (can't open, not a regular file, read error), or with
/// `too_large_message` when it is given (not 0) and the file is too large.
Result<std::string> ReadRegularFile(const std::filesystem::path& path, uint64_t max_bytes,
                                    int message, int too_large_message = 0);

/// A text file read whole (up to kMaxTextFileBytes), without a leading UTF-8 byte-order mark.
/// Fails as ReadRegularFile does.
Result<std::string> ReadTextFile(const std::filesystem::path& path, int message,
                                 int too_large_message = 0);

/// `text` without a leading UTF-8 byte-order mark (EF BB BF).
std::string_view WithoutByteOrderMark(std::string_view text);

/// Reads the lines of an opened file in fixed buffers, for files streamed rather than read
/// whole. A line longer than `max_line_bytes` ends the reading with an error.
class FileLines {
 public:
  FileLines(RegularFile file, size_t max_line_bytes);

  /// The next line without its "\n" or "\r\n"; false at the end of the file or on an error
  /// (see error()). A leading byte-order mark of the first line is dropped.
  bool Next(std::string& line);
  /// Why the reading stopped early: empty at a normal end.
  const std::string& error() const { return error_; }

 private:
  bool Fill();

  FileDescriptor fd_;
  size_t max_line_bytes_;
  std::string buffer_;
  size_t start_ = 0;
  bool at_end_ = false;
  bool first_line_ = true;
  std::string error_;
};

}  // namespace torvwy::core
