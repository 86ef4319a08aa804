// Writing and reading the report file set.
#include "core/report/report_file.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/files/statistics_result_file.h"
#include "core/report/hand_over_text.h"
#include "core/services/atomic_file.h"
#include "core/services/folders.h"
#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "core/services/names.h"
#include "core/services/number_format.h"
#include "core/services/text.h"
#include "core/services/text_catalogue.h"

namespace torvwy::core {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kMagic = "[TORV-REPORT-FORMAT-FILE]";

/// The report's own texts beside the message table: the labels of the three descriptive texts,
/// the picture and list headings, and the date line.
struct ReportTexts {
  std::string_view text_labels[3];
  std::string_view picture_title;
  std::string_view list_title;
  std::string_view statistics_list_title;
  std::string_view date_prefix;  // followed by the date and a line end
};

ReportTexts TextsOf(Language language) {
  return {{Tr(language, TextKey::kReportDescription1), Tr(language, TextKey::kReportDescription2),
           Tr(language, TextKey::kReportDescription3)},
          Tr(language, TextKey::kReportPictureTitle),
          Tr(language, TextKey::kReportListTitle),
          Tr(language, TextKey::kReportStatisticsListTitle),
          Tr(language, TextKey::kReportDatePrefix)};
}

std::string Int(int64_t value) { return std::to_string(value); }

/// "... <n> partitions" closing the method lines of a counting report.
std::string PartitionsLine(Language language, int32_t partitions) {
  return std::string(Tr(language, TextKey::kReportPartitionsLead)) + Int(partitions) +
         std::string(Tr(language, TextKey::kReportPartitionsEnd));
}

/// The lines naming the conventions a count was made with, only where they are not the
/// system's own (so that a default count's report keeps its bytes): the residue method of a
/// rainflow count and the gate.
std::string ConventionLines(Language language, double gate,
                            ResidueMethod residue = ResidueMethod::kHalf) {
  std::string t;
  switch (residue) {
    case ResidueMethod::kHalf:
      break;
    case ResidueMethod::kFull:
      t += Tr(language, TextKey::kReportResidueFull);
      break;
    case ResidueMethod::kDiscard:
      t += Tr(language, TextKey::kReportResidueDiscard);
      break;
    case ResidueMethod::kRepeated:
      t += Tr(language, TextKey::kReportResidueRepeated);
      break;
  }
  if (gate > 0.0) {
    t += std::string(Tr(language, TextKey::kReportGateLead)) + FormatNumber(gate, 0) +
         std::string(Tr(language, TextKey::kReportGateEnd));
  }
  return t;
}

std::string NodeTitle(const ResultFileNode& node) {
  return OneLine(node.test_name + node.test_code + "#" + node.node_name);
}

/// "[HEAD]" to the sampling line: the part every counting report shares.
std::string CountingHead(const ResultFileNode& node, Language language, TextKey analysis) {
  const MessageTable messages = LoadMessageTable(language);
  const ReportTexts texts = TextsOf(language);
  std::string t = std::string(kMagic) + "\n";
  t += "[HEAD]\n" + NodeTitle(node) + " - TORV ";
  t += Tr(language, analysis);
  t += Tr(language, TextKey::kReportWaveformTitle);
  t += "[CONTANT]\n";
  t += std::string(messages[kMsgTestNameLabel]) + ": " + OneLine(node.test_name) + "    ";
  t += std::string(messages[kMsgTestCodeLabel]) + ": " + OneLine(node.test_code) + "     ";
  t += std::string(messages[kMsgNodeLabel]) + ": " + OneLine(node.node_name) + "\n";
  const std::string record_texts[3] = {node.sampling.text1(), node.sampling.text2(),
                                       node.sampling.text3()};
  t += "[CONTANT]\n";
  for (int k = 0; k < 3; ++k) {
    t += std::string(texts.text_labels[k]) + ": " + OneLine(record_texts[k]);
    t += k < 2 ? "    " : "\n";
  }
  const double frequency = node.sampling.frequency_hz();
  const int32_t blocks = node.total_blocks > 0 ? node.total_blocks : node.sampling.whole_blocks();
  const double duration = frequency > 0.0 ? static_cast<double>(blocks) * 1024.0 / frequency : 0.0;
  t += Tr(language, TextKey::kReportSamplingFrequency);
  t += FormatFrequency(frequency);
  t += Tr(language, TextKey::kReportWaveformLength);
  t += Int(blocks);
  t += Tr(language, TextKey::kReportBlocksComma);
  t += FormatTime(duration) + "s ; \n";
  return t;
}

/// The picture, the list, the separator, the date and the end.
std::string CountingTail(Language language, const std::string& bitmap, const std::string& list) {
  const ReportTexts texts = TextsOf(language);
  std::string t;
  if (!bitmap.empty()) {
    t += "[TITLE]\n" + std::string(texts.picture_title) + "\n";
    t += "[BMPFILE]\n160,100," + OneLine(bitmap) + "\n";
  }
  if (!list.empty()) {
    t += "[TITLE]\n" + std::string(texts.list_title) + "\n";
    t += "[LISTDATA]\n" + OneLine(list) + "\n";
  }
  return t;
}

std::string Closing(Language language, const std::string& date) {
  std::string t = "[CONTANT]\n" + std::string(82, '-') + "\n";
  t += std::string(TextsOf(language).date_prefix) + OneLine(date) + "\n";
  t += "[END]\n";
  return t;
}

std::string RangeLine(Language language, int32_t first, int32_t last, TextKey label,
                      std::string_view end) {
  return std::string(Tr(language, TextKey::kReportAnalysisParameters)) +
         std::string(Tr(language, label)) + ": " + Int(first) +
         std::string(Tr(language, TextKey::kReportRangeTo)) + Int(last) +
         std::string(Tr(language, TextKey::kReportBlocks)) + std::string(end) + "\n";
}

fs::path FolderOf(const ReportOptions& options) {
  return options.folder.empty() ? fs::path(GetWorkFolder()) : options.folder;
}

/// The file names a report text refers to; each empty when the set has no such file.
struct SetNames {
  std::string bitmap;
  std::string list;
  std::string matrix_bitmap;
  std::string date;
};

/// Adds a picture of the set: `writer` draws it into the part's temporary file. Returns its
/// path as the report names it, or empty when it wasn't drawn (told to picture_failed).
Result<std::string> AddPicture(AtomicFileSet& set, const fs::path& path,
                               const PictureWriter& writer, const ReportOptions& options) {
  auto part = set.Add(path, kMsgFileWrite);
  if (!part) return part.error();
  const Status drawn = writer((*part)->temp_path());
  if (drawn) return path.string();
  set.Drop(*part);
  if (options.picture_failed) {
    options.picture_failed(Fail(
        drawn.error().message,
        path.string() + ": the report goes without its picture (" + drawn.error().detail + ")"));
  }
  return std::string();
}

/// Writes the set: the list and the pictures into their temporary files, then the report that
/// names them; all replace their targets together, the report last. `matrix` is the matrix
/// picture's writer, null or empty for none.
template <typename MakeText>
Result<fs::path> WriteReport(const ReportOptions& options, const std::string* list_text,
                             const PictureWriter* matrix, MakeText make_text) {
  const fs::path folder = FolderOf(options);
  AtomicFileSet set;
  SetNames names;
  if (list_text != nullptr) {
    const fs::path list = folder / kReportListName;
    auto part = set.Add(list, kMsgFileWrite);
    if (!part) return part.error();
    (*part)->Write(HandOverBytes(*list_text));
    names.list = list.string();
  }
  if (options.picture) {
    auto name = AddPicture(set, folder / kReportBitmapName, options.picture, options);
    if (!name) return name.error();
    names.bitmap = *name;
  }
  if (matrix != nullptr && *matrix) {
    auto name = AddPicture(set, folder / kReportMatrixBitmapName, *matrix, options);
    if (!name) return name.error();
    names.matrix_bitmap = *name;
  }
  names.date = options.date.empty() ? TodayText() : options.date;
  const fs::path report = folder / kReportFileName;
  auto part = set.Add(report, kMsgFileWrite);
  if (!part) return part.error();
  (*part)->Write(HandOverBytes(make_text(names)));
  if (auto saved = set.Commit(); !saved) return saved.error();
  return report;
}

/// The life estimate's lines and matrix picture of a rainflow report; empty for an empty part.
std::string FatigueText(const FatigueReportPart& fatigue, Language language, const std::string& eu,
                        const std::string& matrix_bitmap) {
  const bool estimate = fatigue.shows_estimate();
  if (!estimate && fatigue.loads.empty() && matrix_bitmap.empty()) return std::string();
  auto text = [language](TextKey key) { return std::string(Tr(language, key)); };
  auto number = [](double value) { return FormatNumber(value, 0); };
  const std::string unit = eu.empty() ? std::string() : " " + OneLine(eu);
  std::string t;
  if (estimate || !fatigue.loads.empty()) {
    t += "[TITLE]\n" + text(TextKey::kReportFatigueTitle) + "\n[CONTANT]\n";
  }
  if (estimate) {
    const FatigueResult& result = *fatigue.estimate;
    t += text(TextKey::kReportFatigueCurve) + OneLine(result.curve.name);
    if (!result.curve.unit.empty()) t += " (" + OneLine(result.curve.unit) + ")";
    t += "\n";
    const MeanCorrection& correction = result.correction;
    if (correction.kind != MeanCorrectionKind::kNone) {
      t += text(TextKey::kReportFatigueCorrection) +
           std::string(MeanCorrectionName(correction.kind));
      if (correction.ultimate > 0.0) {
        t += text(TextKey::kReportFatigueUltimate) + number(correction.ultimate) + unit;
      }
      if (correction.kind == MeanCorrectionKind::kWalker) {
        t += text(TextKey::kReportFatigueGamma) + number(correction.walker_gamma);
      }
      t += "\n";
    }
    t += text(TextKey::kReportFatigueDamage) + number(result.total_damage) + "\n";
  }
  for (const EquivalentLoad& load : fatigue.loads) {
    t += text(TextKey::kReportFatigueLoad) + " m = " + number(load.m) +
         ", N_eq = " + number(load.cycles) + ": " + number(load.load) + unit + "\n";
  }
  if (!matrix_bitmap.empty()) {
    t += "[TITLE]\n" + text(TextKey::kReportMatrixTitle) + "\n";
    t += "[BMPFILE]\n160,100," + OneLine(matrix_bitmap) + "\n";
  }
  return t;
}

ReadoutNames NamesOf(const ResultFileNode& node) {
  return {node.test_name, node.test_code, node.node_name};
}

/// Writes a counting view's set: its list file when the readout list has entries (on `axis` in
/// `columns`), the pictures, and the report text `make_text` makes from the set's names.
template <typename MakeText>
Result<fs::path> WriteCountingSet(const ResultFileNode& node, const ReportView& view,
                                  const ReadoutAxis& axis, ReadoutColumns columns,
                                  const ReportOptions& options, const PictureWriter* matrix,
                                  MakeText make_text) {
  std::string list_text;
  if (!view.readouts.empty()) {
    list_text = ReadoutListText(view.readouts, axis, NamesOf(node), columns, view.language, 1);
  }
  return WriteReport(options, view.readouts.empty() ? nullptr : &list_text, matrix, make_text);
}

}  // namespace

