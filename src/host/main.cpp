// torvwy-gui: the desktop application.
#include <QApplication>
#include <QCommandLineParser>
#include <QMainWindow>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string_view>

#include "core/services/atomic_file.h"
#include "host/host_window.h"
#include "module/doc_template.h"
#include "ui/error_message.h"
#include "ui/language.h"
#include "ui/select_node_dialog.h"

namespace {

bool AsksForHelp(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "-h" || a == "--help" || a == "--help-all" || a == "-v" || a == "--version") {
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  torvwy::core::IgnoreFileSizeSignal();
  // --help and --version need no display.
  std::unique_ptr<QCoreApplication> app;
  if (AsksForHelp(argc, argv)) {
    app = std::make_unique<QCoreApplication>(argc, argv);
  } else {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
      std::fprintf(stderr, "torvwy-gui: no display (set DISPLAY, or QT_QPA_PLATFORM=offscreen)\n");
      return 1;
    }
    app = std::make_unique<QApplication>(argc, argv);
  }
  QCoreApplication::setApplicationName(QStringLiteral("torvwy-gui"));
  QCoreApplication::setApplicationVersion(QStringLiteral("0.1.0"));
  QGuiApplication::setDesktopFileName(QStringLiteral("torvwy-gui"));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Amplitude-domain analysis of test-and-measurement waveforms."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption open(QStringLiteral("open"), QStringLiteral("Open a saved result file."),
                                QStringLiteral("FILE"));
  const QCommandLineOption peak(QStringLiteral("peak"),
                                QStringLiteral("Start with a peak counting window on the current "
                                               "parameter file."));
  const QCommandLineOption range(QStringLiteral("range"),
                                 QStringLiteral("Start with a range counting window."));
  const QCommandLineOption rainflow(QStringLiteral("rainflow"),
                                    QStringLiteral("Start with a rainflow counting window."));
  const QCommandLineOption crossings(
      QStringLiteral("crossings"), QStringLiteral("Start with a level crossing counting window."));
  const QCommandLineOption range_pairs(QStringLiteral("range-pairs"),
                                       QStringLiteral("Start with a range-pair counting window."));
  const QCommandLineOption time_at_level(QStringLiteral("time-at-level"),
                                         QStringLiteral("Start with a time-at-level window."));
  const QCommandLineOption stats(QStringLiteral("stats"),
                                 QStringLiteral("Start with an amplitude statistics window."));
  const QCommandLineOption programme(QStringLiteral("programme"),
                                     QStringLiteral("Start with a test programme window on the "
                                                    "programme file FILE."),
                                     QStringLiteral("FILE"));
  const QCommandLineOption module(QStringLiteral("module"),
                                  QStringLiteral("The analysis module to load (default: "
                                                 "libtorvwy_module.so beside the program)."),
                                  QStringLiteral("PATH"));
  const QCommandLineOption data(QStringLiteral("data"),
                                QStringLiteral("With --test: the data folder of the test to open."),
                                QStringLiteral("DIR"));
  const QCommandLineOption test(
      QStringLiteral("test"),
      QStringLiteral("Choose this test without the chooser: writes the "
                     "parameter file for --data, --test, --code, --node."),
      QStringLiteral("NAME"));
  const QCommandLineOption code(QStringLiteral("code"),
                                QStringLiteral("With --test: the test code."),
                                QStringLiteral("CODE"));
  const QCommandLineOption node(QStringLiteral("node"),
                                QStringLiteral("With --test: the node (repeat for several)."),
                                QStringLiteral("NODE"));
  parser.addOptions({open, peak, range, rainflow, crossings, range_pairs, time_at_level, stats,
                     programme, module, data, test, code, node});
  parser.process(*app);
  // Every window of this run speaks the language chosen at its start.
  torvwy::ui::SetUiLanguage(torvwy::core::GetUILanguage());

  if (parser.isSet(test)) {
    torvwy::ui::NodeChoice choice;
    choice.test_name = parser.value(test).toStdString();
    choice.test_code = parser.value(code).toStdString();
    choice.data_path = parser.isSet(data) ? parser.value(data).toStdString() : std::string(".");
    choice.result_path = choice.data_path;
    for (const QString& n : parser.values(node)) choice.names.push_back(n.toStdString());
    if (choice.names.empty()) {
      choice.names = torvwy::ui::ListNodes(choice.data_path, choice.test_name, choice.test_code);
    }
    if (choice.names.empty()) {
      std::fprintf(stderr, "torvwy-gui: no node of %s%s in %s\n", choice.test_name.c_str(),
                   choice.test_code.c_str(), choice.data_path.c_str());
      return 1;
    }
    if (auto ok = torvwy::ui::WriteChoice(choice); !ok) {
      std::fprintf(stderr, "torvwy-gui: %s\n",
                   torvwy::ui::ErrorMessage(ok.error()).toLocal8Bit().constData());
      return 1;
    }
  }
  torvwy::host::HostWindow window;
  QString error;
  if (!window.LoadModule(parser.value(module), &error)) {
    std::fprintf(stderr, "torvwy-gui: %s\n", error.toLocal8Bit().constData());
    QMessageBox::critical(nullptr, QStringLiteral("torvwy"), error);
    return 1;
  }
  window.show();
  QTimer::singleShot(0, &window, [&] {
    using namespace torvwy::module;
    if (parser.isSet(open)) window.OpenResultFile(parser.value(open));
    if (parser.isSet(peak)) window.OpenWindow(kPeakTemplate);
    if (parser.isSet(range)) window.OpenWindow(kRangeTemplate);
    if (parser.isSet(rainflow)) window.OpenWindow(kRainflowTemplate);
    if (parser.isSet(crossings)) window.OpenWindow(kCrossingsTemplate);
    if (parser.isSet(range_pairs)) window.OpenWindow(kRangePairsTemplate);
    if (parser.isSet(time_at_level)) window.OpenWindow(kTimeAtLevelTemplate);
    if (parser.isSet(stats)) window.OpenWindow(kStatisticsTemplate);
    if (parser.isSet(programme)) {
      // The module's view opens the file itself: the host knows it only by its methods.
      auto* frame = qobject_cast<QMainWindow*>(window.OpenWindow(kProgrammeTemplate));
      if (frame != nullptr && frame->centralWidget() != nullptr) {
        QMetaObject::invokeMethod(frame->centralWidget(), "OpenProgramme",
                                  Q_ARG(QString, parser.value(programme)));
      }
    }
  });
  return QCoreApplication::exec();
}
