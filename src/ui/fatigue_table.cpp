// The host's table of a life estimate.
#include "ui/fatigue_table.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/data/block_span.h"
#include "core/fatigue/sn_class_table.h"
#include "core/report/companion.h"
#include "core/report/list_export.h"
#include "core/services/folders.h"
#include "core/services/number_format.h"
#include "core/services/profile.h"
#include "ui/damage_curve_widget.h"
#include "ui/error_message.h"
#include "ui/language.h"
#include "ui/message_box.h"

namespace torvwy::ui {
namespace {

std::optional<FatigueTable> g_last_table;  // one per process: host and module share this library

QString Printf(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof(text), format, value);
  return QString::fromLatin1(text);
}

QString Number(double value) { return QString::fromStdString(core::FormatNumber(value, 4)); }

/// Where the profile keeps the folder of the last export.
constexpr const char* kProfileSection = "settings";
constexpr const char* kExportFolderKey = "FatigueExportFolder";

}  // namespace

QString CurveCaption(const core::SnCurve& curve) {
  switch (curve.kind) {
    case core::SnCurveKind::kWeldClass: {
      if (!core::IsSnClassIndex(curve.class_index) ||
          !core::IsReliabilityIndex(curve.reliability_index)) {
        return QString::fromStdString(curve.name);
      }
      const std::string_view name =
          core::kSnClassTable[static_cast<size_t>(curve.class_index)].name;
      const double d = core::kReliabilityFactors[static_cast<size_t>(curve.reliability_index)].d;
      return Text(TextKey::kLifeWeldClass).arg(QString::fromUtf8(name.data(), name.size())) +
             QStringLiteral(" (d = %1)").arg(d, 0, 'f', 1);
    }
    case core::SnCurveKind::kDetailCategory:
      return Text(TextKey::kLifeDetailCategory).arg(curve.category);
    case core::SnCurveKind::kFile:
      break;
  }
  return Text(TextKey::kLifeCurveFileItem).arg(QString::fromStdString(curve.name));
}

void SetLastFatigueTable(const FatigueTable& table) { g_last_table = table; }

std::optional<FatigueTable> LastFatigueTable() { return g_last_table; }

std::optional<double> ImpliedLifeSeconds(const FatigueTable& table) {
  const double damage = table.result.total_damage;
  if (!(damage > 0.0) || !std::isfinite(damage)) return std::nullopt;
  if (!(table.record_seconds > 0.0) || !std::isfinite(table.record_seconds)) return std::nullopt;
  const double life = table.record_seconds / damage;
  if (!std::isfinite(life)) return std::nullopt;
  return life;
}

FatigueTableWidget::FatigueTableWidget(QWidget* parent) : QWidget(parent) {
  title_ = new QLabel(this);
  title_->setWordWrap(true);
  total_ = new QLabel(this);
  total_->setObjectName(QStringLiteral("total_damage"));
  life_ = new QLabel(this);
  life_->setObjectName(QStringLiteral("life"));
  life_->setWordWrap(true);
  curve_ = new QLabel(this);
  curve_->setObjectName(QStringLiteral("curve"));
  curve_->setWordWrap(true);
  loads_ = new QLabel(this);
  loads_->setObjectName(QStringLiteral("equivalent_loads"));
  loads_->setWordWrap(true);
  damage_curve_ = new DamageCurveWidget(this);
  table_ = new QTableWidget(this);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->setVisible(false);
  export_ = new QPushButton(Text(TextKey::kFatigueExport), this);
  connect(export_, &QPushButton::clicked, this, &FatigueTableWidget::Export);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(export_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title_);
  layout->addWidget(curve_);
  layout->addWidget(total_);
  layout->addWidget(life_);
  layout->addWidget(loads_);
  layout->addWidget(damage_curve_);
  layout->addWidget(table_, 1);
  layout->addLayout(buttons);
}

