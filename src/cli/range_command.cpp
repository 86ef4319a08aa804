// torvwy range: range counting of one node.
#include "cli/counting_command.h"
#include "cli/subcommands.h"
#include "output/result_output.h"

namespace torvwy::cli {
namespace {

/// The updates of a followed range count: its JSON object, and the ranges so far.
FollowFaces RangeFaces() {
  return {&output::ResultJson, [](const core::AnyResultFile& file) {
            const auto& result = std::get<core::RangeResultFile>(file).result;
            int64_t ranges = 0;
            for (int32_t j = 0; j < core::PartitionsHeld(result.partitions); ++j) {
              ranges += result.two_way_counts[static_cast<size_t>(j)];
            }
            return std::to_string(ranges) + " ranges";
          }};
}

}  // namespace

void RegisterRangeCommand(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<AnalysisOptions>();
  auto* command = app.add_subcommand(
      "range", "Range counting: the ranges between successive extremes in N partitions");
  AddAnalysisOptions(*command, *options);
  AddGateOption(*command, *options);
  auto picture = std::make_shared<PictureOptions>();
  AddPictureOptions(*command, *picture, true, false);
  auto hand_over = std::make_shared<HandOverOptions>();
  AddHandOverOptions(*command, *hand_over, true);
  command->callback([options, picture, hand_over, &exit_code] {
    exit_code = RunCountingCommand(core::CountingKind::kRange, *options, *picture, *hand_over,
                                   RangeFaces());
  });
}

}  // namespace torvwy::cli
