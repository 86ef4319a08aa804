// Formatting and saving the list data file of a life estimate.
#include "core/fatigue/fatigue_list.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "core/data/block_span.h"
#include "core/fatigue/fatigue_estimate.h"
#include "core/services/atomic_file.h"
#include "core/services/folders.h"
#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/progress.h"
#include "core/services/text_catalogue.h"

namespace torvwy::core {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

struct Captions {
  std::string_view title;    // follows "<test><code>#<node>", precedes the total damage
  std::string_view columns;  // the third line
};

Captions CaptionsOf(FatigueMethod method, Language language) {
  // The English title of the actual estimate keeps its full-width dash before "--Total".
  if (method == FatigueMethod::kFitting) {
    return {Tr(language, TextKey::kFatigueListFittingTitle),
            Tr(language, TextKey::kFatigueListFittingColumns)};
  }
  return {Tr(language, TextKey::kFatigueListActualTitle),
          Tr(language, TextKey::kFatigueListActualColumns)};
}

/// printf's "%.<precision>f" or "%.<precision>e" in the C locale, whatever the process locale.
bool AppendNumber(std::string& out, double value, std::chars_format format, int precision) {
  if (!std::isfinite(value)) return false;
  char text[64];
  const auto [end, ec] = std::to_chars(text, text + sizeof(text), value, format, precision);
  if (ec != std::errc()) return false;
  out.append(text, end);
  return true;
}

}  // namespace

Result<std::string> FormatFatigueList(const FatigueResult& fatigue, const FatigueListNames& names,
                                      Language language) {
  const auto n = static_cast<size_t>(std::max(fatigue.partitions, 0));
  if (fatigue.counts.size() < n || fatigue.probability.size() < n || fatigue.life.size() < n ||
      fatigue.damage.size() < n) {
    return Fail(kMsgBadValue, "the life estimate holds fewer than N partitions");
  }
  if (!std::isfinite(fatigue.total_damage)) {
    return Fail(kMsgBadValue, "the damage degree is not a finite number");
  }
  const Captions captions = CaptionsOf(fatigue.method, language);
  std::string text;
  text.reserve(128 + n * 64);
  text += names.test_name;
  text += names.test_code;
  text += '#';
  text += names.node_name;
  text += captions.title;
  text += FormatNumber(fatigue.total_damage, 4);
  text += kLineEnd;
  text += std::to_string(n) + "  6";
  text += kLineEnd;
  text += captions.columns;
  text += kLineEnd;
  for (size_t j = 0; j < n; ++j) {
    const double stress_range = (static_cast<double>(j) + 0.5) * fatigue.partition_width;
    const double rounded = std::trunc(fatigue.counts[j] + 0.5);
    if (!(rounded >= 0.0 && rounded < 9.0e18)) {
      return Fail(kMsgBadValue, "partition " + std::to_string(j + 1) + ": the count is no number");
    }
    text += std::to_string(j + 1);
    text += "  ";
    bool finite = AppendNumber(text, stress_range, std::chars_format::fixed, 3);
    text += "  ";
    text += std::to_string(static_cast<int64_t>(rounded));
    text += "  ";
    finite =
        finite && AppendNumber(text, fatigue.probability[j] * 100.0, std::chars_format::fixed, 3);
    text += "  ";
    // A curve below its cut-off (or its knee, without a second slope) does no damage: the life
    // there is infinite. No weld class gives one.
    if (fatigue.life[j] == std::numeric_limits<double>::infinity() &&
        !fatigue.curve.is_weld_class()) {
      text += "inf";
    } else {
      finite = finite && AppendNumber(text, fatigue.life[j], std::chars_format::scientific, 4);
    }
    text += "  ";
    finite = finite && AppendNumber(text, fatigue.damage[j], std::chars_format::scientific, 4);
    if (!finite) {
      return Fail(kMsgBadValue,
                  "partition " + std::to_string(j + 1) + ": a value is not a finite number");
    }
    text += kLineEnd;
  }
  return Utf8ToGbk(text);
}

Status SaveFatigueList(const std::filesystem::path& target, const FatigueResult& fatigue,
                       const FatigueListNames& names, Language language) {
  auto text = FormatFatigueList(fatigue, names, language);
  if (!text) return text.error();
  return SaveFileAtomically(target, *text, kMsgFileWrite);
}

std::filesystem::path FatigueListPath() { return GetWorkFolder() + "listdata.txt"; }

Result<FatigueResult> RunFatigueEstimate(FatigueMethod method, const RainflowResult& rainflow,
                                         int32_t class_index, int32_t reliability_index,
                                         const FatigueListNames& names, Language language) {
  if (auto ok = RefuseCancelledPass(rainflow.cancelled, "estimated"); !ok) return ok.error();
  auto estimate = EstimateDamage(method, rainflow, class_index, reliability_index);
  if (!estimate) return estimate;
  if (auto saved = SaveFatigueList(FatigueListPath(), *estimate, names, language); !saved) {
    return saved.error();
  }
  return estimate;
}

Result<FatigueResult> RunFatigueEstimate(const FatigueChoice& choice,
                                         const RainflowResult& rainflow,
                                         std::span<const RainflowCycle> cycles,
                                         const FatigueListNames& names, Language language) {
  if (auto ok = RefuseCancelledPass(rainflow.cancelled, "estimated"); !ok) return ok.error();
  auto estimate = EstimateDamage(choice, rainflow, cycles);
  if (!estimate) return estimate;
  if (auto saved = SaveFatigueList(FatigueListPath(), *estimate, names, language); !saved) {
    return saved.error();
  }
  return estimate;
}

}  // namespace torvwy::core
