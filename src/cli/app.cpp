// The torvwy command: subcommands registered on one CLI11 application.
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/cli_support.h"
#include "cli/command_language.h"
#include "cli/commands.h"
#include "cli/subcommands.h"
#include "core/services/atomic_file.h"
#include "core/services/language.h"

namespace torvwy::cli {

int Main(int argc, char** argv) {
  core::IgnoreFileSizeSignal();
  // The profile is read here once; every message of the run is in this language.
  SetCommandLanguage(core::GetUILanguage());
  CLI::App app{
      "torvwy: amplitude-domain analysis of test-and-measurement waveforms.\n"
      "A test's nodes are kept as <test><code>#<node>.tsp (sampling parameters) and .sts "
      "(raw samples) in the test's data folder.",
      "torvwy"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "torvwy 0.1.0");
  int exit_code = kExitOk;
  RegisterGenCommand(app, exit_code);
  RegisterInfoCommand(app, exit_code);
  RegisterImportCommand(app, exit_code);
  RegisterPeakCommand(app, exit_code);
  RegisterRangeCommand(app, exit_code);
  RegisterRainflowCommand(app, exit_code);
  RegisterLevelCommands(app, exit_code);
  RegisterStatsCommand(app, exit_code);
  RegisterProgrammeCommand(app, exit_code);
  RegisterOpenCommand(app, exit_code);
  if (argc > 1 && argv[1][0] != '-') {
    bool known = false;
    for (const CLI::App* command : app.get_subcommands({})) known |= command->get_name() == argv[1];
    if (!known) return ReportError(std::string("unknown command \"") + argv[1] + "\" (see --help)");
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::string text = e.what();
    return ReportError(text + " (see --help)");
  }
  return exit_code;
}

}  // namespace torvwy::cli
