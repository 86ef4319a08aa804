// Leftover names of a save and the clean-up after a killed one.
#include "core/services/save_leftovers.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

namespace torvwy::core {
namespace fs = std::filesystem;
namespace {

constexpr std::pair<LeftoverKind, std::string_view> kMarks[] = {
    {LeftoverKind::kTemporary, ".torvwy-tmp-"},
    {LeftoverKind::kKept, ".torvwy-old-"},
    {LeftoverKind::kAbsent, ".torvwy-new-"},
};

template <typename T>
bool ParseDigits(std::string_view text, T& value) {
  if (text.empty() || text.size() > 19) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

/// When the process `pid` started, in seconds since the epoch; nothing when unknown.
std::optional<int64_t> ProcessStartTime(int64_t pid) {
  std::ifstream stat_file("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat_file, line)) return std::nullopt;
  // The name in parentheses may hold blanks; the fields after it are plain numbers.
  const size_t name_end = line.rfind(')');
  if (name_end == std::string::npos) return std::nullopt;
  std::istringstream fields(line.substr(name_end + 1));
  std::string field;
  uint64_t start_ticks = 0;
  // The state is field 3 of the line, the start time field 22.
  for (int index = 3; index <= 22; ++index) {
    if (!(fields >> field)) return std::nullopt;
    if (index == 22 && !ParseDigits(field, start_ticks)) return std::nullopt;
  }
  std::ifstream system_stat("/proc/stat");
  int64_t boot_time = -1;
  while (std::getline(system_stat, line)) {
    if (line.starts_with("btime ")) {
      ParseDigits(std::string_view(line).substr(6), boot_time);
      break;
    }
  }
  const long ticks_per_second = ::sysconf(_SC_CLK_TCK);
  if (boot_time < 0 || ticks_per_second <= 0) return std::nullopt;
  return boot_time + static_cast<int64_t>(start_ticks / static_cast<uint64_t>(ticks_per_second));
}

/// Whether the process that made a file changed at `changed_s` may still be running: its PID
/// is in use by a process at least as old as the file. A PID taken over by a process younger
/// than the file no longer belongs to its maker.
bool MakerMayRun(int64_t pid, int64_t changed_s) {
  if (pid == static_cast<int64_t>(::getpid())) return true;
  if (pid <= 0 || pid > 0x3FFFFFFF) return false;
  if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return false;
  const auto started = ProcessStartTime(pid);
  // Two seconds for the rounding of both times.
  return !started || *started <= changed_s + 2;
}

}  // namespace

uint64_t NextSaveNumber() {
  static std::atomic<uint64_t> number{0};
  return ++number;
}

std::string LeftoverName(std::string_view target_name, LeftoverKind kind, uint64_t number) {
  std::string mark;
  for (const auto& [which, text] : kMarks) {
    if (which == kind) mark = text;
  }
  return "." + std::string(target_name) + mark + std::to_string(::getpid()) + "-" +
         std::to_string(number);
}

std::optional<LeftoverParts> ParseLeftoverName(std::string_view file_name) {
  if (!file_name.starts_with('.')) return std::nullopt;
  for (const auto& [kind, mark] : kMarks) {
    const size_t at = file_name.rfind(mark);
    if (at == std::string_view::npos || at < 2) continue;
    const std::string_view tail = file_name.substr(at + mark.size());
    const size_t dash = tail.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    LeftoverParts parts;
    parts.kind = kind;
    parts.target_name = std::string(file_name.substr(1, at - 1));
    if (parts.target_name == "." || parts.target_name == "..") return std::nullopt;
    if (!ParseDigits(tail.substr(0, dash), parts.pid) ||
        !ParseDigits(tail.substr(dash + 1), parts.number)) {
      return std::nullopt;
    }
    return parts;
  }
  return std::nullopt;
}

void RemoveLeftoversOfKilledSaves(const fs::path& folder) {
  struct Kept {
    fs::path leftover;
    fs::path target;
    LeftoverKind kind;
  };
  std::map<std::pair<int64_t, uint64_t>, std::vector<Kept>> sets;
  const fs::path where = folder.empty() ? fs::path(".") : folder;
  // Plain readdir: a save into a large folder should not pay for a path per entry.
  DIR* listing = ::opendir(where.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (!name.starts_with('.') || name.find(".torvwy-") == std::string_view::npos) continue;
    const auto parts = ParseLeftoverName(name);
    if (!parts) continue;
    const fs::path path = where / name;
    struct stat status {};
    // Only plain files a save made: never a link, a folder or a device that bears such a name.
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
    if (MakerMayRun(parts->pid, static_cast<int64_t>(status.st_ctime))) continue;
    if (parts->kind == LeftoverKind::kTemporary) {
      ::unlink(path.c_str());
    } else {
      sets[{parts->pid, parts->number}].push_back({path, where / parts->target_name, parts->kind});
    }
  }
  ::closedir(listing);
  for (const auto& [key, kept] : sets) {
    // The set takes its last part away before renaming: a kept file whose target is missing
    // means the set stopped between that and the last rename.
    bool interrupted = false;
    for (const Kept& part : kept) {
      struct stat status {};
      if (part.kind == LeftoverKind::kKept && ::lstat(part.target.c_str(), &status) != 0 &&
          errno == ENOENT) {
        interrupted = true;
      }
    }
    for (const Kept& part : kept) {
      if (interrupted && part.kind == LeftoverKind::kKept) {
        // A rename onto the same file (a part not yet replaced) leaves both names: unlink then.
        if (::rename(part.leftover.c_str(), part.target.c_str()) != 0) continue;
      } else if (interrupted) {
        struct stat status {};
        if (::lstat(part.target.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
          ::unlink(part.target.c_str());
        }
      }
      ::unlink(part.leftover.c_str());
    }
  }
}

}  // namespace torvwy::core
