// The command's language, set once by Main.
#include "cli/command_language.h"

namespace torvwy::cli {
namespace {

core::Language& Chosen() {
  static core::Language language = core::Language::kEnglish;
  return language;
}

}  // namespace

core::Language CommandLanguage() { return Chosen(); }

void SetCommandLanguage(core::Language language) { Chosen() = language; }

}  // namespace torvwy::cli
