// The import of a recording from the desktop: the dialog that lists its channels and the test
// they become nodes of, and the import behind the progress dialog.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/services/progress.h"
#include "core/services/result.h"
#include "recording/recording_import.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QTableWidget;
class QTableWidgetItem;

namespace torvwy::ui {
class PassRunner;
}

namespace torvwy::host {

/// Plans the nodes of the checked channels (`checked` and `typed_names` hold one entry per
/// channel). Each checked channel is picked by its name when no other channel has that name, else
/// by its number, so that the names clean and take their suffixes among the checked channels
/// only. A typed name (not empty) replaces the one from the channel. Fails as PlanNodes does: an
/// invalid typed name, two nodes of one name, no channel checked.
core::Result<std::vector<recording::PlannedNode>> PlanCheckedChannels(
    const std::vector<recording::ChannelInfo>& channels, const std::vector<bool>& checked,
    const std::vector<std::string>& typed_names);

/// The data folder an import starts with: the data folder of the current test (the host's
/// parameter file) when it exists, else the recording's own folder.
std::filesystem::path DefaultDataFolder(const std::filesystem::path& recording);

/// Imports the planned channels as a pass under the status line `status`: the samples done go to
/// `progress` as its position, and its Cancel stops the import at the next piece (the nodes
/// written before stay, nothing of the one under way).
recording::ImportOutcome RunImportPass(recording::RecordingReader& file,
                                       const std::vector<recording::PlannedNode>& plan,
                                       const recording::ImportSettings& settings,
                                       const std::string& status, core::Progress& progress);

/// What an import did, for a message box: the nodes written, one line each, and the failure
/// that stopped it.
QString DescribeImport(const recording::ImportOutcome& outcome, size_t planned,
                       const recording::ImportSettings& settings);

/// The node an import wrote first, and the others, for a counting window.
struct ImportedNodes {
  std::string data_path;
  std::string test_name;
  std::string test_code;
  std::vector<std::string> nodes;  ///< written, in order; never empty
};

/// The dialog: the channels of an opened recording with a check box each, the test name and
/// code, the data folder, a sampling frequency for files that give none, and whether to replace
/// existing nodes. OK checks the import, runs it behind the progress dialog and says what was
/// written; the dialog closes once a node was written.
///
///   +-----------------------------------------------------------------+
///   | The channels of rec.csv:                                        |
///   | Channel   | Length | Rate (Hz) | Unit | Node                    |
///   | [x] a     | 1000   | 100       |      | a                       |
///   | [ ] b     | 1000   | 100       |      |                         |
///   | Not imported: column 1 'time' is the time column                |
///   | Test name [      ]   Test code [    ]                           |
///   | Data folder [/data/lab          ] [...]                         |
///   | Sampling frequency (Hz) [from the file]  [ ] Overwrite nodes    |
///   |                                               [ OK ] [ Cancel ] |
///   +-----------------------------------------------------------------+
class ImportRecordingDialog : public QDialog {
  Q_OBJECT

 public:
  ImportRecordingDialog(QWidget* parent, recording::RecordingHandle file);
  ~ImportRecordingDialog() override;

  const recording::RecordingReader& recording() const { return *file_; }
  /// The check box of channel `index` (from 0).
  QCheckBox* check_box(size_t index) const { return checks_[index]; }
  QTableWidget* table() const { return table_; }
  bool busy() const;
  ui::PassRunner* runner() const { return runner_; }

  /// Called on the worker thread with every progress of an import, before its Cancel is read.
  static void SetProgressHookForTesting(std::function<void(int64_t done, int64_t total)> hook);

 signals:
  /// Nodes were written (the dialog has closed).
  void Imported(const torvwy::host::ImportedNodes& nodes);

 public slots:
  void accept() override;
  void reject() override;

 private:
  /// Shows the node name of every checked channel.
  void Replan();
  void NodeEdited(QTableWidgetItem* item);
  void ChooseFolder();
  /// The settings of the fields; none (said in a message) for a sampling frequency that is no
  /// number > 0.
  std::optional<recording::ImportSettings> Settings();
  void Finish(const recording::ImportOutcome& outcome, size_t planned,
              const recording::ImportSettings& settings);
  std::vector<bool> Checked() const;

  std::shared_ptr<recording::RecordingReader> file_;
  QTableWidget* table_ = nullptr;
  std::vector<QCheckBox*> checks_;
  std::vector<std::string> typed_names_;  ///< per channel; empty: from the channel name
  std::vector<std::string> shown_names_;  ///< per channel: the node name shown now
  QLineEdit* test_name_ = nullptr;
  QLineEdit* test_code_ = nullptr;
  QLineEdit* data_path_ = nullptr;
  QLineEdit* rate_ = nullptr;
  QCheckBox* overwrite_ = nullptr;
  ui::PassRunner* runner_ = nullptr;
};

}  // namespace torvwy::host
