// The Y-scale dialog of the counting views: the top of the count axis as a number.
#pragma once

#include <QDialog>
#include <optional>

class QLineEdit;

namespace torvwy::module {

/// "Please input Y scale"  0 - [ 307 ]  : the top of the Y axis. OK takes any number, 0
/// included (the view keeps the zoom within its bounds).
class YScaleDialog : public QDialog {
  Q_OBJECT

 public:
  YScaleDialog(double value, QWidget* parent = nullptr);
  /// The number entered (after OK).
  double value() const { return value_; }
  QLineEdit* field() const { return field_; }

 public slots:
  void accept() override;

 private:
  QLineEdit* field_ = nullptr;
  double value_ = 0.0;
};

}  // namespace torvwy::module
