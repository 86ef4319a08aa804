// The host application's main window: loads the analysis module, opens its windows in an MDI
// area, and sends and receives the two host messages.
#pragma once

#include <QLibrary>
#include <QMainWindow>
#include <memory>
#include <vector>

#include "module/doc_template.h"

class QDockWidget;
class QMdiArea;
class QMdiSubWindow;

namespace torvwy::host {

class ImportRecordingDialog;
struct ImportedNodes;

class HostWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit HostWindow(QWidget* parent = nullptr);
  ~HostWindow() override;

  /// Loads the module ("libtorvwy_module.so" beside the program, or `path`) and takes its four
  /// templates. Fails with a one-line reason.
  bool LoadModule(const QString& path, QString* error);
  /// Opens a window of the template `id` (6010..6013) on the current parameter file.
  QWidget* OpenWindow(int id);
  /// Opens a saved result file: writes a result-mode parameter file and opens its analysis.
  QWidget* OpenResultFile(const QString& path);
  /// Opens the import dialog on the recording at `path` (shown, not waited for); after an import
  /// it offers a counting window on the first node written. Null when the file can't be opened
  /// as a recording (said in a message).
  ImportRecordingDialog* ImportRecording(const QString& path);
  /// Sends a 2025 command to the active analysis window.
  void SendToActive(quint32 code, qintptr value = 0);
  /// File > Exit and Ctrl+Q: closes the main window as its close box does (a pass under way is
  /// cancelled first, then every window closes) and ends the program.
  void Quit();

  QMdiArea* mdi() const { return mdi_; }
  /// The analysis frames open now.
  std::vector<QWidget*> frames() const;
  /// Frames announced gone with 2025/1010, newest last (for tests).
  const std::vector<quintptr>& gone() const { return gone_; }

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void ChooseAndOpen(int id);
  void OpenResultDialog();
  void ImportRecordingChosen();
  /// Asks whether to open a peak counting window on the first of `nodes`, and opens it.
  void OfferCountingWindow(const ImportedNodes& nodes);
  void ShowSettings();
  void AnnounceSettings();
  /// 2025/1037: the table of the life estimate a view has just made, in a dock of its own; an
  /// `update` of a followed node's estimate refreshes the dock when it is shown, and opens none.
  void ShowFatigueTable(bool update);
  const module::DocTemplate* Template(int id) const;

  QMdiArea* mdi_ = nullptr;
  QLibrary library_;
  std::vector<std::unique_ptr<module::DocTemplate>> templates_;
  std::vector<quintptr> gone_;
  bool closing_ = false;
  bool quitting_ = false;
  QDockWidget* fatigue_dock_ = nullptr;
};

}  // namespace torvwy::host
