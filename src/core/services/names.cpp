// Name splitting and checking.
#include "core/services/names.h"

#include <algorithm>

#include "core/services/message_table.h"
#include "core/services/text.h"

namespace torvwy::core {

void SplitTestAndCode(std::string_view p, std::string& test_name, std::string& test_code) {
  if (p.size() <= 1) {
    test_name = std::string(p);
    test_code.clear();
    return;
  }
  size_t start = p.size();
  while (start > 0 && p[start - 1] >= '0' && p[start - 1] <= '9') --start;
  if (start > 0 && start < p.size()) {
    test_name = std::string(p.substr(0, start));
    test_code = std::string(p.substr(start));
  } else {
    test_name = std::string(p.substr(0, p.size() - 1));
    test_code = std::string(p.substr(p.size() - 1));
  }
}

SplitName SplitResultFileName(std::string_view file_name) {
  if (const auto slash = file_name.find_last_of("/\\"); slash != std::string_view::npos) {
    file_name.remove_prefix(slash + 1);
  }
  if (const auto dot = file_name.find_last_of('.'); dot != std::string_view::npos) {
    file_name = file_name.substr(0, dot);
  }
  SplitName split;
  const auto hash = file_name.find('#');
  if (hash == std::string_view::npos || hash == 0) return split;
  SplitTestAndCode(file_name.substr(0, hash), split.test_name, split.test_code);
  std::string_view node = file_name.substr(hash);
  while (!node.empty() && node.front() == '#') node.remove_prefix(1);
  split.node_name = std::string(node);
  return split;
}

Status CheckName(std::string_view name, std::string_view what) {
  // A line break or an escape sequence in a file name breaks every list and message that shows
  // it; such a name is refused, never cleaned.
  const auto control = std::find_if(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && byte != 0) || byte == 0x7F;
  });
  if (control != name.end()) {
    return Fail(kMsgBadValue, std::string(what) + " \"" + EscapeControlCharacters(name) +
                                  "\" holds a control character");
  }
  const bool bad = name.empty() || name == "." || name == ".." ||
                   name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos ||
                   name.find("..") != std::string_view::npos;
  if (bad) {
    return Fail(kMsgBadName, std::string(what) + " \"" + std::string(name) +
                                 "\" is empty or holds a path separator or \"..\"");
  }
  return Ok();
}

}  // namespace torvwy::core
