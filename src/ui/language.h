// The language of the windows: read once at start, the same for every window of the process.
#pragma once

#include <QString>

#include "core/services/language.h"
#include "core/services/text_catalogue.h"

namespace torvwy::ui {

using core::TextKey;

/// The language of the windows. Set once at start-up by the host (SetUiLanguage), and the
/// analysis module it loads sees the same (one copy of this library per process); when nothing
/// set it, the first call reads core::GetUILanguage(). A change in the settings takes effect at
/// the next start.
core::Language UiLanguage();

/// Sets the language of the windows: once at start-up, or by a test. Qt's own dialogs and
/// buttons follow (its Chinese translations are loaded, or taken away for English); call it
/// once the application object exists.
void SetUiLanguage(core::Language language);

/// The catalogue's text of `key` in UiLanguage().
QString Text(TextKey key);

}  // namespace torvwy::ui
