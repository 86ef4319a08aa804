// Running the torvwy command in tests.
#pragma once

#include <string>

namespace torvwy::testing {

struct CommandOutput {
  int exit_code = -1;
  std::string out;
  std::string err;
};

/// Runs the built torvwy command with `arguments` (a shell-quoted string), TORVWY_HOME set to
/// `home`, and collects its exit code, stdout and stderr.
CommandOutput RunTorvwy(const std::string& arguments, const std::string& home);

/// Runs the built torvwy command with `arguments` under `env` with the given assignments and
/// removals (e.g. "-u TORVWY_HOME HOME='/tmp/x'"), TORVWY_LANG=en.
CommandOutput RunTorvwyWithEnvironment(const std::string& arguments, const std::string& env);

/// Runs the built torvwy command as RunTorvwy does, with its file size limited to
/// `limit_blocks` blocks of 512 bytes (the shell's ulimit -f).
CommandOutput RunTorvwyWithFileSizeLimit(const std::string& arguments, const std::string& home,
                                         int limit_blocks);

/// `text` quoted for the shell.
std::string Quote(const std::string& text);

}  // namespace torvwy::testing
