// The table of a life estimate, as the host shows it when a view has made one (2025/1037).
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/fatigue/damage_history.h"
#include "core/fatigue/equivalent_load.h"
#include "core/fatigue/fatigue_list.h"
#include "core/fatigue/fatigue_result.h"
#include "core/fatigue/sn_curve.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace torvwy::ui {

class DamageCurveWidget;

/// The last estimate a view made, with what the host's table shows beside it.
struct FatigueTable {
  core::FatigueResult result;
  core::FatigueListNames names;
  std::string unit;             ///< the engineering unit of the stress ranges
  std::string data_folder;      ///< the test's data folder: where Export starts the first time
  double record_seconds = 0.0;  ///< the counted part of the record, in seconds
  /// The estimate of a node still followed: the damage so far, made again at every update.
  bool live = false;
  /// The cycle list of the count was at hand: the loads and the damage curve below are its.
  bool cycles_known = false;
  double equivalent_cycles = 0.0;           ///< N_eq of the loads
  std::vector<core::EquivalentLoad> loads;  ///< the DEL of kDockExponents, in their order
  std::vector<core::DamageStep> history;    ///< the damage as it grew (an actual estimate)
};

/// The Woehler exponents whose damage-equivalent loads the table shows.
inline constexpr std::array<double, 3> kDockExponents = {3.0, 5.0, 10.0};

/// How the windows name a curve: "BS 7608 weld class F2 (d = 2.0)", "EN 1993-1-9 detail category
/// Δσc = 71", "Curve file: <its name>".
QString CurveCaption(const core::SnCurve& curve);

/// The value of 2025/1037 when a followed node's estimate was made again: the host refreshes the
/// table it shows and opens none.
inline constexpr qintptr kFileStoredUpdate = 1;

/// Keeps the estimate a view has just written, for the host that it notifies next (one for the
/// process: the host and the module share this library).
void SetLastFatigueTable(const FatigueTable& table);
/// The estimate last kept; none before the first.
std::optional<FatigueTable> LastFatigueTable();

/// The life the damage implies: the record's duration divided by the total damage, in seconds;
/// none when the damage is not a positive finite number or the duration is unknown.
std::optional<double> ImpliedLifeSeconds(const FatigueTable& table);

/// The curve used, the rows of the estimate (No, stress range, count, percent, cycles to failure,
/// damage), its total damage, and the life that damage implies (record duration / damage);
/// with the cycle list, the damage-equivalent loads and the damage curve. "Export" hands the
/// table to the list converter.
class FatigueTableWidget : public QWidget {
  Q_OBJECT

 public:
  explicit FatigueTableWidget(QWidget* parent = nullptr);
  void Show(const FatigueTable& table);

  QTableWidget* table() const { return table_; }
  QLabel* total_damage() const { return total_; }
  QLabel* life() const { return life_; }
  QLabel* curve() const { return curve_; }
  /// The loads' line, or why there are none.
  QLabel* equivalent_loads() const { return loads_; }
  DamageCurveWidget* damage_curve() const { return damage_curve_; }
  QPushButton* export_button() const { return export_; }
  /// The folder and name the Export save dialog starts with: the folder last exported to (the
  /// profile's), else the test's data folder; "<test><code>#<node>_fatigue.xlsx".
  QString ExportStartPath() const;

 private:
  void Export();

  QLabel* title_ = nullptr;
  QLabel* total_ = nullptr;
  QLabel* life_ = nullptr;
  QLabel* curve_ = nullptr;
  QLabel* loads_ = nullptr;
  DamageCurveWidget* damage_curve_ = nullptr;
  QTableWidget* table_ = nullptr;
  QPushButton* export_ = nullptr;
  core::FatigueListNames names_;  ///< of the estimate shown
  std::string data_folder_;
};

}  // namespace torvwy::ui
