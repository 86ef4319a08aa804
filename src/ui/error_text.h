// The text of a core error for a message box.
#pragma once

#include <QString>

#include "core/services/message_table.h"
#include "core/services/result.h"

namespace torvwy::ui {

/// The error's message in the user interface language, then its detail.
inline QString ErrorText(const core::Error& error) {
  const core::MessageTable table = core::LoadMessageTable(core::GetUILanguage());
  QString text = QString::fromUtf8(table[error.message]);
  if (!error.detail.empty()) {
    if (!text.isEmpty()) text += QLatin1Char(' ');
    text += QString::fromStdString(error.detail);
  }
  return text;
}

}  // namespace torvwy::ui
