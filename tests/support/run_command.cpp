// Running the torvwy command in tests.
#include "support/run_command.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/test_node.h"

namespace torvwy::testing {

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

CommandOutput RunTorvwy(const std::string& arguments, const std::string& home) {
  return RunTorvwyWithEnvironment(arguments, "TORVWY_HOME=" + Quote(home));
}

namespace {

CommandOutput Run(const std::string& prefix, const std::string& arguments, const std::string& env) {
  TempDir capture;
  const auto out_path = capture.path() / "out";
  const auto err_path = capture.path() / "err";
  const std::string command = prefix + "env " + env + " TORVWY_LANG=en " + Quote(TORVWY_BINARY) +
                              " " + arguments + " </dev/null >" + Quote(out_path.string()) + " 2>" +
                              Quote(err_path.string());
  CommandOutput output;
  const int status = std::system(command.c_str());
  output.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  auto read = [](const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  };
  output.out = read(out_path);
  output.err = read(err_path);
  return output;
}

}  // namespace

CommandOutput RunTorvwyWithEnvironment(const std::string& arguments, const std::string& env) {
  return Run("", arguments, env);
}

CommandOutput RunTorvwyWithFileSizeLimit(const std::string& arguments, const std::string& home,
                                         int limit_blocks) {
  return Run("ulimit -f " + std::to_string(limit_blocks) + "; ", arguments,
             "TORVWY_HOME=" + Quote(home));
}

}  // namespace torvwy::testing
