// The test programme window.
#include "module/programme_view.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>
#include <string>

#include "core/data/parameter_file.h"
#include "core/report/companion.h"
#include "core/report/hand_over_text.h"
#include "core/report/report_file.h"
#include "core/services/atomic_file.h"
#include "core/services/folders.h"
#include "core/services/message_table.h"
#include "module/module_state.h"
#include "module/printing.h"
#include "render/colours.h"
#include "render/fatigue_pictures.h"
#include "render/programme_picture.h"
#include "ui/error_message.h"
#include "ui/host_message.h"
#include "ui/message_box.h"

namespace torvwy::module {
namespace {

namespace fs = std::filesystem;

std::optional<QString>& FileNameForTesting() {
  static std::optional<QString> name;
  return name;
}

QString Number(double value, int digits = 6) {
  if (!std::isfinite(value)) return QStringLiteral("-");
  return QString::number(value, 'g', digits);
}

QString Count(double cycles) {
  if (std::isfinite(cycles) && std::fabs(cycles) < 1e15 && cycles == std::floor(cycles)) {
    return QString::number(static_cast<qlonglong>(cycles));
  }
  return Number(cycles, 10);
}

QString Percent(double share) { return QString::number(share * 100.0, 'f', 2); }

/// An item the person can't edit.
QTableWidgetItem* Fixed(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  return item;
}

/// The view state the pictures are drawn with: the windows' language and the profile's colours.
render::ViewState PictureState() {
  render::ViewState state;
  state.language = ui::UiLanguage();
  state.colours = render::ReadColours();
  return state;
}

/// The programme's count as a rainflow result, for the matrix pictures' information column.
core::RainflowResultFile MatrixFile(const core::ProgrammeResult& result, const QString& name) {
  core::RainflowResultFile file;
  file.test_name = name.toStdString();
  file.sampling.set_eu(result.unit);
  file.result = result.histogram;
  return file;
}

render::SharePicture ShareOf(const core::ProgrammeResult& result, const QString& name) {
  render::SharePicture picture;
  picture.title = Text(TextKey::kProgrammeShareTitle) + QStringLiteral(" - ") + name;
  picture.axis = Text(TextKey::kProgrammeShareAxis);
  picture.empty = Text(TextKey::kProgrammeNoResult);
  for (const core::ProgrammeEventResult& event : result.events) {
    picture.bars.push_back({QString::fromStdString(event.label), event.share});
  }
  return picture;
}

}  // namespace

void ProgrammePicture::SetDrawer(render::PictureDrawer draw) {
  draw_ = std::move(draw);
  update();
}

double ProgrammePicture::aspect() const {
  return width() > 0 && height() > 0 ? static_cast<double>(height()) / width()
                                     : render::kDefaultAspect;
}

void ProgrammePicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  if (!draw_) {
    drawn_ = {};
    return;
  }
  render::TargetGeometry geometry;
  geometry.target = render::DrawTarget::kWindow;
  geometry.area = rect();
  drawn_ = draw_(painter, geometry);
}

ProgrammeRows ResultRows(const core::ProgrammeResult& result) {
  ProgrammeRows rows;
  rows.columns = {
      Text(TextKey::kProgrammeColumnEvent),           Text(TextKey::kProgrammeColumnRepeats),
      Text(TextKey::kProgrammeColumnCycles),          Text(TextKey::kProgrammeColumnDamage),
      Text(TextKey::kProgrammeColumnDamagePerRepeat), Text(TextKey::kProgrammeColumnShare)};
  double cycles = result.cross_event_cycles;
  for (const core::ProgrammeEventResult& event : result.events) {
    rows.rows.push_back({QString::fromStdString(event.label), QString::number(event.repeats),
                         Count(event.cycles), Number(event.damage), Number(event.damage_per_repeat),
                         Percent(event.share)});
    cycles += event.cycles;
  }
  rows.event_rows = result.events.size();
  const double across_share =
      result.total_damage > 0.0 ? result.cross_event_damage / result.total_damage : 0.0;
  rows.rows.push_back({Text(TextKey::kProgrammeRowAcross), QString(),
                       Count(result.cross_event_cycles), Number(result.cross_event_damage),
                       QString(), Percent(across_share)});
  rows.rows.push_back({Text(TextKey::kProgrammeRowTotal), QString(), Count(cycles),
                       Number(result.total_damage), QString(),
                       Percent(result.total_damage > 0.0 ? 1.0 : 0.0)});
  const auto life = [&](TextKey key, const std::optional<double>& value) {
    if (!value || !std::isfinite(*value)) return;
    rows.rows.push_back({Text(key), Number(*value)});
    ++rows.life_rows;
  };
  life(TextKey::kProgrammeRowLifeProgrammes, result.life_programmes);
  life(TextKey::kProgrammeRowLifeHours, result.life_hours);
  life(TextKey::kProgrammeRowLifeKm, result.life_km);
  return rows;
}

