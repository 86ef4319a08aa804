// The readout list: collecting, sorting and its list text.
#include "core/report/readout_list.h"

#include <algorithm>
#include <cmath>

#include "core/report/hand_over_text.h"
#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/text.h"
#include "core/services/text_catalogue.h"

namespace torvwy::core {
namespace {

constexpr size_t kNumberWidth = 5;  // the "No." column of a row
constexpr size_t kCellWidth = 12;

/// `gbk` followed by `pad` blanks and cut to `width` bytes at a character boundary, then
/// filled with blanks to `width` when the cut fell inside a double-byte character.
std::string Cell(std::string_view gbk, size_t pad, size_t width) {
  std::string padded(gbk);
  padded.append(pad, ' ');
  std::string cell(CutGbk(padded, width));
  cell.resize(width, ' ');
  return cell;
}

/// The value a list is sorted by: its first count text, a whole count or seconds.
double CountOf(const std::vector<std::string>& texts) {
  return texts.empty() ? 0.0 : ParseFiniteDouble(texts.front()).value_or(0.0);
}

std::string CountText(int64_t count) { return std::to_string(count); }

}  // namespace

bool ReadoutList::Collect(uint32_t index, std::vector<std::string> counts) {
  if (std::find(indices.begin(), indices.end(), index) != indices.end()) return false;
  indices.push_back(index);
  count_texts.push_back(std::move(counts));
  Sort();
  return true;
}

void ReadoutList::Sort() {
  const size_t n = std::min(indices.size(), count_texts.size());
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = i + 1; j < n; ++j) {
      const bool swap = sort_by == kSortByY ? CountOf(count_texts[i]) < CountOf(count_texts[j])
                                            : indices[j] < indices[i];
      if (swap) {
        std::swap(indices[i], indices[j]);
        std::swap(count_texts[i], count_texts[j]);
      }
    }
  }
}

void ReadoutList::Clear() {
  indices.clear();
  count_texts.clear();
}

std::string ReadoutListText(const ReadoutList& list, const ReadoutAxis& axis,
                            const ReadoutNames& names, ReadoutColumns columns, Language language,
                            int format) {
  const bool levels = columns == ReadoutColumns::kCrossings;
  const size_t n = std::min(list.indices.size(), list.count_texts.size());
  std::vector<std::string> titles;
  std::vector<TextKey> keys;
  if (levels) {
    keys = {TextKey::kListLevel, TextKey::kListCount, TextKey::kListUp, TextKey::kListDown};
  } else {
    keys = {TextKey::kListLeftEdge, TextKey::kListCentre, TextKey::kListRightEdge};
    switch (columns) {
      case ReadoutColumns::kPeakAndValley:
        keys.insert(keys.end(), {TextKey::kListPeakCount, TextKey::kListValleyCount});
        break;
      case ReadoutColumns::kTimeAtLevel:
        keys.push_back(TextKey::kListSeconds);
        break;
      default:
        keys.push_back(TextKey::kListCount);
    }
  }
  for (TextKey key : keys) titles.emplace_back(Tr(language, key));
  // Built in GBK, because the widths are GBK bytes; converted back to UTF-8 at the end.
  std::string gbk;
  if (format == 1) {
    gbk += Utf8ToGbk(OneLine(names.test_name + names.test_code + "#" + names.node_name));
    gbk += "-DataList\n";
    gbk += std::to_string(n) + "  " + std::to_string(titles.size() + 1) + "\n";
  }
  gbk += Utf8ToGbk(titles.front());
  for (size_t c = 1; c < titles.size(); ++c) gbk += CutGbk(Utf8ToGbk(titles[c]), kCellWidth);
  gbk += "\r\n";
  const size_t count_columns = titles.size() - (levels ? 1 : 3);
  for (size_t k = 0; k < n; ++k) {
    const uint32_t index = list.indices[k];
    const double i = static_cast<double>(index);
    gbk += Cell(std::to_string(k + 1), 7, kNumberWidth);
    if (levels) {
      const double level = index < axis.levels.size() ? axis.levels[index] : 0.0;
      gbk += Cell(FormatNumber(level, 0), 16, kCellWidth);
    } else {
      for (const double value : {axis.left + i * axis.width, axis.left + (i + 0.5) * axis.width,
                                 axis.left + (i + 1.0) * axis.width}) {
        gbk += Cell(FormatNumber(value, 0), 16, kCellWidth);
      }
    }
    for (size_t c = 0; c < count_columns; ++c) {
      const auto& texts = list.count_texts[k];
      const std::string text = c < texts.size() ? Utf8ToGbk(OneLine(texts[c])) : std::string();
      gbk += Cell(text, 20, kCellWidth);
    }
    gbk += "\r\n";
  }
  return GbkToUtf8(gbk);
}

