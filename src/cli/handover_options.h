// --readout, --report, --export, --list-export and --no-launch: the hand-over files of a result
// and the companion programs that turn them into reports, workbooks and images.
#pragma once

#include <CLI/CLI.hpp>
#include <span>
#include <string>
#include <vector>

#include "cli/picture_options.h"
#include "core/data/labels.h"
#include "core/fatigue/equivalent_load.h"
#include "core/fatigue/fatigue_result.h"
#include "core/fatigue/range_mean_matrix.h"
#include "core/files/result_file.h"
#include "core/report/report_file.h"
#include "core/services/result.h"
#include "core/stats/statistics_batch.h"

namespace torvwy::cli {

struct HandOverOptions {
  std::string readout;       ///< "3,5,12": partitions 1..N collected into the readout list
  bool report = false;       ///< TorvRpt.txt (+ TorvBmp.bmp, TorvLst001.txt), then TorvRpt
  bool export_data = false;  ///< TorvEpt.Dat, then TorvEpt
  std::string list_export;   ///< the readout list as listname.txt/listdata.txt, then ldexp
  bool no_launch = false;    ///< write the files, start nothing
  bool any() const { return report || export_data || !list_export.empty(); }
};

/// What a rainflow count's life estimate and cycle list add to its report, where computed.
struct FatigueHandOver {
  const core::FatigueResult* estimate = nullptr;
  std::span<const core::EquivalentLoad> loads;
  const core::RangeMeanMatrix* matrix = nullptr;  ///< drawn as the report's matrix picture
};

/// Adds the options; `readout` only for the counting analyses.
void AddHandOverOptions(CLI::App& command, HandOverOptions& options, bool readout);

/// The display choices a hand-over follows (the window's, or the picture options').
struct HandOverView {
  core::Language language = core::Language::kEnglish;
  bool one_way = false;
  bool separately = true;
};

/// Writes the hand-over files of a counting result into the work folder exactly as the window
/// would, and starts each companion unless --no-launch. Returns an exit code; a file that can't
/// be written is an error and starts nothing.
/// `fatigue` adds the life estimate's part to a rainflow report.
int HandOverCounting(const HandOverOptions& options, const core::AnyResultFile& file,
                     const std::vector<core::Label>& bookmarks, const HandOverView& view, bool json,
                     const FatigueHandOver* fatigue = nullptr);

/// The hand-over of a counted run, following the display choices of the picture options. A
/// cancelled pass hands nothing over (its counts are partial) and says so on stderr.
int HandOverRun(const HandOverOptions& options, const PictureOptions& picture,
                const CountedRun& run, bool json, const FatigueHandOver* fatigue = nullptr);

/// Refuses, before anything is counted, two files the user names for one counting run that are
/// one file (CheckDistinctFiles): the node's .tsp and .sts, the result file of --save,
/// --picture, --list-export and `more` (the rainflow command's CSV files and curve file). The
/// hand-over files the work folder receives by design are no names of the user's.
core::Status CheckRunFiles(const AnalysisOptions& analysis, core::CountingKind kind,
                           const PictureOptions& picture, const HandOverOptions& hand_over,
                           std::vector<NamedFile> more = {});

/// The same for a statistics list.
int HandOverStatistics(const HandOverOptions& options, const core::StatisticsTable& table,
                       const core::StatisticsReportNames& names, core::Language language,
                       bool json);

}  // namespace torvwy::cli
