// The subcommands of the torvwy command.
#pragma once

namespace torvwy::cli {

/// Runs the command line; returns the exit code.
int Main(int argc, char** argv);

}  // namespace torvwy::cli
