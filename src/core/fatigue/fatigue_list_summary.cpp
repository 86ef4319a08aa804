// The summary rows of a life estimate's list data file.
#include "core/fatigue/fatigue_list_summary.h"

#include <array>
#include <vector>

#include "core/services/atomic_file.h"
#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"

namespace torvwy::core {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kFullWidthBlank = "\xE3\x80\x80";  // U+3000 in UTF-8

/// A cell of one line: blanks, tabs and line ends become single blanks, so that only the two
/// blanks between cells separate them.
std::string CellText(std::string_view text) {
  std::string cell;
  bool blank = false;
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f') {
      blank = true;
      continue;
    }
    if (blank && !cell.empty()) cell += ' ';
    blank = false;
    cell += c;
  }
  return cell.empty() ? std::string(kFullWidthBlank) : cell;
}

std::string Row(const std::array<std::string, 6>& cells) {
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) line += "  ";
    line += CellText(cells[i]);
  }
  line += kLineEnd;
  return line;
}

}  // namespace

bool NeedsFatigueListSummary(const FatigueResult& fatigue, std::span<const EquivalentLoad> loads,
                             bool other_conventions) {
  return !fatigue.curve.is_weld_class() || fatigue.correction.kind != MeanCorrectionKind::kNone ||
         !loads.empty() || other_conventions;
}

Result<std::string> FormatFatigueListWithSummary(const FatigueResult& fatigue,
                                                 const FatigueListNames& names, Language language,
                                                 const FatigueListSummary& summary) {
  auto table = FormatFatigueList(fatigue, names, language);
  if (!table) return table.error();
  std::string rows;
  int32_t count = 0;
  if (summary.curve) {
    rows += Row({"S-N", fatigue.curve.name, fatigue.curve.unit, "", "", ""});
    ++count;
    const MeanCorrection& correction = fatigue.correction;
    if (correction.kind != MeanCorrectionKind::kNone) {
      const bool walker = correction.kind == MeanCorrectionKind::kWalker;
      rows += Row({"Sm", std::string(MeanCorrectionName(correction.kind)), "Su",
                   correction.ultimate > 0.0 ? ShortestText(correction.ultimate) : "",
                   walker ? "gamma" : "", walker ? ShortestText(correction.walker_gamma) : ""});
      ++count;
    }
  }
  if (!summary.loads.empty()) {
    rows += Row({"DEL", "m", "N_eq", "load", summary.unit, ""});
    ++count;
    for (const EquivalentLoad& load : summary.loads) {
      rows += Row({"DEL", ShortestText(load.m), ShortestText(load.cycles), ShortestText(load.load),
                   summary.unit, ""});
      ++count;
    }
  }
  if (summary.names_conventions()) {
    rows += Row({"RF", "residue", std::string(ResidueMethodName(summary.residue)), "gate",
                 ShortestText(summary.gate), summary.unit});
    ++count;
  }
  // The count line is the second: "N  6" becomes "N + k  6".
  const size_t first_end = table->find(kLineEnd);
  const size_t second_end =
      first_end == std::string::npos ? first_end : table->find(kLineEnd, first_end + 2);
  if (second_end == std::string::npos) {
    return Fail(kMsgBadValue, "the life estimate's table has no count line");
  }
  const std::string head = table->substr(0, first_end + 2);
  const std::string tail = table->substr(second_end);
  return head + std::to_string(fatigue.partitions + count) + "  6" + tail + Utf8ToGbk(rows);
}

Status SaveFatigueListWithSummary(const std::filesystem::path& target, const FatigueResult& fatigue,
                                  const FatigueListNames& names, Language language,
                                  const FatigueListSummary& summary) {
  auto text = FormatFatigueListWithSummary(fatigue, names, language, summary);
  if (!text) return text.error();
  return SaveFileAtomically(target, *text, kMsgFileWrite);
}

}  // namespace torvwy::core
