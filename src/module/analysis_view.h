// What every analysis view answers: the host's two messages, and whether a pass is under way.
#pragma once

#include <QWidget>

namespace torvwy::module {

/// The base of the four views. 2025 commands (1001..1045) and 2125 notices reach HandleCommand
/// and HandleNotice; while a pass is under way every message is ignored, never run inside it.
class AnalysisView : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;

  virtual bool busy() const { return false; }
  /// Asks the pass under way to stop; PassEnded follows.
  virtual void CancelPass() {}
  /// The help page of the analysis ("WyCont.html").
  virtual QString HelpTopic() const = 0;

 signals:
  void PassEnded();

 protected:
  bool event(QEvent* event) override;
  virtual void HandleCommand(quint32 code, qintptr value) = 0;
  virtual void HandleNotice(quint32 code, qintptr value) = 0;
};

}  // namespace torvwy::module
