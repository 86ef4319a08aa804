// The view of one counting analysis (peak, range or rainflow): reads the test, counts on a worker
// thread behind the progress dialog, and shows the picture.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QString>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "core/counting/counting_parameters.h"
#include "core/counting/counting_run.h"
#include "core/data/parameter_file.h"
#include "core/fatigue/fatigue_result.h"
#include "core/files/result_file.h"
#include "core/report/counting_hand_over.h"
#include "core/report/readout_list.h"
#include "module/picture_view.h"
#include "ui/progress_dialog.h"

class QMdiArea;

namespace torvwy::module {

class BookmarkDialog;

/// Start-up: 100 ms after the window is first shown the view reads "TorvWyPara.txt" of the host
/// folder. In analysis mode it loads the first node and counts it (envelope and counts, one
/// pass behind the progress dialog); in result mode it reads the first result file and never
/// counts or saves. A window that can't start says why and closes.
class CountingView : public PictureView {
  Q_OBJECT

 public:
  explicit CountingView(core::CountingKind kind, QWidget* parent = nullptr);

  core::CountingKind kind() const { return kind_; }
  bool busy() const override { return runner_.busy(); }
  void CancelPass() override { runner_.Cancel(); }
  QString HelpTopic() const override;
  render::PictureReport DrawPicture(QPainter& painter,
                                    const render::TargetGeometry& geometry) override;

  /// The counted or opened result; empty before the first pass ends. After a cancel it holds
  /// the partial counts, marked as cancelled.
  const std::optional<core::AnyResultFile>& result() const { return file_; }
  const core::TestContext& context() const { return context_; }
  const render::ViewState& view_state() const { return state_; }
  bool result_mode() const { return context_.result_mode != 0; }
  /// The last pass was cancelled: its partial counts are shown but never saved, reported or
  /// exported.
  bool cancelled() const { return file_ && core::PassCancelled(*file_); }
  /// Counts again with the current parameters (without the setup dialog).
  void Recount();
  ui::PassRunner& runner() { return runner_; }

  /// The parameters the next count uses (settled after the setup dialog).
  const core::CountingParameters& parameters() const { return parameters_; }
  /// The partition under the cursor (0..N-1), 0 before the first count.
  int32_t cursor() const;
  /// N of the result shown (at most 2000), 0 before the first count.
  int32_t partitions() const;
  /// The values of the curve the cursor moves over: the displayed counts (for peak counting
  /// the peak and valley totals of the displayed direction).
  std::vector<double> DisplayedValues() const;
  /// The collected partitions with their count texts (what the report and list export take).
  const core::ReadoutList& readouts() const { return readouts_; }
  /// The readouts with the axis and columns the list text needs.
  core::CountingReadouts Readouts() const;
  /// The list text of the readouts: format 0 (clipboard, ".txt"), 1 (list export).
  std::string ReadoutText(int format) const;
  /// Saves the readout list as `path`: a text file, or, for a name ending in ".xls" or
  /// ".xlsx", the spreadsheet (always ".xlsx") made by the list converter. Says why on failure.
  void SaveReadouts(const QString& path);
  /// For tests: the name the save dialog answers with (empty: cancelled); nothing shows the
  /// dialog again.
  static void SetSaveNameForTesting(std::optional<QString> name);

  /// The bookmark dialog of the window (created with it, hidden).
  BookmarkDialog* bookmark_dialog() const { return bookmark_dialog_; }
  /// The bookmarks the picture flags: those of the node shown.
  const std::vector<core::Label>& bookmarks() const { return bookmarks_; }
  /// A rainflow histogram with at least one counted cycle, from a whole pass: what a life
  /// estimate needs.
  bool HasCycles() const;

  /// Y zoom bounds.
  static constexpr double kMinZoom = 0.001;
  static constexpr double kMaxZoom = 1000.0;

 protected:
  void showEvent(QShowEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void HandleCommand(quint32 code, qintptr value) override;
  void HandleNotice(quint32 code, qintptr value) override;
  QString PictureName() const override;

 private:
  /// How the caption names the analysis: when it opens, in result mode, after Select Node.
  enum class Caption { kAnalysis, kResult, kReloaded };

  void Start();
  /// Shows the setup dialog; OK counts with its parameters, Cancel counts only when
  /// `count_on_cancel` (the window's first dialog and the one after Select Node).
  void RunSetup(bool count_on_cancel);
  void Fail(const QString& text);
  void Zoom(int operation);
  void SetZoom(double zoom);
  void ReadoutOperation(int operation);
  void UpdateReadoutBox();
  void ClearReadouts();
  /// The frame's panel takes over the view's state (panel key 0).
  void PanelTakeOver();
  void SaveReadoutsDialog();
  double LargestCount() const;
  void UpdateTitle();
  void SaveResult();
  void Report();
  void Export();
  /// Fills the bookmark dialog with the nodes of the test (mode 1), or empties it for a loaded
  /// result (mode 2).
  void FillBookmarkDialog();
  /// A notification of the bookmark dialog: the flags shown or hidden, a bookmark renamed or
  /// deleted (already written to its file), or nothing to do but redraw.
  void BookmarkNotice(int code);
  /// Hides the bookmark dialog when another window of the host becomes the active one.
  void FollowActivation();
  /// The life parameter dialog, then on OK the estimate of `method`, its list data file and
  /// 2025/1037 to the host; a refused estimate says why and writes nothing.
  void EstimateLife(core::FatigueMethod method);

  core::CountingKind kind_;
  bool started_ = false;
  core::TestContext context_;
  core::CountingNode node_;  ///< the node counted (empty data file in result mode)
  core::CountingParameters parameters_;
  std::optional<core::AnyResultFile> file_;
  std::vector<core::Label> bookmarks_;
  render::ViewState state_;
  ui::PassRunner runner_{this};
  Caption caption_ = Caption::kAnalysis;
  core::ReadoutList readouts_;
  bool dragging_ = false;
  QPoint drag_offset_;  ///< mouse position minus the box's top-left corner at the drag's start
  BookmarkDialog* bookmark_dialog_ = nullptr;
  QPointer<QMdiArea> mdi_area_;  ///< the host's window area, watched for activation
};

}  // namespace torvwy::module
