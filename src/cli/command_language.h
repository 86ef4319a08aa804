// The language of the command's messages: read once at start, handed to every subcommand.
#pragma once

#include "core/services/language.h"

namespace torvwy::cli {

/// The language of the command's messages and texts where no --lang chose one. Main reads it
/// once (core::GetUILanguage()) before any subcommand runs; English until then.
core::Language CommandLanguage();

/// Sets the command's language: once, by Main.
void SetCommandLanguage(core::Language language);

}  // namespace torvwy::cli
