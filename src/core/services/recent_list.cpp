// Loading and updating recent-entry lists.
#include "core/services/recent_list.h"

#include <algorithm>

#include "core/services/atomic_file.h"
#include "core/services/file_read.h"
#include "core/services/folders.h"
#include "core/services/message_table.h"
#include "core/services/text.h"

namespace torvwy::core {
std::filesystem::path RecentListPath(std::string_view file_name) {
  return GetHostFolder() / std::string(file_name);
}

std::vector<std::string> LoadRecentList(const std::filesystem::path& path) {
  std::vector<std::string> entries;
  auto text = ReadTextFile(path, kMsgFileRead);
  if (!text) return entries;  // no list yet, or none we can use: start a new one
  std::string_view rest = *text;
  while (entries.size() < kRecentListLength && !rest.empty()) {
    const size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (Trim(line).empty()) continue;
    entries.emplace_back(line);
  }
  return entries;
}

Status AddRecentEntry(const std::filesystem::path& path, std::string_view entry) {
  if (Trim(entry).empty() || entry.find_first_of("\r\n") != std::string_view::npos) return Ok();
  std::vector<std::string> entries = LoadRecentList(path);
  std::erase(entries, std::string(entry));
  entries.insert(entries.begin(), std::string(entry));
  if (entries.size() > kRecentListLength) entries.resize(kRecentListLength);
  std::string text;
  for (const std::string& e : entries) text += e + "\n";
  return SaveFileAtomically(path, text);
}

}  // namespace torvwy::core
