// What every hand-over file shares: one-line texts, GBK with CR LF, the report date.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace torvwy::core {

/// `text` with every CR and LF replaced by a blank, so that a name or a path written into a
/// hand-over file can neither end its line early nor start a line of its own.
std::string OneLine(std::string_view text);

/// The bytes of a text file as the companions read it: the UTF-8 `text` converted to GBK and
/// every line ended by CR LF once, whether the text ends it with "\n" or with "\r\n".
std::string HandOverBytes(std::string_view text);

/// Splits the bytes of a text file into lines, accepting LF, CR LF and CR CR LF line ends (the
/// ends are not kept). A last line without an end is kept; nothing follows a final line end.
std::vector<std::string> SplitHandOverLines(std::string_view bytes);

/// Today's local date as "%Y-%m-%d".
std::string TodayText();

}  // namespace torvwy::core
