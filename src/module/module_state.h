// What the whole module shares: the message table, its texts and help.
#pragma once

#include <QString>
#include <filesystem>
#include <functional>
#include <string_view>

#include "core/services/message_table.h"
#include "core/services/result.h"
#include "ui/language.h"

class QTextBrowser;
class QWidget;

namespace torvwy::module {

/// The message table in ui::UiLanguage(), which is read when the module is loaded.
const core::MessageTable& Messages();
/// The text of a message number as a QString.
QString Message(int number);
/// The catalogue's text of a key by ui::UiLanguage().
using ui::Text;
using ui::TextKey;

/// Shows a message box over `parent` (warning or information); see ui::ShowMessage.
void ShowMessage(QWidget* parent, const QString& text, bool warning = true);

/// Starts the companion `program` (TorvRpt, TorvEpt, ...) after its hand-over file `written`
/// was written; says why when either failed.
void StartCompanion(QWidget* parent, const core::Result<std::filesystem::path>& written,
                    std::string_view program);

/// Shows the help page `topic` ("WyCont.html"; "_en" added in English) from the help folder
/// beside the program in the help window (a window of its own, one per process). When the pages
/// are missing it says so once and never tries again in this process. Returns whether a page
/// was shown.
bool OpenHelpTopic(QWidget* caller, const QString& topic);
/// The help window, null before a page was shown or after it was closed.
QTextBrowser* HelpWindow();
/// For tests: forget an earlier failure.
void ResetHelpForTesting();
/// The folder help pages are looked up in: $TORVWY_HELP_DIR, else "<program>/help", else
/// "<program>/../share/torvwy/help".
QString HelpFolder();

}  // namespace torvwy::module