void FatigueTableWidget::Show(const FatigueTable& kept) {
  names_ = kept.names;
  data_folder_ = kept.data_folder;
  const core::FatigueResult& r = kept.result;
  const bool fitting = r.method == core::FatigueMethod::kFitting;
  title_->setText(
      QString::fromStdString(kept.names.test_name + kept.names.test_code + "#" +
                             kept.names.node_name) +
      (fitting ? Text(TextKey::kFatigueFittingCaption) : Text(TextKey::kFatigueActualCaption)) +
      (kept.live ? Text(TextKey::kTitleLive) : QString()));
  total_->setText(
      (kept.live ? Text(TextKey::kFatigueDamageSoFar) : Text(TextKey::kFatigueTotalDamage)) +
      Number(r.total_damage));
  if (auto life = ImpliedLifeSeconds(kept)) {
    life_->setText(Text(TextKey::kFatigueImpliedLife) + Number(*life) +
                   " s = " + Number(*life / 3600.0) + " h = " + Number(*life / 86400.0) +
                   Text(TextKey::kFatigueDays));
  } else {
    life_->setText(Text(TextKey::kFatigueNoLife));
  }
  const QString unit = QString::fromStdString(kept.unit);
  QString curve = Text(TextKey::kFatigueCurveUsed) + CurveCaption(r.curve);
  if (r.correction.kind != core::MeanCorrectionKind::kNone) {
    const std::string_view name = core::MeanCorrectionName(r.correction.kind);
    curve += Text(TextKey::kFatigueCorrectionUsed) + QString::fromUtf8(name.data(), name.size());
  }
  curve_->setText(curve);
  if (kept.cycles_known && !kept.loads.empty()) {
    QStringList loads;
    for (const core::EquivalentLoad& load : kept.loads) {
      loads.append(
          QStringLiteral("m = %1: %2%3")
              .arg(Number(load.m), Number(load.load), unit.isEmpty() ? QString() : " " + unit));
    }
    loads_->setText(Text(TextKey::kFatigueEquivalentLoads).arg(Number(kept.equivalent_cycles)) +
                    "\n" + loads.join(QStringLiteral(";  ")));
    if (fitting) loads_->setText(loads_->text() + "\n" + Text(TextKey::kFatigueHistoryFitting));
  } else {
    loads_->setText(Text(TextKey::kFatigueNoCycleList));
  }
  // The damage curve of the counted cycles; a fit's damage is not of them.
  damage_curve_->SetSteps(kept.history);
  damage_curve_->setVisible(!kept.history.empty());
  const QStringList columns = {
      Text(TextKey::kFatigueNumber),
      Text(TextKey::kFatigueStress) + (unit.isEmpty() ? QString() : " (" + unit + ")"),
      Text(TextKey::kFatigueCount),
      fitting ? Text(TextKey::kFatigueFittingPercent) : Text(TextKey::kFatigueActualPercent),
      Text(TextKey::kFatigueCycles),
      fitting ? Text(TextKey::kFatigueFittingDamage) : Text(TextKey::kFatigueActualDamage)};
  const int n = std::max(0, r.partitions);
  table_->clear();
  table_->setColumnCount(static_cast<int>(columns.size()));
  table_->setHorizontalHeaderLabels(columns);
  table_->setRowCount(n);
  auto cell = [&](int row, int column, const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table_->setItem(row, column, item);
  };
  for (int j = 0; j < n; ++j) {
    const auto at = [&](const std::vector<double>& values) {
      return static_cast<size_t>(j) < values.size() ? values[static_cast<size_t>(j)] : 0.0;
    };
    cell(j, 0, QString::number(j + 1));
    cell(j, 1, Printf("%.3f", (j + 0.5) * r.partition_width));
    cell(j, 2, Printf("%.0f", std::trunc(at(r.counts) + 0.5)));
    cell(j, 3, Printf("%.3f", at(r.probability) * 100.0));
    cell(j, 4, Printf("%.4e", at(r.life)));
    cell(j, 5, Printf("%.4e", at(r.damage)));
  }
  table_->resizeColumnsToContents();
  // Wide enough for every column, up to a quarter of the screen.
  int width = table_->frameWidth() * 2 + table_->verticalScrollBar()->sizeHint().width();
  for (int column = 0; column < table_->columnCount(); ++column) {
    width += table_->columnWidth(column);
  }
  // Every column shows at the dock's first width, up to half the screen (a wider table scrolls).
  const QRect screen = this->screen() != nullptr ? this->screen()->availableGeometry() : QRect();
  table_->setMinimumWidth(screen.isValid() ? std::min(width, screen.width() / 2) : width);
}

QString FatigueTableWidget::ExportStartPath() const {
  QString folder;
  if (auto profile = core::IniFile::Load(core::ProfilePath())) {
    if (auto last = profile->Get(kProfileSection, kExportFolderKey)) {
      folder = QString::fromStdString(*last);
    }
  }
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QString::fromStdString(data_folder_);
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
  const QString name = QString::fromStdString(names_.test_name + names_.test_code + "#" +
                                              names_.node_name + "_fatigue.xlsx");
  return QDir(folder).filePath(name);
}

void FatigueTableWidget::Export() {
  // The estimate wrote listdata.txt; the workbook's name goes to listname.txt.
  QFileDialog dialog(this, Text(TextKey::kFatigueExportTitle), ExportStartPath(),
                     Text(TextKey::kFatigueExportFilter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.selectFile(ExportStartPath());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString path = dialog.selectedFiles().front();
  if (path.isEmpty()) return;
  // The next export starts in this folder; a profile that can't be written only forgets it.
  core::IniFile profile;
  if (auto loaded = core::IniFile::Load(core::ProfilePath())) profile = std::move(*loaded);
  profile.Set(kProfileSection, kExportFolderKey, QFileInfo(path).absolutePath().toStdString());
  if (core::EnsureHostFolder()) static_cast<void>(profile.Save(core::ProfilePath()));
  if (auto named = core::WriteListName(path.toStdString()); !named) {
    return ShowMessage(this, ErrorMessage(named.error()));
  }
  if (auto started = core::LaunchCompanion(core::kListProgram); !started) {
    ShowMessage(this, ErrorMessage(started.error()));
  }
}

}  // namespace torvwy::ui
