// A companion run that writes its files without a window.
#pragma once

#include <QMessageLogContext>
#include <QString>
#include <QtGlobal>
#include <cstdio>

namespace torvwy::companions {

/// Prepares a run without a window, before the application object is made: no screen is needed
/// (offscreen unless a platform was chosen), and a failure is one line of our own on stderr,
/// the toolkit's notes kept out of it.
inline void PrepareBatchRun() {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
      std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
  });
}

}  // namespace torvwy::companions
