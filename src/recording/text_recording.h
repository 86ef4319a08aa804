// The lines of a text recording split into fields: shared by the reader and its fuzz target.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace torvwy::recording {

/// Splits a line into trimmed fields. Fields are separated by commas, semicolons and tabs
/// (with `decimal_comma`: semicolons and tabs only), or by runs of blanks when the line holds
/// none of them. A field in double quotes may hold separators, and "" in it stands for one
/// quote. A leading separator gives an empty first field.
std::vector<std::string> SplitTextFields(std::string_view line, bool decimal_comma);

/// Whether a header names a time column: "t", "time", or "time" followed by anything but a
/// letter ("Time (s)", "time_s", "TIME[s]"), in any case.
bool NamesTimeColumn(std::string_view header);

}  // namespace torvwy::recording
