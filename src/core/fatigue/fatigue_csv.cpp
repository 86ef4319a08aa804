// Writing the range-mean matrix and the damage over time as CSV.
#include "core/fatigue/fatigue_csv.h"

#include "core/services/atomic_file.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"

namespace torvwy::core {

std::string RangeMeanMatrixCsv(const RangeMeanMatrix& matrix) {
  std::string text = "range_from,range_to";
  for (int32_t k = 0; k < matrix.mean_bins; ++k) {
    text += ',' + ShortestText(matrix.mean_from(k)) + ".." + ShortestText(matrix.mean_to(k));
  }
  text += '\n';
  for (int32_t i = 0; i < matrix.range_bins; ++i) {
    text += ShortestText(matrix.range_from(i)) + ',' + ShortestText(matrix.range_to(i));
    for (int32_t k = 0; k < matrix.mean_bins; ++k) text += ',' + ShortestText(matrix.at(i, k));
    text += '\n';
  }
  return text;
}

Status SaveRangeMeanMatrixCsv(const std::filesystem::path& target, const RangeMeanMatrix& matrix) {
  return SaveFileAtomically(target, RangeMeanMatrixCsv(matrix), kMsgFileWrite);
}

std::string ClassMatrixCsv(const ClassMatrix& matrix) {
  const auto edge = [&](int32_t k) { return ShortestText(matrix.edges[static_cast<size_t>(k)]); };
  std::string text = "from_from,from_to";
  for (int32_t j = 0; j < matrix.classes; ++j) text += ',' + edge(j) + ".." + edge(j + 1);
  text += '\n';
  for (int32_t i = 0; i < matrix.classes; ++i) {
    text += edge(i) + ',' + edge(i + 1);
    for (int32_t j = 0; j < matrix.classes; ++j) text += ',' + ShortestText(matrix.at(i, j));
    text += '\n';
  }
  return text;
}

Status SaveClassMatrixCsv(const std::filesystem::path& target, const ClassMatrix& matrix) {
  return SaveFileAtomically(target, ClassMatrixCsv(matrix), kMsgFileWrite);
}

std::string DamageHistoryCsv(std::span<const DamageStep> steps) {
  std::string text = "seconds,sample,range,mean,count,damage,cumulative,kind\n";
  for (const DamageStep& step : steps) {
    text += ShortestText(step.seconds) + ',' + std::to_string(step.sample) + ',';
    if (!step.residue)
      text += ShortestText(step.range) + ',' + ShortestText(step.mean);
    else
      text += ',';
    text += ',' + ShortestText(step.count) + ',' + ShortestText(step.damage) + ',' +
            ShortestText(step.cumulative) + (step.residue ? ",residue\n" : ",cycle\n");
  }
  return text;
}

Status SaveDamageHistoryCsv(const std::filesystem::path& target,
                            std::span<const DamageStep> steps) {
  return SaveFileAtomically(target, DamageHistoryCsv(steps), kMsgFileWrite);
}

}  // namespace torvwy::core
