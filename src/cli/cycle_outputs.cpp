// The damage-equivalent loads, the range-mean matrix and the damage history of the rainflow
// command.
#include "cli/cycle_outputs.h"

#include <cstdio>
#include <optional>
#include <tuple>
#include <utility>

#include "cli/cli_support.h"
#include "core/fatigue/fatigue_csv.h"
#include "core/services/number_format.h"
#include "output/result_output.h"

namespace torvwy::cli {

namespace {

/// {"classes": M, "edges": [M + 1], "counts": [[M] x M], "outside": n}, rows the from class.
}  // namespace

core::Result<core::NodeCycleList> ReadCountedCycles(const CountedRun& run,
                                                    const core::RainflowResult& result,
                                                    core::ClassMatrix* transitions) {
  ConsoleProgress progress;
  core::CycleListOptions options;
  options.residue = result.residue;
  options.gate = result.gate;
  std::optional<core::TransitionCounter> counter;
  if (transitions != nullptr) {
    counter.emplace(*transitions);
    options.on_turning_point = [&counter](double point) { counter->Add(point); };
  }
  return core::ExtractNodeCycles(run.node, result.first_block, result.last_block, progress,
                                 options);
}

core::Result<std::optional<core::ClassMatrix>> AskedTransitions(
    const FatigueRequest& request, const core::RainflowResult& result) {
  if (request.transitions_file.empty()) return std::optional<core::ClassMatrix>();
  auto matrix = core::MakeClassMatrix(request.classes == 0 ? result.partitions : request.classes,
                                      result.amplitude_range);
  if (!matrix) return matrix.error();
  return std::optional(std::move(*matrix));
}

core::Result<CycleOutputs> MakeCycleOutputs(const FatigueRequest& request,
                                            const core::NodeCycleList& cycles,
                                            const core::RainflowResult& result,
                                            double frequency_hz) {
  CycleOutputs outputs;
  if (!request.del_exponents.empty()) {
    double n_eq = 0.0;
    if (request.del_cycles) {
      n_eq = *request.del_cycles;
    } else {
      auto cycles_of_duration = core::DefaultEquivalentCycles(
          static_cast<double>(cycles.samples) / frequency_hz, request.del_frequency_hz);
      if (!cycles_of_duration) return cycles_of_duration.error();
      n_eq = *cycles_of_duration;
    }
    auto loads = core::DamageEquivalentLoads(cycles.cycles, request.del_exponents, n_eq);
    if (!loads) return loads.error();
    outputs.loads = std::move(*loads);
  }
  if (!request.matrix_file.empty()) {
    auto matrix = core::MakeRangeMeanMatrix(cycles.cycles, result, request.matrix_range_bins,
                                            request.matrix_mean_bins);
    if (!matrix) return matrix.error();
    outputs.matrix = std::move(*matrix);
  }
  if (!request.from_to_file.empty()) {
    auto from_to = core::MakeFromToMatrix(
        cycles.cycles, result, request.classes == 0 ? result.partitions : request.classes);
    if (!from_to) return from_to.error();
    outputs.from_to = std::move(*from_to);
  }
  return outputs;
}

core::Result<std::vector<core::DamageStep>> MakeDamageHistory(const core::FatigueChoice& choice,
                                                              const core::RainflowResult& result,
                                                              const core::FatigueResult& estimate,
                                                              const core::NodeCycleList& cycles,
                                                              double frequency_hz) {
  // The list's start and end samples are the record's own indices already.
  core::CycleTiming timing;
  timing.first_sample = 0;
  timing.last_sample = cycles.first_sample + cycles.samples - 1;
  timing.frequency_hz = frequency_hz;
  return core::DamageHistory(choice, result, estimate, cycles.cycles, timing);
}

core::Status SaveCycleOutputs(const FatigueRequest& request, const CycleOutputs& outputs) {
  if (outputs.matrix) {
    if (auto ok = core::SaveRangeMeanMatrixCsv(request.matrix_file, *outputs.matrix); !ok) {
      return ok;
    }
  }
  if (outputs.from_to) {
    if (auto ok = core::SaveClassMatrixCsv(request.from_to_file, *outputs.from_to); !ok) return ok;
  }
  if (outputs.transitions) {
    if (auto ok = core::SaveClassMatrixCsv(request.transitions_file, *outputs.transitions); !ok) {
      return ok;
    }
  }
  if (!request.damage_history_file.empty() && !outputs.history.empty()) {
    if (auto ok = core::SaveDamageHistoryCsv(request.damage_history_file, outputs.history); !ok) {
      return ok;
    }
  }
  return core::Ok();
}

void AddCycleOutputsJson(nlohmann::ordered_json& json, const FatigueRequest& request,
                         const CycleOutputs& outputs) {
  if (!request.del_exponents.empty() && !outputs.loads.empty()) {
    nlohmann::ordered_json loads = nlohmann::ordered_json::array();
    for (const core::EquivalentLoad& load : outputs.loads) {
      loads.push_back({{"m", load.m}, {"cycles", load.cycles}, {"load", load.load}});
    }
    json["equivalent_loads"] = std::move(loads);
  }
  if (outputs.matrix) {
    json["matrix"] = {{"file", request.matrix_file},
                      {"range_bins", outputs.matrix->range_bins},
                      {"mean_bins", outputs.matrix->mean_bins},
                      {"cycles", outputs.matrix->total_cycles}};
  }
  for (const auto& [key, matrix] :
       {std::pair{"from_to", &outputs.from_to}, std::pair{"transitions", &outputs.transitions}}) {
    if (*matrix) json[key] = output::ClassMatrixJson(**matrix);
  }
  if (!outputs.history.empty()) {
    json["damage_history"] = {{"file", request.damage_history_file},
                              {"rows", outputs.history.size()},
                              {"total_damage", outputs.history.back().cumulative}};
  }
}

void PrintCycleOutputs(const FatigueRequest& request, const CycleOutputs& outputs,
                       const std::string& unit) {
  if (!outputs.loads.empty()) {
    std::printf("\ndamage-equivalent loads, N_eq = %s cycles\n",
                core::ShortestText(outputs.loads.front().cycles).c_str());
    std::printf("%8s  %14s\n", "m", ("DEL " + unit).c_str());
    for (const core::EquivalentLoad& load : outputs.loads) {
      std::printf("%8s  %14s\n", core::ShortestText(load.m).c_str(),
                  core::FormatNumber(load.load, 6).c_str());
    }
  }
  if (outputs.matrix || outputs.from_to || outputs.transitions || !outputs.history.empty()) {
    std::printf("\n");
  }
  for (const auto& [what, file, matrix] :
       {std::tuple{"from-to", &request.from_to_file, &outputs.from_to},
        std::tuple{"transition", &request.transitions_file, &outputs.transitions}}) {
    if (!*matrix) continue;
    std::printf("%s matrix file: %s (%d x %d classes of [-A, A], %s counted", what, file->c_str(),
                (*matrix)->classes, (*matrix)->classes,
                core::ShortestText((*matrix)->total).c_str());
    if ((*matrix)->outside > 0.0) {
      std::printf(", %s outside [-A, A] not placed",
                  core::ShortestText((*matrix)->outside).c_str());
    }
    std::printf(")\n");
  }
  if (outputs.matrix) {
    std::printf("matrix file: %s (%d range x %d mean bins, %s cycles)\n",
                request.matrix_file.c_str(), outputs.matrix->range_bins, outputs.matrix->mean_bins,
                core::ShortestText(outputs.matrix->total_cycles).c_str());
  }
  if (!outputs.history.empty()) {
    std::printf("damage history file: %s (%zu rows, total damage %s)\n",
                request.damage_history_file.c_str(), outputs.history.size(),
                core::FormatNumber(outputs.history.back().cumulative, 6).c_str());
  }
}

}  // namespace torvwy::cli
