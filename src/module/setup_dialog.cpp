// The counting setup dialog.
#include "module/setup_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/run/counting_plan.h"
#include "core/services/number_format.h"
#include "core/services/text.h"
#include "module/module_state.h"
#include "ui/error_message.h"

namespace torvwy::module {
namespace {

std::optional<int> g_answer_for_testing;

QString Number(double value) { return QString::fromStdString(core::FormatNumber(value, 0)); }

QString Title(core::CountingKind kind) {
  switch (kind) {
    case core::CountingKind::kPeak:
      return Text(TextKey::kSetupPeakTitle);
    case core::CountingKind::kRange:
      return Text(TextKey::kSetupRangeTitle);
    case core::CountingKind::kCrossings:
      return Text(TextKey::kSetupCrossingTitle);
    case core::CountingKind::kRangePairs:
      return Text(TextKey::kSetupRangePairTitle);
    case core::CountingKind::kTimeAtLevel:
      return Text(TextKey::kSetupTimeAtLevelTitle);
    default:
      break;
  }
  return Text(TextKey::kSetupRainflowTitle);
}

}  // namespace

void SetupDialog::Show(SetupDialog* dialog) {
  if (g_answer_for_testing) {
    const int answer = *g_answer_for_testing;
    QTimer::singleShot(0, dialog, [dialog, answer] {
      if (answer == QDialog::Accepted) {
        dialog->accept();
      } else {
        dialog->done(answer);
      }
    });
    return;
  }
  dialog->open();
}

void SetupDialog::SetAnswerForTesting(std::optional<int> answer) { g_answer_for_testing = answer; }

SetupDialog::SetupDialog(const core::CountingPlan& shown, double ad_range_value, const QString& eu,
                         QWidget* parent)
    : QDialog(parent), parameters_(shown.parameters), kind_(shown.kind) {
  const core::CountingKind kind = shown.kind;
  const core::CountingParameters& parameters = shown.parameters;
  setWindowTitle(Title(kind));
  auto* layout = new QVBoxLayout(this);

  // Analysis range: Full and By Block; By Time and its fields exist but are never shown.
  auto* range_box = new QGroupBox(Text(TextKey::kSetupAnalysisRange), this);
  auto* range_layout = new QGridLayout(range_box);
  range_ = new QButtonGroup(this);
  const TextKey kRanges[] = {TextKey::kSetupRangeFull, TextKey::kSetupRangeByTime,
                             TextKey::kSetupRangeByBlock};
  for (int i = 0; i < 3; ++i) {
    auto* radio = new QRadioButton(Text(kRanges[i]), range_box);
    range_->addButton(radio, i);
    range_layout->addWidget(radio, i, 0);
    radio->setVisible(i != core::kRangeByTime);
  }
  time_from_ = new QLineEdit(QString::number(parameters.time_from), range_box);
  time_to_ = new QLineEdit(QString::number(parameters.time_to), range_box);
  time_from_->setVisible(false);
  time_to_->setVisible(false);
  block_from_ = new QLineEdit(QString::number(parameters.block_from), range_box);
  block_to_ = new QLineEdit(QString::number(parameters.block_to), range_box);
  auto* blocks = new QHBoxLayout;
  blocks->addWidget(block_from_);
  blocks->addWidget(new QLabel(QStringLiteral("--"), range_box));
  blocks->addWidget(block_to_);
  blocks->addWidget(new QLabel(Text(TextKey::kSetupBlock), range_box));
  range_layout->addLayout(blocks, 2, 1);
  layout->addWidget(range_box);

  // Amplitude range.
  auto* amplitude_box = new QGroupBox(Text(TextKey::kSetupAmplitudeRange), this);
  auto* amplitude_layout = new QGridLayout(amplitude_box);
  amplitude_ = new QButtonGroup(this);
  const TextKey kAmplitudes[] = {TextKey::kSetupAdInputRange, TextKey::kSetupMaximumValue,
                                 TextKey::kSetupSpecify};
  for (int i = 0; i < 3; ++i) {
    auto* radio = new QRadioButton(Text(kAmplitudes[i]), amplitude_box);
    amplitude_->addButton(radio, i);
    amplitude_layout->addWidget(radio, i, 0);
  }
  amplitude_layout->addWidget(
      new QLabel(QStringLiteral("+/- ") + Number(ad_range_value) + QStringLiteral(" ") + eu,
                 amplitude_box),
      0, 1);
  set_value_ = new QLineEdit(Number(parameters.set_value), amplitude_box);
  auto* set_row = new QHBoxLayout;
  set_row->addWidget(new QLabel(QStringLiteral("+/-"), amplitude_box));
  set_row->addWidget(set_value_);
  set_row->addWidget(new QLabel(eu, amplitude_box));
  amplitude_layout->addLayout(set_row, 2, 1);
  layout->addWidget(amplitude_box);

  // Partitions: an edit with an up-down spin control 2..2000.
  auto* n_row = new QHBoxLayout;
  auto* n_label = new QLabel(Text(TextKey::kSetupPartitions), this);
  partitions_ = new QLineEdit(QString::number(parameters.partitions), this);
  n_label->setBuddy(partitions_);
  spin_up_ = new QToolButton(this);
  spin_up_->setArrowType(Qt::UpArrow);
  spin_down_ = new QToolButton(this);
  spin_down_->setArrowType(Qt::DownArrow);
  connect(spin_up_, &QToolButton::clicked, this, [this] { Spin(1); });
  connect(spin_down_, &QToolButton::clicked, this, [this] { Spin(-1); });
  n_row->addWidget(n_label);
  n_row->addWidget(partitions_);
  n_row->addWidget(spin_up_);
  n_row->addWidget(spin_down_);
  n_row->addWidget(new QLabel(QStringLiteral("(2-2000)"), this));
  n_row->addStretch(1);
  layout->addLayout(n_row);
  if (kind == core::CountingKind::kCrossings) AddLevelFields(*layout, shown.crossings, eu);
  AddConventionFields(*layout, shown, eu);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(Text(TextKey::kOkAccelerated));
  buttons->button(QDialogButtonBox::Cancel)->setText(Text(TextKey::kCancelAccelerated));
  connect(buttons, &QDialogButtonBox::accepted, this, &SetupDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SetupDialog::reject);
  layout->addWidget(buttons);

  if (QAbstractButton* b = range_->button(parameters.range_mode)) b->setChecked(true);
  if (QAbstractButton* b = amplitude_->button(parameters.amplitude_mode)) b->setChecked(true);
  connect(range_, &QButtonGroup::idClicked, this, &SetupDialog::UpdateEnabling);
  connect(amplitude_, &QButtonGroup::idClicked, this, &SetupDialog::UpdateEnabling);
  UpdateEnabling();
}

void SetupDialog::AddLevelFields(QVBoxLayout& layout, const core::CrossingOptions& crossings,
                                 const QString& eu) {
  auto* box = new QGroupBox(Text(TextKey::kSetupLevels), this);
  auto* grid = new QGridLayout(box);
  QString list;
  for (const double level : crossings.level_list) {
    if (!list.isEmpty()) list += QLatin1Char(',');
    list += QString::fromStdString(core::ShortestText(level));
  }
  level_list_ = new QLineEdit(list, box);
  level_list_->setPlaceholderText(Text(TextKey::kSetupLevelListHint));
  reference_ = new QLineEdit(QString::fromStdString(core::ShortestText(crossings.reference)), box);
  gate_ = new QLineEdit(QString::fromStdString(core::ShortestText(crossings.gate)), box);
  direction_ = new QComboBox(box);
  for (const auto direction : {core::CrossingDirection::kAstm, core::CrossingDirection::kUp,
                               core::CrossingDirection::kDown, core::CrossingDirection::kBoth}) {
    const auto name = core::CrossingDirectionName(direction);
    direction_->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    if (direction == crossings.direction) direction_->setCurrentIndex(direction_->count() - 1);
  }
  const std::pair<TextKey, QWidget*> rows[] = {{TextKey::kSetupLevelList, level_list_},
                                               {TextKey::kSetupReference, reference_},
                                               {TextKey::kSetupDirection, direction_},
                                               {TextKey::kSetupGate, gate_}};
  int row = 0;
  for (const auto& [key, field] : rows) {
    auto* label = new QLabel(Text(key), box);
    label->setBuddy(field);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    if (field != direction_) grid->addWidget(new QLabel(eu, box), row, 2);
    ++row;
  }
  layout.addWidget(box);
}

void SetupDialog::AddConventionFields(QVBoxLayout& layout, const core::CountingPlan& shown,
                                      const QString& eu) {
  const bool residue = kind_ == core::CountingKind::kRainflow;
  // Level crossings have their gate among the levels; time at level takes none.
  const bool gate = shown.method().takes_gate && kind_ != core::CountingKind::kCrossings;
  if (!residue && !gate) return;
  auto* grid = new QGridLayout;
  int row = 0;
  if (residue) {
    // The names the command line and the result files use.
    residue_ = new QComboBox(this);
    for (const std::string_view name : core::kResidueMethodNames) {
      residue_->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    residue_->setCurrentIndex(static_cast<int>(shown.residue.value_or(core::ResidueMethod::kHalf)));
    auto* label = new QLabel(Text(TextKey::kSetupResidue), this);
    label->setBuddy(residue_);
    grid->addWidget(label, row, 0);
    grid->addWidget(residue_, row, 1);
    ++row;
  }
  if (gate) {
    gate_ = new QLineEdit(QString::fromStdString(core::ShortestText(shown.gate)), this);
    auto* label = new QLabel(Text(TextKey::kSetupGate), this);
    label->setBuddy(gate_);
    grid->addWidget(label, row, 0);
    grid->addWidget(gate_, row, 1);
    grid->addWidget(new QLabel(eu, this), row, 2);
  }
  grid->setColumnStretch(3, 1);
  layout.addLayout(grid);
}

QLineEdit* SetupDialog::FieldNamedIn(const std::string& detail) const {
  // A refusal names the option of the field, as the command line has it.
  const std::pair<const char*, QLineEdit*> fields[] = {
      {"--reference", reference_}, {"--gate", gate_}, {"--level-list", level_list_}};
  for (const auto& [option, field] : fields) {
    if (field != nullptr && detail.find(option) != std::string::npos) return field;
  }
  return nullptr;
}

void SetupDialog::UpdateEnabling() {
  const int range = range_->checkedId();
  time_from_->setEnabled(range == core::kRangeByTime);
  time_to_->setEnabled(range == core::kRangeByTime);
  block_from_->setEnabled(range == core::kRangeByBlock);
  block_to_->setEnabled(range == core::kRangeByBlock);
  set_value_->setEnabled(amplitude_->checkedId() == core::kAmplitudeSetValue);
}

void SetupDialog::Spin(int step) {
  // The spin control moves within 2..2000 from whatever the field holds.
  const auto typed = core::ParseInt32(partitions_->text().toStdString());
  const int64_t from = typed ? *typed : kSpinLow;
  const int64_t to = std::clamp<int64_t>(from + step, kSpinLow, kSpinHigh);
  partitions_->setText(QString::number(to));
}

void SetupDialog::accept() {
  auto integer = [this](QLineEdit* field) {
    auto value = core::ParseInt32(field->text().toStdString());
    if (!value) {
      field->setFocus();
      field->selectAll();
      ShowMessage(this, Text(TextKey::kEnterInteger));
    }
    return value;
  };
  auto real = [this](QLineEdit* field) {
    auto value = core::ParseFiniteDouble(field->text().toStdString());
    if (!value) {
      field->setFocus();
      field->selectAll();
      ShowMessage(this, Text(TextKey::kEnterNumber));
    }
    return value;
  };
  const auto from = integer(block_from_);
  if (!from) return;
  const auto to = integer(block_to_);
  if (!to) return;
  const auto time_from = real(time_from_);
  if (!time_from) return;
  const auto time_to = real(time_to_);
  if (!time_to) return;
  const auto n = integer(partitions_);
  if (!n) return;
  const auto set_value = real(set_value_);
  if (!set_value) return;
  core::CountingPlan asked;
  asked.kind = kind_;
  asked.blocks = core::BlockRange{*from, *to};
  asked.times = core::TimeRange{*time_from, *time_to};
  asked.parameters = parameters_;
  asked.parameters.partitions = *n;
  asked.parameters.set_value = *set_value;
  asked.parameters.range_mode =
      range_->checkedId() >= 0 ? range_->checkedId() : parameters_.range_mode;
  asked.parameters.amplitude_mode =
      amplitude_->checkedId() >= 0 ? amplitude_->checkedId() : parameters_.amplitude_mode;
  if (kind_ == core::CountingKind::kCrossings) {
    const std::string list = level_list_->text().trimmed().toStdString();
    const std::string reference = reference_->text().trimmed().toStdString();
    const std::string gate = gate_->text().trimmed().toStdString();
    const std::string direction = direction_->currentText().toStdString();
    core::CrossingTexts texts;
    texts.level_list = list;
    texts.reference = reference;
    texts.direction = direction;
    texts.gate = gate;
    auto crossings = core::ParseCrossingTexts(texts);
    if (!crossings) {
      QLineEdit* field = FieldNamedIn(crossings.error().detail);
      if (field == nullptr) field = level_list_;
      field->setFocus();
      field->selectAll();
      ShowMessage(this, ui::ErrorMessage(crossings.error()));
      return;
    }
    asked.crossings = std::move(*crossings);
  } else {
    // The residue method and the gate as the command line reads them, in its words.
    const std::string residue =
        residue_ != nullptr ? residue_->currentText().toStdString() : std::string();
    const std::string gate =
        gate_ != nullptr ? gate_->text().trimmed().toStdString() : std::string();
    if (auto ok = core::ApplyConventionTexts({residue, gate}, asked); !ok) {
      QLineEdit* field = FieldNamedIn(ok.error().detail);
      if (field != nullptr) {
        field->setFocus();
        field->selectAll();
      }
      ShowMessage(this, ui::ErrorMessage(ok.error()));
      return;
    }
  }
  // The plan's own check, before anything is counted: a 0 or a bad amplitude keeps the dialog.
  auto plan = core::PlanCounting(asked);
  if (!plan) {
    QLineEdit* field = FieldNamedIn(plan.error().detail);
    if (field == nullptr) {
      field = asked.parameters.partitions < core::kMinPartitions ? partitions_ : set_value_;
    }
    field->setFocus();
    field->selectAll();
    ShowMessage(this, ui::ErrorMessage(plan.error()));
    return;
  }
  plan_ = std::move(*plan);
  QDialog::accept();
}

}  // namespace torvwy::module
