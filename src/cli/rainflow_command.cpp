// torvwy rainflow: rainflow counting of one node, with the fatigue life estimate on request.
#include <cstdio>
#include <iostream>

#include "cli/analysis_options.h"
#include "cli/command_language.h"
#include "cli/follow_run.h"
#include "cli/handover_options.h"
#include "cli/picture_options.h"
#include "cli/subcommands.h"
#include "core/fatigue/fatigue_estimate.h"
#include "core/fatigue/fatigue_list.h"
#include "core/fatigue/life_class_setting.h"
#include "core/fatigue/sn_class_table.h"
#include "core/files/rainflow_result_file.h"
#include "core/files/result_file.h"
#include "core/report/companion.h"
#include "core/report/list_export.h"
#include "core/services/folders.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/profile.h"
#include "output/console_output.h"
#include "output/result_output.h"

namespace torvwy::cli {
namespace {

struct RainflowOptions {
  AnalysisOptions analysis;
  std::string fatigue;      ///< empty, actual or fitting
  std::string sn_class;     ///< B .. T; empty: the profile's RainLifeClass, else B
  std::string reliability;  ///< 0, 0.5, 1, 2 or 3; empty: 2
  PictureOptions picture;
  HandOverOptions hand_over;
};

struct FatigueChoice {
  core::FatigueMethod method;
  int32_t class_index;
  int32_t reliability_index;
};

core::Result<FatigueChoice> ParseFatigue(const RainflowOptions& options) {
  auto bad = [](const std::string& text) { return core::Fail(core::kMsgBadValue, text); };
  if (options.fatigue.empty()) {
    if (!options.sn_class.empty() || !options.reliability.empty()) {
      return bad("--class and --reliability need --fatigue actual|fitting");
    }
    return bad("");
  }
  FatigueChoice choice{};
  if (options.fatigue == "actual") {
    choice.method = core::FatigueMethod::kActual;
  } else if (options.fatigue == "fitting") {
    choice.method = core::FatigueMethod::kFitting;
  } else {
    return bad("--fatigue \"" + options.fatigue + "\" is neither actual nor fitting");
  }
  choice.class_index = -1;
  if (options.sn_class.empty()) {
    choice.class_index = core::ReadLifeClassIndex();
  } else {
    for (size_t i = 0; i < core::kSnClassTable.size(); ++i) {
      if (core::kSnClassTable[i].name == options.sn_class)
        choice.class_index = static_cast<int32_t>(i);
    }
    if (choice.class_index < 0) {
      return bad("--class \"" + options.sn_class + "\" is not one of B C D E F F2 G W S T");
    }
  }
  choice.reliability_index = core::kDefaultReliabilityIndex;
  if (!options.reliability.empty()) {
    choice.reliability_index = -1;
    const char* kTexts[][2] = {
        {"0", "0.0"}, {"0.5", "0.50"}, {"1", "1.0"}, {"2", "2.0"}, {"3", "3.0"}};
    for (int32_t i = 0; i < 5; ++i) {
      if (options.reliability == kTexts[i][0] || options.reliability == kTexts[i][1]) {
        choice.reliability_index = i;
      }
    }
    if (choice.reliability_index < 0) {
      return bad("--reliability \"" + options.reliability + "\" is not one of 0 0.5 1 2 3");
    }
  }
  return choice;
}

void PrintFatigue(const core::FatigueResult& fatigue, const std::string& unit) {
  std::printf(
      "\nfatigue life estimate (%s), class %s, d = %s\n",
      fatigue.method == core::FatigueMethod::kFitting ? "fitting" : "actual",
      std::string(core::kSnClassTable[static_cast<size_t>(fatigue.class_index)].name).c_str(),
      core::ShortestText(fatigue.reliability).c_str());
  output::PrintParameter("total cycles F", core::ShortestText(fatigue.total_cycles));
  if (fatigue.method == core::FatigueMethod::kFitting) {
    output::PrintParameter("x0, lambda, b", core::ShortestText(fatigue.location) + ", " +
                                                core::ShortestText(fatigue.scale) + ", " +
                                                core::ShortestText(fatigue.shape));
  }
  output::PrintParameter("total damage", core::ShortestText(fatigue.total_damage));
  std::printf("%5s  %12s  %10s  %10s  %12s  %12s\n", "#", ("S " + unit).c_str(), "count", "P %",
              "life", "damage");
  for (int32_t j = 0; j < fatigue.partitions; ++j) {
    const auto i = static_cast<size_t>(j);
    std::printf("%5d  %12.3f  %10.1f  %10.3f  %12.4e  %12.4e\n", j + 1,
                (j + 0.5) * fatigue.partition_width, fatigue.counts[i],
                fatigue.probability[i] * 100.0, fatigue.life[i], fatigue.damage[i]);
  }
}

/// The updates of a followed rainflow count: its JSON object with, for a life estimate, the
/// "fatigue" object of the cycles so far (no list file is written until the end); the cycles so
/// far (the residue as half cycles) and the damage and implied life.
FollowFaces RainflowFaces(const FatigueChoice* choice) {
  const auto estimate = [choice](const core::RainflowResult& result) {
    std::optional<core::FatigueResult> fatigue;
    if (choice == nullptr) return fatigue;
    auto damage = core::EstimateDamage(choice->method, result, choice->class_index,
                                       choice->reliability_index);
    if (damage) fatigue = std::move(*damage);
    return fatigue;
  };
  return {[estimate](const core::AnyResultFile& file) {
            const auto& result = std::get<core::RainflowResultFile>(file).result;
            nlohmann::ordered_json json = output::RainflowJson(result);
            if (auto fatigue = estimate(result)) json["fatigue"] = output::FatigueJson(*fatigue);
            return json;
          },
          [estimate, choice](const core::AnyResultFile& file) {
            const auto& result = std::get<core::RainflowResultFile>(file).result;
            double cycles = 0.0;
            for (int32_t j = 0; j < core::PartitionsHeld(result.partitions); ++j) {
              cycles += result.counts[static_cast<size_t>(j)];
            }
            std::string text = core::ShortestText(cycles) + " cycles (residue as half cycles)";
            if (choice == nullptr) return text;
            const auto fatigue = estimate(result);
            if (!fatigue) return text + ", damage not yet estimable";
            const core::ResultFileNode& node = core::NodeOf(file);
            const double seconds = node.sampling.record_seconds();
            text += ", damage " + core::FormatNumber(fatigue->total_damage, 6);
            if (fatigue->total_damage > 0.0) {
              text +=
                  ", implied life " + core::FormatNumber(seconds / fatigue->total_damage, 6) + " s";
            }
            return text;
          }};
}

int RunRainflow(const RainflowOptions& options) {
  auto choice = ParseFatigue(options);
  if (!choice && !choice.error().detail.empty()) return ReportError(choice.error());
  if (auto ok = CheckPictureOptions(options.picture, options.hand_over.any()); !ok) {
    return ReportError(ok.error());
  }
  std::optional<FollowedRun> followed;
  auto run = CountOrFollow(options.analysis, core::CountingKind::kRainflow,
                           RainflowFaces(choice ? &*choice : nullptr), followed);
  if (!run) return ReportError(run.error());
  const std::optional<nlohmann::ordered_json> trailing = FollowKeysOf(followed);
  const core::RainflowResult& result = std::get<core::RainflowResultFile>(run->file).result;
  const auto& node = options.analysis.node;
  std::optional<core::FatigueResult> fatigue;
  if (choice && followed && !followed->ended_well()) {
    // A record that turned bad: its estimate is shown, but no list file is written.
    auto estimate = core::EstimateDamage(choice->method, result, choice->class_index,
                                         choice->reliability_index);
    if (estimate) fatigue = std::move(*estimate);
  } else if (choice && !result.cancelled) {
    auto estimate = core::RunFatigueEstimate(choice->method, result, choice->class_index,
                                             choice->reliability_index,
                                             {node.test, node.code, node.node}, CommandLanguage());
    if (!estimate) return ReportError(estimate.error());
    fatigue = std::move(*estimate);
  }
  nlohmann::ordered_json json = output::RainflowJson(result);
  if (fatigue) json["fatigue"] = output::FatigueJson(*fatigue);
  const std::string unit = run->node.info.eu();
  output::ShowRun(
      options.analysis.json, json,
      [&] {
        output::PrintRainflow(result, NodeTitle(node), unit);
        if (fatigue) {
          PrintFatigue(*fatigue, unit);
          std::printf("\nlist file: %s\n", core::FatigueListPath().string().c_str());
        }
      },
      run->saved, trailing ? &*trailing : nullptr);
  if (followed && !followed->ended_well()) return FollowExitCode(*followed);
  if (int code = WriteRunPicture(options.picture, *run, options.analysis.json); code != kExitOk) {
    return code;
  }
  HandOverOptions hand_over = options.hand_over;
  if (fatigue && !hand_over.list_export.empty()) {
    // With a life estimate the list export hands over its table (listdata.txt, written above).
    if (auto ok = core::WriteListName(hand_over.list_export); !ok) return ReportError(ok.error());
    if (!hand_over.no_launch) {
      if (auto started = core::LaunchCompanion(core::kListProgram); !started) {
        return ReportError(started.error());
      }
    }
    hand_over.list_export.clear();
  }
  if (int code = HandOverRun(hand_over, options.picture, *run, options.analysis.json);
      code != kExitOk) {
    return code;
  }
  return followed ? FollowExitCode(*followed) : RunExitCode(result.cancelled);
}

}  // namespace

void RegisterRainflowCommand(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<RainflowOptions>();
  auto* command = app.add_subcommand(
      "rainflow", "Rainflow counting: closed load cycles by range, and the fatigue life estimate");
  AddAnalysisOptions(*command, options->analysis);
  command->add_option("--fatigue", options->fatigue,
                      "Life estimate from the counted cycles (actual) or a fitted distribution "
                      "(fitting); writes listdata.txt in the work folder");
  command->add_option("--class", options->sn_class,
                      "S-N weld class: B C D E F F2 G W S T (default: the last one chosen, B)");
  command->add_option("--reliability", options->reliability,
                      "Reliability factor d: 0 (50%), 0.5 (69%), 1 (84%), 2 (97.7%, default), "
                      "3 (99.86%)");
  AddPictureOptions(*command, options->picture, false, false);
  AddHandOverOptions(*command, options->hand_over, true);
  command->callback([options, &exit_code] { exit_code = RunRainflow(*options); });
}

}  // namespace torvwy::cli