core::ExportTable ProgrammeExportTable(const core::ProgrammeResult& result,
                                       core::Language language) {
  core::ExportTable table;
  table.name = (result.name.empty() ? std::string(core::Tr(language, TextKey::kProgrammeUntitled))
                                    : result.name) +
               "Programme";
  for (const TextKey key :
       {TextKey::kProgrammeColumnEvent, TextKey::kProgrammeColumnRepeats,
        TextKey::kProgrammeColumnCycles, TextKey::kProgrammeColumnDamage,
        TextKey::kProgrammeColumnDamagePerRepeat, TextKey::kProgrammeColumnShare}) {
    table.columns.emplace_back(core::Tr(language, key));
    table.kinds.push_back(table.kinds.empty() ? core::ExportColumnKind::kText
                                              : core::ExportColumnKind::kNumber);
  }
  const double nan = std::nan("");
  double cycles = result.cross_event_cycles;
  for (const core::ProgrammeEventResult& event : result.events) {
    table.rows.push_back({event.label, static_cast<double>(event.repeats), event.cycles,
                          event.damage, event.damage_per_repeat, event.share * 100.0});
    cycles += event.cycles;
  }
  const double total = result.total_damage;
  table.rows.push_back({std::string(core::Tr(language, TextKey::kProgrammeRowAcross)), nan,
                        result.cross_event_cycles, result.cross_event_damage, nan,
                        total > 0.0 ? 100.0 * result.cross_event_damage / total : 0.0});
  table.rows.push_back({std::string(core::Tr(language, TextKey::kProgrammeRowTotal)), nan, cycles,
                        total, nan, total > 0.0 ? 100.0 : 0.0});
  return table;
}

