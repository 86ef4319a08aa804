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

/// `text` quoted for the shell.
std::string Quote(const std::string& text);

}  // namespace torvwy::testing
