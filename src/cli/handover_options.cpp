// Writing the hand-over files of a result and starting the companion programs.
#include "cli/handover_options.h"

#include <cstdio>
#include <iostream>

#include "cli/cli_support.h"
#include "cli/command_language.h"
#include "cli/picture_options.h"
#include "core/data/block_span.h"
#include "core/data/parameter_file.h"
#include "core/report/companion.h"
#include "core/report/counting_hand_over.h"
#include "core/report/export_file.h"
#include "core/report/list_export.h"
#include "core/report/readout_list.h"
#include "core/services/folders.h"
#include "core/services/language.h"
#include "core/services/message_table.h"
#include "core/services/progress.h"
#include "render/colours.h"
#include "render/counting_picture.h"
#include "render/fatigue_pictures.h"
#include "render/picture_output.h"

namespace torvwy::cli {
namespace {

/// Starts a companion unless told not to; says what it did in text mode.
int Launch(const HandOverOptions& options, std::string_view program,
           const std::filesystem::path& written, bool json) {
  if (!json) std::printf("wrote %s\n", written.string().c_str());
  if (options.no_launch) return kExitOk;
  auto started = core::LaunchCompanion(program);
  if (!started) return ReportError(started.error());
  if (!json) std::printf("started %s\n", std::string(program).c_str());
  return kExitOk;
}

}  // namespace

void AddHandOverOptions(CLI::App& command, HandOverOptions& options, bool readout) {
  if (readout) {
    command
        .add_option("--readout", options.readout,
                    "Collect these partitions (1..N, e.g. \"3,5,12\") into the readout list "
                    "of the report and the list export")
        ->check(NonEmptyValue());
  }
  command.add_flag("--report", options.report,
                   "Write the report files (TorvRpt.txt, TorvBmp.bmp, TorvLst001.txt) into the "
                   "work folder and start TorvRpt");
  command.add_flag("--export", options.export_data,
                   "Write the export file TorvEpt.Dat into the work folder and start TorvEpt");
  if (readout) {
    command
        .add_option("--list-export", options.list_export,
                    "Write the readout list as listname.txt/listdata.txt for the workbook "
                    "FILE and start ldexp")
        ->check(NonEmptyValue());
  }
  command.add_flag("--no-launch", options.no_launch,
                   "Write the hand-over files but start no companion program");
}

core::Status CheckRunFiles(const AnalysisOptions& analysis, core::CountingKind kind,
                           const PictureOptions& picture, const HandOverOptions& hand_over,
                           std::vector<NamedFile> more) {
  std::vector<NamedFile> files;
  const NodeOptions& node = analysis.node;
  for (const char* extension : {".tsp", ".sts"}) {
    // A node not found is refused by the count, with its own message.
    if (auto path = core::NodeFilePath(node.data, node.test, node.code, node.node, extension)) {
      files.push_back({std::string("the node's ") + extension, *path});
    }
  }
  if (analysis.save) {
    if (auto path = SavePath(analysis, kind)) files.push_back({"--save", *path});
  }
  files.push_back({"--picture", picture.file});
  files.push_back({"--list-export", hand_over.list_export});
  for (NamedFile& file : more) files.push_back(std::move(file));
  return CheckDistinctFiles(files);
}

int HandOverCounting(const HandOverOptions& options, const core::AnyResultFile& file,
                     const std::vector<core::Label>& bookmarks, const HandOverView& view, bool json,
                     const FatigueHandOver* fatigue) {
  std::vector<uint32_t> indices;
  if (!options.readout.empty()) {
    auto parsed = core::ParseReadoutPartitions(options.readout, core::ReadoutPoints(file));
    if (!parsed) return ReportError(parsed.error());
    indices = std::move(*parsed);
  }
  const core::CountingReadouts readouts =
      core::CollectReadouts(file, indices, view.one_way, view.separately);

  if (options.report) {
    core::ReportView report_view;
    report_view.language = view.language;
    report_view.one_way = view.one_way;
    report_view.separately = view.separately;
    report_view.readouts = readouts.list;
    core::ReportOptions report_options;
    report_options.picture = [&](const std::filesystem::path& bitmap) {
      EnsureGuiApplication();
      render::ViewState state;
      state.language = view.language;
      state.one_way = view.one_way;
      state.separately = view.separately;
      state.colours = render::ReadColours();
      for (uint32_t i : readouts.list.indices) state.readouts.push_back(static_cast<int32_t>(i));
      const QImage image = render::RenderReportImage(
          [&](QPainter& painter, const render::TargetGeometry& geometry) {
            return render::DrawCountingPicture(painter, geometry, file, bookmarks, state);
          },
          render::kDefaultAspect);
      return render::WriteBitmapFile(bitmap, image);
    };
    report_options.picture_failed = [](const core::Error& error) {
      std::cerr << "torvwy: warning: " << core::ErrorText(error, CommandLanguage()) << "\n";
    };
    const auto* rainflow = std::get_if<core::RainflowResultFile>(&file);
    if (fatigue != nullptr && rainflow != nullptr) {
      if (fatigue->estimate != nullptr) report_options.fatigue.estimate = *fatigue->estimate;
      report_options.fatigue.loads.assign(fatigue->loads.begin(), fatigue->loads.end());
      if (fatigue->matrix != nullptr) {
        report_options.fatigue.matrix_picture = [&](const std::filesystem::path& bitmap) {
          EnsureGuiApplication();
          render::ViewState state;
          state.language = view.language;
          state.colours = render::ReadColours();
          return render::WriteMatrixReportBitmap(bitmap, *rainflow, *fatigue->matrix, state);
        };
      }
    }
    auto written = core::WriteCountingReport(file, report_view, report_options);
    if (!written) return ReportError(written.error());
    if (int code = Launch(options, core::kReportProgram, *written, json); code != kExitOk) {
      return code;
    }
  }
  if (options.export_data) {
    auto written = core::WriteCountingExport(file, view.one_way, view.language);
    if (!written) return ReportError(written.error());
    if (int code = Launch(options, core::kExportProgram, *written, json); code != kExitOk) {
      return code;
    }
  }
  if (!options.list_export.empty()) {
    if (readouts.list.empty()) return ReportError("--list-export needs partitions in --readout");
    if (auto ok = core::WriteCountingListExport(file, readouts, options.list_export, view.language);
        !ok) {
      return ReportError(ok.error());
    }
    const std::filesystem::path data =
        std::filesystem::path(core::GetWorkFolder()) / core::kListDataFileName;
    if (int code = Launch(options, core::kListProgram, data, json); code != kExitOk) return code;
  }
  return kExitOk;
}

int HandOverStatistics(const HandOverOptions& options, const core::StatisticsTable& table,
                       const core::StatisticsReportNames& names, core::Language language,
                       bool json) {
  if (options.report) {
    auto written = core::WriteStatisticsReport(table, names, language);
    if (!written) return ReportError(written.error());
    if (int code = Launch(options, core::kReportProgram, *written, json); code != kExitOk) {
      return code;
    }
  }
  if (options.export_data) {
    auto written = core::WriteExport(core::StatisticsExportTable(table, names));
    if (!written) return ReportError(written.error());
    if (int code = Launch(options, core::kExportProgram, *written, json); code != kExitOk) {
      return code;
    }
  }
  return kExitOk;
}

int HandOverRun(const HandOverOptions& options, const PictureOptions& picture,
                const CountedRun& run, bool json, const FatigueHandOver* fatigue) {
  if (!options.any()) return kExitOk;
  if (auto ok = core::RefuseCancelledPass(core::PassCancelled(run.file), "handed over"); !ok) {
    std::fprintf(stderr, "torvwy: the pass was cancelled; no report or export was written\n");
    return kExitOk;
  }
  HandOverView view;
  view.language = PictureLanguage(picture);
  view.one_way = picture.one_way;
  view.separately = picture.separate;
  return HandOverCounting(options, run.file, core::ReadLabels(run.node.tsp_file), view, json,
                          fatigue);
}

}  // namespace torvwy::cli
