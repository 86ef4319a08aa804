// The host folder, the work folder, the profile and private scratch files.
#pragma once

#include <filesystem>
#include <string>

#include "core/services/result.h"

namespace torvwy::core {

/// The host folder: $TORVWY_HOME when set, else ~/.local/share/torvwy (the system's temporary
/// folder's "torvwy" without a home). Only computes the path: reading creates nothing.
/// It holds "TorvWyPara.txt", torvwy.ini, the recent lists and the help pages.
std::filesystem::path GetHostFolder();

/// The host folder, created (with its parents) when missing; for whoever writes there. Fails
/// (file-write message) when it can't be created.
Result<std::filesystem::path> EnsureHostFolder();

/// The work folder "<host folder>/work/" (ending in a separator), created on demand: only
/// writers ask for it. Report, export and list files go there.
std::string GetWorkFolder();

/// The application profile "<host folder>/torvwy.ini".
std::filesystem::path ProfilePath();

/// A private scratch file, created exclusively (mode 0600) and unlinked at once: only the
/// descriptor keeps it, so a crash, a kill or a second Ctrl-C can never leave it in the folder.
class ScratchFile {
 public:
  ScratchFile() = default;
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  ScratchFile(ScratchFile&& other) noexcept;
  ScratchFile& operator=(ScratchFile&& other) noexcept;
  ~ScratchFile();

  /// Creates the file in `folder` (the system's temporary folder, $TMPDIR else /tmp, when
  /// empty).
  static Result<ScratchFile> Create(const std::filesystem::path& folder = {});

  int fd() const { return fd_; }
  /// The name it was created under, for messages; no file of that name exists any more.
  const std::filesystem::path& path() const { return path_; }

 private:
  void Close();
  int fd_ = -1;
  std::filesystem::path path_;
};

/// Looks up `name` in `folder` without regard to letter case; the exact name wins. Returns the
/// path found, or folder / name when nothing matches.
std::filesystem::path FindFileNoCase(const std::filesystem::path& folder, const std::string& name);

}  // namespace torvwy::core
