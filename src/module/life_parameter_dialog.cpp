// The life estimate parameter dialog.
#include "module/life_parameter_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/fatigue/life_class_setting.h"
#include "core/fatigue/sn_class_table.h"
#include "core/services/text.h"
#include "ui/error_message.h"
#include "ui/fatigue_table.h"
#include "ui/language.h"
#include "ui/message_box.h"

namespace torvwy::module {
namespace {

using ui::Text;
using ui::TextKey;

/// What an entry of the curve box stands for (its Qt::UserRole), and its value (UserRole + 1):
/// the class index, the category, nothing.
enum CurveEntry { kWeldEntry = 0, kCategoryEntry = 1, kFileEntry = 2, kFromFileEntry = 3 };
constexpr int kEntryRole = Qt::UserRole;
constexpr int kValueRole = Qt::UserRole + 1;

std::optional<QString> g_curve_file_for_testing;

/// The corrections in the order of the box, with their captions.
struct CorrectionItem {
  core::MeanCorrectionKind kind;
  const char* caption;  ///< the method's name, the same in both languages
};
constexpr CorrectionItem kCorrections[] = {{core::MeanCorrectionKind::kNone, nullptr},
                                           {core::MeanCorrectionKind::kGoodman, "Goodman"},
                                           {core::MeanCorrectionKind::kGerber, "Gerber"},
                                           {core::MeanCorrectionKind::kSwt, "SWT"},
                                           {core::MeanCorrectionKind::kWalker, "Walker"}};

}  // namespace

void LifeParameterDialog::SetCurveFileForTesting(std::optional<QString> path) {
  g_curve_file_for_testing = std::move(path);
}

LifeParameterDialog::LifeParameterDialog(core::FatigueMethod method, QWidget* parent)
    : QDialog(parent), method_(method) {
  setWindowTitle(Text(TextKey::kLifeTitle));
  auto* group = new QGroupBox(Text(TextKey::kLifeSnCurve), this);
  auto* grid = new QGridLayout(group);
  curves_ = new QComboBox(group);
  curves_->setObjectName(QStringLiteral("curve"));
  for (size_t i = 0; i < core::kSnClassTable.size(); ++i) {
    const std::string_view name = core::kSnClassTable[i].name;
    curves_->addItem(
        Text(TextKey::kLifeWeldClass).arg(QString::fromUtf8(name.data(), name.size())));
    curves_->setItemData(curves_->count() - 1, kWeldEntry, kEntryRole);
    curves_->setItemData(curves_->count() - 1, static_cast<int>(i), kValueRole);
  }
  curves_->insertSeparator(curves_->count());
  for (const int32_t category : core::kDetailCategories) {
    curves_->addItem(Text(TextKey::kLifeDetailCategory).arg(category));
    curves_->setItemData(curves_->count() - 1, kCategoryEntry, kEntryRole);
    curves_->setItemData(curves_->count() - 1, category, kValueRole);
  }
  curves_->insertSeparator(curves_->count());
  curves_->addItem(Text(TextKey::kLifeFromFile));
  curves_->setItemData(curves_->count() - 1, kFromFileEntry, kEntryRole);
  auto* curve_label = new QLabel(Text(TextKey::kLifeCurve), group);
  curve_label->setBuddy(curves_);
  grid->addWidget(curve_label, 0, 0);
  grid->addWidget(curves_, 0, 1);

  factors_ = new QButtonGroup(this);
  auto* factor_label = new QLabel(Text(TextKey::kLifeFactor), group);
  grid->addWidget(factor_label, 1, 0, Qt::AlignTop);
  auto* factor_column = new QVBoxLayout;
  for (size_t i = 0; i < core::kReliabilityFactors.size(); ++i) {
    const std::string_view text = core::kReliabilityFactors[i].text;
    auto* button = new QRadioButton(QString::fromUtf8(text.data(), text.size()), group);
    factors_->addButton(button, static_cast<int>(i));
    factor_column->addWidget(button);
  }
  grid->addLayout(factor_column, 1, 1);
  factor_label->setBuddy(factors_->button(0));
  factors_->button(core::kDefaultReliabilityIndex)->setChecked(true);

  auto* correction_group = new QGroupBox(Text(TextKey::kLifeMeanCorrection), this);
  auto* form = new QFormLayout(correction_group);
  corrections_ = new QComboBox(correction_group);
  corrections_->setObjectName(QStringLiteral("mean_correction"));
  for (const CorrectionItem& item : kCorrections) {
    corrections_->addItem(item.caption != nullptr ? QString::fromLatin1(item.caption)
                                                  : Text(TextKey::kLifeCorrectionNone));
  }
  form->addRow(Text(TextKey::kLifeMeanCorrection), corrections_);
  ultimate_ = new QLineEdit(correction_group);
  ultimate_->setObjectName(QStringLiteral("ultimate"));
  form->addRow(Text(TextKey::kLifeUltimate), ultimate_);
  gamma_ = new QLineEdit(QStringLiteral("0.5"), correction_group);
  gamma_->setObjectName(QStringLiteral("walker_gamma"));
  form->addRow(Text(TextKey::kLifeWalkerGamma), gamma_);
  correction_note_ = new QLabel(Text(TextKey::kLifeCorrectionWeld), correction_group);
  correction_note_->setWordWrap(true);
  form->addRow(correction_note_);

  curves_->setCurrentIndex(WeldClassItem(core::ReadLifeClassIndex()));
  shown_curve_ = curves_->currentIndex();
  connect(curves_, &QComboBox::activated, this, &LifeParameterDialog::CurveChosen);
  connect(corrections_, &QComboBox::currentIndexChanged, this, &LifeParameterDialog::UpdateFields);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(Text(TextKey::kOkAccelerated), QDialogButtonBox::AcceptRole);
  buttons->addButton(Text(TextKey::kCancelAccelerated), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addWidget(correction_group);
  layout->addWidget(buttons);
  UpdateFields();
}

int LifeParameterDialog::WeldClassItem(int32_t class_index) {
  return core::IsSnClassIndex(class_index) ? class_index : core::kDefaultSnClassIndex;
}

int LifeParameterDialog::DetailCategoryItem(int32_t category) const {
  for (int i = 0; i < curves_->count(); ++i) {
    if (curves_->itemData(i, kEntryRole) == kCategoryEntry &&
        curves_->itemData(i, kValueRole).toInt() == category) {
      return i;
    }
  }
  return -1;
}

int LifeParameterDialog::FromFileItem() const { return curves_->count() - 1; }

int32_t LifeParameterDialog::class_index() const {
  const int i = curves_->currentIndex();
  if (curves_->itemData(i, kEntryRole) != kWeldEntry) return -1;
  return curves_->itemData(i, kValueRole).toInt();
}

int32_t LifeParameterDialog::reliability_index() const { return factors_->checkedId(); }

void LifeParameterDialog::CurveChosen(int index) {
  if (curves_->itemData(index, kEntryRole) != kFromFileEntry) {
    shown_curve_ = index;
    return UpdateFields();
  }
  const QString path = g_curve_file_for_testing ? *g_curve_file_for_testing
                                                : QFileDialog::getOpenFileName(
                                                      this, Text(TextKey::kLifeOpenCurveTitle),
                                                      QString(), Text(TextKey::kLifeCurveFilter));
  // Cancelled, or a file that can't be read: the box shows the curve it showed.
  auto back = [this] {
    curves_->setCurrentIndex(shown_curve_);
    UpdateFields();
  };
  if (path.isEmpty()) return back();
  auto curve = core::ReadSnCurveFile(path.toStdString());
  if (!curve) {
    ui::ShowMessage(this, ui::ErrorMessage(curve.error()));
    return back();
  }
  file_curve_ = std::move(*curve);
  const QString caption =
      Text(TextKey::kLifeCurveFileItem).arg(QString::fromStdString(file_curve_->name));
  int file_item = FromFileItem() - 1;
  if (curves_->itemData(file_item, kEntryRole) != kFileEntry) {
    curves_->insertItem(FromFileItem(), caption);
    file_item = FromFileItem() - 1;
    curves_->setItemData(file_item, kFileEntry, kEntryRole);
  } else {
    curves_->setItemText(file_item, caption);
  }
  curves_->setCurrentIndex(file_item);
  shown_curve_ = file_item;
  UpdateFields();
}

void LifeParameterDialog::UpdateFields() {
  // The factor belongs to the weld classes; the correction to the other curves, on the counted
  // cycles (a fit has none).
  const bool weld = curves_->itemData(curves_->currentIndex(), kEntryRole) == kWeldEntry;
  for (QAbstractButton* button : factors_->buttons()) button->setEnabled(weld);
  const bool correctable = !weld && method_ == core::FatigueMethod::kActual;
  corrections_->setEnabled(correctable);
  if (!correctable) corrections_->setCurrentIndex(0);
  const auto kind = kCorrections[std::max(0, corrections_->currentIndex())].kind;
  ultimate_->setEnabled(correctable && kind != core::MeanCorrectionKind::kNone);
  gamma_->setEnabled(correctable && kind == core::MeanCorrectionKind::kWalker);
  correction_note_->setVisible(weld);
}

core::Result<core::SnCurve> LifeParameterDialog::ShownCurve() const {
  const int i = curves_->currentIndex();
  const int value = curves_->itemData(i, kValueRole).toInt();
  switch (curves_->itemData(i, kEntryRole).toInt()) {
    case kWeldEntry:
      return core::WeldClassCurve(value, reliability_index());
    case kCategoryEntry:
      return core::DetailCategoryCurve(value);
    default:
      return *file_curve_;  // the box shows the file's entry only once a file was read
  }
}

void LifeParameterDialog::accept() {
  auto curve = ShownCurve();
  if (!curve) return ui::ShowMessage(this, ui::ErrorMessage(curve.error()));
  core::FatigueChoice choice;
  choice.method = method_;
  choice.curve = std::move(*curve);
  if (corrections_->isEnabled()) {
    choice.correction.kind = kCorrections[std::max(0, corrections_->currentIndex())].kind;
    // An empty strength is none given (SWT and Walker do without one).
    auto number = [this](QLineEdit* field, double& value) {
      const QString text = field->text().trimmed();
      if (!field->isEnabled() || text.isEmpty()) return true;
      const auto parsed = core::ParseFiniteDouble(text.toStdString());
      if (!parsed) {
        ui::ShowMessage(this, Text(TextKey::kLifeBadNumber).arg(text));
        field->setFocus();
        return false;
      }
      value = *parsed;
      return true;
    };
    if (!number(ultimate_, choice.correction.ultimate)) return;
    if (!number(gamma_, choice.correction.walker_gamma)) return;
    if (auto checked = core::CheckMeanCorrection(choice.correction); !checked) {
      return ui::ShowMessage(this, ui::ErrorMessage(checked.error()));
    }
  }
  // The class opens the next dialog, also after a restart; the factor always opens on 2.0.
  if (choice.curve.is_weld_class()) {
    if (auto kept = core::WriteLifeClassIndex(choice.curve.class_index); !kept) {
      ui::ShowMessage(this, ui::ErrorMessage(kept.error()));
    }
  }
  choice_ = std::move(choice);
  QDialog::accept();
}

}  // namespace torvwy::module
