// torvwy range: range counting of one node.
#include "cli/analysis_options.h"
#include "cli/handover_options.h"
#include "cli/picture_options.h"
#include "cli/subcommands.h"
#include "output/console_output.h"
#include "output/result_output.h"

namespace torvwy::cli {
namespace {

int RunRange(const AnalysisOptions& options, const PictureOptions& picture,
             const HandOverOptions& hand_over) {
  if (auto ok = CheckPictureOptions(picture, hand_over.any()); !ok) return ReportError(ok.error());
  auto run = CountForCommand(options, core::CountingKind::kRange);
  if (!run) return ReportError(run.error());
  const auto& result = std::get<core::RangeResultFile>(run->file).result;
  output::ShowRun(
      options.json, output::RangeJson(result),
      [&] { output::PrintRange(result, NodeTitle(options.node), run->node.info.eu()); },
      run->saved);
  if (int code = WriteRunPicture(picture, *run, options.json); code != kExitOk) return code;
  if (int code = HandOverRun(hand_over, picture, *run, options.json); code != kExitOk) return code;
  return RunExitCode(result.cancelled);
}

}  // namespace

void RegisterRangeCommand(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<AnalysisOptions>();
  auto* command = app.add_subcommand(
      "range", "Range counting: the ranges between successive extremes in N partitions");
  AddAnalysisOptions(*command, *options);
  auto picture = std::make_shared<PictureOptions>();
  AddPictureOptions(*command, *picture, true, false);
  auto hand_over = std::make_shared<HandOverOptions>();
  AddHandOverOptions(*command, *hand_over, true);
  command->callback([options, picture, hand_over, &exit_code] {
    exit_code = RunRange(*options, *picture, *hand_over);
  });
}

}  // namespace torvwy::cli
