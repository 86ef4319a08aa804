// The process-wide language of the windows.
#include "ui/language.h"

#include <optional>

namespace torvwy::ui {
namespace {

std::optional<core::Language>& Chosen() {
  static std::optional<core::Language> language;
  return language;
}

}  // namespace

core::Language UiLanguage() {
  std::optional<core::Language>& language = Chosen();
  if (!language) language = core::GetUILanguage();
  return *language;
}

void SetUiLanguage(core::Language language) { Chosen() = language; }

QString Text(TextKey key) {
  const std::string_view text = core::Tr(UiLanguage(), key);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace torvwy::ui