ProgrammeView::ProgrammeView(QWidget* parent) : AnalysisView(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);
  auto* buttons = new QHBoxLayout;
  open_button_ = new QPushButton(Text(TextKey::kProgrammeOpen), this);
  save_button_ = new QPushButton(Text(TextKey::kProgrammeSave), this);
  add_button_ = new QPushButton(Text(TextKey::kProgrammeAddEvents), this);
  remove_button_ = new QPushButton(Text(TextKey::kProgrammeRemoveEvent), this);
  calculate_button_ = new QPushButton(Text(TextKey::kProgrammeCalculate), this);
  // F5 counts again wherever the focus is in the window, as a person who edits expects.
  calculate_button_->setShortcut(QKeySequence(Qt::Key_F5));
  for (QPushButton* button :
       {open_button_, save_button_, add_button_, remove_button_, calculate_button_}) {
    buttons->addWidget(button);
  }
  buttons->addStretch();
  layout->addLayout(buttons);

  tabs_ = new QTabWidget(this);
  // The settings scroll in a small window instead of widening it past the host's area.
  auto* setup_scroll = new QScrollArea(tabs_);
  setup_scroll->setWidgetResizable(true);
  setup_scroll->setFrameShape(QFrame::NoFrame);
  auto* setup = new QWidget(setup_scroll);
  BuildSettings(setup);
  setup_scroll->setWidget(setup);
  tabs_->addTab(setup_scroll, Text(TextKey::kProgrammeTabSetup));
  results_ = new QTableWidget(tabs_);
  results_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  results_->verticalHeader()->hide();
  results_->horizontalHeader()->setStretchLastSection(true);
  tabs_->addTab(results_, Text(TextKey::kProgrammeTabResults));
  share_ = new ProgrammePicture(tabs_);
  tabs_->addTab(share_, Text(TextKey::kProgrammeTabShare));
  range_mean_ = new ProgrammePicture(tabs_);
  tabs_->addTab(range_mean_, Text(TextKey::kReportMatrixTitle));
  from_to_ = new ProgrammePicture(tabs_);
  tabs_->addTab(from_to_, Text(TextKey::kPictureFromToTitle).trimmed());
  layout->addWidget(tabs_, 1);

  connect(open_button_, &QPushButton::clicked, this, [this] {
    const QString path = FileName(false);
    if (!path.isEmpty()) OpenProgramme(path);
  });
  connect(save_button_, &QPushButton::clicked, this, [this] {
    const QString path = FileName(true);
    if (!path.isEmpty()) SaveProgramme(path);
  });
  connect(add_button_, &QPushButton::clicked, this, &ProgrammeView::ChooseEvents);
  connect(remove_button_, &QPushButton::clicked, this, &ProgrammeView::RemoveEvent);
  connect(calculate_button_, &QPushButton::clicked, this, &ProgrammeView::Calculate);
  connect(events_, &QTableWidget::itemChanged, this, &ProgrammeView::EventEdited);
  connect(name_, &QLineEdit::textChanged, this, &ProgrammeView::UpdateTitle);
  connect(&runner_, &ui::PassRunner::Finished, this, [this] { emit PassEnded(); });

  ShowProgramme(core::Programme{});
}

ProgrammeView::~ProgrammeView() = default;

void ProgrammeView::BuildSettings(QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(4, 4, 4, 4);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  name_ = new QLineEdit(page);
  partitions_ = new QSpinBox(page);
  partitions_->setRange(1, 2000);
  amplitude_ = new QComboBox(page);
  amplitude_->addItem(Text(TextKey::kProgrammeAmplitudeFull));
  amplitude_->addItem(Text(TextKey::kProgrammeAmplitudeAuto));
  amplitude_->addItem(Text(TextKey::kProgrammeAmplitudeValue));
  amplitude_value_ = new QLineEdit(page);
  amplitude_value_->setMaximumWidth(90);
  residue_ = new QComboBox(page);
  for (const std::string_view method : core::kResidueMethodNames) {
    residue_->addItem(QString::fromLatin1(method.data(), static_cast<int>(method.size())));
  }
  gate_ = new QLineEdit(page);
  gate_->setMaximumWidth(90);
  curve_ = new QLineEdit(page);
  const auto label = [page](TextKey key, QWidget* buddy) {
    auto* text = new QLabel(Text(key), page);
    text->setBuddy(buddy);
    return text;
  };
  // Two rows: what names and counts the programme, then how it is estimated.
  grid->addWidget(label(TextKey::kProgrammeName, name_), 0, 0);
  grid->addWidget(name_, 0, 1);
  grid->addWidget(label(TextKey::kProgrammePartitions, partitions_), 0, 2);
  grid->addWidget(partitions_, 0, 3);
  grid->addWidget(label(TextKey::kProgrammeResidue, residue_), 0, 4);
  grid->addWidget(residue_, 0, 5);
  grid->addWidget(label(TextKey::kProgrammeAmplitude, amplitude_), 1, 0);
  auto* amplitude = new QHBoxLayout;
  amplitude->addWidget(amplitude_);
  amplitude->addWidget(amplitude_value_);
  grid->addLayout(amplitude, 1, 1);
  grid->addWidget(label(TextKey::kProgrammeGate, gate_), 1, 2);
  grid->addWidget(gate_, 1, 3);
  grid->addWidget(label(TextKey::kProgrammeCurve, curve_), 1, 4);
  grid->addWidget(curve_, 1, 5);
  grid->setColumnStretch(1, 2);
  grid->setColumnStretch(5, 2);
  layout->addLayout(grid);
  connect(amplitude_, &QComboBox::currentIndexChanged, this,
          [this](int index) { amplitude_value_->setEnabled(index == 2); });

  events_ = new QTableWidget(0, kEventColumns, page);
  events_->setHorizontalHeaderLabels(
      {Text(TextKey::kProgrammeColumnData), Text(TextKey::kProgrammeColumnTest),
       Text(TextKey::kProgrammeColumnCode), Text(TextKey::kProgrammeColumnNode),
       Text(TextKey::kProgrammeColumnRepeats), Text(TextKey::kProgrammeColumnScale),
       Text(TextKey::kProgrammeColumnLabel)});
  events_->setSelectionBehavior(QAbstractItemView::SelectRows);
  events_->setSelectionMode(QAbstractItemView::SingleSelection);
  events_->horizontalHeader()->setStretchLastSection(true);
  events_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
  layout->addWidget(events_, 1);
}

