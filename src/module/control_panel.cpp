// The counting control panel.
#include "module/control_panel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "core/files/result_file.h"
#include "module/counting_view.h"
#include "module/module_state.h"
#include "ui/host_message.h"
#include "ui/panel_icons.h"

namespace torvwy::module {
namespace {

constexpr int kCurveStyles = 8;

QString Title(core::CountingKind kind) {
  switch (kind) {
    case core::CountingKind::kPeak:
      return Text(TextKey::kPanelPeakTitle);
    case core::CountingKind::kRange:
      return Text(TextKey::kPanelRangeTitle);
    case core::CountingKind::kCrossings:
      return Text(TextKey::kPanelCrossingTitle);
    case core::CountingKind::kRangePairs:
      return Text(TextKey::kPanelRangePairTitle);
    case core::CountingKind::kTimeAtLevel:
      return Text(TextKey::kPanelTimeAtLevelTitle);
    default:
      break;
  }
  return Text(TextKey::kPanelRainflowTitle);
}

QGroupBox* Group(QWidget* parent, TextKey caption) {
  auto* box = new QGroupBox(Text(caption), parent);
  box->setFlat(false);
  return box;
}

/// A pair of radio buttons in their own group box (one exclusive group each).
void RadioPair(QVBoxLayout* layout, QWidget* parent, TextKey caption, QRadioButton*& first,
               TextKey first_caption, QRadioButton*& second, TextKey second_caption) {
  auto* box = Group(parent, caption);
  auto* row = new QHBoxLayout(box);
  first = new QRadioButton(Text(first_caption), box);
  second = new QRadioButton(Text(second_caption), box);
  row->addWidget(first);
  row->addWidget(second);
  layout->addWidget(box);
  first->setChecked(true);
}

}  // namespace

ControlPanel::ControlPanel(core::CountingKind kind, QWidget* frame, QWidget* parent)
    : QWidget(parent), kind_(kind), frame_(frame) {
  setObjectName(QStringLiteral("control_panel"));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(2, 2, 2, 2);
  hide_show_ = new QToolButton(this);
  hide_show_->setObjectName(QStringLiteral("hide_show"));
  hide_show_->setArrowType(Qt::LeftArrow);
  hide_show_->setToolTip(Text(TextKey::kPanelHideShow));
  connect(hide_show_, &QToolButton::clicked, this, &ControlPanel::ToggleCollapsed);
  outer->addWidget(hide_show_, 0, Qt::AlignRight);

  content_ = new QWidget(this);
  auto* layout = new QVBoxLayout(content_);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* title = new QLabel(Title(kind), content_);
  title->setAlignment(Qt::AlignCenter);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  layout->addWidget(title);

  // Method: how the counts are shown.
  if (kind == core::CountingKind::kPeak) {
    RadioPair(layout, content_, TextKey::kPanelPeaksValleys, together_, TextKey::kPanelTogether,
              separate_, TextKey::kPanelSeparate);
    connect(together_, &QRadioButton::clicked, this,
            [this] { Notice(ui::notice::kSeparately, 0); });
    connect(separate_, &QRadioButton::clicked, this,
            [this] { Notice(ui::notice::kSeparately, 1); });
  }
  // One-way and two-way counts: the methods that keep both.
  if (kind == core::CountingKind::kPeak || kind == core::CountingKind::kRange ||
      kind == core::CountingKind::kRangePairs) {
    RadioPair(layout, content_, TextKey::kPanelPositiveNegative, two_way_, TextKey::kPanelTwoWay,
              one_way_, TextKey::kPanelOneWay);
    two_way_->setObjectName(QStringLiteral("two_way"));
    one_way_->setObjectName(QStringLiteral("one_way"));
    connect(two_way_, &QRadioButton::clicked, this, [this] { Notice(ui::notice::kOneWay, 0); });
    connect(one_way_, &QRadioButton::clicked, this, [this] { Notice(ui::notice::kOneWay, 1); });
  }

  // View: the full-waveform inset and the curve style.
  auto* view_box = Group(content_, TextKey::kPanelView);
  auto* view_layout = new QGridLayout(view_box);
  full_waveform_ = new QCheckBox(Text(TextKey::kPanelFullWaveform), view_box);
  full_waveform_->setObjectName(QStringLiteral("full_waveform"));
  full_waveform_->setChecked(true);
  connect(full_waveform_, &QCheckBox::clicked, this,
          [this](bool checked) { Notice(ui::notice::kInset, checked ? 1 : 0); });
  view_layout->addWidget(full_waveform_, 0, 0, 1, 2);
  view_layout->addWidget(new QLabel(Text(TextKey::kPanelCurveStyle), view_box), 1, 0);
  curve_style_ = new QComboBox(view_box);
  curve_style_->setObjectName(QStringLiteral("curve_style"));
  const TextKey kStyles[kCurveStyles] = {
      TextKey::kPanelStyleLine,      TextKey::kPanelStyleScatter,   TextKey::kPanelStyleLineSymbol,
      TextKey::kPanelStyleFilledBar, TextKey::kPanelStyleHollowBar, TextKey::kPanelStyleStep,
      TextKey::kPanelStylePoints,    TextKey::kPanelStyleArea};
  for (TextKey style : kStyles) curve_style_->addItem(Text(style));
  curve_style_->setCurrentIndex(4);
  connect(curve_style_, &QComboBox::activated, this,
          [this](int index) { Notice(ui::notice::kCurveType, index); });
  view_layout->addWidget(curve_style_, 1, 1);
  if (kind == core::CountingKind::kRainflow) {
    // The picture: the histogram, or one of the matrices of the counted cycles; ticking one
    // unticks the other when the view takes them over.
    matrix_ = new QCheckBox(Text(TextKey::kPanelRangeMeanMatrix), view_box);
    matrix_->setObjectName(QStringLiteral("matrix_view"));
    connect(matrix_, &QCheckBox::clicked, this,
            [this](bool checked) { Command(ui::command::kMatrixView, checked ? 1 : 2); });
    view_layout->addWidget(matrix_, 2, 0, 1, 2);
    from_to_ = new QCheckBox(Text(TextKey::kPanelFromToMatrix), view_box);
    from_to_->setObjectName(QStringLiteral("from_to_view"));
    connect(from_to_, &QCheckBox::clicked, this,
            [this](bool checked) { Command(ui::command::kFromToView, checked ? 1 : 2); });
    view_layout->addWidget(from_to_, 3, 0, 1, 2);
  }
  // The count plots on a logarithmic axis, and the node's time history.
  log_counts_ = new QCheckBox(Text(TextKey::kPanelLogCounts), view_box);
  log_counts_->setObjectName(QStringLiteral("log_counts"));
  connect(log_counts_, &QCheckBox::clicked, this,
          [this](bool checked) { Command(ui::command::kLogCounts, checked ? 1 : 2); });
  view_layout->addWidget(log_counts_, 4, 0, 1, 2);
  auto* view_waveform = new QPushButton(Text(TextKey::kPanelViewWaveform), view_box);
  view_waveform->setObjectName(QStringLiteral("view_waveform"));
  connect(view_waveform, &QPushButton::clicked, this,
          [this] { Command(ui::command::kViewWaveform, 0); });
  view_layout->addWidget(view_waveform, 5, 0, 1, 2);
  layout->addWidget(view_box);

  // Y zoom: the slider 0..400 (200 is zoom 1), - + Set Reset.
  auto* zoom_box = Group(content_, TextKey::kPanelYZoom);
  auto* zoom_layout = new QGridLayout(zoom_box);
  slider_ = new QSlider(Qt::Horizontal, zoom_box);
  slider_->setObjectName(QStringLiteral("zoom_slider"));
  slider_->setRange(kSliderLow, kSliderHigh);
  slider_->setTickInterval(100);
  slider_->setTickPosition(QSlider::TicksBelow);
  slider_->setValue(kSliderOne);
  connect(slider_, &QSlider::valueChanged, this,
          [this](int position) { Notice(ui::notice::kZoomSlider, position); });
  zoom_layout->addWidget(slider_, 0, 0, 1, 4);
  auto add_zoom_button = [&](const char* name, const QString& text, int column, auto clicked) {
    auto* button = new QPushButton(text, zoom_box);
    button->setObjectName(QString::fromLatin1(name));
    connect(button, &QPushButton::clicked, this, clicked);
    zoom_layout->addWidget(button, 1, column);
  };
  add_zoom_button("zoom_out", QStringLiteral("-"), 0, [this] { StepSlider(0.9090909090909091); });
  add_zoom_button("zoom_in", QStringLiteral("+"), 1, [this] { StepSlider(1.1); });
  add_zoom_button("zoom_set", Text(TextKey::kPanelZoomSet), 2,
                  [this] { Command(ui::command::kZoom, 3); });
  add_zoom_button("zoom_reset", Text(TextKey::kPanelZoomReset), 3, [this] {
    const QSignalBlocker quiet(slider_);
    slider_->setValue(kSliderOne);
    Command(ui::command::kZoom, 0);
  });
  layout->addWidget(zoom_box);

  // Cursor: the ten move codes.
  //   \ (4)  / (6)  Max (8)
  //   << (1) < (0)  > (2)  >> (3)
  //   / (5)  \ (7)  Min (9)
  auto* cursor_box = Group(content_, TextKey::kPanelCursor);
  auto* cursor_layout = new QGridLayout(cursor_box);
  static const struct {
    int code, row, column;
    TextKey tip;
  } kCursorButtons[] = {
      {4, 0, 0, TextKey::kPanelPeakLeft},       {6, 0, 1, TextKey::kPanelPeakRight},
      {8, 0, 2, TextKey::kPanelMaximum},        {1, 1, 0, TextKey::kPanelLargeStepLeft},
      {0, 1, 1, TextKey::kPanelStepLeft},       {2, 1, 2, TextKey::kPanelStepRight},
      {3, 1, 3, TextKey::kPanelLargeStepRight}, {5, 2, 0, TextKey::kPanelValleyLeft},
      {7, 2, 1, TextKey::kPanelValleyRight},    {9, 2, 2, TextKey::kPanelMinimum},
  };
  for (const auto& b : kCursorButtons) {
    auto* button = new QToolButton(cursor_box);
    button->setObjectName(QStringLiteral("cursor_%1").arg(b.code));
    button->setIcon(ui::GetCursorButtonIcon(b.code));
    button->setToolTip(Text(b.tip));
    button->setAutoRaise(false);
    const int code = b.code;
    connect(button, &QToolButton::clicked, this,
            [this, code] { Command(ui::command::kMoveCursor, code); });
    cursor_layout->addWidget(button, b.row, b.column);
  }
  layout->addWidget(cursor_box);

  // Reading: the readout list.
  auto* reading_box = Group(content_, TextKey::kPanelReading);
  auto* reading_layout = new QGridLayout(reading_box);
  static const struct {
    int operation;
    TextKey tip;
  } kReadoutButtons[] = {
      {0, TextKey::kPanelCollect}, {2, TextKey::kPanelAuto}, {3, TextKey::kPanelList},
      {4, TextKey::kPanelClear},   {5, TextKey::kPanelSave}, {6, TextKey::kPanelCopy},
  };
  int column = 0;
  for (const auto& b : kReadoutButtons) {
    auto* button = new QToolButton(reading_box);
    button->setObjectName(QStringLiteral("readout_%1").arg(b.operation));
    button->setIcon(ui::GetReadoutButtonIcon(b.operation));
    button->setToolTip(Text(b.tip));
    const int operation = b.operation;
    connect(button, &QToolButton::clicked, this,
            [this, operation] { Command(ui::command::kReadoutList, operation); });
    button->setEnabled(operation != 2);  // auto collects nothing yet
    if (operation != 2) reading_buttons_.push_back(button);
    reading_layout->addWidget(button, column / 3, column % 3);
    ++column;
  }
  reading_layout->addWidget(new QLabel(Text(TextKey::kPanelLabelType), reading_box), 2, 0, 1, 3);
  label_type_ = new QComboBox(reading_box);
  label_type_->setObjectName(QStringLiteral("label_type"));
  for (TextKey label : {TextKey::kPanelLabelLine, TextKey::kPanelLabelX, TextKey::kPanelLabelY,
                        TextKey::kPanelLabelXY, TextKey::kPanelLabelIndex}) {
    label_type_->addItem(Text(label));
  }
  label_type_->setCurrentIndex(4);
  connect(label_type_, &QComboBox::activated, this,
          [this](int index) { Command(ui::command::kMarkStyle, index); });
  reading_layout->addWidget(label_type_, 3, 0, 1, 3);
  reading_layout->addWidget(new QLabel(Text(TextKey::kPanelSortBy), reading_box), 4, 0, 1, 3);
  sort_by_ = new QComboBox(reading_box);
  sort_by_->setObjectName(QStringLiteral("sort_by"));
  sort_by_->addItem(Text(TextKey::kPanelSortX));
  sort_by_->addItem(Text(TextKey::kPanelSortY));
  connect(sort_by_, &QComboBox::activated, this,
          [this](int index) { Notice(ui::notice::kSortOrder, index); });
  reading_layout->addWidget(sort_by_, 5, 0, 1, 3);
  layout->addWidget(reading_box);

  if (kind == core::CountingKind::kRainflow) {
    // Fatigue: the two life estimates of the histogram the window holds.
    auto* fatigue_box = Group(content_, TextKey::kPanelFatigue);
    auto* fatigue_layout = new QVBoxLayout(fatigue_box);
    fitting_ = new QPushButton(Text(TextKey::kPanelFittingEstimate), fatigue_box);
    fitting_->setObjectName(QStringLiteral("fitting_estimate"));
    actual_ = new QPushButton(Text(TextKey::kPanelActualEstimate), fatigue_box);
    actual_->setObjectName(QStringLiteral("actual_estimate"));
    connect(fitting_, &QPushButton::clicked, this,
            [this] { Notice(ui::notice::kFittingEstimate, 0); });
    connect(actual_, &QPushButton::clicked, this,
            [this] { Notice(ui::notice::kActualEstimate, 0); });
    fatigue_layout->addWidget(fitting_);
    fatigue_layout->addWidget(actual_);
    layout->addWidget(fatigue_box);
    fitting_->setEnabled(false);
    actual_->setEnabled(false);
  }

  follow_ = new QCheckBox(Text(TextKey::kPanelFollow), content_);
  follow_->setObjectName(QStringLiteral("follow"));
  follow_->setToolTip(Text(TextKey::kPanelFollowTip));
  connect(follow_, &QCheckBox::clicked, this,
          [this](bool checked) { Notice(ui::notice::kFollow, checked ? 1 : 2); });
  layout->addWidget(follow_);
  setup_ = new QPushButton(Text(TextKey::kPanelSetup), content_);
  setup_->setObjectName(QStringLiteral("setup"));
  connect(setup_, &QPushButton::clicked, this, [this] { Notice(ui::notice::kSetup, 3); });
  layout->addWidget(setup_);
  select_node_ = new QPushButton(Text(TextKey::kPanelSelectNode), content_);
  select_node_->setObjectName(QStringLiteral("select_node"));
  connect(select_node_, &QPushButton::clicked, this, [this] { Notice(ui::notice::kReload, 0); });
  layout->addWidget(select_node_);
  layout->addStretch(1);
  // A window lower than the panel scrolls it rather than cutting its last controls off.
  scroll_ = new QScrollArea(this);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll_->setWidgetResizable(true);
  content_->setAutoFillBackground(true);
  content_->setBackgroundRole(QPalette::Window);
  scroll_->setWidget(content_);
  outer->addWidget(scroll_, 1);
  // The panel's buttons leave the keys to the view.
  for (QWidget* child : findChildren<QWidget*>()) {
    if (qobject_cast<QAbstractButton*>(child) != nullptr) child->setFocusPolicy(Qt::NoFocus);
  }
}

QSize ControlPanel::sizeHint() const {
  QSize hint = QWidget::sizeHint();
  if (collapsed_) return hint;
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  hint.setWidth(std::max(hint.width(), content_->sizeHint().width() + bar + 8));
  return hint;
}

CountingView* ControlPanel::View() const {
  auto* frame = frame_.data();
  if (frame == nullptr) return nullptr;
  for (QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (auto* view = qobject_cast<CountingView*>(child)) return view;
  }
  return nullptr;
}

void ControlPanel::Command(quint32 code, qintptr value) {
  ui::SendHostCommand(frame_, code, value);
}

void ControlPanel::Notice(quint32 code, qintptr value) { ui::PostHostNotice(frame_, code, value); }

void ControlPanel::StepSlider(double factor) {
  // Truncated, then kept in range by the slider: from 200 "-" gives 181 and "+" then 199.
  const int asked = static_cast<int>(slider_->value() * factor);
  const QSignalBlocker quiet(slider_);
  slider_->setValue(asked);
  Notice(ui::notice::kZoomSlider, slider_->value());
}

void ControlPanel::HandleKey(qintptr character) {
  CountingView* view = View();
  if (view == nullptr) return;
  const auto& state = view->view_state();
  const bool old_layout =
      view->result_mode() && view->result() && core::NodeOf(*view->result()).old_format;
  switch (character) {
    case 'K':
    case 'k':
      if (old_layout) return;
      full_waveform_->setChecked(!state.inset_shown);
      Notice(ui::notice::kInset, full_waveform_->isChecked() ? 1 : 0);
      return;
    case 'W':
    case 'w':
      if (one_way_ == nullptr) return;
      (state.one_way ? two_way_ : one_way_)->setChecked(true);
      Notice(ui::notice::kOneWay, state.one_way ? 0 : 1);
      return;
    case 'T':
    case 't':
      if (separate_ == nullptr) return;
      (state.separately ? together_ : separate_)->setChecked(true);
      Notice(ui::notice::kSeparately, state.separately ? 0 : 1);
      return;
    case 'Y':
    case 'y': {
      const int next = (curve_style_->currentIndex() + 1) % kCurveStyles;
      curve_style_->setCurrentIndex(next);
      Notice(ui::notice::kCurveType, next);
      return;
    }
    default:
      TakeOverView();
  }
}

void ControlPanel::TakeOverView() {
  CountingView* view = View();
  if (view == nullptr) return;
  const auto& state = view->view_state();
  {
    const QSignalBlocker quiet(slider_);
    const double position = std::log10(state.zoom) * 100.0 + 200.0;
    slider_->setValue(static_cast<int>(std::lround(
        std::clamp(position, static_cast<double>(kSliderLow), static_cast<double>(kSliderHigh)))));
  }
  // The readout list is not read or changed while a pass runs.
  for (QToolButton* button : reading_buttons_) button->setEnabled(!view->busy());
  full_waveform_->setChecked(state.inset_shown);
  if (one_way_ != nullptr) (state.one_way ? one_way_ : two_way_)->setChecked(true);
  if (separate_ != nullptr) (state.separately ? separate_ : together_)->setChecked(true);
  if (matrix_ != nullptr) matrix_->setChecked(view->matrix_shown());
  if (from_to_ != nullptr) from_to_->setChecked(view->from_to_shown());
  log_counts_->setChecked(state.log_counts);
  if (fitting_ != nullptr) {
    // No estimate while a pass runs, nor without counted cycles.
    const bool estimable = !view->busy() && view->HasCycles();
    fitting_->setEnabled(estimable);
    actual_->setEnabled(estimable);
  }
  follow_->setChecked(view->following());
  if (view->result_mode()) {
    full_waveform_->setEnabled(!(view->result() && core::NodeOf(*view->result()).old_format));
    follow_->hide();
    setup_->hide();
    select_node_->hide();
  }
}

void ControlPanel::ToggleCollapsed() {
  collapsed_ = !collapsed_;
  if (collapsed_) {
    expanded_width_ = std::max(width(), sizeHint().width());
    scroll_->hide();
    hide_show_->setArrowType(Qt::RightArrow);
    Notice(ui::notice::kPanelWidth, hide_show_->width() + 8);
  } else {
    scroll_->show();
    hide_show_->setArrowType(Qt::LeftArrow);
    Notice(ui::notice::kPanelWidth, expanded_width_);
  }
}

}  // namespace torvwy::module
