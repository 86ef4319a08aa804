// The life estimate parameter dialog: the S-N curve (a weld class with its reliability factor, a
// steel detail category or a curve file) and the mean-stress correction.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <optional>

#include "core/fatigue/fatigue_estimate.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;

namespace torvwy::module {

/// Modal over its view (opened without waiting). Opens on the weld class kept in the profile and
/// on the factor d = 2.0; OK keeps a chosen weld class in the profile for the next estimate.
///
///   S-N curve  [BS 7608 weld class B .. T | EN 1993-1-9 Δσc = 160 .. 36 | Curve file: x |
///               From file…]
///   Factor d   (o) 0 ... (o) 3.0                 weld classes only
///   Correction [None | Goodman | Gerber | SWT | Walker]   not for a weld class, nor a fit
///   Su [    ]  gamma [0.5]
///
/// "From file…" asks for a curve file and reads it; a file that can't be read says why in one
/// message box and the box goes back to the curve it showed. OK refuses (a message, the dialog
/// stays open) a number field that holds no number and a correction the core refuses.
class LifeParameterDialog : public QDialog {
  Q_OBJECT

 public:
  explicit LifeParameterDialog(core::FatigueMethod method = core::FatigueMethod::kActual,
                               QWidget* parent = nullptr);

  /// What OK settled: the method, the curve and the correction.
  const core::FatigueChoice& choice() const { return choice_; }
  /// The weld class shown in the curve box; -1 when the box shows another curve.
  int32_t class_index() const;
  int32_t reliability_index() const;

  QComboBox* curve_box() const { return curves_; }
  QButtonGroup* reliability_group() const { return factors_; }
  QComboBox* correction_box() const { return corrections_; }
  QLineEdit* ultimate_field() const { return ultimate_; }
  QLineEdit* gamma_field() const { return gamma_; }
  /// The index of the curve box's entry of a weld class, a detail category, or "From file…".
  static int WeldClassItem(int32_t class_index);
  int DetailCategoryItem(int32_t category) const;
  int FromFileItem() const;

  /// For tests: the path the file dialog answers with (empty: cancelled); nothing shows the
  /// dialog again.
  static void SetCurveFileForTesting(std::optional<QString> path);

 protected:
  void accept() override;

 private:
  /// The curve box's entry `index` was chosen: a file is asked for on "From file…".
  void CurveChosen(int index);
  /// Enables the fields that the curve and the correction shown take.
  void UpdateFields();
  /// The curve the box shows; an error for a class or category the core refuses.
  core::Result<core::SnCurve> ShownCurve() const;

  core::FatigueMethod method_;
  QComboBox* curves_ = nullptr;
  QButtonGroup* factors_ = nullptr;
  QComboBox* corrections_ = nullptr;
  QLineEdit* ultimate_ = nullptr;
  QLineEdit* gamma_ = nullptr;
  QLabel* correction_note_ = nullptr;
  int shown_curve_ = 0;                      ///< the entry shown before the last choice
  std::optional<core::SnCurve> file_curve_;  ///< the curve file read last
  core::FatigueChoice choice_;
};

}  // namespace torvwy::module
