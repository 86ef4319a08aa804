// The output options of the companions (--to, --pdf, --html): a name given empty is refused.
#pragma once

#include <CLI/CLI.hpp>
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

}  // namespace torvwy::companions
