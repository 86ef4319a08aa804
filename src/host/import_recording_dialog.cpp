// The import dialog of recordings and its pass.
#include "host/import_recording_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <mutex>
#include <system_error>

#include "core/data/parameter_file.h"
#include "core/services/folders.h"
#include "core/services/number_format.h"
#include "core/services/text.h"
#include "ui/error_message.h"
#include "ui/language.h"
#include "ui/message_box.h"
#include "ui/progress_dialog.h"

namespace torvwy::host {
namespace {

namespace fs = std::filesystem;
using ui::Text;
using ui::TextKey;

enum Column { kChannelColumn, kLengthColumn, kRateColumn, kUnitColumn, kNodeColumn, kColumns };

std::mutex g_hook_mutex;
std::function<void(int64_t, int64_t)> g_progress_hook;

QString Q(const std::string& text) { return QString::fromStdString(text); }

/// A read-only cell.
QTableWidgetItem* Cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  return item;
}

}  // namespace

core::Result<std::vector<recording::PlannedNode>> PlanCheckedChannels(
    const std::vector<recording::ChannelInfo>& channels, const std::vector<bool>& checked,
    const std::vector<std::string>& typed_names) {
  recording::ChannelSelection selection;
  std::vector<size_t> picked;
  for (size_t i = 0; i < channels.size() && i < checked.size(); ++i) {
    if (!checked[i]) continue;
    picked.push_back(i);
    // PlanNodes takes a channel by its exact name first: a name that another channel has too
    // would pick the first of them.
    bool unique = true;
    for (size_t j = 0; j < channels.size() && unique; ++j) {
      unique = j == i || channels[j].name != channels[i].name;
    }
    selection.channels.push_back(unique ? channels[i].name : std::to_string(i + 1));
  }
  // No selection means every channel to PlanNodes.
  if (picked.empty()) return std::vector<recording::PlannedNode>{};
  auto plan = recording::PlanNodes(channels, selection);
  if (!plan) return plan;
  for (size_t k = 0; k < plan->size(); ++k) {
    if ((*plan)[k].channel != picked[k]) {
      // A number that is another channel's name as well: the channels as the file has them,
      // which take their suffixes among all of them.
      auto all = recording::PlanNodes(channels, {});
      if (!all) return all;
      plan->clear();
      for (const size_t index : picked) plan->push_back((*all)[index]);
      break;
    }
  }
  bool typed = false;
  for (const size_t index : picked)
    typed = typed || (index < typed_names.size() && !typed_names[index].empty());
  if (!typed) return plan;
  for (size_t k = 0; k < picked.size(); ++k) {
    const size_t index = picked[k];
    const bool given = index < typed_names.size() && !typed_names[index].empty();
    selection.node_names.push_back(given ? typed_names[index] : (*plan)[k].node);
  }
  auto named = recording::PlanNodes(channels, selection);
  if (!named) return named;
  for (size_t k = 0; k < named->size(); ++k) {
    (*named)[k].channel = picked[k];
    if (selection.node_names[k] == (*plan)[k].node) (*named)[k].note = (*plan)[k].note;
  }
  return named;
}

