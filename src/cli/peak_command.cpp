// torvwy peak: peak counting of one node.
#include "cli/analysis_options.h"
#include "cli/follow_run.h"
#include "cli/handover_options.h"
#include "cli/picture_options.h"
#include "cli/subcommands.h"
#include "output/console_output.h"
#include "output/result_output.h"

namespace torvwy::cli {
namespace {

/// The updates of a followed peak count: its JSON object, and the peaks and valleys so far.
FollowFaces PeakFaces() {
  return {[](const core::AnyResultFile& file) {
            return output::PeakJson(std::get<core::PeakResultFile>(file).result);
          },
          [](const core::AnyResultFile& file) {
            const auto& result = std::get<core::PeakResultFile>(file).result;
            int64_t peaks = 0, valleys = 0;
            for (int32_t j = 0; j < core::PartitionsHeld(result.partitions); ++j) {
              peaks += result.two_way_peak_counts[static_cast<size_t>(j)];
              valleys += result.two_way_valley_counts[static_cast<size_t>(j)];
            }
            return std::to_string(peaks) + " peaks, " + std::to_string(valleys) + " valleys";
          }};
}

int RunPeak(const AnalysisOptions& options, const PictureOptions& picture,
            const HandOverOptions& hand_over) {
  if (auto ok = CheckPictureOptions(picture, hand_over.any()); !ok) return ReportError(ok.error());
  if (auto ok = CheckRunFiles(options, core::CountingKind::kPeak, picture, hand_over); !ok) {
    return ReportError(ok.error());
  }
  std::optional<FollowedRun> followed;
  auto run = CountOrFollow(options, core::CountingKind::kPeak, PeakFaces(), followed);
  if (!run) return ReportError(run.error());
  const std::optional<nlohmann::ordered_json> trailing = FollowKeysOf(followed);
  const auto& result = std::get<core::PeakResultFile>(run->file).result;
  output::ShowRun(
      options.json, output::PeakJson(result),
      [&] { output::PrintPeak(result, NodeTitle(options.node), run->node.info.eu()); }, run->saved,
      trailing ? &*trailing : nullptr);
  if (followed && !followed->ended_well()) return FollowExitCode(*followed);
  if (int code = WriteRunPicture(picture, *run, options.json); code != kExitOk) return code;
  if (int code = HandOverRun(hand_over, picture, *run, options.json); code != kExitOk) return code;
  return followed ? FollowExitCode(*followed) : RunExitCode(result.cancelled);
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
