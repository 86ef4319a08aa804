// The test and node chooser, recent lists in combo boxes, and the animated show.
#include "ui/select_node_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "core/services/code_range.h"
#include "core/services/folders.h"
#include "core/services/names.h"
#include "core/services/recent_list.h"
#include "core/services/text.h"
#include "core/stats/statistics_parameters.h"
#include "ui/error_message.h"
#include "ui/language.h"
#include "ui/message_box.h"

namespace torvwy::ui {
namespace fs = std::filesystem;
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

/// Numeric names in numeric order, before the others in text order.
bool NodeLess(const std::string& a, const std::string& b) {
  auto numeric = [](const std::string& s) {
    return !s.empty() && s.size() < 10 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  const bool na = numeric(a), nb = numeric(b);
  if (na && nb) return core::ParseInt(a) < core::ParseInt(b);
  if (na != nb) return na;
  return a < b;
}

}  // namespace

std::vector<std::string> ListNodes(const std::string& data_path, const std::string& test_name,
                                   const std::string& test_code) {
  std::vector<std::string> nodes;
  const std::string prefix = test_name + test_code + "#";
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(data_path, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0) continue;
    if (Lower(name.substr(name.size() - 4)) != ".tsp") continue;
    nodes.push_back(name.substr(prefix.size(), name.size() - prefix.size() - 4));
  }
  std::sort(nodes.begin(), nodes.end(), NodeLess);
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  return nodes;
}

