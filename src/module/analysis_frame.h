// The window of one analysis: its view, the left panel, the close handshake and help.
#pragma once

#include <QMainWindow>
#include <QPointer>

class QDockWidget;

namespace torvwy::module {

class AnalysisView;
class ControlPanel;

enum class AnalysisKind {
  kPeak,
  kRange,
  kRainflow,
  kStatistics,
  kCrossings,
  kRangePairs,
  kTimeAtLevel,
  kProgramme
};

/// A frame holds its view in the middle and, for the counting analyses, the parameter panel
/// docked on the left.
///
///   close  --permitted-->  closes (a pass under way is cancelled first, then it closes)
///          --not yet--->   2025/1008 posted to the view, timer 10 retries in 200 ms
///   gone   --> 2025/1010 with the frame's address sent to the host window
///
/// 2025: 1014 opens help, any other code is sent on to the view. 2125: 2004 sets the closing
/// permission, 2001 slides the panel, 2007 collapses or expands it, 1003 goes to the panel's
/// key handler, 1004/2002/2003 stay here, the rest is posted to the view (the statistics frame
/// keeps only 2004).
class AnalysisFrame : public QMainWindow {
  Q_OBJECT

 public:
  AnalysisFrame(AnalysisKind kind, AnalysisView* view, QWidget* parent = nullptr);
  ~AnalysisFrame() override;

  AnalysisKind kind() const { return kind_; }
  AnalysisView* view() const { return view_; }
  bool closing_permitted() const { return closing_permitted_; }
  QDockWidget* panel() const { return panel_; }
  /// The control panel of a counting window (null for statistics).
  ControlPanel* control_panel() const { return control_panel_; }
  /// Closes the window this frame lives in (its MDI sub-window, or itself).
  void CloseWindow();

  /// Largest panel width 2125/2001 accepts.
  static constexpr int kMaxPanelWidth = 4000;
  /// Panel colour 0x00BBGGRR.
  static constexpr unsigned kPanelColour = 0x00FFEBD7;
  /// The narrowest picture the open panel leaves: a frame narrower than the panel and this
  /// collapses the panel by itself, and opens it again once the frame is wide enough.
  static constexpr int kMinPictureWidth = 320;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void HandleNotice(quint32 code, qintptr value);
  void SlidePanel(int width);
  void OpenHelp();
  /// Collapses the panel when the picture would be narrower than kMinPictureWidth, and opens
  /// a panel it collapsed itself when there is room again.
  void FitPanel();

  AnalysisKind kind_;
  QPointer<AnalysisView> view_;
  QDockWidget* panel_ = nullptr;
  ControlPanel* control_panel_ = nullptr;
  bool closing_permitted_ = true;
  bool close_after_pass_ = false;
  int close_timer_ = 0;
  bool panel_auto_collapsed_ = false;  ///< the panel was collapsed by FitPanel, not by a person
};

}  // namespace torvwy::module