QString ProgrammeView::HelpTopic() const { return QStringLiteral("WyProgramme.html"); }

void ProgrammeView::SetFileNameForTesting(std::optional<QString> name) {
  FileNameForTesting() = std::move(name);
}

QString ProgrammeView::FileName(bool save) {
  if (FileNameForTesting()) return *FileNameForTesting();
  const QString start =
      file_.empty() ? QString::fromStdString(core::GetWorkFolder()) : QString::fromStdString(file_);
  const QString filter = Text(TextKey::kProgrammeFileFilter);
  QString path = save ? QFileDialog::getSaveFileName(
                            this, Text(TextKey::kProgrammeSave).remove("..."), start, filter)
                      : QFileDialog::getOpenFileName(
                            this, Text(TextKey::kProgrammeOpen).remove("..."), start, filter);
  if (save && !path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".ini");
  return path;
}

QString ProgrammeView::ProgrammeName() const {
  const QString name = name_->text().trimmed();
  return name.isEmpty() ? Text(TextKey::kProgrammeUntitled) : name;
}

void ProgrammeView::UpdateTitle() {
  setWindowTitle(Text(TextKey::kTemplateProgramme) + QStringLiteral(" - ") + ProgrammeName());
}

void ProgrammeView::ShowProgramme(const core::Programme& programme) {
  base_ = programme;
  base_.events.clear();
  events_list_ = programme.events;
  name_->setText(QString::fromStdString(programme.name));
  partitions_->setValue(std::clamp(programme.partitions, 1, 2000));
  if (programme.amplitude == "full") {
    amplitude_->setCurrentIndex(0);
    amplitude_value_->clear();
  } else if (programme.amplitude == "auto") {
    amplitude_->setCurrentIndex(1);
    amplitude_value_->clear();
  } else {
    amplitude_->setCurrentIndex(2);
    amplitude_value_->setText(QString::fromStdString(programme.amplitude));
  }
  amplitude_value_->setEnabled(amplitude_->currentIndex() == 2);
  residue_->setCurrentIndex(static_cast<int>(programme.residue));
  gate_->setText(Number(programme.gate, 17));
  curve_->setText(QString::fromStdString(programme.curve));
  filling_ = true;
  events_->setRowCount(static_cast<int>(events_list_.size()));
  for (int row = 0; row < events_->rowCount(); ++row) FillEventRow(row);
  filling_ = false;
  events_->resizeColumnsToContents();
  ClearResult();
  UpdateTitle();
}

