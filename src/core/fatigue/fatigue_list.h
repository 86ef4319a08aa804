// The list data file of a life estimate: the table the host and the reports show.
#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "core/fatigue/fatigue_estimate.h"
#include "core/fatigue/fatigue_result.h"
#include "core/rainflow/rainflow_result.h"
#include "core/services/language.h"
#include "core/services/result.h"

namespace torvwy::core {

/// Names that head the table (UTF-8).
struct FatigueListNames {
  std::string test_name;
  std::string test_code;
  std::string node_name;
};

/// The table of one estimate as its file holds it, GBK with CR LF line ends:
///
///   <test><code>#<node> title with the total damage (4 significant digits)
///   N  6
///   column captions
///   j+1  S_j (%.3f)  count rounded half up  P x 100 (%.3f)  L (%.4e)  D (%.4e)   (N rows)
///
/// `language` picks the texts. Fails (bad-value message) when a value of the table is not a
/// finite number.
Result<std::string> FormatFatigueList(const FatigueResult& fatigue, const FatigueListNames& names,
                                      Language language);

/// Writes the table of `fatigue` as the file `target`, atomically.
Status SaveFatigueList(const std::filesystem::path& target, const FatigueResult& fatigue,
                       const FatigueListNames& names, Language language);

/// The list data file: the work folder followed directly by "listdata.txt".
std::filesystem::path FatigueListPath();

/// Computes the estimate of `method` and writes its table as FatigueListPath(). On any failure
/// (no cycle, fit refused, bad value, write failure, a cancelled pass) nothing is written and
/// the old file stays.
Result<FatigueResult> RunFatigueEstimate(FatigueMethod method, const RainflowResult& rainflow,
                                         int32_t class_index, int32_t reliability_index,
                                         const FatigueListNames& names, Language language);

/// RunFatigueEstimate of any choice (EstimateDamage(choice, rainflow, cycles)): the table of a
/// weld class without correction is the one above byte for byte; a life of +infinity is
/// written as "inf".
Result<FatigueResult> RunFatigueEstimate(const FatigueChoice& choice,
                                         const RainflowResult& rainflow,
                                         std::span<const RainflowCycle> cycles,
                                         const FatigueListNames& names, Language language);

}  // namespace torvwy::core
