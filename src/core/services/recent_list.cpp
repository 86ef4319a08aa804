// Loading and updating recent-entry lists.
#include "core/services/recent_list.h"

#include <algorithm>
#include <fstream>

#include "core/services/atomic_file.h"
#include "core/services/folders.h"
#include "core/services/text.h"

namespace torvwy::core {
std::filesystem::path RecentListPath(std::string_view file_name) {
  return GetHostFolder() / std::string(file_name);
}

std::vector<std::string> LoadRecentList(const std::filesystem::path& path) {
  std::vector<std::string> entries;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (entries.size() < kRecentListLength && std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (Trim(line).empty()) continue;
    entries.push_back(line);
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
