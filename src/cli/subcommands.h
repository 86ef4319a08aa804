// Registration of each subcommand; each lives in a file of its own.
#pragma once

#include <CLI/CLI.hpp>

namespace torvwy::cli {

void RegisterGenCommand(CLI::App& app, int& exit_code);
void RegisterInfoCommand(CLI::App& app, int& exit_code);
void RegisterImportCommand(CLI::App& app, int& exit_code);
void RegisterPeakCommand(CLI::App& app, int& exit_code);
void RegisterRangeCommand(CLI::App& app, int& exit_code);
void RegisterRainflowCommand(CLI::App& app, int& exit_code);
/// crossings, range-pairs and time-at-level.
void RegisterLevelCommands(CLI::App& app, int& exit_code);
void RegisterOpenCommand(CLI::App& app, int& exit_code);
void RegisterStatsCommand(CLI::App& app, int& exit_code);
void RegisterProgrammeCommand(CLI::App& app, int& exit_code);

}  // namespace torvwy::cli
