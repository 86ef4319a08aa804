// The progress dialog of a long pass, and the pass run on a worker thread behind it.
#pragma once

#include <QDialog>
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>

#include "core/services/progress.h"

class QLabel;
class QProgressBar;

namespace torvwy::ui {

/// A small modeless dialog: status line, bar, percentage and Cancel. While it is up the window
/// it belongs to is disabled; Cancel only raises a flag that the pass polls.
///
///   +-------------------------------+
///   | Counting demo1#2.tsp          |   status
///   |              37%              |   percentage, ProgressPercent of the bar
///   | [###########.................]|
///   |           [ Cancel ]          |
///   +-------------------------------+
class ProgressDialog : public QDialog {
  Q_OBJECT

 public:
  /// `owner` is disabled while the dialog is up (only when it was enabled).
  explicit ProgressDialog(QWidget* owner,
                          const QString& caption = QStringLiteral("TORV Calculating"));
  ~ProgressDialog() override;

  void SetStatus(const QString& text);
  void SetRange(qint64 lower, qint64 upper);
  void SetPos(qint64 position);
  /// "37%": the text the percentage label shows now.
  QString PercentText() const;
  QString StatusText() const;

  /// True once for every Cancel since the last call (thread-safe).
  bool TakeCancel() { return cancel_.exchange(false); }
  /// What the Cancel button does.
  void RequestCancel() {
    cancel_ = true;
    emit CancelRequested();
  }

 signals:
  /// Cancel was asked for: the button, or closing the dialog.
  void CancelRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Done();

  QLabel* status_ = nullptr;
  QLabel* percent_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPointer<QWidget> owner_;
  bool owner_disabled_ = false;
  qint64 lower_ = 0;
  qint64 upper_ = 100;
  std::atomic<bool> cancel_{false};
};

/// The core::Progress of a pass on a worker thread: every change is handed to the dialog on the
/// user interface thread (queued; only when the percentage or the status changed), and a poll
/// reads the dialog's Cancel.
class WorkerProgress : public core::Progress {
 public:
  /// `dialog` must outlive the pass (PassRunner sees to it).
  explicit WorkerProgress(ProgressDialog* dialog) : dialog_(dialog) {}

 protected:
  void OnChanged() override;
  void OnPoll() override;

 private:
  ProgressDialog* dialog_;
  int shown_percent_ = -1;
  std::string shown_status_;
};

/// A pass under way: `pass` runs on a worker thread with a ProgressDialog over `owner`; when it
/// ends, `done` runs on the user interface thread (the dialog is gone by then). Only one pass
/// runs per PassRunner at a time: Start returns false while one is under way.
class PassRunner : public QObject {
  Q_OBJECT

 public:
  explicit PassRunner(QWidget* owner);
  ~PassRunner() override;

  bool Start(const QString& status, std::function<void(core::Progress&)> pass,
             std::function<void()> done);
  bool busy() const { return busy_; }
  /// Asks the pass under way to stop at its next poll.
  void Cancel();
  /// Blocks until the pass under way has ended (its `done` is not run then). For closing.
  void Wait();
  ProgressDialog* dialog() const { return dialog_; }

 signals:
  void Finished();

 private:
  QWidget* owner_;
  QPointer<ProgressDialog> dialog_;
  std::unique_ptr<QThread> thread_;
  bool busy_ = false;
};

}  // namespace torvwy::ui
