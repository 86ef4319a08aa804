// A small INI file that keeps every line it does not touch: the profile and the .tsp files.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/services/result.h"

namespace torvwy::core {

/// INI text as lines. Sections and keys compare without regard to ASCII letter case, values are
/// taken with the blanks around them removed (as private profile files are read). Values are the
/// file's bytes (GBK); callers convert.
class IniFile {
 public:
  IniFile() = default;
  static IniFile Parse(std::string_view text);
  /// Reads a file; a missing or unreadable file is an error.
  static Result<IniFile> Load(const std::filesystem::path& path);

  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  /// Integer value; `fallback` when the key is missing or its value is not a whole number.
  long long GetInt(std::string_view section, std::string_view key, long long fallback) const;
  /// Replaces the value of an existing key in place, or adds the key at the end of its section
  /// (adding the section at the end of the file when it is missing).
  void Set(std::string_view section, std::string_view key, std::string_view value);
  /// Removes the key's line; nothing when it is missing.
  void Remove(std::string_view section, std::string_view key);

  std::string Text() const;
  /// Saves atomically.
  Status Save(const std::filesystem::path& path, int message = 0) const;

 private:
  struct Location {
    size_t section_line;  // line of the "[section]" header
    size_t section_end;   // one past the section's last line
    std::optional<size_t> key_line;
  };
  std::optional<Location> Find(std::string_view section, std::string_view key) const;

  std::vector<std::string> lines_;
  std::string newline_ = "\n";
  bool final_newline_ = true;
};

/// Loads the profile at `path` (an empty one when there is none), lets `change` set its keys
/// and saves it atomically, every other line as it was. Refuses a profile that exists but can't
/// be read: it is never replaced by one holding only the changed keys.
Status ChangeProfile(const std::filesystem::path& path,
                     const std::function<void(IniFile&)>& change);

}  // namespace torvwy::core
