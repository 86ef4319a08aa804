// The command line of the companions: the output options (--to, --pdf, --html), where a name
// given empty is refused, and the parse every companion starts with.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

namespace torvwy::companions {

/// Refuses an empty value. Without the option a companion asks with a save dialog; an empty
/// name given on a command line, where no one may be there to answer, must fail instead.
inline CLI::Validator NotEmpty() {
  return CLI::Validator(
      [](std::string& value) {
        return value.empty() ? std::string("an empty file name is not allowed") : std::string();
      },
      "", "NOT_EMPTY");
}

/// Parses the command line into `app`'s options. Returns the exit code when the companion ends
/// at once (after --help, or a bad option, which CLI11 reports in one line); nothing otherwise.
inline std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  }
  return std::nullopt;
}

}  // namespace torvwy::companions
