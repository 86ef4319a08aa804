// torvwy peak: peak counting of one node.
#include "cli/analysis_options.h"
#include "cli/result_output.h"
#include "cli/subcommands.h"
#include "core/files/peak_result_file.h"
#include "core/files/result_file.h"
#include "core/peak/peak_counting.h"

namespace torvwy::cli {
namespace {

int RunPeak(const AnalysisOptions& options) {
  std::filesystem::path saved;
  if (options.save) {
    auto path = SavePath(options, core::CountingKind::kPeak);
    if (!path) return ReportError(path.error());
    saved = *path;
  }
  auto run = PrepareRun(options);
  if (!run) return ReportError(run.error());
  core::PeakResultFile file;
  {
    ConsoleProgress progress;
    auto counted =
        core::RunPeakCounting(run->files.info, run->files.sts, run->parameters, progress);
    if (!counted) return ReportError(counted.error());
    file.result = std::move(*counted);
  }
  if (!saved.empty()) {
    if (file.result.cancelled) {
      saved.clear();  // a partial count is never saved as if it were whole
    } else {
      file.sampling = run->files.info;
      file.total_blocks = run->files.info.whole_blocks();
      if (auto ok = core::SavePeakResultFile(saved, file); !ok) return ReportError(ok.error());
    }
  }
  const auto& node = options.node;
  ShowRun(
      options, PeakJson(file.result),
      [&] {
        PrintPeak(file.result, node.test + node.code + "#" + node.node, run->files.info.eu());
      },
      saved);
  return RunExitCode(file.result.cancelled);
}

}  // namespace

void RegisterPeakCommand(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<AnalysisOptions>();
  auto* command = app.add_subcommand(
      "peak", "Peak counting: every peak and valley counted into N amplitude partitions");
  AddAnalysisOptions(*command, *options);
  command->callback([options, &exit_code] { exit_code = RunPeak(*options); });
}

}  // namespace torvwy::cli
