// The test programme window: events of recorded nodes with their repeats, counted as one load
// history, with each event's share of the damage, the life, and the programme's matrices.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "core/programme/programme_count.h"
#include "core/programme/programme_file.h"
#include "core/report/export_file.h"
#include "core/services/language.h"
#include "module/analysis_view.h"
#include "render/counting_picture.h"
#include "render/picture_output.h"
#include "ui/progress_dialog.h"
#include "ui/select_node_dialog.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;
class QTableWidgetItem;

namespace torvwy::module {

/// A widget that draws a picture routine into itself on every paint; the same routine prints,
/// saves and goes into the report.
class ProgrammePicture : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;
  /// The routine to draw; empty: a blank picture.
  void SetDrawer(render::PictureDrawer draw);
  const render::PictureDrawer& drawer() const { return draw_; }
  /// What the last paint drew.
  const render::PictureReport& drawn() const { return drawn_; }
  /// The window aspect the image export uses.
  double aspect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  render::PictureDrawer draw_;
  render::PictureReport drawn_;
};

/// The rows of a programme's results table as text, the same for the window, the report and the
/// export: one row per event (label, repeats, cycles, damage, damage per repeat, share in %),
/// the cycles across events, the totals, then the life in programmes, hours and km where known
/// (label and value only).
struct ProgrammeRows {
  QStringList columns;
  std::vector<QStringList> rows;
  size_t event_rows = 0;  ///< the first rows, one per event
  size_t life_rows = 0;   ///< the last rows: a label and one value
};
ProgrammeRows ResultRows(const core::ProgrammeResult& result);

/// The results as the export program's table: the event and total rows, the label a text and
/// the rest numbers.
core::ExportTable ProgrammeExportTable(const core::ProgrammeResult& result,
                                       core::Language language);

/// The window's view. The programme is edited on the first tab (its settings and its events);
/// Calculate counts it on a worker thread behind the progress dialog, whose Cancel leaves no
/// result; the results, the share picture and the two matrices fill the other tabs.
///
///   [Open...] [Save...] [Add Events...] [Remove Event] [Calculate] (F5)
///   +-Programme-+-Results-+-Damage Share-+-Range-Mean Matrix-+-From-To Matrix-+
///   | Name [      ] Partitions [64] Amplitude [full v] [    ] Residue [half v] |
///   | Gate [0     ] S-N curve [bs7608:B                                     ] |
///   | Data Folder | Test | Code | Node | Repeats | Scale | Label              |
///   +-------------------------------------------------------------------------+
///
/// The host's picture commands (print, preview, copy, save picture) act on the picture of the
/// tab shown, the share picture on the other tabs; report and export carry the results.
class ProgrammeView : public AnalysisView {
  Q_OBJECT

 public:
  explicit ProgrammeView(QWidget* parent = nullptr);
  ~ProgrammeView() override;

  bool busy() const override { return runner_.busy(); }
  void CancelPass() override { runner_.Cancel(); }
  QString HelpTopic() const override;

  /// The programme the fields and the table hold; fails (a message for a person, one line) for
  /// a value they can't hold or one CheckProgramme refuses.
  std::optional<core::Programme> EditedProgramme(QString* error) const;
  /// Shows `programme` in the fields and the table; the result shown goes.
  void ShowProgramme(const core::Programme& programme);
  /// Adds the chosen nodes as events, each once at scale 1.
  void AddEvents(const ui::NodeChoice& choice);
  /// Removes the event of the table's current row.
  void RemoveEvent();
  /// Opens the node chooser (window-modal, not waited for); its OK adds the nodes.
  void ChooseEvents();
  /// Counts the programme behind the progress dialog; false when it could not start (said).
  bool Calculate();
  /// Reads a programme file and shows it; errors in a message box, one line. The host calls it
  /// by name for its --programme option.
  Q_INVOKABLE bool OpenProgramme(const QString& path);
  /// Saves the edited programme through the one save routine.
  bool SaveProgramme(const QString& path);
  /// The result shown; empty before a calculation, after a cancel or an edit of the events.
  const std::optional<core::ProgrammeResult>& result() const { return result_; }
  const std::filesystem::path& file() const { return file_; }

  QTabWidget* tabs() const { return tabs_; }
  QTableWidget* events_table() const { return events_; }
  QTableWidget* results_table() const { return results_; }
  ProgrammePicture* share_picture() const { return share_; }
  ProgrammePicture* range_mean_picture() const { return range_mean_; }
  ProgrammePicture* from_to_picture() const { return from_to_; }
  QPushButton* open_button() const { return open_button_; }
  QPushButton* save_button() const { return save_button_; }
  QPushButton* add_button() const { return add_button_; }
  QPushButton* remove_button() const { return remove_button_; }
  QPushButton* calculate_button() const { return calculate_button_; }
  QLineEdit* name_edit() const { return name_; }
  QLineEdit* gate_edit() const { return gate_; }
  ui::PassRunner& runner() { return runner_; }
  /// The picture the picture commands act on now.
  ProgrammePicture* CurrentPicture() const;

  /// For tests: the name the open and save dialogs answer with (empty: cancelled); nothing
  /// shows the dialogs then.
  static void SetFileNameForTesting(std::optional<QString> name);

  /// The columns of the events table.
  enum EventColumn { kData, kTest, kCode, kNode, kRepeats, kScale, kLabel, kEventColumns };
  /// The tabs.
  enum Tab { kSetupTab, kResultsTab, kShareTab, kRangeMeanTab, kFromToTab };

 protected:
  void HandleCommand(quint32 code, qintptr value) override;
  void HandleNotice(quint32 code, qintptr value) override;

 private:
  void BuildSettings(QWidget* page);
  void FillEventRow(int row);
  void EventEdited(QTableWidgetItem* item);
  void ShowResult();
  void ClearResult();
  void UpdateTitle();
  QString FileName(bool save);
  QString ProgrammeName() const;
  void Report();
  void Export();
  void SavePicture();

  core::Programme base_;  ///< the settings the window has no field for, kept as opened
  std::vector<core::ProgrammeEvent> events_list_;
  std::filesystem::path file_;
  std::optional<core::ProgrammeResult> result_;
  std::optional<ui::NodeChoice> last_choice_;
  bool filling_ = false;  ///< the table is being filled: its changes are not edits

  QTabWidget* tabs_ = nullptr;
  QLineEdit* name_ = nullptr;
  QSpinBox* partitions_ = nullptr;
  QComboBox* amplitude_ = nullptr;
  QLineEdit* amplitude_value_ = nullptr;
  QComboBox* residue_ = nullptr;
  QLineEdit* gate_ = nullptr;
  QLineEdit* curve_ = nullptr;
  QTableWidget* events_ = nullptr;
  QTableWidget* results_ = nullptr;
  ProgrammePicture* share_ = nullptr;
  ProgrammePicture* range_mean_ = nullptr;
  ProgrammePicture* from_to_ = nullptr;
  QPushButton* open_button_ = nullptr;
  QPushButton* save_button_ = nullptr;
  QPushButton* add_button_ = nullptr;
  QPushButton* remove_button_ = nullptr;
  QPushButton* calculate_button_ = nullptr;
  ui::PassRunner runner_{this};
};

}  // namespace torvwy::module
