// The report file set: "TorvRpt.txt" with its picture "TorvBmp.bmp" and list "TorvLst001.txt".
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/fatigue/equivalent_load.h"
#include "core/fatigue/fatigue_result.h"
#include "core/files/result_file_node.h"
#include "core/levels/level_crossing_result.h"
#include "core/levels/time_at_level_result.h"
#include "core/peak/peak_count_result.h"
#include "core/rainflow/rainflow_result.h"
#include "core/range/range_count_result.h"
#include "core/range_pairs/range_pair_result.h"
#include "core/report/readout_list.h"
#include "core/services/language.h"
#include "core/services/result.h"
#include "core/stats/statistics_batch.h"

namespace torvwy::core {

/// Writes the view's picture as a bitmap file at the given path (the render layer's job), in
/// place or by renaming a file of its own over it; fails when it can't.
using PictureWriter = std::function<Status(const std::filesystem::path& bitmap_path)>;

/// How a counting view shows its result when it makes a report or an export.
struct ReportView {
  Language language = Language::kEnglish;
  bool one_way = false;    ///< one-way counts shown (peak and range views)
  bool separately = true;  ///< peak view: peaks and valleys counted separately
  ReadoutList readouts;    ///< the collected partitions; empty: no list in the report
};

/// What a life estimate adds to a rainflow report, each part only when it was computed:
///
///   [TITLE]     Fatigue Life Estimate
///   [CONTANT]   S-N curve: en1993:71 (N/mm^2)                 the estimate's curve,
///               Mean-stress correction: goodman, ultimate ... its correction (when one),
///               Total damage: 0.0123                          and its damage
///               Damage-equivalent load m = 3, N_eq = 600: 41.2 MPa     one line per DEL
///   [TITLE]     Range-Mean Matrix
///   [BMPFILE]   160,100,<folder>/TorvMtx.bmp                  the matrix picture
///
/// A part with none of them (or an estimate of a weld class without a correction alone, which
/// the rainflow report has never shown) leaves the report as it was without a life estimate.
struct FatigueReportPart {
  std::optional<FatigueResult> estimate;  ///< the curve, correction and total damage
  std::vector<EquivalentLoad> loads;      ///< the damage-equivalent loads; empty: none
  /// Writes the range-mean matrix picture as a bitmap; empty, or failing: no matrix picture
  /// (a failure is told to ReportOptions::picture_failed).
  PictureWriter matrix_picture;