std::string PeakReportText(const PeakCountResult& result, const ResultFileNode& node,
                           const ReportView& view, const std::string& bitmap,
                           const std::string& list, const std::string& date) {
  const Language language = view.language;
  std::string t = CountingHead(node, language, TextKey::kReportPeakCounting);
  t += RangeLine(language, result.first_block, result.last_block, TextKey::kReportAnalysisRange,
                 ";");
  t +=
      Tr(language, view.separately ? TextKey::kReportPeakSeparately : TextKey::kReportPeakTogether);
  t += Tr(language, view.one_way ? TextKey::kReportPeakOneWay : TextKey::kReportPeakTwoWay);
  t += PartitionsLine(language, result.partitions);
  t += ConventionLines(language, result.gate);
  return t + CountingTail(language, bitmap, list) + Closing(language, date);
}

std::string RangeReportText(const RangeCountResult& result, const ResultFileNode& node,
                            const ReportView& view, const std::string& bitmap,
                            const std::string& list, const std::string& date) {
  const Language language = view.language;
  std::string t = CountingHead(node, language, TextKey::kReportRangeCounting);
  t += RangeLine(language, result.first_block, result.last_block,
                 TextKey::kReportAnalysisRangeLower, ";");
  t += Tr(language, view.one_way ? TextKey::kReportRangeOneWay : TextKey::kReportRangeTwoWay);
  t += PartitionsLine(language, result.partitions);
  t += ConventionLines(language, result.gate);
  return t + CountingTail(language, bitmap, list) + Closing(language, date);
}