void ProgrammeView::FillEventRow(int row) {
  const core::ProgrammeEvent& event = events_list_[static_cast<size_t>(row)];
  const bool was_filling = filling_;
  filling_ = true;
  events_->setItem(row, kData, Fixed(QString::fromStdString(event.data)));
  events_->setItem(row, kTest, Fixed(QString::fromStdString(event.test)));
  events_->setItem(row, kCode, Fixed(QString::fromStdString(event.code)));
  events_->setItem(row, kNode, Fixed(QString::fromStdString(event.node)));
  events_->setItem(row, kRepeats, new QTableWidgetItem(QString::number(event.repeats)));
  events_->setItem(row, kScale, new QTableWidgetItem(Number(event.scale, 17)));
  events_->setItem(row, kLabel, new QTableWidgetItem(QString::fromStdString(event.label)));
  filling_ = was_filling;
}

void ProgrammeView::EventEdited(QTableWidgetItem* item) {
  if (filling_ || item == nullptr) return;
  const int row = item->row();
  if (row < 0 || row >= static_cast<int>(events_list_.size())) return;
  core::ProgrammeEvent& event = events_list_[static_cast<size_t>(row)];
  const QString text = item->text().trimmed();
  bool refused = false;
  switch (item->column()) {
    case kRepeats: {
      bool ok = false;
      const qlonglong repeats = text.toLongLong(&ok);
      if (ok && repeats >= 1) {
        event.repeats = repeats;
      } else {
        refused = true;
        ShowMessage(this, Text(TextKey::kProgrammeBadRepeats).arg(text));
      }
      break;
    }
    case kScale: {
      bool ok = false;
      const double scale = text.toDouble(&ok);
      if (ok && std::isfinite(scale) && scale > 0.0) {
        event.scale = scale;
      } else {
        refused = true;
        ShowMessage(this, Text(TextKey::kProgrammeBadScale).arg(text));
      }
      break;
    }
    case kLabel:
      event.label = text.toStdString();
      break;
    default:
      return;
  }
  // A refused value goes back to the one the event holds; a taken one leaves an old result
  // that no longer matches the events.
  if (refused) {
    FillEventRow(row);
  } else {
    ClearResult();
  }
}

void ProgrammeView::AddEvents(const ui::NodeChoice& choice) {
  for (const std::string& node : choice.names) {
    core::ProgrammeEvent event;
    event.data = choice.data_path;
    event.test = choice.test_name;
    event.code = choice.test_code;
    event.node = node;
    events_list_.push_back(std::move(event));
  }
  filling_ = true;
  const int first = events_->rowCount();
  events_->setRowCount(static_cast<int>(events_list_.size()));
  for (int row = first; row < events_->rowCount(); ++row) FillEventRow(row);
  filling_ = false;
  events_->resizeColumnsToContents();
  last_choice_ = choice;
  ClearResult();
}

void ProgrammeView::RemoveEvent() {
  const int row = events_->currentRow();
  if (row < 0 || row >= static_cast<int>(events_list_.size())) return;
  events_list_.erase(events_list_.begin() + row);
  events_->removeRow(row);
  ClearResult();
}

void ProgrammeView::ChooseEvents() {
  ui::NodeChoice start;
  if (last_choice_) {
    start = *last_choice_;
  } else if (auto context = core::ReadAnalysisParameterFile(core::GetHostFolder() /
                                                            core::kParameterFileName)) {
    start.test_name = context->test_name;
    start.test_code = context->test_code;
    start.data_path = context->data_path;
    start.result_path = context->result_path;
  }
  auto* dialog = new ui::SelectNodeDialog(this, true, false, start);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this, [this, dialog] { AddEvents(dialog->choice()); });
  dialog->open();
}