  /// The estimate is worth showing: another curve than a weld class, or a correction.
  bool shows_estimate() const;
  /// Nothing to add: the report stays as it was without a life estimate.
  bool empty() const { return !shows_estimate() && loads.empty() && !matrix_picture; }
};

/// Where and when a report is made.
struct ReportOptions {
  std::filesystem::path folder;  ///< empty: GetWorkFolder()
  std::string date;              ///< "%Y-%m-%d"; empty: today
  /// Writes the picture; empty, or failing: the report carries no picture.
  PictureWriter picture;
  /// Told why the picture could not be written (the report is made without it), so that the
  /// user hears of it: the command line warns on stderr, the window shows a message.
  std::function<void(const Error& error)> picture_failed;
  /// The life estimate's part of a rainflow report (WriteRainflowReport); the other reports
  /// leave it out.
  FatigueReportPart fatigue;
};

/// The directive file of a report (UTF-8 with "\n" line ends; HandOverBytes makes the file):
///
///   [TORV-REPORT-FORMAT-FILE]
///   [HEAD]       one line: the head line
///   [TITLE]      one line: a heading
///   [CONTANT]    body lines up to the next directive
///   [BMPFILE]    one line "160,100,<path of the bitmap>"
///   [LISTDATA]   one line: the path of a list file
///   [END]
///
/// Names and paths written into it are made one line (OneLine). `bitmap` and `list` are the
/// paths to name, empty when the report has no picture or no list.
std::string PeakReportText(const PeakCountResult& result, const ResultFileNode& node,
                           const ReportView& view, const std::string& bitmap,
                           const std::string& list, const std::string& date);
std::string RangeReportText(const RangeCountResult& result, const ResultFileNode& node,
                            const ReportView& view, const std::string& bitmap,
                            const std::string& list, const std::string& date);
std::string RainflowReportText(const RainflowResult& result, const ResultFileNode& node,
                               const ReportView& view, const std::string& bitmap,
                               const std::string& list, const std::string& date);
/// The range report of a range-pair count, headed as one, with the ranges left unpaired.
std::string RangePairReportText(const RangePairResult& result, const ResultFileNode& node,
                                const ReportView& view, const std::string& bitmap,
                                const std::string& list, const std::string& date);
/// A level crossing report: the levels (partition edges or listed), the reference, the
/// crossings shown and the gate.
std::string CrossingReportText(const LevelCrossingResult& result, const ResultFileNode& node,
                               const ReportView& view, const std::string& bitmap,
                               const std::string& list, const std::string& date);
/// A time-at-level report: the partitions and the time outside them.
std::string TimeAtLevelReportText(const TimeAtLevelResult& result, const ResultFileNode& node,
                                  const ReportView& view, const std::string& bitmap,
                                  const std::string& list, const std::string& date);
/// The rainflow report with the life estimate's part (FatigueReportPart) before its closing;
/// `matrix_bitmap` is the matrix picture's path, empty when it has none. An empty part gives
/// the text above byte for byte.
std::string RainflowReportText(const RainflowResult& result, const ResultFileNode& node,
                               const ReportView& view, const std::string& bitmap,
                               const std::string& list, const std::string& date,
                               const FatigueReportPart& fatigue, const std::string& matrix_bitmap);

/// What a statistics report names besides its table.
struct StatisticsReportNames {
  std::string test_name;
  std::string first_code;  ///< the only code, or the first of several
  std::string last_code;   ///< equal to first_code when there is one code
  std::string code_range;  ///< test-code range text
  std::string node_range;  ///< node-name range text
  std::string data_path;
};

/// The names of a batch run with `parameters`.
StatisticsReportNames NamesOfBatch(const StatisticsParameters& parameters,
                                   const StatisticsBatch& batch);

/// The names of a saved list, from its file name: R/abc3#1_4.aps is test abc, code 3, nodes 1-4.
/// A name whose part before '#' does not end in digits (abc#5.aps, several codes) keeps that
/// part whole as the test name, with no code.
StatisticsReportNames NamesOfListFile(const std::filesystem::path& path);

/// "<test><code>" or "<test><first>_<last>": the name that heads a statistics report and export.
std::string StatisticsDataName(const StatisticsReportNames& names);

std::string StatisticsReportText(const StatisticsTable& table, const StatisticsReportNames& names,
                                 Language language, const std::string& list,
                                 const std::string& date);

/// Writes the report file set of a counting view into the folder: when the readout list has
/// entries, the list file "TorvLst001.txt" (list text format 1); the picture (through
/// options.picture, as "TorvBmp.bmp"); for a rainflow report with options.fatigue, the matrix
/// picture (through options.fatigue.matrix_picture, as "TorvMtx.bmp"); and "TorvRpt.txt" (GBK,
/// CR LF), which names the others.
/// The set is saved as one (AtomicFileSet), the report file last: after a failure the folder
/// holds the old set whole. A picture that isn't drawn is not named and is reported to
/// options.picture_failed. Returns the path of "TorvRpt.txt"; fails with the file-write message
/// naming the file. The command line then starts the report
/// program: LaunchCompanion(kReportProgram) (companion.h), which reads these files.
///
///   ReportView view;                                   // language, one-way, separately
///   view.readouts.Collect(i, RangeCountTexts(result, i, view.one_way));
///   ReportOptions options;
///   options.picture = [&](const std::filesystem::path& bmp) { return render_bitmap(bmp); };
///   auto report = WriteRangeReport(file.result, file, view, options);
///   if (report) LaunchCompanion(kReportProgram);
Result<std::filesystem::path> WritePeakReport(const PeakCountResult& result,
                                              const ResultFileNode& node, const ReportView& view,
                                              const ReportOptions& options = {});
Result<std::filesystem::path> WriteRangeReport(const RangeCountResult& result,
                                               const ResultFileNode& node, const ReportView& view,
                                               const ReportOptions& options = {});
Result<std::filesystem::path> WriteRainflowReport(const RainflowResult& result,
                                                  const ResultFileNode& node,
                                                  const ReportView& view,
                                                  const ReportOptions& options = {});
Result<std::filesystem::path> WriteRangePairReport(const RangePairResult& result,
                                                   const ResultFileNode& node,
                                                   const ReportView& view,
                                                   const ReportOptions& options = {});
Result<std::filesystem::path> WriteCrossingReport(const LevelCrossingResult& result,
                                                  const ResultFileNode& node,
                                                  const ReportView& view,
                                                  const ReportOptions& options = {});
Result<std::filesystem::path> WriteTimeAtLevelReport(const TimeAtLevelResult& result,
                                                     const ResultFileNode& node,
                                                     const ReportView& view,
                                                     const ReportOptions& options = {});
/// The statistics report: the list file (the statistics list text) and "TorvRpt.txt"; no
/// picture (options.picture is not called).
Result<std::filesystem::path> WriteStatisticsReport(const StatisticsTable& table,
                                                    const StatisticsReportNames& names,
                                                    Language language,
                                                    const ReportOptions& options = {});

/// File names of the set.
inline constexpr std::string_view kReportFileName = "TorvRpt.txt";
inline constexpr std::string_view kReportBitmapName = "TorvBmp.bmp";
inline constexpr std::string_view kReportListName = "TorvLst001.txt";
inline constexpr std::string_view kReportMatrixBitmapName = "TorvMtx.bmp";

/// One directive of a report file as the report program reads it (UTF-8).
struct ReportItem {
  enum Kind { kHead, kTitle, kText, kPicture, kList };
  Kind kind = kText;
  std::string text;            ///< head, title, body text (lines joined by "\n")
  std::filesystem::path path;  ///< picture or list file
  int width = 0, height = 0;   ///< the picture's size numbers
};

/// Reads the bytes of a report file (GBK; LF, CR LF or CR CR LF). Fails with the file-read
/// message when the first line isn't "[TORV-REPORT-FORMAT-FILE]", a directive lacks its
/// argument line, a picture line isn't "width,height,path", or "[END]" is missing.
Result<std::vector<ReportItem>> ParseReportFile(std::string_view bytes);

}  // namespace torvwy::core