std::vector<std::string> ListResultFiles(const std::string& result_path) {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(result_path, error)) {
    const std::string extension = Lower(entry.path().extension().string());
    if (extension == ".pcm" || extension == ".dcm" || extension == ".rfl") {
      files.push_back(entry.path().filename().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

core::TestContext ContextOfChoice(const NodeChoice& choice) {
  core::TestContext context;
  context.result_mode = choice.result_mode ? 1 : 0;
  context.test_name = choice.test_name;
  context.test_code = choice.test_code;
  context.data_path = choice.data_path;
  context.result_path = choice.result_path;
  if (choice.result_mode) {
    context.result_count = static_cast<int32_t>(choice.names.size());
    context.result_names = choice.names;
  } else {
    context.node_list = choice.names;
    if (!choice.names.empty()) context.node_name = choice.names.front();
  }
  return context;
}

SelectNodeDialog::SelectNodeDialog(QWidget* parent, bool several, bool results,
                                   const NodeChoice& start)
    : QDialog(parent), several_(several) {
  setWindowTitle(Text(TextKey::kSelectNodeTitle));
  auto* form = new QFormLayout;
  data_path_ = new QComboBox(this);
  data_path_->setEditable(true);
  LoadRecentList(data_path_, core::RecentListPath(core::kRecentPaths));
  data_path_->setCurrentText(QString::fromStdString(start.data_path));
  auto* browse = new QPushButton(QStringLiteral("..."), this);
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString folder =
        QFileDialog::getExistingDirectory(this, QString(), data_path_->currentText());
    if (!folder.isEmpty()) {
      data_path_->setCurrentText(folder);
      Refill();
    }
  });
  auto* data_row = new QHBoxLayout;
  data_row->addWidget(data_path_, 1);
  data_row->addWidget(browse);
  form->addRow(Text(TextKey::kDataPathField), data_row);
  test_name_ = new QComboBox(this);
  test_name_->setEditable(true);
  LoadRecentList(test_name_, core::RecentListPath(core::kRecentTestNames));
  test_name_->setCurrentText(QString::fromStdString(start.test_name));
  form->addRow(Text(TextKey::kTestNameField), test_name_);
  test_code_ = new QComboBox(this);
  test_code_->setEditable(true);
  LoadRecentList(test_code_, core::RecentListPath(core::kRecentTestCodes));
  test_code_->setCurrentText(QString::fromStdString(start.test_code));
  form->addRow(Text(TextKey::kTestCodeField), test_code_);
  result_path_ = new QLineEdit(QString::fromStdString(start.result_path), this);
  form->addRow(Text(TextKey::kResultPathField), result_path_);
  nodes_mode_ = new QRadioButton(Text(TextKey::kSelectNodes), this);
  results_mode_ = new QRadioButton(Text(TextKey::kSelectResultFiles), this);
  results_mode_->setEnabled(results);
  (start.result_mode && results ? results_mode_ : nodes_mode_)->setChecked(true);
  auto* mode_row = new QHBoxLayout;
  mode_row->addWidget(nodes_mode_);
  mode_row->addWidget(results_mode_);
  form->addRow(QString(), mode_row);
  list_ = new QListWidget(this);
  list_->setSelectionMode(several ? QAbstractItemView::ExtendedSelection
                                  : QAbstractItemView::SingleSelection);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &SelectNodeDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SelectNodeDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(list_, 1);
  layout->addWidget(buttons);
  for (QComboBox* combo : {data_path_, test_name_, test_code_}) {
    connect(combo, &QComboBox::currentTextChanged, this, [this] { Refill(); });
  }
  connect(nodes_mode_, &QRadioButton::toggled, this, [this] { Refill(); });
  connect(result_path_, &QLineEdit::textChanged, this, [this] { Refill(); });
  Refill();
  for (const std::string& name : start.names) {
    for (QListWidgetItem* item : list_->findItems(QString::fromStdString(name), Qt::MatchExactly)) {
      item->setSelected(true);
    }
  }
  if (list_->selectedItems().isEmpty() && list_->count() > 0) list_->item(0)->setSelected(true);
}

void SelectNodeDialog::Refill() {
  list_->clear();
  const std::vector<std::string> names = nodes_mode_->isChecked()
                                             ? ListNodes(data_path_->currentText().toStdString(),
                                                         test_name_->currentText().toStdString(),
                                                         test_code_->currentText().toStdString())
                                             : ListResultFiles(result_path_->text().toStdString());
  for (const std::string& name : names) list_->addItem(QString::fromStdString(name));
}

NodeChoice SelectNodeDialog::choice() const {
  NodeChoice choice;
  choice.data_path = data_path_->currentText().toStdString();
  choice.test_name = test_name_->currentText().trimmed().toStdString();
  choice.test_code = test_code_->currentText().trimmed().toStdString();
  choice.result_path = result_path_->text().toStdString();
  if (choice.result_path.empty()) choice.result_path = choice.data_path;
  choice.result_mode = results_mode_->isChecked();
  for (int i = 0; i < list_->count(); ++i) {
    if (list_->item(i)->isSelected()) choice.names.push_back(list_->item(i)->text().toStdString());
  }
  return choice;
}

void SelectNodeDialog::accept() {
  if (list_->selectedItems().isEmpty()) {
    ShowMessage(this, Text(TextKey::kSelectNothingChosen));
    return;
  }
  QDialog::accept();
}

bool SelectNodeDialogRun(QWidget* parent, bool several, bool results) {
  NodeChoice start;
  const fs::path file = core::GetHostFolder() / core::kParameterFileName;
  if (auto context = core::ReadAnalysisParameterFile(file)) {
    start.test_name = context->test_name;
    start.test_code = context->test_code;
    start.data_path = context->data_path;
    start.result_path = context->result_path;
    start.result_mode = context->result_mode != 0;
    start.names = start.result_mode ? context->result_names : context->node_list;
  }
  SelectNodeDialog dialog(parent, several, results, start);
  if (dialog.exec() != QDialog::Accepted) return false;
  if (auto ok = WriteChoice(dialog.choice()); !ok) {
    ShowMessage(parent, ErrorMessage(ok.error()));
    return false;
  }
  return true;
}

core::Status WriteChoice(const NodeChoice& choice) {
  auto host = core::EnsureHostFolder();
  if (!host) return host.error();
  const fs::path file = *host / core::kParameterFileName;
  if (auto ok = core::WriteAnalysisParameterFile(file, ContextOfChoice(choice)); !ok) return ok;
  // The statistics window starts on the same test: its nodes as a range text.
  core::StatisticsParameters parameters = core::ReadStatisticsParameters();
  parameters.data_path = choice.data_path;
  parameters.result_path = choice.result_path;
  parameters.test_name = choice.test_name;
  parameters.code_range = choice.test_code;
  if (!choice.result_mode) {
    std::string nodes;
    for (const std::string& name : choice.names) nodes += (nodes.empty() ? "" : ",") + name;
    if (core::ExpandCodeRange(nodes)) parameters.node_range = nodes;
  }
  if (core::ExpandCodeRange(parameters.code_range)) {
    if (auto ok = core::WriteStatisticsParameters(parameters); !ok) return ok;
  }
  // The recent lists are a convenience: a list that can't be written changes nothing else.
  (void)core::AddRecentEntry(core::RecentListPath(core::kRecentPaths), choice.data_path);
  (void)core::AddRecentEntry(core::RecentListPath(core::kRecentTestNames), choice.test_name);
  (void)core::AddRecentEntry(core::RecentListPath(core::kRecentTestCodes), choice.test_code);
  return core::Ok();
}

void LoadRecentList(QComboBox* combo, const fs::path& file) {
  const QString current = combo->currentText();
  combo->clear();
  for (const std::string& entry : core::LoadRecentList(file)) {
    combo->addItem(QString::fromStdString(entry));
  }
  combo->setCurrentText(current);
}

void AnimateShowWindow(QWidget* window, const QRect& rect, int steps) {
  if (window == nullptr) return;
  if (steps <= 1) {
    window->setGeometry(rect);
    window->show();
    return;
  }
  const QRect start(rect.center(), QSize(1, 1));
  window->setGeometry(start);
  window->show();
  auto* animation = new QPropertyAnimation(window, "geometry", window);
  animation->setDuration(steps * 10);
  animation->setStartValue(start);
  animation->setEndValue(rect);
  animation->start(QAbstractAnimation::DeleteWhenStopped);
}

}  // namespace torvwy::ui
