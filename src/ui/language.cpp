// The process-wide language of the windows.
#include "ui/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>
#include <optional>

namespace torvwy::ui {
namespace {

std::optional<core::Language>& Chosen() {
  static std::optional<core::Language> language;
  return language;
}

/// Qt's own texts (the buttons of message boxes, the file and print dialogs) in the windows'
/// language: Chinese takes the toolkit's translations when they are installed; English takes
/// them away again.
void TranslateToolkit(core::Language language) {
  static std::unique_ptr<QTranslator> translator;
  if (QCoreApplication::instance() == nullptr) return;
  if (translator) {
    QCoreApplication::removeTranslator(translator.get());
    translator.reset();
  }
  if (language != core::Language::kChinese) return;
  auto loaded = std::make_unique<QTranslator>();
  if (!loaded->load(QStringLiteral("qtbase_zh_CN"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return;  // not installed: Qt's texts stay English
  }
  QCoreApplication::installTranslator(loaded.get());
  translator = std::move(loaded);
}

}  // namespace

core::Language UiLanguage() {
  std::optional<core::Language>& language = Chosen();
  if (!language) language = core::GetUILanguage();
  return *language;
}

void SetUiLanguage(core::Language language) {
  Chosen() = language;
  TranslateToolkit(language);
}

QString Text(TextKey key) {
  const std::string_view text = core::Tr(UiLanguage(), key);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace torvwy::ui
