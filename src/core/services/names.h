// Test, code and node names: the title rule of file names and the safety check.
#pragma once

#include <string>
#include <string_view>

#include "core/services/result.h"

namespace torvwy::core {

/// A node's file title split into its parts.
struct SplitName {
  std::string test_name;
  std::string test_code;
  std::string node_name;
};

/// Splits "P" (the part of a title before its first '#') into test name and test code: a
/// trailing run of digits that is not all of P is the code (abc12 -> abc, 12); otherwise the
/// last character is the code (abcX -> abc, X; 123 -> 12, 3); one character is a name alone.
void SplitTestAndCode(std::string_view p, std::string& test_name, std::string& test_code);

/// Splits a result or waveform file name: abc12#5.PCM -> abc, 12, 5. Any folder is ignored and
/// the extension dropped; the node is what follows the first '#', leading '#' removed. A name
/// without '#' (or with '#' first) gives empty parts.
SplitName SplitResultFileName(std::string_view file_name);

/// Refuses a name that would leave its folder when used in a file name: empty, holding '/',
/// '\\' or a zero byte, or ".."; and a name holding a control character (below 0x20, or 0x7F).
/// `what` names the field in the error.
Status CheckName(std::string_view name, std::string_view what);

}  // namespace torvwy::core
