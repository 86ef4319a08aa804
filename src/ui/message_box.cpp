// Message boxes, or the test's receiver.
#include "ui/message_box.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QStatusTipEvent>
#include <QWidget>

namespace torvwy::ui {
namespace {
QPointer<QObject> g_receiver;  // one per process: the host and the module share this library
}  // namespace

void ShowMessage(QWidget* parent, const QString& text, bool warning) {
  if (QObject* receiver = g_receiver.data()) {
    QMetaObject::invokeMethod(receiver, "Message", Qt::DirectConnection, Q_ARG(QString, text));
    return;
  }
  const QString title = QStringLiteral("torvwy");
  if (warning) {
    QMessageBox::warning(parent, title, text);
  } else {
    QMessageBox::information(parent, title, text);
  }
}

bool AskYesNo(QWidget* parent, const QString& text) {
  if (QObject* receiver = g_receiver.data()) {
    bool yes = false;
    QMetaObject::invokeMethod(receiver, "Question", Qt::DirectConnection, Q_RETURN_ARG(bool, yes),
                              Q_ARG(QString, text));
    return yes;
  }
  return QMessageBox::question(parent, QStringLiteral("torvwy"), text) == QMessageBox::Yes;
}

void ShowStatus(QWidget* from, const QString& text) {
  if (from == nullptr) return;
  // A main window shows a status tip in its status bar.
  QStatusTipEvent tip(text);
  QCoreApplication::sendEvent(from->window(), &tip);
}

void SetMessageReceiverForTesting(QObject* receiver) { g_receiver = receiver; }

}  // namespace torvwy::ui
