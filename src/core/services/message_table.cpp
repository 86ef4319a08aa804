// The numbered message table, a view of the text catalogue, and the text of an error.
#include "core/services/message_table.h"

#include "core/services/text.h"
#include "core/services/text_catalogue.h"

namespace torvwy::core {

// The table is a view of the catalogue: its entries are the catalogue's texts that carry a
// message number.
std::string_view MessageTable::operator[](int number) const {
  if (number <= 0) return {};
  for (const CatalogueEntry& entry : TextCatalogue()) {
    if (entry.message == number) return chinese() ? entry.chinese : entry.english;
  }
  return {};
}

MessageTable LoadMessageTable(Language language) { return MessageTable(language); }

std::string ErrorText(const Error& error, Language language) {
  std::string text(LoadMessageTable(language)[error.message]);
  if (!error.detail.empty()) {
    if (!text.empty()) text += ' ';
    // A file name may hold a line break or an escape sequence; the message stays one line.
    text += EscapeControlCharacters(error.detail);
  }
  return text;
}

}  // namespace torvwy::core
