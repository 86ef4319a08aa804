// Message boxes of the host and the module, which tests can take instead.
#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace torvwy::ui {

/// Shows a warning (or an information) box over `parent`. When a receiver is set, it gets the
/// text through its slot "Message(QString)" instead, so that nothing waits for a click.
void ShowMessage(QWidget* parent, const QString& text, bool warning = true);

/// Asks a yes/no question over `parent`; true for yes. When a receiver is set, its slot
/// "bool Question(QString)" answers instead (no answer, when it has none).
bool AskYesNo(QWidget* parent, const QString& text);

/// Shows a one-line notice in the status bar of the window that holds `from` (the host's main
/// window); nothing waits for it.
void ShowStatus(QWidget* from, const QString& text);

/// The receiver of every message of the process (host and module alike); null shows boxes again.
void SetMessageReceiverForTesting(QObject* receiver);

}  // namespace torvwy::ui
