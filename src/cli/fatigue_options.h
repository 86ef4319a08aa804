// The life-estimate and cycle-list options of the rainflow command, and what they ask for.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/fatigue/fatigue_estimate.h"
#include "core/fatigue/range_mean_matrix.h"
#include "core/services/result.h"

namespace torvwy::cli {

/// The options as typed.
struct FatigueOptions {
  std::string fatigue;          ///< empty, actual or fitting
  std::string sn_class;         ///< B .. T; empty: the profile's RainLifeClass, else B
  std::string reliability;      ///< 0, 0.5, 1, 2 or 3; empty: 2
  std::string curve;            ///< bs7608:CLASS, en1993:CATEGORY or a curve file
  std::string mean_correction;  ///< goodman, gerber, swt or walker
  std::string ultimate;         ///< Su (EU)
  std::string walker_gamma;     ///< Walker's gamma
  std::string damage_history;   ///< the CSV file of the damage over time
  std::string del;              ///< "M[,M...]": Woehler exponents
  std::string del_cycles;       ///< N_eq
  std::string del_frequency;    ///< Hz: N_eq = duration x this
  std::string matrix;           ///< the CSV file of the range-mean matrix
  std::string matrix_bins;      ///< "R,M"
  std::string from_to;          ///< the CSV file of the from-to matrix
  std::string transitions;      ///< the CSV file of the transition matrix
  std::string classes;          ///< M of both; empty: the partitions N
};

/// Adds --fatigue, --class, --reliability, --curve, --mean-correction, --ultimate,
/// --walker-gamma, --damage-history, --del, --del-cycles, --del-frequency, --matrix,
/// --matrix-bins, --from-to, --transitions and --classes.
void AddFatigueOptions(CLI::App& command, FatigueOptions& options);

/// What the options ask for.
struct FatigueRequest {
  std::optional<core::FatigueChoice> estimate;  ///< --fatigue
  std::vector<double> del_exponents;            ///< empty: no damage-equivalent loads
  std::optional<double> del_cycles;             ///< N_eq given; else from the duration
  double del_frequency_hz = 1.0;
  std::string matrix_file;        ///< empty: no matrix
  int32_t matrix_range_bins = 0;  ///< 0: the histogram's partitions
  int32_t matrix_mean_bins = core::kDefaultMeanBins;
  std::string damage_history_file;  ///< empty: no damage history
  std::string from_to_file;         ///< empty: no from-to matrix
  std::string transitions_file;     ///< empty: no transition matrix
  int32_t classes = 0;              ///< M of both; 0: the histogram's partitions

  /// Whether the node's cycle list must be read after the count.
  bool needs_cycles() const {
    return !del_exponents.empty() || !matrix_file.empty() || !damage_history_file.empty() ||
           !from_to_file.empty() || !transitions_file.empty() ||
           (estimate && estimate->correction.kind != core::MeanCorrectionKind::kNone);
  }
};

/// Checks and reads the options before anything is counted; `follow` is whether the node is
/// followed while it is recorded. Fails (bad-value message, one line naming the option) for a
/// malformed value, a curve that can't be had, and an option without the one it needs.
core::Result<FatigueRequest> ParseFatigueRequest(const FatigueOptions& options, bool follow);

}  // namespace torvwy::cli
