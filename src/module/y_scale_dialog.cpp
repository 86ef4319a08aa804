// The Y-scale dialog.
#include "module/y_scale_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/services/number_format.h"
#include "core/services/text.h"
#include "module/module_state.h"

namespace torvwy::module {

YScaleDialog::YScaleDialog(double value, QWidget* parent) : QDialog(parent), value_(value) {
  setWindowTitle(Text(TextKey::kYScaleTitle));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(Text(TextKey::kYScalePrompt), this));
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("0 - "), this));
  field_ = new QLineEdit(QString::fromStdString(core::FormatNumber(value, 0)), this);
  row->addWidget(field_);
  row->addWidget(new QLabel(QStringLiteral(" "), this));
  layout->addLayout(row);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(Text(TextKey::kOk));
  buttons->button(QDialogButtonBox::Cancel)->setText(Text(TextKey::kCancel));
  connect(buttons, &QDialogButtonBox::accepted, this, &YScaleDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &YScaleDialog::reject);
  layout->addWidget(buttons);
  field_->selectAll();
}

void YScaleDialog::accept() {
  const auto value = core::ParseFiniteDouble(field_->text().toStdString());
  if (!value) {
    ShowMessage(this, Text(TextKey::kEnterNumber));
    return;
  }
  value_ = *value;
  QDialog::accept();
}

}  // namespace torvwy::module
