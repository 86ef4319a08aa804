// The statistics parameter dialog: what a batch covers, where its results go, what it computes.
#pragma once

#include <QDialog>

#include "core/services/result.h"
#include "core/stats/statistics_parameters.h"

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace torvwy::module {

/// Ranges that expand to more code x node pairs than this ask before the batch runs.
inline constexpr size_t kPairsWithoutAsking = 10000;

/// Edits the parameters of a statistics batch:
///
///   ( ) Amplitude Parameters      [ OK ]
///   ( ) Maximum Peak-Peak Value   [Cancel]
///       Number(1-200) [ 20 ^v]
///   TestName  [abc        v] [...]     the "..." picks a waveform file and fills the fields
///   TestCode  [1-3        v]
///   NodeName  [1-8        v]
///   Data Path [c:\torvout v] [...]
///   Result Path [         v] [...]
///
/// The combos offer the recent lists of the host folder. OK checks both ranges (a malformed one
/// keeps the dialog open with a message), that the data folder exists, and asks before a batch
/// of more than kPairsWithoutAsking pairs. The content always starts at amplitude indices.
class StatisticsDialog : public QDialog {
  Q_OBJECT

 public:
  StatisticsDialog(QWidget* parent, const core::StatisticsParameters& start);

  /// The parameters as the fields hold them (the host folder of `start` kept).
  core::StatisticsParameters parameters() const;
  /// Fills data and result folder, test name, code and node from a waveform file's path; a title
  /// without a test before its "#" changes nothing and returns false.
  bool FillFromWaveformFile(const QString& path);

  QRadioButton* amplitude_radio() const { return amplitude_; }
  QRadioButton* peak_peak_radio() const { return peak_peak_; }
  QSpinBox* number() const { return number_; }
  QComboBox* test_name() const { return test_name_; }
  QComboBox* code_range() const { return code_range_; }
  QComboBox* node_range() const { return node_range_; }
  QComboBox* data_path() const { return data_path_; }
  QComboBox* result_path() const { return result_path_; }

 protected:
  void accept() override;

 private:
  void ContentChanged();
  void BrowseFolder(QComboBox* combo);
  void PickWaveformFile();

  core::StatisticsParameters start_;
  QRadioButton* amplitude_ = nullptr;
  QRadioButton* peak_peak_ = nullptr;
  QLabel* number_label_ = nullptr;
  QSpinBox* number_ = nullptr;
  QComboBox* test_name_ = nullptr;
  QComboBox* code_range_ = nullptr;
  QComboBox* node_range_ = nullptr;
  QComboBox* data_path_ = nullptr;
  QComboBox* result_path_ = nullptr;
};

}  // namespace torvwy::module
