// torvwy range: range counting of one node.
#include "cli/analysis_options.h"
#include "cli/follow_run.h"
#include "cli/handover_options.h"
#include "cli/picture_options.h"
#include "cli/subcommands.h"
#include "output/console_output.h"
#include "output/result_output.h"

namespace torvwy::cli {
namespace {

/// The updates of a followed range count: its JSON object, and the ranges so far.
FollowFaces RangeFaces() {
  return {[](const core::AnyResultFile& file) {
            return output::RangeJson(std::get<core::RangeResultFile>(file).result);
          },
          [](const core::AnyResultFile& file) {
            const auto& result = std::get<core::RangeResultFile>(file).result;
            int64_t ranges = 0;
            for (int32_t j = 0; j < core::PartitionsHeld(result.partitions); ++j) {
              ranges += result.two_way_counts[static_cast<size_t>(j)];
            }
            return std::to_string(ranges) + " ranges";
          }};
}

int RunRange(const AnalysisOptions& options, const PictureOptions& picture,
             const HandOverOptions& hand_over) {
  if (auto ok = CheckPictureOptions(picture, hand_over.any()); !ok) return ReportError(ok.error());
  if (auto ok = CheckRunFiles(options, core::CountingKind::kRange, picture, hand_over); !ok) {
    return ReportError(ok.error());
  }
  std::optional<FollowedRun> followed;
  auto run = CountOrFollow(options, core::CountingKind::kRange, RangeFaces(), followed);
  if (!run) return ReportError(run.error());
  const std::optional<nlohmann::ordered_json> trailing = FollowKeysOf(followed);
  const auto& result = std::get<core::RangeResultFile>(run->file).result;
  output::ShowRun(
      options.json, output::RangeJson(result),
      [&] { output::PrintRange(result, NodeTitle(options.node), run->node.info.eu()); }, run->saved,
      trailing ? &*trailing : nullptr);
  if (followed && !followed->ended_well()) return FollowExitCode(*followed);
  if (int code = WriteRunPicture(picture, *run, options.json); code != kExitOk) return code;
  if (int code = HandOverRun(hand_over, picture, *run, options.json); code != kExitOk) return code;
  return followed ? FollowExitCode(*followed) : RunExitCode(result.cancelled);
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
