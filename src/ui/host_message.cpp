// Delivering the host messages.
#include "ui/host_message.h"

#include <QCoreApplication>
#include <QVariant>

namespace torvwy::ui {
namespace {
constexpr char kHostWindowProperty[] = "torvwyHostWindow";
}

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

void SetHostWindow(QObject* window) {
  if (QCoreApplication* app = QCoreApplication::instance()) {
    app->setProperty(kHostWindowProperty, QVariant::fromValue(window));
  }
}

QObject* HostWindow() {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return nullptr;
  return app->property(kHostWindowProperty).value<QObject*>();
}

}  // namespace torvwy::ui
