// The language of the windows: read once at start, the same for every window of the process.
#pragma once

#include <QString>

#include "core/services/language.h"

namespace torvwy::ui {

/// The language of the windows. Set once at start-up by the host (SetUiLanguage), and the
/// analysis module it loads sees the same (one copy of this library per process); when nothing
/// set it, the first call reads core::GetUILanguage(). A change in the settings takes effect at
/// the next start.
core::Language UiLanguage();

/// Sets the language of the windows: once at start-up, or by a test.
void SetUiLanguage(core::Language language);

/// The Chinese or the English text (UTF-8 literals) by UiLanguage().
QString Text(const char* chinese, const char* english);

}  // namespace torvwy::ui
