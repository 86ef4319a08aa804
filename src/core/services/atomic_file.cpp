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
#include "core/services/save_leftovers.h"

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

std::function<bool(SaveStep, const fs::path&)>& StepHook() {
  static std::function<bool(SaveStep, const fs::path&)> hook;
  return hook;
}

/// False (errno EIO) when a test makes this step fail.
bool StepMayRun(SaveStep step, const fs::path& target) {
  if (StepHook() && StepHook()(step, target)) {
    errno = EIO;
    return false;
  }
  return true;
}

/// Renames like ::rename, unless a test made the target's rename fail.
int RenameOver(const fs::path& from, const fs::path& to, const fs::path& target) {
  if (FaultOf(target) == SaveFault::kRename || !StepMayRun(SaveStep::kRename, target)) {
    errno = EIO;
    return -1;
  }
  return ::rename(from.c_str(), to.c_str());
}

const char* KindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISDIR(mode)) return "a folder";
  return "not a plain file";
}

/// The file a save of `target` replaces: the target itself, or the regular file its symbolic
/// link names. Anything else standing at the name is refused, so that a save never turns a
/// device, a FIFO or a link into a plain file.
Result<fs::path> FileToReplace(const fs::path& target, int message) {
  const auto refused = [&](const std::string& why) {
    return Fail(message, target.string() + ": " + why + "; nothing was written");
  };
  struct stat status {};
  if (::lstat(target.c_str(), &status) != 0) {
    if (errno == ENOENT) return target;
    return Fail(message, target.string() + ": " + ErrnoText());
  }
  fs::path file = target;
  if (S_ISLNK(status.st_mode)) {
    std::error_code ec;
    const fs::path named = fs::read_symlink(target, ec);
    if (::stat(target.c_str(), &status) != 0) {
      // A link that names nothing could point anywhere; creating its file is not ours to do.
      if (errno == ENOENT) {
        return refused("is a symbolic link to " + named.string() + ", which does not exist");
      }
      return Fail(message, target.string() + ": " + ErrnoText());
    }
    file = fs::canonical(target, ec);
    if (ec) return Fail(message, target.string() + ": " + ec.message());
  }
  if (!S_ISREG(status.st_mode)) {
    return refused(std::string("is ") + KindOf(status.st_mode) + ", not a regular file");
  }
  return file;
}

}  // namespace

void SetSaveFaultForTesting(std::function<SaveFault(const fs::path& target)> fault) {
  FaultHook() = std::move(fault);
}

void SetSaveStepHookForTesting(std::function<bool(SaveStep, const fs::path&)> hook) {
  StepHook() = std::move(hook);
}

Result<AtomicFileWriter> AtomicFileWriter::Open(const fs::path& target, int message) {
  if (message == 0) message = kMsgResultFileCreate;
  auto file = FileToReplace(target, message);
  if (!file) return file.error();
  fs::path folder = file->parent_path();
  RemoveLeftoversOfKilledSaves(folder);
  if (folder.empty()) folder = ".";
  fs::path temp;
  int fd = -1;
  // The name is unique within the process; one left by an earlier process of the same PID is
  // stepped over.
  do {
    temp = folder /
           LeftoverName(file->filename().string(), LeftoverKind::kTemporary, NextSaveNumber());
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  } while (fd < 0 && errno == EEXIST);
  if (fd < 0) return Fail(message, target.string() + ": " + ErrnoText());
  AtomicFileWriter writer;
  writer.fd_ = fd;
  writer.message_ = message;
  writer.target_ = target;
  writer.final_ = *file;
  writer.temp_ = temp;
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
      final_(std::move(other.final_)),
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
  if (ok && !StepMayRun(SaveStep::kClose, target_)) {
    ok = false;
    error_ = ErrnoText();
  }
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
  if (ok && RenameOver(temp_, final_, target_) != 0) {
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
  // Each old target is kept under a second name until the whole set is in place; a part that
  // had none gets an empty mark, so that a clean-up after a kill knows to remove it again.
  struct Kept {
    fs::path file;  // the target replaced
    fs::path kept;  // its old content (a hard link), or the mark of a new part
    bool existed = false;
  };
  std::vector<Kept> kept;
  const uint64_t number = NextSaveNumber();
  const auto put_back = [&kept] {
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
      if (it->existed) {
        // Onto a part not yet replaced (the same file) the rename leaves both names.
        if (::rename(it->kept.c_str(), it->file.c_str()) == 0) ::unlink(it->kept.c_str());
      } else {
        ::unlink(it->file.c_str());
        ::unlink(it->kept.c_str());
      }
    }
  };
  const auto fail = [&](AtomicFileWriter& part, const std::string& error) {
    const Status status = Fail(part.message_, part.target_.string() + ": " + error);
    put_back();
    parts_.clear();
    return status;
  };
  const bool several = parts_.size() > 1;
  for (auto& part : parts_) {
    Kept entry{part->final_, {}, false};
    struct stat status {};
    entry.existed = ::lstat(part->final_.c_str(), &status) == 0;
    if (!entry.existed && !several) continue;
    const fs::path folder = part->final_.parent_path();
    const LeftoverKind kind = entry.existed ? LeftoverKind::kKept : LeftoverKind::kAbsent;
    entry.kept = folder / LeftoverName(part->final_.filename().string(), kind, number);
    bool ok = StepMayRun(SaveStep::kKeepOld, part->target_);
    if (ok && entry.existed) {
      ok = ::link(part->final_.c_str(), entry.kept.c_str()) == 0;
    } else if (ok) {
      const int fd = ::open(entry.kept.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      ok = fd >= 0 && ::close(fd) == 0;
    }
    if (!ok) return fail(*part, "can't keep the old file: " + ErrnoText());
    kept.push_back(std::move(entry));
  }
  // Without its last part (the one naming the others) the set reads as incomplete, never as
  // a new part beside an old one.
  if (several && kept.back().existed) {
    AtomicFileWriter& last = *parts_.back();
    if (!StepMayRun(SaveStep::kTakeAway, last.target_) || ::unlink(last.final_.c_str()) != 0) {
      return fail(last, "can't replace the old file: " + ErrnoText());
    }
  }
  for (auto& part : parts_) {
    if (RenameOver(part->temp_, part->final_, part->target_) != 0) {
      return fail(*part, ErrnoText());
    }
    part->temp_.clear();
  }
  for (const Kept& entry : kept) {
    if (StepMayRun(SaveStep::kDropOld, entry.file)) ::unlink(entry.kept.c_str());
  }
  parts_.clear();
  return Ok();
}

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

Status CheckSaveTarget(const fs::path& target, int message) {
  if (message == 0) message = kMsgResultFileCreate;
  auto file = FileToReplace(target, message);
  if (!file) return file.error();
  const fs::path folder = file->parent_path().empty() ? fs::path(".") : file->parent_path();
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0) {
    return Fail(message, target.string() + ": " + ErrnoText());
  }
  if (!S_ISDIR(status.st_mode)) {
    return Fail(message, target.string() + ": " + std::generic_category().message(ENOTDIR));
  }
  return Ok();
}

Status SaveFileAtomically(const fs::path& target, std::string_view content, int message) {
  auto writer = AtomicFileWriter::Open(target, message);
  if (!writer) return writer.error();
  writer->Write(content);
  return writer->Commit();
}

}  // namespace torvwy::core
