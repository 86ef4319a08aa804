// torvwy peak: peak counting of one node.
#include "cli/counting_command.h"
#include "cli/subcommands.h"
#include "output/result_output.h"

namespace torvwy::cli {
namespace {

/// The updates of a followed peak count: its JSON object, and the peaks and valleys so far.
FollowFaces PeakFaces() {
  return {&output::ResultJson, [](const core::AnyResultFile& file) {
            const auto& result = std::get<core::PeakResultFile>(file).result;
            int64_t peaks = 0, valleys = 0;
            for (int32_t j = 0; j < core::PartitionsHeld(result.partitions); ++j) {
              peaks += result.two_way_peak_counts[static_cast<size_t>(j)];
              valleys += result.two_way_valley_counts[static_cast<size_t>(j)];
            }
            return std::to_string(peaks) + " peaks, " + std::to_string(valleys) + " valleys";
          }};
}

}  // namespace

void RegisterPeakCommand(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<AnalysisOptions>();
  auto* command = app.add_subcommand(
      "peak", "Peak counting: every peak and valley counted into N amplitude partitions");
  AddAnalysisOptions(*command, *options);
  AddGateOption(*command, *options);
  auto picture = std::make_shared<PictureOptions>();
  AddPictureOptions(*command, *picture, true, true);
  auto hand_over = std::make_shared<HandOverOptions>();
  AddHandOverOptions(*command, *hand_over, true);
  command->callback([options, picture, hand_over, &exit_code] {
    exit_code =
        RunCountingCommand(core::CountingKind::kPeak, *options, *picture, *hand_over, PeakFaces());
  });
}

}  // namespace torvwy::cli
