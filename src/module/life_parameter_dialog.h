// The life estimate parameter dialog: the weld class of the S-N curve and the reliability factor.
#pragma once

#include <QDialog>
#include <cstdint>

class QButtonGroup;

namespace torvwy::module {

/// Modal over its view (opened without waiting). Opens on the class kept in the profile and on
/// the factor d = 2.0; OK keeps the chosen class in the profile for the next estimate.
class LifeParameterDialog : public QDialog {
  Q_OBJECT

 public:
  explicit LifeParameterDialog(QWidget* parent = nullptr);

  int32_t class_index() const;
  int32_t reliability_index() const;
  QButtonGroup* class_group() const { return classes_; }
  QButtonGroup* reliability_group() const { return factors_; }

 protected:
  void accept() override;

 private:
  QButtonGroup* classes_ = nullptr;
  QButtonGroup* factors_ = nullptr;
};

}  // namespace torvwy::module
