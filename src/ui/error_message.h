// The text of a core error for a message box: core::ErrorText in the windows' language.
#pragma once

#include <QString>

#include "core/services/message_table.h"
#include "core/services/result.h"
#include "ui/language.h"

namespace torvwy::ui {

/// The error's message in the language of the windows, then its detail.
inline QString ErrorMessage(const core::Error& error) {
  return QString::fromStdString(core::ErrorText(error, UiLanguage()));
}

}  // namespace torvwy::ui