std::optional<core::Programme> ProgrammeView::EditedProgramme(QString* error) const {
  core::Programme programme = base_;
  programme.name = name_->text().trimmed().toStdString();
  programme.partitions = partitions_->value();
  switch (amplitude_->currentIndex()) {
    case 0:
      programme.amplitude = "full";
      break;
    case 1:
      programme.amplitude = "auto";
      break;
    default: {
      const QString text = amplitude_value_->text().trimmed();
      bool ok = false;
      const double value = text.toDouble(&ok);
      if (!ok || !std::isfinite(value) || value <= 0.0) {
        *error = Text(TextKey::kProgrammeBadAmplitude).arg(text);
        return std::nullopt;
      }
      programme.amplitude = text.toStdString();
    }
  }
  programme.residue = static_cast<core::ResidueMethod>(std::max(0, residue_->currentIndex()));
  const QString gate_text = gate_->text().trimmed();
  bool ok = gate_text.isEmpty();
  const double gate = ok ? 0.0 : gate_text.toDouble(&ok);
  if (!ok || !std::isfinite(gate) || gate < 0.0) {
    *error = Text(TextKey::kProgrammeBadGate).arg(gate_text);
    return std::nullopt;
  }
  programme.gate = gate;
  programme.curve = curve_->text().trimmed().toStdString();
  programme.events = events_list_;
  for (size_t i = 0; i < programme.events.size(); ++i) {
    programme.events[i].number = static_cast<int32_t>(i + 1);
  }
  if (programme.events.empty()) {
    *error = Text(TextKey::kProgrammeNoEvents);
    return std::nullopt;
  }
  if (auto checked = core::CheckProgramme(programme); !checked) {
    *error = ui::ErrorMessage(checked.error());
    return std::nullopt;
  }
  return programme;
}

bool ProgrammeView::Calculate() {
  if (runner_.busy()) return false;
  QString error;
  std::optional<core::Programme> programme = EditedProgramme(&error);
  if (!programme) {
    ShowMessage(this, error);
    return false;
  }
  ClearResult();
  auto outcome = std::make_shared<std::optional<core::Result<core::ProgrammeResult>>>();
  return runner_.Start(
      Text(TextKey::kProgrammeCalculating).arg(ProgrammeName()),
      [programme = std::move(*programme), outcome](core::Progress& progress) {
        *outcome = core::RunProgramme(programme, 0, progress);
      },
      [this, outcome] {
        if (!*outcome) return;
        core::Result<core::ProgrammeResult>& run = **outcome;
        if (!run) return ShowMessage(this, ui::ErrorMessage(run.error()));
        if (run->cancelled) {
          ui::ShowStatus(this, Text(TextKey::kProgrammeCancelled));
          return;
        }
        result_ = std::move(*run);
        ShowResult();
      });
}

void ProgrammeView::ClearResult() {
  result_.reset();
  results_->clear();
  results_->setRowCount(0);
  results_->setColumnCount(0);
  share_->SetDrawer({});
  range_mean_->SetDrawer({});
  from_to_->SetDrawer({});
}

