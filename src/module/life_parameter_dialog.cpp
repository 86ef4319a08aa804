// The life estimate parameter dialog.
#include "module/life_parameter_dialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/fatigue/life_class_setting.h"
#include "core/fatigue/sn_class_table.h"
#include "ui/error_message.h"
#include "ui/language.h"
#include "ui/message_box.h"

namespace torvwy::module {

LifeParameterDialog::LifeParameterDialog(QWidget* parent) : QDialog(parent) {
  using ui::Text;
  using ui::TextKey;
  setWindowTitle(Text(TextKey::kLifeTitle));
  auto* group = new QGroupBox(Text(TextKey::kLifeSnCurve), this);
  auto* grid = new QGridLayout(group);
  classes_ = new QButtonGroup(this);
  factors_ = new QButtonGroup(this);
  auto* class_label = new QLabel(Text(TextKey::kLifeClass), group);
  auto* factor_label = new QLabel(Text(TextKey::kLifeFactor), group);
  grid->addWidget(class_label, 0, 0);
  grid->addWidget(factor_label, 0, 1);
  for (size_t i = 0; i < core::kSnClassTable.size(); ++i) {
    auto* button = new QRadioButton(
        QString::fromUtf8(core::kSnClassTable[i].name.data(), core::kSnClassTable[i].name.size()),
        group);
    classes_->addButton(button, static_cast<int>(i));
    grid->addWidget(button, static_cast<int>(i) + 1, 0);
  }
  for (size_t i = 0; i < core::kReliabilityFactors.size(); ++i) {
    const std::string_view text = core::kReliabilityFactors[i].text;
    auto* button = new QRadioButton(QString::fromUtf8(text.data(), text.size()), group);
    factors_->addButton(button, static_cast<int>(i));
    grid->addWidget(button, static_cast<int>(i) + 1, 1);
  }
  class_label->setBuddy(classes_->button(0));
  factor_label->setBuddy(factors_->button(0));
  classes_->button(core::ReadLifeClassIndex())->setChecked(true);
  factors_->button(core::kDefaultReliabilityIndex)->setChecked(true);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(Text(TextKey::kOkAccelerated), QDialogButtonBox::AcceptRole);
  buttons->addButton(Text(TextKey::kCancelAccelerated), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addWidget(buttons);
}

int32_t LifeParameterDialog::class_index() const { return classes_->checkedId(); }

int32_t LifeParameterDialog::reliability_index() const { return factors_->checkedId(); }

void LifeParameterDialog::accept() {
  // The class opens the next dialog, also after a restart; the factor always opens on 2.0.
  if (auto kept = core::WriteLifeClassIndex(class_index()); !kept) {
    ui::ShowMessage(this, ui::ErrorMessage(kept.error()));
  }
  QDialog::accept();
}

}  // namespace torvwy::module
