// torvwy peak: peak counting of one node.
#include "cli/analysis_options.h"
#include "cli/handover_options.h"
#include "cli/picture_options.h"
#include "cli/subcommands.h"
#include "output/console_output.h"
#include "output/result_output.h"

namespace torvwy::cli {
namespace {

int RunPeak(const AnalysisOptions& options, const PictureOptions& picture,
            const HandOverOptions& hand_over) {
  if (auto ok = CheckPictureOptions(picture, hand_over.any()); !ok) return ReportError(ok.error());
  auto run = CountForCommand(options, core::CountingKind::kPeak);
  if (!run) return ReportError(run.error());
  const auto& result = std::get<core::PeakResultFile>(run->file).result;
  output::ShowRun(
      options.json, output::PeakJson(result),
      [&] { output::PrintPeak(result, NodeTitle(options.node), run->node.info.eu()); }, run->saved);
  if (int code = WriteRunPicture(picture, *run, options.json); code != kExitOk) return code;
  if (int code = HandOverRun(hand_over, picture, *run, options.json); code != kExitOk) return code;
  return RunExitCode(result.cancelled);
}

}  // namespace

void RegisterPeakCommand(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<AnalysisOptions>();
  auto* command = app.add_subcommand(
      "peak", "Peak counting: every peak and valley counted into N amplitude partitions");
  AddAnalysisOptions(*command, *options);
  auto picture = std::make_shared<PictureOptions>();
  AddPictureOptions(*command, *picture, true, true);
  auto hand_over = std::make_shared<HandOverOptions>();
  AddHandOverOptions(*command, *hand_over, true);
  command->callback([options, picture, hand_over, &exit_code] {
    exit_code = RunPeak(*options, *picture, *hand_over);
  });
}

}  // namespace torvwy::cli
