// The statistics parameter dialog.
#include "module/statistics_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "core/services/code_range.h"
#include "core/services/recent_list.h"
#include "module/module_state.h"
#include "ui/message_box.h"
#include "ui/select_node_dialog.h"

namespace torvwy::module {
namespace {

QComboBox* EditableCombo(const std::string& text, const char* recent_list) {
  auto* combo = new QComboBox;
  combo->setEditable(true);
  combo->setInsertPolicy(QComboBox::NoInsert);
  combo->setMinimumContentsLength(24);
  combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  if (recent_list != nullptr) ui::LoadRecentList(combo, core::RecentListPath(recent_list));
  combo->setEditText(QString::fromStdString(text));
  return combo;
}

QPushButton* BrowseButton() {
  auto* button = new QPushButton(QStringLiteral("..."));
  button->setAutoDefault(false);
  button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
  return button;
}

std::string TextOf(const QComboBox* combo) { return combo->currentText().trimmed().toStdString(); }

}  // namespace

StatisticsDialog::StatisticsDialog(QWidget* parent, const core::StatisticsParameters& start)
    : QDialog(parent), start_(start) {
  setWindowTitle(Text(TextKey::kStatDialogTitle));

  auto* content = new QGroupBox(Text(TextKey::kStatDialogContent));
  amplitude_ = new QRadioButton(Text(TextKey::kStatDialogAmplitude));
  peak_peak_ = new QRadioButton(Text(TextKey::kStatDialogPeakPeak));
  auto* group = new QButtonGroup(this);
  group->addButton(amplitude_, core::kStatAmplitudeIndices);
  group->addButton(peak_peak_, core::kStatPeakPeaks);
  amplitude_->setChecked(true);  // the content is never pre-set
  number_label_ = new QLabel(Text(TextKey::kStatDialogNumber));
  number_ = new QSpinBox;
  // The spin keeps N within what the batch accepts, typed or stepped.
  number_->setRange(core::kMinPeakPeakCount, core::kMaxPeakPeakCount);
  number_->setValue(start.peak_peak_count);
  number_label_->setBuddy(number_);
  auto* content_layout = new QGridLayout(content);
  content_layout->addWidget(amplitude_, 0, 0, 1, 3);
  content_layout->addWidget(peak_peak_, 1, 0, 1, 3);
  content_layout->addWidget(number_label_, 2, 1);
  content_layout->addWidget(number_, 2, 2);
  content_layout->setColumnMinimumWidth(0, 16);
  connect(group, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) ContentChanged();
  });

  auto* range = new QGroupBox(Text(TextKey::kStatDialogRange));
  test_name_ = EditableCombo(start.test_name, core::kRecentTestNames);
  code_range_ = EditableCombo(start.code_range, core::kRecentTestCodes);
  node_range_ = EditableCombo(start.node_range, core::kRecentNodeNames);
  data_path_ = EditableCombo(start.data_path, core::kRecentPaths);
  result_path_ = EditableCombo(start.result_path, core::kRecentPaths);
  auto* pick_file = BrowseButton();
  auto* browse_data = BrowseButton();
  auto* browse_result = BrowseButton();
  pick_file->setObjectName(QStringLiteral("pickWaveformFile"));
  browse_data->setObjectName(QStringLiteral("browseData"));
  browse_result->setObjectName(QStringLiteral("browseResult"));
  connect(pick_file, &QPushButton::clicked, this, &StatisticsDialog::PickWaveformFile);
  connect(browse_data, &QPushButton::clicked, this, [this] { BrowseFolder(data_path_); });
  connect(browse_result, &QPushButton::clicked, this, [this] { BrowseFolder(result_path_); });
  auto* range_layout = new QGridLayout(range);
  int row = 0;
  auto add = [&](const QString& label, QComboBox* combo, QPushButton* button) {
    auto* caption = new QLabel(label);
    caption->setBuddy(combo);
    range_layout->addWidget(caption, row, 0);
    range_layout->addWidget(combo, row, 1);
    if (button != nullptr) range_layout->addWidget(button, row, 2);
    ++row;
  };
  add(Text(TextKey::kTestNameField), test_name_, pick_file);
  add(Text(TextKey::kTestCodeField), code_range_, nullptr);
  add(Text(TextKey::kStatDialogNodeName), node_range_, nullptr);
  range_layout->addWidget(new QLabel(Text(TextKey::kStatDialogRangeHint)), row++, 1, 1, 2);
  add(Text(TextKey::kDataPathField), data_path_, browse_data);
  add(Text(TextKey::kResultPathField), result_path_, browse_result);
  range_layout->setColumnStretch(1, 1);

  auto* ok = new QPushButton(Text(TextKey::kOk));
  auto* cancel = new QPushButton(Text(TextKey::kCancel));
  ok->setObjectName(QStringLiteral("ok"));
  cancel->setObjectName(QStringLiteral("cancel"));
  ok->setDefault(true);
  cancel->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addWidget(content, 1);
  top->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(range);
  ContentChanged();
}

