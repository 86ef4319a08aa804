// Finding and starting companion programs: a direct process start, never a shell.
#include "core/report/companion.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

#include "core/services/folders.h"
#include "core/services/message_table.h"

extern char** environ;

namespace torvwy::core {
namespace fs = std::filesystem;
namespace {

bool IsExecutableFile(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

fs::path ExecutableFolder() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : self.parent_path();
}

}  // namespace

Result<fs::path> FindCompanion(std::string_view name) {
  const fs::path host = GetHostFolder();
  const fs::path beside = ExecutableFolder();
  for (const fs::path& folder : {host, beside}) {
    if (folder.empty()) continue;
    const fs::path candidate = folder / std::string(name);
    if (IsExecutableFile(candidate)) return candidate;
  }
  return Fail(kMsgFileRead, "companion program " + std::string(name) + " not found in " +
                                host.string() + (beside.empty() ? "" : " or " + beside.string()));
}

Result<int> LaunchCompanion(std::string_view name, const std::vector<std::string>& arguments) {
  auto program = FindCompanion(name);
  if (!program) return program.error();
  std::vector<std::string> argv_text;
  argv_text.push_back(program->string());
  argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : argv_text) argv.push_back(text.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string host = GetHostFolder().string();
  posix_spawn_file_actions_addchdir_np(&actions, host.c_str());
  pid_t pid = 0;
  const int error = posix_spawn(&pid, program->c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    return Fail(kMsgFileRead, "companion program " + program->string() +
                                  " can't be started: " + std::generic_category().message(error));
  }
  // Not waited for, but reaped when it ends, so that a long-running caller (the desktop
  // application) collects no finished companions.
  try {
    std::thread([pid] {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread: the companion runs all the same; it is reaped when the caller ends.
  }
  return static_cast<int>(pid);
}

fs::path ImageExportPicturePath() { return fs::path(GetWorkFolder()) / "TorvImg.bmp"; }

std::string ImageExportNameArgument(std::string_view name) {
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
    name = name.substr(1, name.size() - 2);
  } else if (!name.empty() && name.front() == '"') {
    name.remove_prefix(1);
  }
  std::string argument(name);
  for (char& c : argument) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return argument;
}

Result<int> LaunchImageExport(const fs::path& picture, std::string_view name) {
  std::vector<std::string> arguments{picture.string()};
  const std::string name_argument = ImageExportNameArgument(name);
  if (!name_argument.empty()) arguments.push_back(name_argument);
  return LaunchCompanion(kImageProgram, arguments);
}

}  // namespace torvwy::core
