// The test and node chooser: which test, which nodes (or result files) an analysis works on.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "core/data/parameter_file.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QRadioButton;

namespace torvwy::ui {

/// What the chooser leaves behind: the test and the chosen nodes or result files.
struct NodeChoice {
  std::string test_name;
  std::string test_code;
  std::string data_path;
  std::string result_path;
  bool result_mode = false;
  std::vector<std::string> names;  ///< node names, or result file names in result mode
};

/// The nodes of a test in a folder: every "<test><code>#<node>.tsp" (extension in any case),
/// sorted with numeric node names in numeric order.
std::vector<std::string> ListNodes(const std::string& data_path, const std::string& test_name,
                                   const std::string& test_code);

/// The result files (.PCM, .DCM, .RFL, any case) in a folder, sorted by name.
std::vector<std::string> ListResultFiles(const std::string& result_path);

/// The parameter-file record of a choice (first node current).
core::TestContext ContextOfChoice(const NodeChoice& choice);

/// Writes the choice as "TorvWyPara.txt" of the host folder, and its statistics keys (data and
/// result folder, test name, test code and node ranges) into the profile, so that every window
/// opens on it. Adds the test and folders to the recent lists.
core::Status WriteChoice(const NodeChoice& choice);

/// The dialog: data folder (with recent folders), test name and code (with recent entries), the
/// nodes found, or result files of the result folder.
class SelectNodeDialog : public QDialog {
  Q_OBJECT

 public:
  SelectNodeDialog(QWidget* parent, bool several, bool results, const NodeChoice& start);
  NodeChoice choice() const;

 protected:
  void accept() override;

 private:
  void Refill();

  bool several_;
  QComboBox* data_path_ = nullptr;
  QComboBox* test_name_ = nullptr;
  QComboBox* test_code_ = nullptr;
  QLineEdit* result_path_ = nullptr;
  QRadioButton* nodes_mode_ = nullptr;
  QRadioButton* results_mode_ = nullptr;
  QListWidget* list_ = nullptr;
};

/// Runs the chooser over `parent` starting from the current parameter file (or the given
/// test); on OK writes "TorvWyPara.txt" in the host folder and the recent lists, and returns
/// true. `several` lets the user pick several nodes, `results` allows result files.
bool SelectNodeDialogRun(QWidget* parent, bool several, bool results);

/// Fills the list of `combo` from a recent-list file, keeping the combo's current text.
void LoadRecentList(QComboBox* combo, const std::filesystem::path& file);

/// Shows `window` at `rect` growing from its centre in `steps` steps (about 10 ms each).
void AnimateShowWindow(QWidget* window, const QRect& rect, int steps = 50);

}  // namespace torvwy::ui
