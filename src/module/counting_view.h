// The view of one counting analysis (peak, range or rainflow): draws its session's picture,
// forwards input to it and shows the dialogs it asks for.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QString>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "module/counting_session.h"
#include "module/overlay_window.h"
#include "module/picture_view.h"
#include "module/waveform_viewer.h"
#include "ui/progress_dialog.h"

class QMdiArea;

namespace torvwy::module {

class BookmarkDialog;

/// The window of a counting session: draws the session's result and forwards the user's keys,
/// clicks and the host's messages to it; the dialogs and message boxes the session asks for
/// are shown here. 100 ms after the window is first shown the session starts; a window that
/// can't start says why and closes.
class CountingView : public PictureView, private CountingAsker {
  Q_OBJECT

 public:
  explicit CountingView(core::CountingKind kind, QWidget* parent = nullptr);
  ~CountingView() override;

  CountingSession& session() { return session_; }
  const CountingSession& session() const { return session_; }
  core::CountingKind kind() const { return session_.kind(); }
  /// A counting pass or the overlay's pass is under way.
  bool busy() const override { return session_.busy() || overlay_runner_.busy(); }
  void CancelPass() override;
  QString HelpTopic() const override;
  render::PictureReport DrawPicture(QPainter& painter,
                                    const render::TargetGeometry& geometry) override;

  /// The counted or opened result; empty before the first pass ends. After a cancel it holds
  /// the partial counts, marked as cancelled.
  const std::optional<core::AnyResultFile>& result() const { return session_.result(); }
  const core::TestContext& context() const { return session_.context(); }
  /// What the picture is drawn with: the session's display, its readouts and the colours.
  const render::ViewState& view_state() const { return state_; }
  bool result_mode() const { return session_.result_mode(); }
  /// The last pass was cancelled: its partial counts are shown but never saved, reported or
  /// exported.
  bool cancelled() const { return session_.cancelled(); }
  /// Counts again with the current parameters (without the setup dialog).
  void Recount() { session_.Recount(); }

  /// The parameters the next count uses (settled after the setup dialog).
  const core::CountingParameters& parameters() const { return session_.parameters(); }
  /// The partition under the cursor (0..N-1), 0 before the first count.
  int32_t cursor() const { return session_.cursor(); }
  /// N of the result shown (at most 2000), 0 before the first count.
  int32_t partitions() const { return session_.partitions(); }
  std::vector<double> DisplayedValues() const { return session_.DisplayedValues(); }
  const core::ReadoutList& readouts() const { return session_.readouts(); }
  core::CountingReadouts Readouts() const { return session_.Readouts(); }
  std::string ReadoutText(int format) const { return session_.ReadoutText(format); }
  void SaveReadouts(const QString& path) { session_.SaveReadouts(path); }
  /// For tests: the name the save dialog answers with (empty: cancelled); nothing shows the
  /// dialog again.
  static void SetSaveNameForTesting(std::optional<QString> name);

  /// The bookmark dialog of the window (created with it, hidden).
  BookmarkDialog* bookmark_dialog() const { return bookmark_dialog_; }
  /// The bookmarks the picture flags: those of the node shown.
  const std::vector<core::Label>& bookmarks() const { return session_.bookmarks(); }
  bool HasCycles() const { return session_.HasCycles(); }
  /// Whether the window follows its node now (the caption says "(live)").
  bool following() const { return session_.following(); }
  /// Rainflow: the picture shows the range-mean matrix instead of the histogram.
  bool matrix_shown() const { return session_.matrix_shown(); }
  /// Rainflow: the picture shows the from-to matrix instead of the histogram.
  bool from_to_shown() const { return session_.from_to_shown(); }

  /// Opens (or raises) the time-history viewer of the node; a pick on it sets the setup
  /// dialog's blocks. Nothing in result mode.
  void ViewWaveform();
  /// The viewer when open.
  WaveformViewer* waveform_viewer() const { return viewer_; }
  /// The node chooser with several nodes, then their counts in one picture: counted on a worker
  /// thread behind the progress dialog, whose Cancel draws nothing.
  void OverlayNodes();
  /// The pass that counts the overlay's nodes.
  ui::PassRunner& overlay_runner() { return overlay_runner_; }
  /// The overlay window when open.
  OverlayWindow* overlay_window() const { return overlay_; }
  /// For tests: the nodes the chooser answers with (none: it is shown).
  static void SetOverlayNodesForTesting(std::optional<std::vector<std::string>> names);

  /// Y zoom bounds.
  static constexpr double kMinZoom = CountingSession::kMinZoom;
  static constexpr double kMaxZoom = CountingSession::kMaxZoom;

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
  // What the session asks of a person, and the window's part of its actions.
  void Tell(const QString& text, bool warning) override;
  bool Ask(const QString& question) override;
  void ShowStatus(const QString& text) override;
  void AskSetup(const core::CountingPlan& shown, double ad_range, const QString& unit,
                std::function<void(std::optional<core::CountingPlan>)> answer) override;
  bool AskNode() override;
  void AskYScale(double shown, std::function<void(double)> answer) override;
  QString AskReadoutListName(const QString& start) override;
  void AskLifeParameters(core::FatigueMethod method,
                         std::function<void(const core::FatigueChoice&)> answer) override;
  bool ListBookmarks(std::vector<BookmarkNode> nodes, bool browse) override;
  core::Status WriteReportPicture(const std::filesystem::path& bitmap) override;
  void CopyText(const QString& text) override;
  void EstimateMade(const ui::FatigueTable& table, bool update) override;
  void CloseWindow() override;

  /// Takes the session's display into the picture's state, the caption, and draws again.
  void ShowSession();
  /// The progress dialog of the pass under way, over the whole analysis window.
  void ShowProgress(const QString& status);
  /// The frame's panel takes over the view's state (panel key 0).
  void PanelTakeOver();
  /// A notification of the bookmark dialog: the flags shown or hidden, a bookmark renamed or
  /// deleted (already written to its file), or nothing to do but redraw.
  void BookmarkNotice(int code);
  /// Hides the bookmark dialog when another window of the host becomes the active one.
  void FollowActivation();

  CountingSession session_;
  bool start_scheduled_ = false;
  render::ViewState state_;
  bool dragging_ = false;
  QPoint drag_offset_;  ///< mouse position minus the box's top-left corner at the drag's start
  BookmarkDialog* bookmark_dialog_ = nullptr;
  QPointer<ui::ProgressDialog> progress_;
  QPointer<QMdiArea> mdi_area_;  ///< the host's window area, watched for activation
  QPointer<WaveformViewer> viewer_;
  QPointer<OverlayWindow> overlay_;
  ui::PassRunner overlay_runner_{this};
};

}  // namespace torvwy::module
