// torvwy range: range counting of one node.
#include "cli/analysis_options.h"
#include "cli/result_output.h"
#include "cli/subcommands.h"
#include "core/files/range_result_file.h"
#include "core/files/result_file.h"
#include "core/range/range_counting.h"

namespace torvwy::cli {
namespace {

int RunRange(const AnalysisOptions& options) {
  std::filesystem::path saved;
  if (options.save) {
    auto path = SavePath(options, core::CountingKind::kRange);
    if (!path) return ReportError(path.error());
    saved = *path;
  }
  auto run = PrepareRun(options);
  if (!run) return ReportError(run.error());
  core::RangeResultFile file;
  {
    ConsoleProgress progress;
    auto counted =
        core::RunRangeCounting(run->files.info, run->files.sts, run->parameters, progress);
    if (!counted) return ReportError(counted.error());
    file.result = std::move(*counted);
  }
  if (!saved.empty()) {
    if (file.result.cancelled) {
      saved.clear();  // a partial count is never saved as if it were whole
    } else {
      file.sampling = run->files.info;
      file.total_blocks = run->files.info.whole_blocks();
      if (auto ok = core::SaveRangeResultFile(saved, file); !ok) return ReportError(ok.error());
    }
  }
  const auto& node = options.node;
  ShowRun(
      options, RangeJson(file.result),
      [&] {
        PrintRange(file.result, node.test + node.code + "#" + node.node, run->files.info.eu());
      },
      saved);
  return RunExitCode(file.result.cancelled);
}

}  // namespace

void RegisterRangeCommand(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<AnalysisOptions>();
  auto* command = app.add_subcommand(
      "range", "Range counting: the ranges between successive extremes in N partitions");
  AddAnalysisOptions(*command, *options);
  command->callback([options, &exit_code] { exit_code = RunRange(*options); });
}

}  // namespace torvwy::cli