std::string RangePairReportText(const RangePairResult& result, const ResultFileNode& node,
                                const ReportView& view, const std::string& bitmap,
                                const std::string& list, const std::string& date) {
  const Language language = view.language;
  std::string t = CountingHead(node, language, TextKey::kReportRangePairCounting);
  t += RangeLine(language, result.first_block, result.last_block,
                 TextKey::kReportAnalysisRangeLower, ";");
  t += Tr(language, view.one_way ? TextKey::kReportRangeOneWay : TextKey::kReportRangeTwoWay);
  t += PartitionsLine(language, result.partitions);
  t += ConventionLines(language, result.gate);
  t += std::string(Tr(language, TextKey::kReportLeftOverRanges)) + Int(result.left_over_ranges) +
       "\n";
  return t + CountingTail(language, bitmap, list) + Closing(language, date);
}

std::string CrossingReportText(const LevelCrossingResult& result, const ResultFileNode& node,
                               const ReportView& view, const std::string& bitmap,
                               const std::string& list, const std::string& date) {
  const Language language = view.language;
  std::string t = CountingHead(node, language, TextKey::kReportLevelCrossingCounting);
  t += RangeLine(language, result.first_block, result.last_block,
                 TextKey::kReportAnalysisRangeLower, ";");
  t += std::string(Tr(language, TextKey::kReportLevelsLead)) +
       Int(static_cast<int64_t>(result.levels.size()));
  t += Tr(language,
          result.partitions > 0 ? TextKey::kReportLevelsEdges : TextKey::kReportLevelsListed);
  t += std::string(Tr(language, TextKey::kReportCrossingReference)) +
       FormatNumber(result.reference, 0);
  t += std::string(Tr(language, TextKey::kReportCrossingDirection)) +
       std::string(CrossingDirectionName(result.direction));
  t +=
      std::string(Tr(language, TextKey::kReportCrossingGate)) + FormatNumber(result.gate, 0) + "\n";
  return t + CountingTail(language, bitmap, list) + Closing(language, date);
}