void StatisticsDialog::ContentChanged() {
  const bool peak_peaks = peak_peak_->isChecked();
  number_label_->setEnabled(peak_peaks);
  number_->setEnabled(peak_peaks);
}

core::StatisticsParameters StatisticsDialog::parameters() const {
  core::StatisticsParameters parameters = start_;
  parameters.content = peak_peak_->isChecked() ? core::kStatPeakPeaks : core::kStatAmplitudeIndices;
  parameters.peak_peak_count = number_->value();
  parameters.test_name = TextOf(test_name_);
  parameters.code_range = TextOf(code_range_);
  parameters.node_range = TextOf(node_range_);
  parameters.data_path = TextOf(data_path_);
  parameters.result_path = TextOf(result_path_);
  return parameters;
}

bool StatisticsDialog::FillFromWaveformFile(const QString& path) {
  const auto fields = core::FieldsOfWaveformFile(path.toStdString());
  if (!fields) return false;
  core::StatisticsParameters filled = parameters();
  core::ApplyWaveformFile(*fields, filled);
  data_path_->setEditText(QString::fromStdString(filled.data_path));
  result_path_->setEditText(QString::fromStdString(filled.result_path));
  test_name_->setEditText(QString::fromStdString(filled.test_name));
  code_range_->setEditText(QString::fromStdString(filled.code_range));
  node_range_->setEditText(QString::fromStdString(filled.node_range));
  return true;
}

void StatisticsDialog::PickWaveformFile() {
  const QString file = QFileDialog::getOpenFileName(this, QString(), data_path_->currentText(),
                                                    Text(TextKey::kStatDialogWaveformFilter));
  if (!file.isEmpty()) FillFromWaveformFile(file);
}

void StatisticsDialog::BrowseFolder(QComboBox* combo) {
  const QString folder = QFileDialog::getExistingDirectory(this, QString(), combo->currentText());
  if (!folder.isEmpty()) combo->setEditText(folder);
}

void StatisticsDialog::accept() {
  const core::StatisticsParameters chosen = parameters();
  auto codes = core::ExpandCodeRange(chosen.code_range);
  auto nodes = core::ExpandCodeRange(chosen.node_range);
  if (!codes || !nodes) {
    ShowMessage(this, Text(TextKey::kStatDialogBadRange));
    (!codes ? code_range_ : node_range_)->setFocus();
    return;
  }
  std::error_code error;
  if (chosen.data_path.empty() || !std::filesystem::is_directory(chosen.data_path, error)) {
    ShowMessage(this,
                Text(TextKey::kStatDialogNoDataFolder) + QString::fromStdString(chosen.data_path));
    data_path_->setFocus();
    return;
  }
  const size_t pairs = codes->size() * nodes->size();
  if (pairs > kPairsWithoutAsking &&
      !ui::AskYesNo(this, Text(TextKey::kStatDialogManyPairs).arg(pairs))) {
    return;
  }
  QDialog::accept();
}

}  // namespace torvwy::module
