// torvwy rainflow: rainflow counting of one node, with the fatigue life estimate, the
// damage-equivalent loads, the range-mean matrix and the damage over time on request.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <vector>

#include "cli/analysis_options.h"
#include "cli/command_language.h"
#include "cli/cycle_outputs.h"
#include "cli/fatigue_options.h"
#include "cli/follow_run.h"
#include "cli/handover_options.h"
#include "cli/picture_options.h"
#include "cli/subcommands.h"
#include "core/fatigue/fatigue_estimate.h"
#include "core/fatigue/fatigue_list.h"
#include "core/fatigue/fatigue_list_summary.h"
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
  FatigueOptions fatigue;
  PictureOptions picture;
  HandOverOptions hand_over;
};

/// The heading of the estimate's table: the weld class and d as always, or the curve and the
/// mean correction.
std::string FatigueHeading(const core::FatigueResult& fatigue) {
  const char* method = fatigue.method == core::FatigueMethod::kFitting ? "fitting" : "actual";
  const core::MeanCorrection& correction = fatigue.correction;
  if (fatigue.curve.is_weld_class() && correction.kind == core::MeanCorrectionKind::kNone) {
    return std::string("fatigue life estimate (") + method + "), class " +
           std::string(core::kSnClassTable[static_cast<size_t>(fatigue.class_index)].name) +
           ", d = " + core::ShortestText(fatigue.reliability);
  }
  std::string heading =
      std::string("fatigue life estimate (") + method + "), curve " + fatigue.curve.name;
  if (!fatigue.curve.unit.empty()) heading += " (" + fatigue.curve.unit + ")";
  if (fatigue.curve.is_weld_class()) heading += ", d = " + core::ShortestText(fatigue.reliability);
  if (correction.kind != core::MeanCorrectionKind::kNone) {
    heading += ", mean correction " + std::string(core::MeanCorrectionName(correction.kind));
    if (correction.ultimate > 0.0) heading += ", Su = " + core::ShortestText(correction.ultimate);
    if (correction.kind == core::MeanCorrectionKind::kWalker) {
      heading += ", gamma = " + core::ShortestText(correction.walker_gamma);
    }
  }
  return heading;
}