fs::path DefaultDataFolder(const fs::path& recording) {
  const auto context =
      core::ReadAnalysisParameterFile(core::GetHostFolder() / core::kParameterFileName);
  std::error_code ec;
  if (context && !context->data_path.empty() && fs::is_directory(context->data_path, ec)) {
    return context->data_path;
  }
  const fs::path folder = recording.parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

recording::ImportOutcome RunImportPass(recording::RecordingReader& file,
                                       const std::vector<recording::PlannedNode>& plan,
                                       const recording::ImportSettings& settings,
                                       const std::string& status, core::Progress& progress) {
  progress.SetStatus(status);
  return recording::ImportChannels(file, plan, settings, [&](int64_t done, int64_t total) {
    if (progress.upper() != total) progress.SetRange(0, total);
    progress.SetPos(done);
    std::function<void(int64_t, int64_t)> hook;
    {
      std::lock_guard lock(g_hook_mutex);
      hook = g_progress_hook;
    }
    if (hook) hook(done, total);
    return !progress.CheckCancelButton();
  });
}

QString DescribeImport(const recording::ImportOutcome& outcome, size_t planned,
                       const recording::ImportSettings& settings) {
  QString text = Text(TextKey::kImportWritten)
                     .arg(QString::number(outcome.written.size()), QString::number(planned),
                          Q(settings.data.string()));
  for (const recording::WrittenNode& node : outcome.written) {
    text += QLatin1Char('\n') + Text(TextKey::kImportNodeLine)
                                    .arg(Q(settings.test + settings.code + "#" + node.node),
                                         QString::number(node.samples),
                                         Q(core::ShortestText(node.rate_hz)), Q(node.eu));
  }
  if (outcome.failure) {
    text += QLatin1Char('\n') + Text(TextKey::kImportStopped) + ui::ErrorMessage(*outcome.failure);
  }
  return text;
}

void ImportRecordingDialog::SetProgressHookForTesting(
    std::function<void(int64_t done, int64_t total)> hook) {
  std::lock_guard lock(g_hook_mutex);
  g_progress_hook = std::move(hook);
}

ImportRecordingDialog::ImportRecordingDialog(QWidget* parent, recording::RecordingHandle file)
    : QDialog(parent), file_(std::move(file)) {
  setWindowTitle(Text(TextKey::kImportTitle));
  runner_ = new ui::PassRunner(this);
  const auto& channels = file_->channels();
  typed_names_.assign(channels.size(), {});
  shown_names_.assign(channels.size(), {});

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(
      new QLabel(Text(TextKey::kImportChannelsOf).arg(Q(file_->path().filename().string())), this));
  table_ = new QTableWidget(static_cast<int>(channels.size()), kColumns, this);
  table_->setObjectName(QStringLiteral("channels"));
  table_->setHorizontalHeaderLabels(
      {Text(TextKey::kImportColumnChannel), Text(TextKey::kImportColumnLength),
       Text(TextKey::kImportColumnRate), Text(TextKey::kImportColumnUnit),
       Text(TextKey::kImportColumnNode)});
  table_->verticalHeader()->hide();
  table_->setSelectionMode(QAbstractItemView::NoSelection);
  table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
  for (size_t i = 0; i < channels.size(); ++i) {
    const recording::ChannelInfo& channel = channels[i];
    const int row = static_cast<int>(i);
    auto* check = new QCheckBox(Q(core::EscapeControlCharacters(channel.name)), table_);
    check->setChecked(true);
    connect(check, &QCheckBox::toggled, this, &ImportRecordingDialog::Replan);
    checks_.push_back(check);
    table_->setItem(row, kChannelColumn, Cell({}));
    table_->setCellWidget(row, kChannelColumn, check);
    table_->setItem(row, kLengthColumn, Cell(QString::number(channel.length)));
    // A file that gives no rate leaves it to the field below.
    table_->setItem(row, kRateColumn,
                    Cell(channel.rate_hz > 0 ? Q(core::ShortestText(channel.rate_hz))
                                             : QString(QChar(0x2014))));
    table_->setItem(row, kUnitColumn, Cell(Q(channel.unit)));
    table_->setItem(row, kNodeColumn, new QTableWidgetItem);
  }
  table_->resizeColumnsToContents();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setMinimumWidth(560);
  layout->addWidget(table_);
  connect(table_, &QTableWidget::itemChanged, this, &ImportRecordingDialog::NodeEdited);
  if (!file_->skipped().empty()) {
    QStringList lines;
    for (const std::string& line : file_->skipped()) {
      lines << Text(TextKey::kImportNotImported) + Q(core::EscapeControlCharacters(line));
    }
    auto* skipped = new QLabel(lines.join(QLatin1Char('\n')), this);
    skipped->setObjectName(QStringLiteral("skipped"));
    layout->addWidget(skipped);
  }

  auto* form = new QFormLayout;
  test_name_ = new QLineEdit(this);
  test_name_->setObjectName(QStringLiteral("test_name"));
  test_code_ = new QLineEdit(this);
  test_code_->setObjectName(QStringLiteral("test_code"));
  form->addRow(Text(TextKey::kImportTestName), test_name_);
  form->addRow(Text(TextKey::kImportTestCode), test_code_);
  data_path_ = new QLineEdit(Q(DefaultDataFolder(file_->path()).string()), this);
  data_path_->setObjectName(QStringLiteral("data_path"));
  auto* browse = new QPushButton(QStringLiteral("..."), this);
  browse->setObjectName(QStringLiteral("browse"));
  connect(browse, &QPushButton::clicked, this, &ImportRecordingDialog::ChooseFolder);
  auto* folder_row = new QHBoxLayout;
  folder_row->addWidget(data_path_);
  folder_row->addWidget(browse);
  form->addRow(Text(TextKey::kImportDataFolder), folder_row);
  rate_ = new QLineEdit(this);
  rate_->setObjectName(QStringLiteral("rate"));
  rate_->setPlaceholderText(Text(TextKey::kImportRateFromFile));
  form->addRow(Text(TextKey::kImportRate), rate_);
  overwrite_ = new QCheckBox(Text(TextKey::kImportOverwrite), this);
  overwrite_->setObjectName(QStringLiteral("overwrite"));
  form->addRow(QString(), overwrite_);
  layout->addLayout(form);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(Text(TextKey::kOk));
  buttons->button(QDialogButtonBox::Cancel)->setText(Text(TextKey::kCancel));
  connect(buttons, &QDialogButtonBox::accepted, this, &ImportRecordingDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &ImportRecordingDialog::reject);
  layout->addWidget(buttons);
  Replan();
  test_name_->setFocus();
}

ImportRecordingDialog::~ImportRecordingDialog() {
  // A pass still under way is cancelled and waited for before the fields go.
  runner_->Wait();
}

bool ImportRecordingDialog::busy() const { return runner_->busy(); }

std::vector<bool> ImportRecordingDialog::Checked() const {
  std::vector<bool> checked;
  for (const QCheckBox* check : checks_) checked.push_back(check->isChecked());
  return checked;
}

void ImportRecordingDialog::Replan() {
  const std::vector<bool> checked = Checked();
  auto plan = PlanCheckedChannels(file_->channels(), checked, typed_names_);
  std::vector<std::string> notes(checked.size());
  if (plan) {
    shown_names_.assign(checked.size(), {});
    for (const auto& node : *plan) {
      shown_names_[node.channel] = node.node;
      notes[node.channel] = node.note;
    }
  } else {
    // A typed name that can't be a node name stays as typed; OK says what is wrong with it.
    for (size_t i = 0; i < checked.size(); ++i) {
      if (!typed_names_[i].empty()) shown_names_[i] = typed_names_[i];
    }
  }
  const QSignalBlocker blocker(table_);
  for (size_t i = 0; i < checked.size(); ++i) {
    QTableWidgetItem* item = table_->item(static_cast<int>(i), kNodeColumn);
    item->setText(checked[i] ? Q(shown_names_[i]) : QString());
    item->setToolTip(Q(notes[i]));
    item->setFlags(checked[i] ? Qt::ItemIsEnabled | Qt::ItemIsEditable : Qt::NoItemFlags);
  }
}

void ImportRecordingDialog::NodeEdited(QTableWidgetItem* item) {
  if (item->column() != kNodeColumn) return;
  const size_t row = static_cast<size_t>(item->row());
  const std::string text(core::Trim(item->text().toStdString()));
  // A name typed back to what the channel gives is no longer a typed one.
  std::vector<std::string> untyped = typed_names_;
  untyped[row].clear();
  std::string from_channel;
  if (auto plan = PlanCheckedChannels(file_->channels(), Checked(), untyped)) {
    for (const auto& node : *plan) {
      if (node.channel == row) from_channel = node.node;
    }
  }
  typed_names_[row] = text == from_channel ? std::string() : text;
  Replan();
}

void ImportRecordingDialog::ChooseFolder() {
  const QString folder = QFileDialog::getExistingDirectory(this, Text(TextKey::kImportChooseFolder),
                                                           data_path_->text());
  if (!folder.isEmpty()) data_path_->setText(folder);
}

std::optional<recording::ImportSettings> ImportRecordingDialog::Settings() {
  recording::ImportSettings settings;
  const std::string folder(core::Trim(data_path_->text().toStdString()));
  settings.data = folder.empty() ? DefaultDataFolder(file_->path()) : fs::path(folder);
  settings.test = std::string(core::Trim(test_name_->text().toStdString()));
  settings.code = std::string(core::Trim(test_code_->text().toStdString()));
  settings.overwrite = overwrite_->isChecked();
  const std::string rate = rate_->text().toStdString();
  if (!core::Trim(rate).empty()) {
    const auto value = core::ParseFiniteDouble(rate);
    if (!value || *value <= 0.0) {
      ui::ShowMessage(this, Text(TextKey::kEnterNumber));
      rate_->setFocus();
      return std::nullopt;
    }
    settings.rate_hz = *value;
  }
  return settings;
}

void ImportRecordingDialog::accept() {
  if (busy()) return;
  auto settings = Settings();
  if (!settings) return;
  auto plan = PlanCheckedChannels(file_->channels(), Checked(), typed_names_);
  if (!plan) {
    ui::ShowMessage(this, ui::ErrorMessage(plan.error()));
    return;
  }
  // What the person can fix in this dialog is said in its words; the rest as the import says.
  for (const auto& node : *plan) {
    const recording::ChannelInfo& channel = file_->channels()[node.channel];
    if (settings->rate_hz <= 0.0 && !(channel.rate_hz > 0.0)) {
      ui::ShowMessage(this, Text(TextKey::kImportNoRate).arg(Q(channel.name)));
      rate_->setFocus();
      return;
    }
    if (!recording::CheckNodesFree(*settings, {node.node})) {
      ui::ShowMessage(this, Text(TextKey::kImportNodeExists)
                                .arg(Q(settings->test + settings->code + "#" + node.node),
                                     Q(settings->data.string())));
      return;
    }
  }
  if (auto ok = recording::CheckImport(*file_, *plan, *settings); !ok) {
    ui::ShowMessage(this, ui::ErrorMessage(ok.error()));
    return;
  }
  auto outcome = std::make_shared<recording::ImportOutcome>();
  const QString status = Text(TextKey::kImportRunning).arg(Q(file_->path().filename().string()));
  runner_->Start(
      status,
      [file = file_, plan = *plan, settings = *settings, outcome,
       status = status.toStdString()](core::Progress& progress) {
        *outcome = RunImportPass(*file, plan, settings, status, progress);
      },
      [this, outcome, planned = plan->size(), settings = *settings] {
        Finish(*outcome, planned, settings);
      });
}

void ImportRecordingDialog::Finish(const recording::ImportOutcome& outcome, size_t planned,
                                   const recording::ImportSettings& settings) {
  ui::ShowMessage(this, DescribeImport(outcome, planned, settings), !outcome.ok());
  // Nothing written: the dialog stays for another try.
  if (outcome.written.empty()) return;
  ImportedNodes nodes{settings.data.string(), settings.test, settings.code, {}};
  for (const auto& node : outcome.written) nodes.nodes.push_back(node.node);
  QDialog::accept();
  emit Imported(nodes);
}

void ImportRecordingDialog::reject() {
  // Closing during the import cancels it; the pass decides when it ends.
  if (busy()) {
    runner_->Cancel();
    return;
  }
  QDialog::reject();
}

}  // namespace torvwy::host