void ProgrammeView::ShowResult() {
  if (!result_) return ClearResult();
  const ProgrammeRows rows = ResultRows(*result_);
  results_->clear();
  results_->setColumnCount(static_cast<int>(rows.columns.size()));
  results_->setHorizontalHeaderLabels(rows.columns);
  results_->setRowCount(static_cast<int>(rows.rows.size()));
  for (size_t r = 0; r < rows.rows.size(); ++r) {
    const int row = static_cast<int>(r);
    const QStringList& cells = rows.rows[r];
    for (int column = 0; column < cells.size(); ++column) {
      QTableWidgetItem* item = Fixed(cells[column]);
      if (column > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (r >= rows.event_rows) {
        QFont font = item->font();
        font.setBold(true);
        item->setFont(font);
      }
      results_->setItem(row, column, item);
    }
    // A life row: its one value across the other columns.
    if (cells.size() == 2) results_->setSpan(row, 1, 1, results_->columnCount() - 1);
  }
  results_->resizeColumnsToContents();

  const QString name = ProgrammeName();
  const render::ViewState state = PictureState();
  share_->SetDrawer([picture = ShareOf(*result_, name), state](
                        QPainter& painter, const render::TargetGeometry& geometry) {
    return render::DrawSharePicture(painter, geometry, picture, state);
  });
  auto file = std::make_shared<core::RainflowResultFile>(MatrixFile(*result_, name));
  range_mean_->SetDrawer([file, matrix = result_->range_mean, state](
                             QPainter& painter, const render::TargetGeometry& geometry) {
    return render::DrawRangeMeanMatrixPicture(painter, geometry, *file, matrix, state);
  });
  from_to_->SetDrawer([file, matrix = result_->from_to, state](
                          QPainter& painter, const render::TargetGeometry& geometry) {
    return render::DrawFromToMatrixPicture(painter, geometry, *file, matrix, state);
  });
  tabs_->setCurrentIndex(kResultsTab);
  // The arrow keys go on to the share picture and the matrices.
  tabs_->tabBar()->setFocus();
}

bool ProgrammeView::OpenProgramme(const QString& path) {
  const fs::path file = path.toStdString();
  auto programme = core::ReadProgrammeFile(file);
  if (!programme) {
    ShowMessage(this, ui::ErrorMessage(programme.error()));
    return false;
  }
  file_ = file;
  ShowProgramme(*programme);
  tabs_->setCurrentIndex(kSetupTab);
  return true;
}

bool ProgrammeView::SaveProgramme(const QString& path) {
  QString error;
  std::optional<core::Programme> programme = EditedProgramme(&error);
  if (!programme) {
    ShowMessage(this, error);
    return false;
  }
  const fs::path file = path.toStdString();
  // A data folder written relative to the old file's folder would move with a file saved
  // elsewhere: it is written out in full then.
  const fs::path folder = file.parent_path();
  for (core::ProgrammeEvent& event : programme->events) {
    const fs::path data = event.data;
    if (data.is_relative() && !base_.folder.empty() && base_.folder != folder) {
      event.data = (base_.folder / data).lexically_normal().string();
    }
  }
  programme->folder = folder;
  if (auto saved = core::SaveProgrammeFile(file, *programme); !saved) {
    ShowMessage(this, ui::ErrorMessage(saved.error()));
    return false;
  }
  file_ = file;
  base_.folder = folder;
  events_list_ = programme->events;
  ui::ShowStatus(this, Text(TextKey::kProgrammeSavedTo) + path);
  return true;
}

ProgrammePicture* ProgrammeView::CurrentPicture() const {
  if (auto* picture = qobject_cast<ProgrammePicture*>(tabs_->currentWidget())) return picture;
  return share_;
}

void ProgrammeView::HandleCommand(quint32 code, qintptr) {
  const bool picture_command = code == ui::command::kPrint || code == ui::command::kPrintPreview ||
                               code == ui::command::kCopyPicture ||
                               code == ui::command::kSavePicture;
  const bool result_command =
      picture_command || code == ui::command::kReport || code == ui::command::kExport;
  if (!result_command) return;
  if (!result_) return ShowMessage(this, Text(TextKey::kProgrammeNoResult));
  ProgrammePicture* picture = CurrentPicture();
  const render::PictureDrawer draw = picture->drawer();
  const auto print = [draw](QPrinter& printer) { return PrintPicture(printer, draw); };
  switch (code) {
    case ui::command::kPrint:
      PrintWithDialog(this, print, true);
      break;
    case ui::command::kPrintPreview:
      PreviewPrint(this, print, true);
      break;
    case ui::command::kCopyPicture:
      QApplication::clipboard()->setImage(render::RenderImage(draw, picture->aspect()));
      break;
    case ui::command::kSavePicture:
      SavePicture();
      break;
    case ui::command::kReport:
      Report();
      break;
    case ui::command::kExport:
      Export();
      break;
    default:
      break;
  }
}

void ProgrammeView::HandleNotice(quint32, qintptr) {}

void ProgrammeView::SavePicture() {
  ProgrammePicture* picture = CurrentPicture();
  const fs::path file = core::ImageExportPicturePath();
  if (auto ok =
          render::WriteBitmapFile(file, render::RenderImage(picture->drawer(), picture->aspect()));
      !ok) {
    return ShowMessage(this, ui::ErrorMessage(ok.error()));
  }
  if (auto started = core::LaunchImageExport(file, ProgrammeName().toStdString()); !started) {
    ShowMessage(this, ui::ErrorMessage(started.error()));
  }
}

void ProgrammeView::Export() {
  StartCompanion(this, core::WriteExport(ProgrammeExportTable(*result_, ui::UiLanguage())),
                 core::kExportProgram);
}

void ProgrammeView::Report() {
  // The report set: the share picture, the range-mean matrix, and the directive file naming
  // them, saved as one.
  const fs::path folder = core::GetWorkFolder();
  core::AtomicFileSet set;
  const auto add_picture = [&](const fs::path& path,
                               const render::PictureDrawer& draw) -> core::Result<std::string> {
    auto bytes = render::EncodeBitmapFile(render::RenderReportImage(draw, render::kDefaultAspect));
    if (!bytes) return bytes.error();
    auto part = set.Add(path, core::kMsgFileWrite);
    if (!part) return part.error();
    (*part)->Write(*bytes);
    return path.string();
  };
  auto share = add_picture(folder / core::kReportBitmapName, share_->drawer());
  if (!share) return ShowMessage(this, ui::ErrorMessage(share.error()));
  auto matrix = add_picture(folder / "TorvMtx.bmp", range_mean_->drawer());
  if (!matrix) return ShowMessage(this, ui::ErrorMessage(matrix.error()));

  const ProgrammeRows rows = ResultRows(*result_);
  // The table as aligned text: the label left, the numbers right.
  std::vector<int> widths(static_cast<size_t>(rows.columns.size()), 0);
  const auto measure = [&](const QStringList& cells) {
    for (int c = 0; c < cells.size() && c < static_cast<int>(widths.size()); ++c) {
      widths[static_cast<size_t>(c)] =
          std::max(widths[static_cast<size_t>(c)], static_cast<int>(cells[c].size()));
    }
  };
  measure(rows.columns);
  for (size_t r = 0; r + rows.life_rows < rows.rows.size(); ++r) measure(rows.rows[r]);
  const auto line = [&](const QStringList& cells) {
    QString text;
    for (int c = 0; c < cells.size(); ++c) {
      const int width = widths[static_cast<size_t>(c)];
      text += c == 0 ? cells[c].leftJustified(width)
                     : QStringLiteral("  ") + cells[c].rightJustified(width);
    }
    return text.trimmed().toStdString() + "\n";
  };
  std::string text = "[TORV-REPORT-FORMAT-FILE]\n[HEAD]\n";
  text += core::OneLine(Text(TextKey::kProgrammeReportHead).toStdString() + ": " +
                        ProgrammeName().toStdString()) +
          "\n[CONTANT]\n";
  text += Text(TextKey::kProgrammeReportCurve).toStdString() +
          core::OneLine(curve_->text().toStdString()) + "\n";
  text += line(rows.columns);
  for (size_t r = 0; r < rows.rows.size(); ++r) {
    const QStringList& cells = rows.rows[r];
    text += r + rows.life_rows >= rows.rows.size()
                ? core::OneLine((cells.value(0) + ": " + cells.value(1)).toStdString()) + "\n"
                : line(cells);
  }
  text += "[TITLE]\n" + Text(TextKey::kProgrammeShareTitle).toStdString() + "\n";
  text += "[BMPFILE]\n160,100," + core::OneLine(*share) + "\n";
  text += "[TITLE]\n" + Text(TextKey::kReportMatrixTitle).toStdString() + "\n";
  text += "[BMPFILE]\n160,100," + core::OneLine(*matrix) + "\n";
  text += "[CONTANT]\n" + std::string(82, '-') + "\n" + core::TodayText() + "\n[END]\n";
  const fs::path report = folder / core::kReportFileName;
  auto part = set.Add(report, core::kMsgFileWrite);
  if (!part) return ShowMessage(this, ui::ErrorMessage(part.error()));
  (*part)->Write(core::HandOverBytes(text));
  if (auto ok = set.Commit(); !ok) return ShowMessage(this, ui::ErrorMessage(ok.error()));
  StartCompanion(this, report, core::kReportProgram);
}

}  // namespace torvwy::module
