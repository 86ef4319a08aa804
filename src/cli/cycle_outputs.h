// What the rainflow command makes of a node's cycle list: the damage-equivalent loads, the
// range-mean matrix and the damage over time, and how they are shown.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/analysis_options.h"
#include "cli/fatigue_options.h"
#include "core/fatigue/class_matrix.h"
#include "core/fatigue/damage_history.h"
#include "core/fatigue/equivalent_load.h"
#include "core/fatigue/fatigue_result.h"
#include "core/fatigue/range_mean_matrix.h"
#include "core/rainflow/node_cycles.h"
#include "core/rainflow/rainflow_result.h"
#include "core/services/result.h"

namespace torvwy::cli {

/// Reads the cycles of the counted blocks of `result` from the node of `run`, by the residue
/// method and the gate `result` was counted with, with the console progress: Ctrl-C cancels the
/// pass (the list then says so). With `transitions`, every reversal of the pass is counted into
/// it.
core::Result<core::NodeCycleList> ReadCountedCycles(const CountedRun& run,
                                                    const core::RainflowResult& result,
                                                    core::ClassMatrix* transitions = nullptr);

/// The outputs of the cycles that need no life estimate.
struct CycleOutputs {
  std::vector<core::EquivalentLoad> loads;
  std::optional<core::RangeMeanMatrix> matrix;
  std::optional<core::ClassMatrix> from_to;
  std::optional<core::ClassMatrix> transitions;  ///< counted while the cycles are read
  std::vector<core::DamageStep> history;         ///< filled after the estimate
};

/// The empty transition matrix `request` asks for, in the classes of `result`'s [-A, A]; none
/// when it asks none. Fails as MakeClassMatrix does.
core::Result<std::optional<core::ClassMatrix>> AskedTransitions(const FatigueRequest& request,
                                                                const core::RainflowResult& result);

/// The loads and the matrices that `request` asks for (the transitions are counted by
/// ReadCountedCycles); `frequency_hz` gives the counted duration. Fails (bad-value message) as
/// the core does for them.
core::Result<CycleOutputs> MakeCycleOutputs(const FatigueRequest& request,
                                            const core::NodeCycleList& cycles,
                                            const core::RainflowResult& result,
                                            double frequency_hz);

/// The damage over time of an actual estimate.
core::Result<std::vector<core::DamageStep>> MakeDamageHistory(const core::FatigueChoice& choice,
                                                              const core::RainflowResult& result,
                                                              const core::FatigueResult& estimate,
                                                              const core::NodeCycleList& cycles,
                                                              double frequency_hz);

/// Writes the matrix and the damage history files that `request` names, each atomically.
core::Status SaveCycleOutputs(const FatigueRequest& request, const CycleOutputs& outputs);

/// Adds "equivalent_loads", "matrix", "damage_history", "from_to" and "transitions" for what was
/// made.
void AddCycleOutputsJson(nlohmann::ordered_json& json, const FatigueRequest& request,
                         const CycleOutputs& outputs);

/// Prints the loads' table and the files written.
void PrintCycleOutputs(const FatigueRequest& request, const CycleOutputs& outputs,
                       const std::string& unit);

}  // namespace torvwy::cli