std::string TimeAtLevelReportText(const TimeAtLevelResult& result, const ResultFileNode& node,
                                  const ReportView& view, const std::string& bitmap,
                                  const std::string& list, const std::string& date) {
  const Language language = view.language;
  std::string t = CountingHead(node, language, TextKey::kReportTimeAtLevel);
  t += RangeLine(language, result.first_block, result.last_block,
                 TextKey::kReportAnalysisRangeLower, ";");
  t += PartitionsLine(language, result.partitions);
  t += std::string(Tr(language, TextKey::kReportTimeOutside)) +
       FormatNumber(result.SecondsOutside(), 0) + " s\n";
  return t + CountingTail(language, bitmap, list) + Closing(language, date);
}

std::string RainflowReportText(const RainflowResult& result, const ResultFileNode& node,
                               const ReportView& view, const std::string& bitmap,
                               const std::string& list, const std::string& date) {
  return RainflowReportText(result, node, view, bitmap, list, date, FatigueReportPart{}, "");
}

std::string RainflowReportText(const RainflowResult& result, const ResultFileNode& node,
                               const ReportView& view, const std::string& bitmap,
                               const std::string& list, const std::string& date,
                               const FatigueReportPart& fatigue, const std::string& matrix_bitmap) {
  const Language language = view.language;
  std::string t = CountingHead(node, language, TextKey::kReportRainflowCounting);
  t +=
      RangeLine(language, result.first_block, result.last_block, TextKey::kReportAnalysisRange, "");
  t += ConventionLines(language, result.gate, result.residue);
  t += CountingTail(language, bitmap, list);
  t += FatigueText(fatigue, language, node.sampling.eu(), matrix_bitmap);
  return t + Closing(language, date);
}

bool FatigueReportPart::shows_estimate() const {
  return estimate.has_value() && (!estimate->curve.is_weld_class() ||
                                  estimate->correction.kind != MeanCorrectionKind::kNone);
}

StatisticsReportNames NamesOfBatch(const StatisticsParameters& parameters,
                                   const StatisticsBatch& batch) {
  StatisticsReportNames names;
  names.test_name = parameters.test_name;
  names.first_code = batch.codes.empty() ? parameters.test_code : batch.codes.front();
  names.last_code = batch.codes.empty() ? parameters.test_code : batch.codes.back();
  names.code_range = parameters.code_range;
  names.node_range = parameters.node_range;
  names.data_path = parameters.data_path;
  return names;
}