void PrintFatigue(const core::FatigueResult& fatigue, const std::string& unit) {
  std::printf("\n%s\n", FatigueHeading(fatigue).c_str());
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
FollowFaces RainflowFaces(const core::FatigueChoice* choice) {
  const auto estimate = [choice](const core::RainflowResult& result) {
    std::optional<core::FatigueResult> fatigue;
    if (choice == nullptr) return fatigue;
    auto damage = core::EstimateDamage(*choice, result);
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
            std::string text = core::ShortestText(cycles) + " cycles (residue " +
                               std::string(core::ResidueText(result.residue)) + ")";
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
  auto request = ParseFatigueRequest(options.fatigue, options.analysis.follow);
  if (!request) return ReportError(request.error());
  const core::FatigueChoice* choice = request->estimate ? &*request->estimate : nullptr;
  if (auto ok = CheckPictureOptions(options.picture, options.hand_over.any()); !ok) {
    return ReportError(ok.error());
  }
  std::vector<NamedFile> fatigue_files = {{"--matrix", request->matrix_file},
                                          {"--damage-history", request->damage_history_file},
                                          {"--from-to", request->from_to_file},
                                          {"--transitions", request->transitions_file}};
  std::error_code ec;
  if (std::filesystem::is_regular_file(options.fatigue.curve, ec)) {
    fatigue_files.push_back({"--curve", options.fatigue.curve});
  }
  if (auto ok = CheckRunFiles(options.analysis, core::CountingKind::kRainflow, options.picture,
                              options.hand_over, std::move(fatigue_files));
      !ok) {
    return ReportError(ok.error());
  }
  std::optional<FollowedRun> followed;
  auto run = CountOrFollow(options.analysis, core::CountingKind::kRainflow, RainflowFaces(choice),
                           followed);
  if (!run) return ReportError(run.error());
  const std::optional<nlohmann::ordered_json> trailing = FollowKeysOf(followed);
  const core::RainflowResult& result = std::get<core::RainflowResultFile>(run->file).result;
  const auto& node = options.analysis.node;
  const double frequency_hz = run->node.info.frequency_hz();

  // The cycle list, read once the count is done: of the finished record when following.
  std::optional<core::NodeCycleList> cycles;
  std::optional<core::ClassMatrix> asked_transitions;
  if (request->needs_cycles() && !result.cancelled) {
    const bool finished = !followed || followed->end == core::FollowEnd::kComplete ||
                          followed->end == core::FollowEnd::kIdle;
    if (finished) {
      auto transitions = AskedTransitions(*request, result);
      if (!transitions) return ReportError(transitions.error());
      auto read = ReadCountedCycles(*run, result, *transitions ? &**transitions : nullptr);
      if (!read) return ReportError(read.error());
      if (read->cancelled) {
        std::fprintf(stderr,
                     "torvwy: the pass over the cycles was cancelled; no estimate, load, matrix "
                     "or damage history was made\n");
        return kExitCancelled;
      }
      cycles = std::move(*read);
      asked_transitions = std::move(*transitions);
    } else {
      std::fprintf(stderr,
                   "torvwy: the follow ended %s; the loads, the matrix and the damage history "
                   "are made only of a finished record\n",
                   followed->ended().c_str());
    }
  }
  CycleOutputs outputs;
  if (cycles) {
    auto made = MakeCycleOutputs(*request, *cycles, result, frequency_hz);
    if (!made) return ReportError(made.error());
    outputs = std::move(*made);
    outputs.transitions = std::move(asked_transitions);
  }

  std::optional<core::FatigueResult> fatigue;
  if (choice && followed && !followed->ended_well()) {
    // A record that turned bad: its estimate is shown, but no list file is written.
    auto estimate = core::EstimateDamage(*choice, result);
    if (estimate) fatigue = std::move(*estimate);
  } else if (choice && !result.cancelled) {
    const std::span<const core::RainflowCycle> listed =
        cycles ? std::span<const core::RainflowCycle>(cycles->cycles)
               : std::span<const core::RainflowCycle>();
    const core::FatigueListNames names{node.test, node.code, node.node};
    auto estimate = core::RunFatigueEstimate(*choice, result, listed, names, CommandLanguage());
    if (!estimate) return ReportError(estimate.error());
    fatigue = std::move(*estimate);
    const bool other_conventions =
        result.residue != core::ResidueMethod::kHalf || result.gate > 0.0;
    if (core::NeedsFatigueListSummary(*fatigue, outputs.loads, other_conventions)) {
      // The list carries what the estimate was made with; a weld class alone keeps its table.
      core::FatigueListSummary summary;
      summary.curve = true;
      summary.loads = outputs.loads;
      summary.unit = run->node.info.eu();
      summary.residue = result.residue;
      summary.gate = result.gate;
      if (auto ok = core::SaveFatigueListWithSummary(core::FatigueListPath(), *fatigue, names,
                                                     CommandLanguage(), summary);
          !ok) {
        return ReportError(ok.error());
      }
    }
    if (cycles && !request->damage_history_file.empty()) {
      auto history = MakeDamageHistory(*choice, result, *fatigue, *cycles, frequency_hz);
      if (!history) return ReportError(history.error());
      outputs.history = std::move(*history);
    }
  }
  if (auto ok = SaveCycleOutputs(*request, outputs); !ok) return ReportError(ok.error());

  nlohmann::ordered_json json = output::RainflowJson(result);
  if (fatigue) json["fatigue"] = output::FatigueJson(*fatigue);
  AddCycleOutputsJson(json, *request, outputs);
  const std::string unit = run->node.info.eu();
  output::ShowRun(
      options.analysis.json, json,
      [&] {
        output::PrintRainflow(result, NodeTitle(node), unit);
        if (fatigue) {
          PrintFatigue(*fatigue, unit);
          std::printf("\nlist file: %s\n", core::FatigueListPath().string().c_str());
        }
        PrintCycleOutputs(*request, outputs, unit);
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
  // The report carries the curve, the correction, the loads and the matrix where computed.
  FatigueHandOver fatigue_part;
  fatigue_part.estimate = fatigue ? &*fatigue : nullptr;
  fatigue_part.loads = outputs.loads;
  fatigue_part.matrix = outputs.matrix ? &*outputs.matrix : nullptr;
  if (int code =
          HandOverRun(hand_over, options.picture, *run, options.analysis.json, &fatigue_part);
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
  AddGateOption(*command, options->analysis);
  AddResidueOption(*command, options->analysis);
  AddFatigueOptions(*command, options->fatigue);
  AddPictureOptions(*command, options->picture, false, false);
  AddHandOverOptions(*command, options->hand_over, true);
  command->callback([options, &exit_code] { exit_code = RunRainflow(*options); });
}

}  // namespace torvwy::cli
