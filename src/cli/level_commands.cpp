// torvwy crossings, range-pairs and time-at-level: the level crossings, range pairs and time at
// level of one node.
#include <memory>
#include <string>

#include "cli/counting_command.h"
#include "cli/subcommands.h"
#include "core/levels/level_csv.h"
#include "core/services/atomic_file.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "output/result_output.h"

namespace torvwy::cli {
namespace {

/// The updates of a followed count: its JSON object and a few words of its counts so far.
FollowFaces LevelFaces() {
  return {&output::ResultJson, [](const core::AnyResultFile& file) {
            return std::visit(
                [](const auto& f) -> std::string {
                  using File = std::decay_t<decltype(f)>;
                  if constexpr (std::is_same_v<File, core::CrossingResultFile>) {
                    int64_t total = 0;
                    for (const int64_t c : f.result.Counts()) total += c;
                    return std::to_string(total) + " crossings";
                  } else if constexpr (std::is_same_v<File, core::TimeAtLevelResultFile>) {
                    return core::ShortestText(static_cast<double>(f.result.TotalSamples()) /
                                              f.result.frequency_hz) +
                           " s";
                  } else if constexpr (std::is_same_v<File, core::RangePairResultFile>) {
                    int64_t total = 0;
                    for (int32_t k = 0; k < f.result.partitions; ++k) {
                      total += f.result.two_way_counts[static_cast<size_t>(k)];
                    }
                    return std::to_string(total) + " range pairs";
                  } else {
                    return {};
                  }
                },
                file);
          }};
}

/// --csv FILE: the result's table as CSV.
CountingExtras CsvExtras(const std::string& csv) {
  CountingExtras extras;
  if (csv.empty()) return extras;
  extras.files.push_back({"--csv", csv});
  extras.write = [csv](const CountedRun& run) -> core::Status {
    std::string text;
    if (const auto* crossings = std::get_if<core::CrossingResultFile>(&run.file)) {
      text = core::CrossingCsv(crossings->result);
    } else if (const auto* time = std::get_if<core::TimeAtLevelResultFile>(&run.file)) {
      text = core::TimeAtLevelCsv(time->result);
    }
    return core::SaveFileAtomically(csv, text, core::kMsgFileWrite);
  };
  return extras;
}

void RegisterLevelCommand(CLI::App& app, int& exit_code, core::CountingKind kind,
                          const std::string& description) {
  auto options = std::make_shared<AnalysisOptions>();
  auto csv = std::make_shared<std::string>();
  auto* command = app.add_subcommand(std::string(core::CountingKindName(kind)), description);
  AddAnalysisOptions(*command, *options);
  if (kind == core::CountingKind::kCrossings) AddCrossingOptions(*command, *options);
  if (kind == core::CountingKind::kRangePairs) AddGateOption(*command, *options);
  if (kind != core::CountingKind::kRangePairs) {
    command->add_option("--csv", *csv, "Write the table of the result as this CSV file");
  }
  auto picture = std::make_shared<PictureOptions>();
  const bool one_way = kind == core::CountingKind::kRangePairs;
  AddPictureOptions(*command, *picture, one_way, false);
  auto hand_over = std::make_shared<HandOverOptions>();
  AddHandOverOptions(*command, *hand_over, true);
  command->callback([options, csv, picture, hand_over, kind, &exit_code] {
    exit_code =
        RunCountingCommand(kind, *options, *picture, *hand_over, LevelFaces(), CsvExtras(*csv));
  });
}

}  // namespace

void RegisterLevelCommands(CLI::App& app, int& exit_code) {
  RegisterLevelCommand(app, exit_code, core::CountingKind::kCrossings,
                       "Level crossing counting: the crossings of each level, up and down");
  RegisterLevelCommand(app, exit_code, core::CountingKind::kRangePairs,
                       "Range-pair counting: each range paired by a later one at least as large "
                       "counts as a cycle");
  RegisterLevelCommand(app, exit_code, core::CountingKind::kTimeAtLevel,
                       "Time at level: the time the load spends in each of N partitions");
}

}  // namespace torvwy::cli
