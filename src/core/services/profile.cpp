// IniFile: line-preserving reading and editing of INI text.
#include "core/services/profile.h"

#include <strings.h>

#include <system_error>

#include "core/services/atomic_file.h"
#include "core/services/file_read.h"
#include "core/services/message_table.h"
#include "core/services/text.h"

namespace torvwy::core {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

/// The section name of a "[name]" line, or nothing.
std::optional<std::string_view> SectionOf(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const auto close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile file;
  if (text.find("\r\n") != std::string_view::npos) file.newline_ = "\r\n";
  file.final_newline_ = text.empty() || text.back() == '\n';
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    file.lines_.emplace_back(line);
    start = end + 1;
  }
  return file;
}

Result<IniFile> IniFile::Load(const std::filesystem::path& path) {
  auto text = ReadTextFile(path, kMsgFileRead);
  if (!text) return text.error();
  return Parse(*text);
}

std::optional<IniFile::Location> IniFile::Find(std::string_view section,
                                               std::string_view key) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    auto name = SectionOf(lines_[i]);
    if (!name || !EqualNoCase(*name, section)) continue;
    Location location{i, lines_.size(), std::nullopt};
    for (size_t j = i + 1; j < lines_.size(); ++j) {
      if (SectionOf(lines_[j])) {
        location.section_end = j;
        break;
      }
      const std::string_view line = lines_[j];
      const auto equals = line.find('=');
      if (equals == std::string_view::npos) continue;
      if (!location.key_line && EqualNoCase(Trim(line.substr(0, equals)), key)) {
        location.key_line = j;
      }
    }
    return location;
  }
  return std::nullopt;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  auto location = Find(section, key);
  if (!location || !location->key_line) return std::nullopt;
  const std::string& line = lines_[*location->key_line];
  return std::string(Trim(std::string_view(line).substr(line.find('=') + 1)));
}

long long IniFile::GetInt(std::string_view section, std::string_view key,
                          long long fallback) const {
  auto value = Get(section, key);
  if (!value) return fallback;
  return ParseInt(*value).value_or(fallback);
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  std::string line = std::string(key) + "=" + std::string(value);
  auto location = Find(section, key);
  if (!location) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back(std::string("[").append(section).append("]"));
    lines_.push_back(std::move(line));
    return;
  }
  if (location->key_line) {
    lines_[*location->key_line] = std::move(line);
    return;
  }
  // After the section's last non-blank line.
  size_t at = location->section_end;
  while (at > location->section_line + 1 && Trim(lines_[at - 1]).empty()) --at;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

void IniFile::Remove(std::string_view section, std::string_view key) {
  auto location = Find(section, key);
  if (location && location->key_line) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*location->key_line));
  }
}

std::string IniFile::Text() const {
  std::string text;
  for (size_t i = 0; i < lines_.size(); ++i) {
    text += lines_[i];
    if (i + 1 < lines_.size() || final_newline_) text += newline_;
  }
  return text;
}

Status IniFile::Save(const std::filesystem::path& path, int message) const {
  return SaveFileAtomically(path, Text(), message == 0 ? kMsgFileWrite : message);
}

Status ChangeProfile(const std::filesystem::path& path,
                     const std::function<void(IniFile&)>& change) {
  auto loaded = IniFile::Load(path);
  std::error_code error;
  if (!loaded && std::filesystem::exists(path, error)) return loaded.error();
  IniFile profile = loaded ? std::move(*loaded) : IniFile{};
  change(profile);
  return profile.Save(path, kMsgFileWrite);
}

}  // namespace torvwy::core
