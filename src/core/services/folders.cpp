// Folders of the host application and scratch files.
#include "core/services/folders.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "core/services/message_table.h"

namespace torvwy::core {
namespace fs = std::filesystem;

namespace {

/// $TMPDIR when set, else /tmp.
fs::path TemporaryFolder() {
  std::error_code ec;
  fs::path folder = fs::temp_directory_path(ec);
  return ec ? fs::path("/tmp") : folder;
}

}  // namespace

fs::path GetHostFolder() {
  fs::path folder;
  if (const char* home = std::getenv("TORVWY_HOME"); home != nullptr && *home != '\0') {
    folder = home;
  } else if (const char* user_home = std::getenv("HOME"); user_home != nullptr) {
    folder = fs::path(user_home) / ".local" / "share" / "torvwy";
  } else {
    folder = TemporaryFolder() / "torvwy";
  }
  return folder;
}

Result<fs::path> EnsureHostFolder() {
  fs::path folder = GetHostFolder();
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder, ec)) {
    return Fail(kMsgFileWrite, "can't create the host folder " + folder.string() + ": " +
                                   (ec ? ec.message() : std::string("not a folder")));
  }
  return folder;
}

std::string GetWorkFolder() {
  fs::path work = GetHostFolder() / "work";
  std::error_code ec;
  fs::create_directories(work, ec);
  std::string text = work.string();
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

fs::path ProfilePath() { return GetHostFolder() / "torvwy.ini"; }

ScratchFile::ScratchFile(ScratchFile&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)) {
  other.fd_ = -1;
  other.path_.clear();
}

ScratchFile& ScratchFile::operator=(ScratchFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
    other.path_.clear();
  }
  return *this;
}

ScratchFile::~ScratchFile() { Close(); }

void ScratchFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  path_.clear();
}

Result<ScratchFile> ScratchFile::Create(const fs::path& folder) {
  std::string pattern =
      ((folder.empty() ? TemporaryFolder() : folder) / "torvwy-scratch-XXXXXX").string();
  const int fd = ::mkstemp(pattern.data());  // O_EXCL, mode 0600
  if (fd < 0) {
    return Fail(kMsgFileWrite, "can't create a scratch file " + pattern + ": " +
                                   std::generic_category().message(errno));
  }
  // From here on only the descriptor holds the space; the kernel frees it when it closes.
  if (::unlink(pattern.c_str()) != 0) {
    const int error = errno;
    ::close(fd);
    return Fail(kMsgFileWrite, "can't unlink the scratch file " + pattern + ": " +
                                   std::generic_category().message(error));
  }
  ScratchFile file;
  file.fd_ = fd;
  file.path_ = pattern;
  return file;
}

fs::path FindFileNoCase(const fs::path& folder, const std::string& name) {
  fs::path exact = folder / name;
  std::error_code ec;
  if (fs::exists(exact, ec)) return exact;
  for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end;
       !ec && it != end; it.increment(ec)) {
    const std::string candidate = it->path().filename().string();
    if (strcasecmp(candidate.c_str(), name.c_str()) == 0) return folder / candidate;
  }
  return exact;
}

}  // namespace torvwy::core
