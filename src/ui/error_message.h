// The text of a core error for a message box: core::ErrorText in the windows' language.
#pragma once

#include <QString>
#include <string_view>

#include "core/services/message_table.h"
#include "core/services/progress.h"
#include "core/services/result.h"
#include "ui/language.h"

namespace torvwy::ui {

/// The error's message in the language of the windows, then its detail. The refusal of a
/// cancelled pass's counts says it in one sentence of the windows' language, not the message
/// and the command line's detail that repeats it.
inline QString ErrorMessage(const core::Error& error) {
  if (error.message == core::kMsgCalculationCancelled &&
      error.detail.starts_with(core::kCancelledPassDetail)) {
    return Text(TextKey::kCountingCancelledStatus);
  }
  return QString::fromStdString(core::ErrorText(error, UiLanguage()));
}

}  // namespace torvwy::ui
