// One-line texts, GBK text files with CR LF, and the report date.
#include "core/report/hand_over_text.h"

#include <ctime>

#include "core/services/gbk.h"

namespace torvwy::core {

std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

std::string HandOverBytes(std::string_view text) {
  const std::string gbk = Utf8ToGbk(text);
  std::string bytes;
  bytes.reserve(gbk.size() + gbk.size() / 16 + 2);
  for (size_t i = 0; i < gbk.size(); ++i) {
    const char c = gbk[i];
    if (c == '\r' && i + 1 < gbk.size() && gbk[i + 1] == '\n') continue;  // "\r\n" ends once
    if (c == '\n') {
      bytes += "\r\n";
    } else {
      bytes += c;
    }
  }
  return bytes;
}

std::vector<std::string> SplitHandOverLines(std::string_view bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find('\n', start);
    std::string_view line =
        bytes.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // CR LF and CR CR LF
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return lines;
}

std::string TodayText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

}  // namespace torvwy::core