StatisticsReportNames NamesOfListFile(const std::filesystem::path& path) {
  const std::string title = path.stem().string();
  const size_t hash = title.find('#');
  const std::string prefix = title.substr(0, hash);
  std::string nodes = hash == std::string::npos ? std::string() : title.substr(hash + 1);
  std::replace(nodes.begin(), nodes.end(), '_', '-');
  StatisticsReportNames names;
  SplitTestAndCode(prefix, names.test_name, names.first_code);
  const bool digits =
      !names.first_code.empty() && std::all_of(names.first_code.begin(), names.first_code.end(),
                                               [](char c) { return c >= '0' && c <= '9'; });
  if (!digits) {
    names.test_name = prefix;
    names.first_code.clear();
  }
  names.last_code = names.first_code;
  names.code_range = names.first_code;
  names.node_range = nodes;
  names.data_path = path.parent_path().string();
  return names;
}

std::string StatisticsDataName(const StatisticsReportNames& names) {
  std::string name = names.test_name + names.first_code;
  if (names.last_code != names.first_code) name += "_" + names.last_code;
  return OneLine(name);
}

std::string StatisticsReportText(const StatisticsTable& table, const StatisticsReportNames& names,
                                 Language language, const std::string& list,
                                 const std::string& date) {
  const bool peaks = table.content == kStatPeakPeaks;
  auto text = [language](TextKey key) { return std::string(Tr(language, key)); };
  std::string t = std::string(kMagic) + "\n[HEAD]\n" + StatisticsDataName(names);
  t += text(peaks ? TextKey::kReportPeakPeakHeading : TextKey::kReportAmplitudeHeading);
  t += text(TextKey::kReportStatisticsParameters);
  t += text(peaks ? TextKey::kReportPeakPeakContent : TextKey::kReportAmplitudeContent);
  t += text(TextKey::kReportTestName) + OneLine(names.test_name) + text(TextKey::kReportDataPath) +
       OneLine(names.data_path) + "\n";
  t += text(TextKey::kReportTestCode) + OneLine(names.code_range) + text(TextKey::kReportNodeName) +
       OneLine(names.node_range) + "\n";
  if (!list.empty()) {
    t += "[TITLE]\n" + std::string(TextsOf(language).statistics_list_title) + "\n";
    t += "[LISTDATA]\n" + OneLine(list) + "\n";
  }
  return t + Closing(language, date);
}

Result<fs::path> WritePeakReport(const PeakCountResult& result, const ResultFileNode& node,
                                 const ReportView& view, const ReportOptions& options) {
  return WriteCountingSet(node, view, PeakReadoutAxis(result, view.one_way),
                          view.separately ? ReadoutColumns::kPeakAndValley : ReadoutColumns::kCount,
                          options, nullptr, [&](const SetNames& names) {
                            return PeakReportText(result, node, view, names.bitmap, names.list,
                                                  names.date);
                          });
}

Result<fs::path> WriteRangeReport(const RangeCountResult& result, const ResultFileNode& node,
                                  const ReportView& view, const ReportOptions& options) {
  return WriteCountingSet(node, view, RangeReadoutAxis(result, view.one_way),
                          ReadoutColumns::kCount, options, nullptr, [&](const SetNames& names) {
                            return RangeReportText(result, node, view, names.bitmap, names.list,
                                                   names.date);
                          });
}

Result<fs::path> WriteRainflowReport(const RainflowResult& result, const ResultFileNode& node,
                                     const ReportView& view, const ReportOptions& options) {
  return WriteCountingSet(node, view, RainflowReadoutAxis(result), ReadoutColumns::kCount, options,
                          &options.fatigue.matrix_picture, [&](const SetNames& names) {
                            return RainflowReportText(result, node, view, names.bitmap, names.list,
                                                      names.date, options.fatigue,
                                                      names.matrix_bitmap);
                          });
}

Result<fs::path> WriteRangePairReport(const RangePairResult& result, const ResultFileNode& node,
                                      const ReportView& view, const ReportOptions& options) {
  return WriteCountingSet(node, view, RangeReadoutAxis(result, view.one_way),
                          ReadoutColumns::kCount, options, nullptr, [&](const SetNames& names) {
                            return RangePairReportText(result, node, view, names.bitmap, names.list,
                                                       names.date);
                          });
}

