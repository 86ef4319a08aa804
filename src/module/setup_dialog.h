// The setup dialog of the counting views: analysis range, amplitude range, partitions and the
// counting conventions.
#pragma once

#include <QDialog>
#include <QString>
#include <optional>
#include <string>

#include "core/counting/counting_parameters.h"
#include "core/run/counting_plan.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QToolButton;
class QVBoxLayout;

namespace torvwy::module {

/// One modal dialog for the three countings (only the title differs):
///
///   Analysis Range  (o) Full   ( ) By Block  [ 1 ] -- [ 40 ] (block)
///   Amplitude Range ( ) AD Input Range  +/- 20 V
///                   (o) Maximum Value
///                   ( ) Specify         +/- [ 20 ] V
///   Partitions [ 25 ][^v] (2-2000)                     [OK] [Cancel]
///   Residue    [half v]             rainflow only: half, full, discard, repeated
///   Gate       [ 0 ] EU             peak, range, rainflow, range pairs
///
/// Level crossing counting adds its levels below the partitions, its gate among them (the one
/// gate field of the dialog; time at level has none):
///
///   Levels  Level list [            ] EU     empty: the N + 1 partition edges
///           Reference  [ 0 ] EU
///           Direction  [astm v]               astm, up, down, both
///           Gate       [ 0 ] EU
///
/// The block fields are enabled only for By Block, the set value only for Specify. OK checks
/// that each field is a number of its type, then the plan's own check (PlanCounting) refuses a
/// partition count below 1, a set value no partitions can be made of or a gate below 0 in the
/// plan's words and keeps the dialog open with the field named; the numbers are taken as typed
/// (5000 partitions are accepted and the counting uses 2000, which the status bar notes) into a
/// plan that the view settles.
class SetupDialog : public QDialog {
  Q_OBJECT

 public:
  /// The plan the next count uses fills the fields (its kind, parameters, level crossing
  /// options, residue method and gate); `ad_range_value` and `eu` make the AD range text.
  SetupDialog(const core::CountingPlan& shown, double ad_range_value, const QString& eu,
              QWidget* parent = nullptr);

  /// What the fields ask for (after OK), to be settled against the node.
  const core::CountingPlan& request() const { return plan_; }

  /// Shows `dialog` window-modal without waiting, or, when a test set an answer, closes it with
  /// that answer as soon as the event loop runs.
  static void Show(SetupDialog* dialog);
  /// The answer every dialog gets without being shown; nothing shows them again.
  static void SetAnswerForTesting(std::optional<int> answer);

  QLineEdit* block_from() const { return block_from_; }
  QLineEdit* block_to() const { return block_to_; }
  QLineEdit* partitions() const { return partitions_; }
  QLineEdit* set_value() const { return set_value_; }
  QButtonGroup* range_group() const { return range_; }
  QButtonGroup* amplitude_group() const { return amplitude_; }
  QToolButton* spin_up() const { return spin_up_; }
  QToolButton* spin_down() const { return spin_down_; }
  /// The level fields of level crossing counting; null for the other methods.
  QLineEdit* level_list() const { return level_list_; }
  QLineEdit* reference() const { return reference_; }
  QComboBox* direction() const { return direction_; }
  /// The gate field: among the levels for level crossing counting, below the partitions for
  /// peak, range, rainflow and range-pair counting; null for time at level.
  QLineEdit* gate() const { return gate_; }
  /// The residue method of rainflow counting; null for the other methods.
  QComboBox* residue() const { return residue_; }

  /// The spin control's range.
  static constexpr int kSpinLow = 2;
  static constexpr int kSpinHigh = core::kMaxPartitions;

 public slots:
  void accept() override;

 private:
  void UpdateEnabling();
  void Spin(int step);
  /// The level or gate field whose option a refusal's detail names; null when none.
  QLineEdit* FieldNamedIn(const std::string& detail) const;
  void AddLevelFields(QVBoxLayout& layout, const core::CrossingOptions& crossings,
                      const QString& eu);
  /// The residue method (rainflow) and the gate (methods that take one, but level crossings).
  void AddConventionFields(QVBoxLayout& layout, const core::CountingPlan& shown, const QString& eu);

  core::CountingParameters parameters_;
  core::CountingKind kind_;
  core::CountingPlan plan_;
  QButtonGroup* range_ = nullptr;
  QButtonGroup* amplitude_ = nullptr;
  QLineEdit* block_from_ = nullptr;
  QLineEdit* block_to_ = nullptr;
  QLineEdit* time_from_ = nullptr;
  QLineEdit* time_to_ = nullptr;
  QLineEdit* partitions_ = nullptr;
  QLineEdit* set_value_ = nullptr;
  QToolButton* spin_up_ = nullptr;
  QToolButton* spin_down_ = nullptr;
  QLineEdit* level_list_ = nullptr;
  QLineEdit* reference_ = nullptr;
  QComboBox* direction_ = nullptr;
  QLineEdit* gate_ = nullptr;
  QComboBox* residue_ = nullptr;
};

}  // namespace torvwy::module
