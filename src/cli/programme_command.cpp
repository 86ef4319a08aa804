// torvwy programme: a test programme of recorded events with repeats counted as one load
// history, with the damage each event does and the life in programmes.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "cli/cli_support.h"
#include "cli/command_language.h"
#include "cli/handover_options.h"
#include "cli/subcommands.h"
#include "core/data/counting_node.h"
#include "core/fatigue/fatigue_list.h"
#include "core/fatigue/fatigue_list_summary.h"
#include "core/files/rainflow_result_file.h"
#include "core/programme/programme_count.h"
#include "core/programme/programme_file.h"
#include "core/programme/programme_table.h"
#include "core/report/companion.h"
#include "core/report/list_export.h"
#include "core/services/atomic_file.h"
#include "core/services/message_table.h"
#include "output/console_output.h"
#include "output/programme_output.h"

namespace torvwy::cli {
namespace {

struct ProgrammeOptions {
  std::string file;
  bool json = false;
  std::string csv;
  int threads = 0;
  HandOverOptions hand_over;
};

/// The programme's histogram as the result of a rainflow count of a node named after the
/// programme, with the first event's sampling record: what the report and the list take.
core::RainflowResultFile ProgrammeAsResult(const core::Programme& programme,
                                           const core::ProgrammeResult& result,
                                           const core::SamplingInfo& sampling) {
  core::RainflowResultFile file;
  file.test_name = programme.name.empty() ? "programme" : programme.name;
  file.node_name = "programme";
  file.sampling = sampling;
  file.result = result.histogram;
  return file;
}

int RunProgrammeCommand(const ProgrammeOptions& options) {
  if (!options.csv.empty()) {
    if (auto ok = core::CheckSaveTarget(options.csv); !ok) return ReportError(ok.error());
  }
  auto programme = core::ReadProgrammeFile(options.file);
  if (!programme) return ReportError(programme.error());
  core::Result<core::ProgrammeResult> result = core::Error{};
  {
    ConsoleProgress progress;
    progress.SetStatus("counting the programme's events");
    result = core::RunProgramme(*programme, options.threads, progress);
  }
  if (!result) return ReportError(result.error());
  if (result->cancelled) {
    std::fprintf(stderr, "torvwy: the count was cancelled; nothing was written\n");
    return kExitCancelled;
  }
  if (!options.csv.empty()) {
    if (auto ok = core::SaveProgrammeTableCsv(options.csv, *result); !ok) {
      return ReportError(ok.error());
    }
  }
  nlohmann::ordered_json json = output::ProgrammeJson(*result);
  if (!options.csv.empty()) json["csv"] = options.csv;
  output::ShowRun(options.json, json, [&] { output::PrintProgramme(*result); }, {});
  if (!options.hand_over.any()) return kExitOk;

  // The report and the list export take the programme's histogram and estimate as they take a
  // rainflow count's, under the programme's name.
  const core::ProgrammeEvent& first = programme->events.front();
  std::filesystem::path folder(first.data);
  if (folder.is_relative()) folder = programme->folder / folder;
  auto node = core::OpenCountingNode(folder, first.test, first.code, first.node);
  if (!node) return ReportError(node.error());
  const core::RainflowResultFile file = ProgrammeAsResult(*programme, *result, node->info);
  HandOverOptions hand_over = options.hand_over;
  if (!hand_over.list_export.empty()) {
    const core::FatigueListNames names{file.test_name, file.test_code, file.node_name};
    core::FatigueListSummary summary;
    summary.curve = true;
    summary.unit = result->unit;
    summary.residue = result->histogram.residue;
    summary.gate = result->histogram.gate;
    if (auto ok = core::SaveFatigueListWithSummary(core::FatigueListPath(), result->fatigue, names,
                                                   CommandLanguage(), summary);
        !ok) {
      return ReportError(ok.error());
    }
    if (auto ok = core::WriteListName(hand_over.list_export); !ok) return ReportError(ok.error());
    if (!hand_over.no_launch) {
      if (auto started = core::LaunchCompanion(core::kListProgram); !started) {
        return ReportError(started.error());
      }
    }
    hand_over.list_export.clear();
  }
  if (!hand_over.any()) return kExitOk;
  FatigueHandOver fatigue;
  fatigue.estimate = &result->fatigue;
  fatigue.matrix = &result->range_mean;
  HandOverView view;
  view.language = CommandLanguage();
  return HandOverCounting(hand_over, core::AnyResultFile(file), {}, view, options.json, &fatigue);
}

}  // namespace

void RegisterProgrammeCommand(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<ProgrammeOptions>();
  auto* command = app.add_subcommand(
      "programme",
      "A test programme file: its events and repeats counted as one load history, the damage "
      "each event does and the life in programmes");
  command->add_option("FILE", options->file, "The programme file (INI: [Programme], [Event N])")
      ->required();
  command->add_flag("--json", options->json, "One JSON object on stdout");
  command->add_option("--csv", options->csv, "Write the events' table as this CSV file")
      ->check(NonEmptyValue());
  command->add_option("--threads", options->threads, "Worker threads (0: one per core)")
      ->check(CLI::Range(0, 256))
      ->capture_default_str();
  AddHandOverOptions(*command, options->hand_over, false);
  command
      ->add_option("--list-export", options->hand_over.list_export,
                   "Write the life estimate's table as listname.txt/listdata.txt for the "
                   "workbook FILE and start ldexp")
      ->check(NonEmptyValue());
  command->callback([options, &exit_code] { exit_code = RunProgrammeCommand(*options); });
}

}  // namespace torvwy::cli
