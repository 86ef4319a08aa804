// ReadoutList: the partitions collected with the cursor, and the texts they are listed in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/levels/level_crossing_result.h"
#include "core/levels/time_at_level_result.h"
#include "core/peak/peak_count_result.h"
#include "core/rainflow/rainflow_result.h"
#include "core/range/range_count_result.h"
#include "core/services/language.h"
#include "core/services/result.h"

namespace torvwy::core {

/// Sort orders of a readout list.
inline constexpr int32_t kSortByX = 0;  ///< ascending partition index
inline constexpr int32_t kSortByY = 1;  ///< descending count (the value of the first count text)

/// The collected partitions of a counting view. Each entry keeps the count texts of its
/// partition as they were when it was collected ("%d"): one text, or two (peak, valley) when
/// the peak view counts peaks and valleys separately.
struct ReadoutList {
  std::vector<uint32_t> indices;                      ///< 0-based partitions, no duplicates
  std::vector<std::vector<std::string>> count_texts;  ///< parallel to indices
  int32_t sort_by = kSortByX;

  bool empty() const { return indices.empty(); }
  size_t size() const { return indices.size(); }

  /// Appends partition `index` with its count texts unless it is already listed, then sorts.
  /// Returns false when it was listed already.
  bool Collect(uint32_t index, std::vector<std::string> counts);
  /// Sorts by `sort_by` with an exchange sort over all pairs i < j, so that equal counts keep
  /// the order the view shows: by Y, 7 12 7 becomes 12 7 7.
  void Sort();
  void Clear();
};

/// The axis of a listed partition i: XL = left + i x width, X = left + (i + 0.5) x width,
/// XR = left + (i + 1) x width (two-way: left -A, width W2; one-way: left 0, width W1).
/// A level crossing list names each entry's level instead: levels[i].
struct ReadoutAxis {
  double left = 0.0;
  double width = 0.0;
  std::vector<double> levels;
};

/// What the list text needs besides the list.
struct ReadoutNames {
  std::string test_name;  ///< UTF-8
  std::string test_code;
  std::string node_name;
};

/// Column layouts of the list text.
enum class ReadoutColumns {
  kCount,          ///< No., XL, X, XR, Count (range, rainflow, peak counted together)
  kPeakAndValley,  ///< No., XL, X, XR, Peak_Count, Valley_Count (peak counted separately)
  kCrossings,      ///< No., Level, Count, Up, Down (the count by the direction shown first)
  kTimeAtLevel,    ///< No., XL, X, XR, Time(s)
};

/// The list text of `list` (UTF-8 before the GBK conversion, widths counted in GBK bytes):
///
///   format 1 only:  <test><code>#<node>-DataList\n      entries  columns\n
///   No.  XL(Left)    X(Center)   XR(Right)   Count       \r\n     first title whole, others 12
///   1    -10         -7.5        -5          3           \r\n     5 bytes, then 12 each
///
/// Numbers are FormatNumber(code 0) texts cut to 12 bytes; a count text is cut to 12 bytes.
/// Format 0 is what the clipboard and a ".txt" save get; format 1 what the report's list file
/// and the list export get. `language` picks the titles.
std::string ReadoutListText(const ReadoutList& list, const ReadoutAxis& axis,
                            const ReadoutNames& names, ReadoutColumns columns, Language language,
                            int format);

/// The count texts a peak view collects at partition `index`: the total ("together") or the
/// peak and valley counts ("separately"), of the one-way or the two-way arrays.
std::vector<std::string> PeakCountTexts(const PeakCountResult& result, uint32_t index, bool one_way,
                                        bool separately);
/// The axis of the peak view's displayed arrays.
ReadoutAxis PeakReadoutAxis(const PeakCountResult& result, bool one_way);

/// The count text a range view collects at partition `index` of the displayed array.
std::vector<std::string> RangeCountTexts(const RangeCountResult& result, uint32_t index,
                                         bool one_way);
ReadoutAxis RangeReadoutAxis(const RangeCountResult& result, bool one_way);

/// The count text a rainflow view collects: the partition's cycles with the fraction dropped.
std::vector<std::string> RainflowCountTexts(const RainflowResult& result, uint32_t index);
ReadoutAxis RainflowReadoutAxis(const RainflowResult& result);

/// The count texts a level crossing view collects at level `index`: the count by the result's
/// direction, the upward and the downward crossings.
std::vector<std::string> CrossingCountTexts(const LevelCrossingResult& result, uint32_t index);
ReadoutAxis CrossingReadoutAxis(const LevelCrossingResult& result);

/// The count text a time-at-level view collects: the seconds in partition `index` ("%g").
std::vector<std::string> TimeAtLevelCountTexts(const TimeAtLevelResult& result, uint32_t index);
ReadoutAxis TimeAtLevelReadoutAxis(const TimeAtLevelResult& result);

/// The partitions of a readout option such as "3,5,12" or "3-5,12": numbers as the view shows
/// them (Ni, 1..N), returned as 0-based indices in the order given, without repeats. Fails with
/// the bad-value message naming the item that is no number or lies outside 1..N.
Result<std::vector<uint32_t>> ParseReadoutPartitions(std::string_view text, int32_t partitions);

/// Default list file titles: "<test><code>#<node>-PeakCount", "-VaryDistCount",
/// "-RainflowCount", "-CrossingCount", "-RangePairCount", "-TimeAtLevel".
std::string ReadoutSaveName(const ReadoutNames& names, CountingKind kind);

}  // namespace torvwy::core
