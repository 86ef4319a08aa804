// ExpandCodeRange: the grammar of code range texts.
#include "core/services/code_range.h"

#include <cstdint>

#include "core/services/message_table.h"
#include "core/services/text.h"

namespace torvwy::core {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

/// A single code: not empty, no blank inside.
bool IsCode(std::string_view code) {
  if (code.empty()) return false;
  for (char c : code) {
    if (IsBlank(c)) return false;
  }
  return true;
}

/// A span end split into its prefix and numeric tail.
struct SpanEnd {
  std::string_view prefix;
  std::string_view digits;
  int64_t number = 0;
};

bool SplitSpanEnd(std::string_view code, SpanEnd& end) {
  if (!IsCode(code)) return false;
  size_t tail = code.size();
  while (tail > 0 && IsDigit(code[tail - 1])) --tail;
  end.prefix = code.substr(0, tail);
  end.digits = code.substr(tail);
  // Nine digits stay well inside int64_t and far beyond any real code.
  if (end.digits.empty() || end.digits.size() > 9) return false;
  end.number = ParseInt(end.digits).value_or(0);
  return true;
}

std::string Numbered(std::string_view prefix, int64_t number, size_t width) {
  std::string digits = std::to_string(number);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return std::string(prefix) + digits;
}

}  // namespace

Result<std::vector<std::string>> ExpandCodeRange(std::string_view text) {
  auto malformed = [&text](std::string_view why) {
    return Fail(kMsgBadValue, "code range \"" + std::string(text) + "\": " + std::string(why));
  };
  std::vector<std::string> codes;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string_view item = Trim(text.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (item.empty()) return malformed("empty item");
    const size_t dash = item.find('-');
    if (dash == std::string_view::npos) {
      if (!IsCode(item)) return malformed("blank inside a code");
      if (codes.size() >= kMaxExpandedCodes) return malformed("too many codes");
      codes.emplace_back(item);
    } else {
      const std::string_view first_text = Trim(item.substr(0, dash));
      const std::string_view last_text = Trim(item.substr(dash + 1));
      SpanEnd first, last;
      if (last_text.find('-') != std::string_view::npos) return malformed("more than one '-'");
      if (!SplitSpanEnd(first_text, first) || !SplitSpanEnd(last_text, last)) {
        return malformed("a span needs two codes with numeric tails");
      }
      if (first.prefix != last.prefix) return malformed("span ends with different prefixes");
      if (first.number > last.number) return malformed("span runs backwards");
      if (last.number - first.number >= static_cast<int64_t>(kMaxExpandedCodes - codes.size())) {
        return malformed("too many codes");
      }
      const size_t width =
          first.digits.size() > 1 && first.digits.front() == '0' ? first.digits.size() : 0;
      for (int64_t n = first.number; n <= last.number; ++n) {
        codes.push_back(Numbered(first.prefix, n, width));
      }
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return codes;
}

}  // namespace torvwy::core
