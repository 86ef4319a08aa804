// The control panel of a counting window: display choices, Y zoom, cursor and readout buttons,
// Setup and Select Node, docked at the window's left edge.
#pragma once

#include <QPointer>
#include <QWidget>
#include <vector>

#include "core/counting/counting_parameters.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSlider;
class QToolButton;

namespace torvwy::module {

class CountingView;

/// The panel never changes the view itself: every control sends its code to the frame (2025
/// commands sent, 2125 notices posted), which hands it to the view.
///
///   [<]                       hide/show: collapses to this button (2001 with its width)
///   Mirel TORV / Peak Counting
///   Method  (o) Together ( ) Separate      [T]   peak only: 3040
///           (o) Separate ( ) Together      [W]   peak and range: 3041
///   View    [x] Full Waveform [K]  Style [Hollow Bar v]              3035, 110
///           [ ] Range-Mean Matrix                                    rainflow only: 1047
///           [ ] From-To Matrix                                       rainflow only: 1051
///           [ ] Log Count Axis  [View Waveform]                      1048, 1049
///   Y Zoom  ----|----  [-] [+] [Set [V]] [Reset [I]]                 3019, 1020
///   Cursor  [\][/][Max] [<<][<][>][>>] [/][\][Min]                   1027 0..9
///   Reading [R][A][L][C][S][P]  Label Type [Index v]  Sort By [X v]  1035, 1036, 3020
///   Fatigue [Fitting Stat Analysis] [Actual Stat Analysis]           rainflow only: 3045, 3046
///   [x] Follow                                                       3050 (1 ticked, 2 not)
///   [Setup [O]] [Select Node [N]]                                    3027, 3024
class ControlPanel : public QWidget {
  Q_OBJECT

 public:
  ControlPanel(core::CountingKind kind, QWidget* frame, QWidget* parent = nullptr);

  /// The panel's key handler (2125/1003): "K", "T", "W", "Y" as the analysis has them (either
  /// case); any other character (0 after a count or a loaded result) takes over the view's
  /// state.
  void HandleKey(qintptr character);
  /// The hide/show button: collapses to the button or expands to the full width.
  void ToggleCollapsed();
  bool collapsed() const { return collapsed_; }
  /// The width the panel had open when it was last collapsed (0 before).
  int expanded_width() const { return expanded_width_; }
  /// Wide enough for the controls and the scroll bar beside them.
  QSize sizeHint() const override;

  /// The Y-zoom slider's range; 200 is zoom 1.
  static constexpr int kSliderLow = 0;
  static constexpr int kSliderHigh = 400;
  static constexpr int kSliderOne = 200;

 private:
  CountingView* View() const;
  void TakeOverView();
  void Command(quint32 code, qintptr value);
  void Notice(quint32 code, qintptr value);
  void StepSlider(double factor);

  core::CountingKind kind_;
  QPointer<QWidget> frame_;
  QWidget* content_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QToolButton* hide_show_ = nullptr;
  bool collapsed_ = false;
  int expanded_width_ = 0;
  QRadioButton* together_ = nullptr;  ///< peak: peaks and valleys counted together
  QRadioButton* separate_ = nullptr;  ///< peak: counted separately
  QRadioButton* two_way_ = nullptr;   ///< peak, range
  QRadioButton* one_way_ = nullptr;   ///< peak, range
  QCheckBox* full_waveform_ = nullptr;
  QComboBox* curve_style_ = nullptr;
  QCheckBox* matrix_ = nullptr;      ///< rainflow: the range-mean matrix instead of the histogram
  QCheckBox* from_to_ = nullptr;     ///< rainflow: the from-to matrix instead of the histogram
  QCheckBox* log_counts_ = nullptr;  ///< the count plots on a logarithmic axis
  QSlider* slider_ = nullptr;
  QComboBox* label_type_ = nullptr;
  QComboBox* sort_by_ = nullptr;
  QPushButton* fitting_ = nullptr;  ///< rainflow: Fitting Stat Analysis (3045)
  QPushButton* actual_ = nullptr;   ///< rainflow: Actual Stat Analysis (3046)
  QCheckBox* follow_ = nullptr;     ///< the window follows its node while it is recorded
  QPushButton* setup_ = nullptr;
  QPushButton* select_node_ = nullptr;
  std::vector<QToolButton*> reading_buttons_;  ///< the readout list's buttons but Auto
};

}  // namespace torvwy::module
