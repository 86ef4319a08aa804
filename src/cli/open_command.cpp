// torvwy open: shows a saved result file of any of the three counting analyses.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "cli/analysis_options.h"
#include "cli/command_language.h"
#include "cli/handover_options.h"
#include "cli/picture_options.h"
#include "cli/subcommands.h"
#include "core/files/result_file.h"
#include "core/files/statistics_result_file.h"
#include "core/rainflow/rainflow_counter.h"
#include "core/services/message_table.h"
#include "core/services/names.h"
#include "output/console_output.h"
#include "output/result_output.h"
#include "output/stats_output.h"

namespace torvwy::cli {
namespace {

struct OpenOptions {
  std::string file;
  bool json = false;
  bool save = false;
  PictureOptions picture;
  HandOverOptions hand_over;
};

bool IsStatisticsFile(const std::string& file) {
  std::string extension = std::filesystem::path(file).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".aps";
}

int RunOpenStatistics(const OpenOptions& options) {
  const core::Language language = PictureLanguage(options.picture);
  auto table = core::ReadStatisticsResultFile(options.file, 0, language);
  if (!table) return ReportError(table.error());
  if (!options.hand_over.readout.empty())
    return ReportError("--readout applies to counting results");
  if (options.json) {
    output::PrintJson(output::StatisticsJson(*table));
  } else {
    output::PrintParameter("result file", options.file);
    std::printf("\n");
    output::PrintStatisticsTable(*table);
  }
  return HandOverStatistics(options.hand_over, *table, core::NamesOfListFile(options.file),
                            language, options.json);
}

int RunOpen(const OpenOptions& options) {
  if (auto ok = CheckPictureOptions(options.picture, options.hand_over.any()); !ok) {
    return ReportError(ok.error());
  }
  if (auto ok = CheckDistinctFiles({{"the result file", options.file},
                                    {"--picture", options.picture.file},
                                    {"--list-export", options.hand_over.list_export}});
      !ok) {
    return ReportError(ok.error());
  }
  if (IsStatisticsFile(options.file)) {
    if (!options.picture.file.empty()) return ReportError("--picture draws counting results only");
    return RunOpenStatistics(options);
  }
  auto opened = core::OpenResultFile(options.file);
  if (!opened) return ReportError(opened.error());
  const core::ResultFileNode& node = core::NodeOf(*opened);
  if (node.old_format_warning) {
    std::cerr << "torvwy: " << core::OldFormatMessage(CommandLanguage()) << "\n";
  }
  const std::string name = node.test_name + node.test_code + "#" + node.node_name;
  const std::string unit = node.sampling.eu();
  if (auto* rainflow = std::get_if<core::RainflowResultFile>(&*opened)) {
    // The file keeps no smallest counted range; it follows from the stored full scale.
    if (auto full_scale = core::ResultFullScale(core::CountingKind::kRainflow, *rainflow)) {
      rainflow->result.smallest_range = core::SmallestCountedRange(*full_scale, rainflow->sampling);
    }
  }
  nlohmann::ordered_json json = output::ResultJson(*opened);

  if (options.save) {
    // A result shown from its file is never written again.
    std::cerr << "torvwy: a result opened from its file is not saved again; nothing was written\n";
  }
  if (options.json) {
    json["old_format"] = node.old_format;
    output::PrintJson(json);
  } else {
    output::PrintParameter("result file", options.file);
    if (node.old_format) output::PrintParameter("layout", "older layout (no envelope stored)");
    output::PrintResult(*opened, name, unit);
  }
  // A saved result is drawn without bookmarks: the file keeps none.
  if (int code = WritePicture(options.picture, *opened, {}, options.json); code != kExitOk) {
    return code;
  }
  HandOverView view;
  view.language = PictureLanguage(options.picture);
  view.one_way = options.picture.one_way;
  view.separately = options.picture.separate;
  return options.hand_over.any()
             ? HandOverCounting(options.hand_over, *opened, {}, view, options.json)
             : kExitOk;
}

}  // namespace

void RegisterOpenCommand(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<OpenOptions>();
  auto* command = app.add_subcommand(
      "open",
      "Show a saved result file (.PCM, .DCM, .RFL, .aps; every layout, the kind from the file)");
  command->add_option("file", options->file, "Result file")->required();
  command->add_flag("--json", options->json,
                    "One JSON object: the analysis's keys plus \"old_format\"");
  command->add_flag("--save", options->save,
                    "Accepted for symmetry with the analyses: a result shown from its file is "
                    "not saved again (a note says so)");
  AddPictureOptions(*command, options->picture, true, true);
  AddHandOverOptions(*command, options->hand_over, true);
  command->callback([options, &exit_code] { exit_code = RunOpen(*options); });
}

}  // namespace torvwy::cli
