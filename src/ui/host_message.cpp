// Delivering the host messages.
#include "ui/host_message.h"

#include <QCoreApplication>
#include <QPointer>

namespace torvwy::ui {
namespace {
QPointer<QObject> g_host_window;  // one per process: the host and the module share this library
}  // namespace

void SendHostCommand(QObject* to, quint32 code, qintptr value) {
  if (to == nullptr) return;
  HostMessage message(kHostCommandEvent, code, value);
  QCoreApplication::sendEvent(to, &message);
}

void PostHostNotice(QObject* to, quint32 code, qintptr value) {
  if (to == nullptr) return;
  QCoreApplication::postEvent(to, new HostMessage(kHostNoticeEvent, code, value));
}

void PostHostCommand(QObject* to, quint32 code, qintptr value) {
  if (to == nullptr) return;
  QCoreApplication::postEvent(to, new HostMessage(kHostCommandEvent, code, value));
}

void SetHostWindow(QObject* window) { g_host_window = window; }

QObject* HostWindow() { return g_host_window.data(); }

}  // namespace torvwy::ui
