// The module's message table and help pages.
#include "module/module_state.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>

#include "core/report/companion.h"
#include "ui/error_message.h"
#include "ui/host_message.h"
#include "ui/message_box.h"

namespace torvwy::module {
namespace {

struct ModuleState {
  bool help_failed = false;
  QPointer<QTextBrowser> help;  ///< the help window, one for the whole process
};

/// The help window: a page browser that Esc closes, as a dialog closes.
class HelpBrowser : public QTextBrowser {
 public:
  using QTextBrowser::QTextBrowser;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
      close();
      return;
    }
    QTextBrowser::keyPressEvent(event);
  }
};

/// Sizes and places the help window inside the available area of the screen its owner (or the
/// primary screen) is on: at most 760 x 700, at most nine tenths of the area so that the window
/// manager's frame fits too, and centred on it.
void FitToScreen(QWidget* help, const QWidget* owner) {
  const QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return help->resize(760, 600);
  const QRect area = screen->availableGeometry();
  const QSize size = QSize(760, 700).boundedTo(area.size() * 9 / 10);
  help->resize(size);
  help->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}

ModuleState& State() {
  static ModuleState state;
  return state;
}

// Loading the module reads the language, so that every window of this process uses one.
[[maybe_unused]] const int kLoaded = (ui::UiLanguage(), 0);

}  // namespace

const core::MessageTable& Messages() {
  static const core::MessageTable chinese(core::Language::kChinese);
  static const core::MessageTable english(core::Language::kEnglish);
  return ui::UiLanguage() == core::Language::kChinese ? chinese : english;
}
QString Message(int number) { return QString::fromUtf8(Messages()[number]); }

void ShowMessage(QWidget* parent, const QString& text, bool warning) {
  ui::ShowMessage(parent, text, warning);
}

void StartCompanion(QWidget* parent, const core::Result<std::filesystem::path>& written,
                    std::string_view program) {
  if (!written) return ShowMessage(parent, ui::ErrorMessage(written.error()));
  if (auto started = core::LaunchCompanion(program); !started) {
    ShowMessage(parent, ui::ErrorMessage(started.error()));
  }
}

QString HelpFolder() {
  const QString forced = qEnvironmentVariable("TORVWY_HELP_DIR");
  if (!forced.isEmpty()) return forced;
  const QString program = QCoreApplication::applicationDirPath();
  for (const QString& folder : {program + "/help", program + "/../share/torvwy/help"}) {
    if (QFileInfo(folder).isDir()) return QDir::cleanPath(folder);
  }
  return QDir::cleanPath(program + "/help");
}

bool OpenHelpTopic(QWidget* caller, const QString& topic) {
  ModuleState& state = State();
  if (state.help_failed) return false;
  QString page = topic;
  if (ui::UiLanguage() != core::Language::kChinese)
    page.replace(QStringLiteral(".html"), QStringLiteral("_en.html"));
  const QString path = HelpFolder() + "/" + page;
  if (!QFileInfo::exists(path)) {
    state.help_failed = true;
    ShowMessage(caller, Text(TextKey::kHelpMissing) + path);
    return false;
  }
  // A window of its own: the pages need no browser or file handler of the system.
  if (state.help == nullptr) {
    // A window of the host's: it closes with the main window rather than outliving it.
    QWidget* owner = qobject_cast<QWidget*>(ui::HostWindow());
    if (owner == nullptr && caller != nullptr) owner = caller->window();
    state.help = new HelpBrowser(owner);
    state.help->setWindowFlag(Qt::Window);
    state.help->setAttribute(Qt::WA_DeleteOnClose);
    state.help->setObjectName(QStringLiteral("help_window"));
    state.help->setOpenExternalLinks(true);
    FitToScreen(state.help, owner != nullptr ? owner : caller);
  }
  state.help->setWindowTitle(Text(TextKey::kHelpWindowTitle) + QStringLiteral(" - ") + page);
  state.help->setSource(QUrl::fromLocalFile(path));
  state.help->show();
  state.help->raise();
  state.help->activateWindow();
  return true;
}

QTextBrowser* HelpWindow() { return State().help.data(); }

void ResetHelpForTesting() { State().help_failed = false; }

}  // namespace torvwy::module
