// The amplitude statistics view: runs the batch behind the progress dialog into a list, saves,
// prints, reports and exports it.
#pragma once

#include <filesystem>
#include <optional>
#include <set>

#include "core/report/report_file.h"
#include "core/stats/statistics_batch.h"
#include "core/stats/statistics_parameters.h"
#include "module/analysis_view.h"
#include "ui/progress_dialog.h"

class QPrinter;
class QTableWidget;

namespace torvwy::module {

class StatisticsDialog;

/// Start-up: 100 ms after the window is first shown, a result-mode parameter file naming a
/// saved list opens it; otherwise the parameter dialog asks for the batch (from the profile's
/// parameters) and OK runs it behind the progress dialog, its rows filling the list when it
/// ends. Cancel there closes the window. "N" in the list, or 2125/3024, asks again and reruns
/// (Cancel then keeps the list). A first batch that finds no valid data file closes the window
/// with "No Valid Data File"; a batch whose every pair failed says why for the first few.
class StatisticsView : public AnalysisView {
  Q_OBJECT

 public:
  explicit StatisticsView(QWidget* parent = nullptr);
  ~StatisticsView() override;

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
  /// The heading of the printed pages.
  QString PageHeading() const;
  /// The parameter dialog shown now (nullptr when none).
  StatisticsDialog* dialog() const { return dialog_; }
  ui::PassRunner& runner() { return runner_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void HandleCommand(quint32 code, qintptr value) override;
  void HandleNotice(quint32 code, qintptr value) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Fill();
  void Save();
  void Report();
  void Export();
  /// What the report and the export name: the batch's, or the saved list's.
  core::StatisticsReportNames Names() const;

  void Start();
  /// Shows the parameter dialog; OK runs the batch. Cancel closes a window that has no list yet.
  void AskAndRun();
  void SetCaption();
  void FillMdiArea();

  bool started_ = false;
  bool result_mode_ = false;
  std::filesystem::path list_file_;          ///< result mode: the list shown
  std::set<std::filesystem::path> written_;  ///< the lists this window saved of its last run
  int number_format_ = 0;  ///< format code of the numeric cells (the profile's setting)
  core::StatisticsParameters parameters_;
  std::optional<core::StatisticsBatch> batch_;
  QTableWidget* list_ = nullptr;
  StatisticsDialog* dialog_ = nullptr;
  bool sub_window_watched_ = false;
  ui::PassRunner runner_{this};
};

}  // namespace torvwy::module
