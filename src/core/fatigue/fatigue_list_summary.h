// The list data file of a life estimate with what it was made with: the curve, the mean-stress
// correction and the damage-equivalent loads, as rows after the table.
#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "core/fatigue/equivalent_load.h"
#include "core/fatigue/fatigue_list.h"
#include "core/fatigue/fatigue_result.h"
#include "core/rainflow/residue_method.h"
#include "core/services/language.h"
#include "core/services/result.h"

namespace torvwy::core {

/// What follows the table.
struct FatigueListSummary {
  bool curve = false;  ///< the curve row, and the correction row when there is one
  std::span<const EquivalentLoad> loads;  ///< a caption row and a row per load, when any
  std::string unit;                       ///< the EU of the loads; empty: none
  /// The conventions of the count, a row when either is not the system's own.
  ResidueMethod residue = ResidueMethod::kHalf;
  double gate = 0.0;  ///< EU (`unit`)

  bool names_conventions() const { return residue != ResidueMethod::kHalf || gate > 0.0; }
};

/// Whether an estimate's list carries summary rows: for a curve other than a weld class, a mean
/// correction, damage-equivalent loads, or a count by other conventions than the system's own.
/// A weld class without them keeps the table alone.
bool NeedsFatigueListSummary(const FatigueResult& fatigue, std::span<const EquivalentLoad> loads,
                             bool other_conventions = false);

/// The table of FormatFatigueList followed by the summary rows, which its count line includes,
/// so that every reader of list tables reads them as rows of the table:
///
///   <title>
///   N + k  6
///   <column captions>
///   <N partition rows>
///   S-N  en1993:71  N/mm^2  _  _  _         the curve: its name and unit
///   Sm  goodman  Su  400  gamma  _          a mean correction: its kind, Su and Walker's gamma
///   DEL  m  N_eq  load  MPa  _              the loads' caption, with their unit
///   DEL  3  3600  12.5  MPa  _              one row per Woehler exponent
///   RF  residue  repeated  gate  0.5  MPa     the conventions, when not the system's own
///
/// Each row has six cells two blanks apart (runs of blanks inside a name become one); an empty
/// cell (_ above) is a full-width blank, as in the statistics lists. Fails as FormatFatigueList.
Result<std::string> FormatFatigueListWithSummary(const FatigueResult& fatigue,
                                                 const FatigueListNames& names, Language language,
                                                 const FatigueListSummary& summary);

/// Writes FormatFatigueListWithSummary as the file `target`, atomically.
Status SaveFatigueListWithSummary(const std::filesystem::path& target, const FatigueResult& fatigue,
                                  const FatigueListNames& names, Language language,
                                  const FatigueListSummary& summary);

}  // namespace torvwy::core