Result<fs::path> WriteCrossingReport(const LevelCrossingResult& result, const ResultFileNode& node,
                                     const ReportView& view, const ReportOptions& options) {
  return WriteCountingSet(node, view, CrossingReadoutAxis(result), ReadoutColumns::kCrossings,
                          options, nullptr, [&](const SetNames& names) {
                            return CrossingReportText(result, node, view, names.bitmap, names.list,
                                                      names.date);
                          });
}

Result<fs::path> WriteTimeAtLevelReport(const TimeAtLevelResult& result, const ResultFileNode& node,
                                        const ReportView& view, const ReportOptions& options) {
  return WriteCountingSet(node, view, TimeAtLevelReadoutAxis(result), ReadoutColumns::kTimeAtLevel,
                          options, nullptr, [&](const SetNames& names) {
                            return TimeAtLevelReportText(result, node, view, names.bitmap,
                                                         names.list, names.date);
                          });
}

Result<fs::path> WriteStatisticsReport(const StatisticsTable& table,
                                       const StatisticsReportNames& names, Language language,
                                       const ReportOptions& options) {
  const std::string list_text = StatisticsListText(table);
  ReportOptions without_picture = options;
  without_picture.picture = nullptr;
  return WriteReport(without_picture, &list_text, nullptr, [&](const SetNames& set) {
    return StatisticsReportText(table, names, language, set.list, set.date);
  });
}

Result<std::vector<ReportItem>> ParseReportFile(std::string_view bytes) {
  const std::vector<std::string> lines = SplitHandOverLines(bytes);
  const auto damaged = [](std::string detail) {
    return Fail(kMsgFileRead, "report file: " + std::move(detail));
  };
  if (lines.empty() || lines.front() != kMagic) {
    return damaged("it doesn't begin with " + std::string(kMagic));
  }
  const auto is_directive = [](const std::string& line) {
    return line == "[HEAD]" || line == "[TITLE]" || line == "[CONTANT]" || line == "[BMPFILE]" ||
           line == "[LISTDATA]" || line == "[END]" || line == kMagic;
  };
  std::vector<ReportItem> items;
  size_t i = 1;
  while (i < lines.size()) {
    const std::string& directive = lines[i++];
    if (directive == "[END]") return items;
    if (directive == "[CONTANT]") {
      ReportItem item;
      item.kind = ReportItem::kText;
      bool first = true;
      while (i < lines.size() && !is_directive(lines[i])) {
        if (!first) item.text += "\n";
        item.text += GbkToUtf8(lines[i++]);
        first = false;
      }
      items.push_back(std::move(item));
      continue;
    }
    if (directive != "[HEAD]" && directive != "[TITLE]" && directive != "[BMPFILE]" &&
        directive != "[LISTDATA]") {
      return damaged("line " + std::to_string(i) + " is no directive");
    }
    if (i >= lines.size() || is_directive(lines[i])) {
      return damaged(directive + " on line " + std::to_string(i) + " has no argument");
    }
    const std::string argument = GbkToUtf8(lines[i++]);
    ReportItem item;
    if (directive == "[HEAD]" || directive == "[TITLE]") {
      item.kind = directive == "[HEAD]" ? ReportItem::kHead : ReportItem::kTitle;
      item.text = argument;
    } else if (directive == "[LISTDATA]") {
      item.kind = ReportItem::kList;
      item.path = argument;
    } else {
      // "width,height,path": the path may itself hold commas.
      const size_t first = argument.find(',');
      const size_t second = first == std::string::npos ? first : argument.find(',', first + 1);
      const std::string_view text = argument;
      const int64_t width =
          second == std::string::npos ? -1 : ParseInt(text.substr(0, first)).value_or(-1);
      const int64_t height =
          second == std::string::npos
              ? -1
              : ParseInt(text.substr(first + 1, second - first - 1)).value_or(-1);
      if (second == std::string::npos || width < 0 || height < 0 || width > 100000 ||
          height > 100000 || second + 1 >= argument.size()) {
        return damaged("picture line " + std::to_string(i) + " is not \"width,height,path\"");
      }
      item.kind = ReportItem::kPicture;
      item.width = static_cast<int>(width);
      item.height = static_cast<int>(height);
      item.path = argument.substr(second + 1);
    }
    items.push_back(std::move(item));
  }
  return damaged("it ends without [END]");
}

}  // namespace torvwy::core