std::vector<std::string> PeakCountTexts(const PeakCountResult& result, uint32_t index, bool one_way,
                                        bool separately) {
  const auto at = [index](const std::vector<int32_t>& counts) {
    return CountText(index < counts.size() ? counts[index] : 0);
  };
  if (separately) {
    return one_way ? std::vector{at(result.one_way_peak_counts), at(result.one_way_valley_counts)}
                   : std::vector{at(result.two_way_peak_counts), at(result.two_way_valley_counts)};
  }
  return {at(one_way ? result.one_way_total_counts : result.two_way_total_counts)};
}

ReadoutAxis PeakReadoutAxis(const PeakCountResult& result, bool one_way) {
  return one_way ? ReadoutAxis{0.0, result.one_way_width, {}}
                 : ReadoutAxis{-result.amplitude_range, result.two_way_width, {}};
}

std::vector<std::string> RangeCountTexts(const RangeCountResult& result, uint32_t index,
                                         bool one_way) {
  const auto& counts = one_way ? result.one_way_counts : result.two_way_counts;
  return {CountText(index < counts.size() ? counts[index] : 0)};
}

ReadoutAxis RangeReadoutAxis(const RangeCountResult& result, bool one_way) {
  return one_way ? ReadoutAxis{0.0, result.one_way_width, {}}
                 : ReadoutAxis{-result.amplitude_range, result.two_way_width, {}};
}

std::vector<std::string> RainflowCountTexts(const RainflowResult& result, uint32_t index) {
  const double cycles = index < result.counts.size() ? result.counts[index] : 0.0;
  // "%d" of the count: the fraction of a half cycle is dropped (2.5 is listed as 2).
  const double whole = std::isfinite(cycles) ? std::trunc(cycles) : 0.0;
  return {CountText(whole > -9e18 && whole < 9e18 ? static_cast<int64_t>(whole) : 0)};
}

ReadoutAxis RainflowReadoutAxis(const RainflowResult& result) {
  return {0.0, result.partition_width, {}};
}

std::vector<std::string> CrossingCountTexts(const LevelCrossingResult& result, uint32_t index) {
  const auto at = [index](const std::vector<int64_t>& counts) {
    return CountText(index < counts.size() ? counts[index] : 0);
  };
  return {at(result.Counts()), at(result.up), at(result.down)};
}

ReadoutAxis CrossingReadoutAxis(const LevelCrossingResult& result) {
  ReadoutAxis axis;
  axis.levels = result.levels;
  return axis;
}

std::vector<std::string> TimeAtLevelCountTexts(const TimeAtLevelResult& result, uint32_t index) {
  const std::vector<double> seconds = result.Seconds();
  return {FormatNumber(index < seconds.size() ? seconds[index] : 0.0, 0)};
}

ReadoutAxis TimeAtLevelReadoutAxis(const TimeAtLevelResult& result) {
  return {-result.amplitude_range, result.width, {}};
}

Result<std::vector<uint32_t>> ParseReadoutPartitions(std::string_view text, int32_t partitions) {
  std::vector<uint32_t> indices;
  const auto number = [&](std::string_view item, int64_t& value) {
    if (item.empty() || item.size() > 9) return false;
    value = 0;
    for (const char c : item) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= partitions;
  };
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = text.find(',', start);
    const std::string_view item = text.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    const size_t dash = item.find('-');
    int64_t first = 0;
    int64_t last = 0;
    const bool valid = dash == std::string_view::npos
                           ? number(item, first) && number(item, last)
                           : number(item.substr(0, dash), first) &&
                                 number(item.substr(dash + 1), last) && first <= last;
    if (!valid) {
      return Fail(kMsgBadValue, "readout \"" + std::string(item) + "\": partitions are 1.." +
                                    std::to_string(partitions));
    }
    for (int64_t n = first; n <= last; ++n) {
      const auto index = static_cast<uint32_t>(n - 1);
      if (std::find(indices.begin(), indices.end(), index) == indices.end()) {
        indices.push_back(index);
      }
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return indices;
}

std::string ReadoutSaveName(const ReadoutNames& names, CountingKind kind) {
  std::string name = names.test_name + names.test_code + "#" + names.node_name;
  switch (kind) {
    case CountingKind::kPeak:
      return name + "-PeakCount";
    case CountingKind::kRange:
      return name + "-VaryDistCount";
    case CountingKind::kCrossings:
      return name + "-CrossingCount";
    case CountingKind::kRangePairs:
      return name + "-RangePairCount";
    case CountingKind::kTimeAtLevel:
      return name + "-TimeAtLevel";
    default:
      return name + "-RainflowCount";
  }
}

}  // namespace torvwy::core
