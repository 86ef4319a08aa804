// The amplitude statistics view: runs the batch behind the progress dialog into a list, saves,
// prints, reports and exports it.
#pragma once

#include <filesystem>
#include <optional>

#include "core/report/report_file.h"
#include "core/stats/statistics_batch.h"
#include "core/stats/statistics_parameters.h"
#include "module/analysis_view.h"
#include "ui/progress_dialog.h"

class QPrinter;
class QTableWidget;

namespace torvwy::module {

/// Start-up: 100 ms after the window is first shown the batch of the profile's statistics
/// parameters runs (amplitude indices); the rows fill the list when it ends. No valid data file
/// closes the window with "No Valid Data File".
class StatisticsView : public AnalysisView {
  Q_OBJECT

 public:
  explicit StatisticsView(QWidget* parent = nullptr);

  bool busy() const override { return runner_.busy(); }
  void CancelPass() override { runner_.Cancel(); }
  QString HelpTopic() const override { return QStringLiteral("WyStat.html"); }

  /// Shows a saved list (result mode: never run, never saved again).
  bool Open(const std::filesystem::path& file);
  bool result_mode() const { return result_mode_; }
  /// Runs a batch of `parameters` (replacing the list).
  void Run(const core::StatisticsParameters& parameters);
  const std::optional<core::StatisticsBatch>& batch() const { return batch_; }
  const core::StatisticsParameters& parameters() const { return parameters_; }
  QTableWidget* list() const { return list_; }
  /// The list as printed pages.
  bool PrintOn(QPrinter& printer);
  ui::PassRunner& runner() { return runner_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void HandleCommand(quint32 code, qintptr value) override;
  void HandleNotice(quint32, qintptr) override {}

 private:
  void Fill();
  void Save();
  void Report();
  void Export();
  /// What the report and the export name: the batch's, or the saved list's.
  core::StatisticsReportNames Names() const;

  void Start();

  bool started_ = false;
  bool result_mode_ = false;
  std::filesystem::path list_file_;  ///< result mode: the list shown
  int number_format_ = 0;            ///< format code of the numeric cells (the profile's setting)
  core::StatisticsParameters parameters_;
  std::optional<core::StatisticsBatch> batch_;
  QTableWidget* list_ = nullptr;
  ui::PassRunner runner_{this};
};

}  // namespace torvwy::module
