// Opening and reading files the user names: only regular files, never blocking on a FIFO or a
// device, texts only up to a size cap.
#include "core/services/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace torvwy::core {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kLineBufferBytes = 64 * 1024;

std::string SystemError() { return std::generic_category().message(errno); }

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

int FileDescriptor::release() { return std::exchange(fd_, -1); }

Result<RegularFile> OpenRegularFile(const std::filesystem::path& path, int message) {
  const auto failed = [&](const std::string& why) {
    return Fail(message, path.string() + ": " + why);
  };
  // Looking first spares a device the open (a tape would rewind); the check of the opened
  // descriptor below is the one that counts.
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return failed(SystemError());
  if (!S_ISREG(status.st_mode)) return failed("not a regular file");
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) return failed(SystemError());
  if (::fstat(fd.get(), &status) != 0) return failed(SystemError());
  if (!S_ISREG(status.st_mode)) return failed("not a regular file");
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return failed(SystemError());
  }
  return RegularFile{std::move(fd), static_cast<uint64_t>(status.st_size)};
}

Result<std::string> ReadRegularFile(const std::filesystem::path& path, uint64_t max_bytes,
                                    int message, int too_large_message) {
  auto file = OpenRegularFile(path, message);
  if (!file) return file.error();
  if (file->size_bytes > max_bytes) {
    return Fail(too_large_message != 0 ? too_large_message : message,
                path.string() + ": holds " + std::to_string(file->size_bytes) +
                    " bytes, more than the " + std::to_string(max_bytes) + " such a file may have");
  }
  std::string bytes(static_cast<size_t>(file->size_bytes), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(file->fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(message, path.string() + ": " + SystemError());
    if (n == 0) break;  // shrunk while being read: take what is there
    done += static_cast<size_t>(n);
  }
  // Growth after the size was taken is not read: the cap holds whatever the file does.
  bytes.resize(done);
  return bytes;
}

Result<std::string> ReadTextFile(const std::filesystem::path& path, int message,
                                 int too_large_message) {
  auto bytes = ReadRegularFile(path, kMaxTextFileBytes, message, too_large_message);
  if (bytes && bytes->starts_with(kByteOrderMark)) bytes->erase(0, kByteOrderMark.size());
  return bytes;
}

std::string_view WithoutByteOrderMark(std::string_view text) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  return text;
}

FileLines::FileLines(RegularFile file, size_t max_line_bytes)
    : fd_(std::move(file.fd)), max_line_bytes_(max_line_bytes) {}

bool FileLines::Fill() {
  if (start_ > 0) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  const size_t old_size = buffer_.size();
  buffer_.resize(old_size + kLineBufferBytes);
  ssize_t n = 0;
  do {
    n = ::read(fd_.get(), buffer_.data() + old_size, kLineBufferBytes);
  } while (n < 0 && errno == EINTR);
  if (n < 0) error_ = SystemError();
  buffer_.resize(old_size + static_cast<size_t>(n > 0 ? n : 0));
  if (n <= 0) at_end_ = true;
  return n > 0;
}

bool FileLines::Next(std::string& line) {
  line.clear();
  if (!error_.empty()) return false;
  size_t scanned = 0;  // bytes after start_ known to hold no line end
  for (;;) {
    const size_t end = buffer_.find('\n', start_ + scanned);
    if (end != std::string::npos) {
      line.assign(buffer_, start_, end - start_);
      start_ = end + 1;
      break;
    }
    scanned = buffer_.size() - start_;
    if (scanned > max_line_bytes_) {
      error_ = "a line longer than " + std::to_string(max_line_bytes_) + " bytes";
      return false;
    }
    if (at_end_ || !Fill()) {  // Fill() moves the unread part to the front: start_ is 0
      if (!error_.empty() || start_ >= buffer_.size()) return false;
      line.assign(buffer_, start_, std::string::npos);  // the last line has no line end
      start_ = buffer_.size();
      break;
    }
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (first_line_) {
    first_line_ = false;
    if (line.starts_with(kByteOrderMark)) line.erase(0, kByteOrderMark.size());
  }
  return true;
}

}  // namespace torvwy::core
