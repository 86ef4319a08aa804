// Trimming texts and reading whole texts as numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace torvwy::core {

/// The text without the blanks (space, tab, CR, LF, VT, FF) at either end.
std::string_view Trim(std::string_view text);

/// The whole text as a double: blanks around it and one leading '+' are allowed, anything else
/// after the number is not. "inf" and "nan" read as such. Nothing for an empty or malformed text
/// and for a value beyond the range of a double.
std::optional<double> ParseDouble(std::string_view text);

/// As ParseDouble, but nothing for infinities and NaN.
std::optional<double> ParseFiniteDouble(std::string_view text);

/// The whole text as a decimal integer: blanks around it and one leading '+' are allowed.
/// Nothing for an empty or malformed text, a fraction or a value beyond int64_t.
std::optional<int64_t> ParseInt(std::string_view text);

/// As ParseInt, but nothing for a value beyond int32_t.
std::optional<int32_t> ParseInt32(std::string_view text);

/// `text` fit for one line of a message: line breaks and tabs as "\n", "\r", "\t", every other
/// control character (below 0x20, and 0x7F) and every byte that is not part of valid UTF-8 as
/// "\xHH". Valid UTF-8 and backslashes stay as they are, so escaping twice changes nothing more.
std::string EscapeControlCharacters(std::string_view text);

/// The first `max_characters` characters (code points) of UTF-8 text, never splitting one.
std::string_view CutCharacters(std::string_view utf8, size_t max_characters);

/// A text cell as a CSV field. A text that begins like a formula (=, +, - or @, also after
/// tabs and line ends, which a spreadsheet skips) gets a leading apostrophe, so that a
/// spreadsheet shows it as text and never runs it: a unit written as "=HYPERLINK(...)" stays a
/// unit. Number cells are not texts and stay numbers.
std::string CsvField(std::string_view raw);

}  // namespace torvwy::core
