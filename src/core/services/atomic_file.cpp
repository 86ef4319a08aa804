// Atomic saving: temporary file in the target folder, checked writes, rename.
#include "core/services/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>

#include "core/services/message_table.h"

namespace torvwy::core {
namespace fs = std::filesystem;
namespace {
constexpr size_t kBufferBytes = 1 << 16;

std::string ErrnoText() { return std::generic_category().message(errno); }

std::function<SaveFault(const fs::path&)>& FaultHook() {
  static std::function<SaveFault(const fs::path&)> hook;
  return hook;
}

SaveFault FaultOf(const fs::path& target) {
  return FaultHook() ? FaultHook()(target) : SaveFault::kNone;
}

/// Renames like ::rename, unless a test made the target's rename fail.
int RenameOver(const fs::path& from, const fs::path& to) {
  if (FaultOf(to) == SaveFault::kRename) {
    errno = EIO;
    return -1;
  }
  return ::rename(from.c_str(), to.c_str());
}

}  // namespace

void SetSaveFaultForTesting(std::function<SaveFault(const fs::path& target)> fault) {
  FaultHook() = std::move(fault);
}

Result<AtomicFileWriter> AtomicFileWriter::Open(const fs::path& target, int message) {
  if (message == 0) message = kMsgResultFileCreate;
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::string pattern = (folder / (target.filename().string() + ".tmp-XXXXXX")).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return Fail(message, target.string() + ": " + ErrnoText());
  // mkstemp makes the file private; a saved file gets the usual permissions.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  AtomicFileWriter writer;
  writer.fd_ = fd;
  writer.message_ = message;
  writer.target_ = target;
  writer.temp_ = pattern;
  writer.buffer_.reserve(kBufferBytes);
  if (FaultOf(target) == SaveFault::kWrite) {
    // Fails even a file with nothing to write, or one a library writes by name.
    writer.failed_ = true;
    writer.error_ = "No space left on device";
  }
  return writer;
}

AtomicFileWriter::AtomicFileWriter(AtomicFileWriter&& other) noexcept
    : fd_(other.fd_),
      message_(other.message_),
      failed_(other.failed_),
      error_(std::move(other.error_)),
      target_(std::move(other.target_)),
      temp_(std::move(other.temp_)),
      buffer_(std::move(other.buffer_)),
      written_(other.written_),
      fail_after_(other.fail_after_) {
  other.fd_ = -1;
  other.temp_.clear();
}

AtomicFileWriter::~AtomicFileWriter() { Abandon(); }

void AtomicFileWriter::Abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) {
    std::error_code ec;
    fs::remove(temp_, ec);
    temp_.clear();
  }
}

void AtomicFileWriter::Write(std::string_view bytes) {
  if (failed_ || fd_ < 0) return;
  buffer_.append(bytes);
  if (buffer_.size() >= kBufferBytes) Flush();
}

void AtomicFileWriter::WriteInt32(int32_t value) {
  uint32_t bits = static_cast<uint32_t>(value);
  char bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
  Write(bytes, 4);
}

void AtomicFileWriter::WriteDouble(double value) {
  const auto bits = std::bit_cast<uint64_t>(value);
  char bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
  Write(bytes, 8);
}

bool AtomicFileWriter::Flush() {
  if (failed_) return false;
  size_t offset = 0;
  while (offset < buffer_.size()) {
    size_t chunk = buffer_.size() - offset;
    if (fail_after_ && written_ + chunk > *fail_after_) {
      failed_ = true;
      error_ = "No space left on device";
      return false;
    }
    const ssize_t n = ::write(fd_, buffer_.data() + offset, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed_ = true;
      error_ = n < 0 ? ErrnoText() : "short write";
      return false;
    }
    offset += static_cast<size_t>(n);
    written_ += static_cast<uint64_t>(n);
  }
  buffer_.clear();
  return true;
}

bool AtomicFileWriter::Close() {
  bool ok = Flush();
  if (ok && ::fsync(fd_) != 0 && errno != EINVAL) {
    ok = false;
    error_ = ErrnoText();
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error_ = ErrnoText();
  }
  return ok;
}

Status AtomicFileWriter::Commit() {
  if (fd_ < 0) return Fail(message_, target_.string() + ": already closed");
  bool ok = Close();
  if (ok && RenameOver(temp_, target_) != 0) {
    ok = false;
    error_ = ErrnoText();
  }
  if (!ok) {
    Abandon();
    return Fail(message_, target_.string() + ": " + error_);
  }
  temp_.clear();
  return Ok();
}

Result<AtomicFileWriter*> AtomicFileSet::Add(const fs::path& target, int message) {
  auto writer = AtomicFileWriter::Open(target, message);
  if (!writer) return writer.error();
  parts_.push_back(std::make_unique<AtomicFileWriter>(std::move(*writer)));
  return parts_.back().get();
}

void AtomicFileSet::Drop(AtomicFileWriter* part) {
  std::erase_if(parts_, [part](const auto& p) { return p.get() == part; });
}

Status AtomicFileSet::Commit() {
  for (auto& part : parts_) {
    if (part->fd_ < 0) return Fail(part->message_, part->target_.string() + ": already closed");
    if (!part->Close()) {
      AtomicFileWriter& failed = *part;
      const Status status = Fail(failed.message_, failed.target_.string() + ": " + failed.error_);
      parts_.clear();  // removes every temporary file
      return status;
    }
  }
  // Each old target is kept under a second name until the whole set is in place.
  struct Replaced {
    fs::path target;
    fs::path backup;  // empty: there was no old target
  };
  std::vector<Replaced> replaced;
  const auto put_back = [&replaced] {
    for (auto it = replaced.rbegin(); it != replaced.rend(); ++it) {
      std::error_code ec;
      if (it->backup.empty()) {
        fs::remove(it->target, ec);
      } else {
        ::rename(it->backup.c_str(), it->target.c_str());
      }
    }
  };
  for (auto& part : parts_) {
    Replaced entry{part->target_, {}};
    std::string error;
    std::error_code ec;
    if (fs::exists(part->target_, ec)) {
      std::string pattern = part->target_.string() + ".old-XXXXXX";
      const int fd = ::mkstemp(pattern.data());
      if (fd < 0 || ::close(fd) != 0 || ::unlink(pattern.c_str()) != 0 ||
          ::link(part->target_.c_str(), pattern.c_str()) != 0) {
        error = "can't keep the old file: " + ErrnoText();
      } else {
        entry.backup = pattern;
      }
    }
    if (error.empty() && RenameOver(part->temp_, part->target_) != 0) error = ErrnoText();
    if (!error.empty()) {
      const Status status = Fail(part->message_, part->target_.string() + ": " + error);
      if (!entry.backup.empty()) fs::remove(entry.backup, ec);
      put_back();
      parts_.clear();
      return status;
    }
    part->temp_.clear();
    replaced.push_back(std::move(entry));
  }
  for (const Replaced& entry : replaced) {
    std::error_code ec;
    if (!entry.backup.empty()) fs::remove(entry.backup, ec);
  }
  parts_.clear();
  return Ok();
}

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

Status SaveFileAtomically(const fs::path& target, std::string_view content, int message) {
  auto writer = AtomicFileWriter::Open(target, message);
  if (!writer) return writer.error();
  writer->Write(content);
  return writer->Commit();
}

}  // namespace torvwy::core
