// The table of a life estimate, as the host shows it when a view has made one (2025/1037).
#pragma once

#include <QWidget>
#include <optional>
#include <string>

#include "core/fatigue/fatigue_list.h"
#include "core/fatigue/fatigue_result.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace torvwy::ui {

/// The last estimate a view made, with what the host's table shows beside it.
struct FatigueTable {
  core::FatigueResult result;
  core::FatigueListNames names;
  std::string unit;             ///< the engineering unit of the stress ranges
  double record_seconds = 0.0;  ///< the counted part of the record, in seconds
  /// The estimate of a node still followed: the damage so far, made again at every update.
  bool live = false;
};

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

/// The rows of the estimate (No, stress range, count, percent, cycles to failure, damage), its
/// total damage, and the life that damage implies (our addition, labelled as such). "Export"
/// hands the table to the list converter.
class FatigueTableWidget : public QWidget {
  Q_OBJECT

 public:
  explicit FatigueTableWidget(QWidget* parent = nullptr);
  void Show(const FatigueTable& table);

  QTableWidget* table() const { return table_; }
  QLabel* total_damage() const { return total_; }
  QLabel* life() const { return life_; }
  QPushButton* export_button() const { return export_; }

 private:
  void Export();

  QLabel* title_ = nullptr;
  QLabel* total_ = nullptr;
  QLabel* life_ = nullptr;
  QTableWidget* table_ = nullptr;
  QPushButton* export_ = nullptr;
};

}  // namespace torvwy::ui
