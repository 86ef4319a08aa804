// Bookmarks of a node, kept in the [Labels] section of its sampling parameter file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/services/result.h"

namespace torvwy::core {

/// One bookmark: its position (a sample number, as text) and its text, both UTF-8.
struct Label {
  std::string position;
  std::string text;
  bool operator==(const Label&) const = default;
};

/// Longest name a rename stores, in characters.
constexpr size_t kMaxLabelNameCharacters = 250;
/// Longest position or name read, in characters.
constexpr size_t kMaxLabelReadCharacters = 255;

/// Reads "LabelNum", "LabelPos%03d" and "LabelText%03d"; missing keys read "0" (a missing
/// count, or a missing file, gives no labels).
std::vector<Label> ReadLabels(const std::filesystem::path& tsp_path);

/// Operation codes of StoreLabels.
constexpr int kLabelDelete = 1;
constexpr int kLabelRename = 2;

/// Deletes (operation 1) or renames to `new_text` (operation 2) label `index` (0-based),
/// keeping the rest of the file as it was and the numbering consecutive; saves atomically. A
/// new name is cut once, to its first 250 characters, and stored whole, so that it reads back
/// as it was shown.
Status StoreLabels(const std::filesystem::path& tsp_path, int operation, int index,
                   const std::string& new_text);

/// StoreLabels, refused without a change when the file no longer holds the labels `seen` (it
/// was changed since they were read), so that an index never names another label.
Status StoreLabels(const std::filesystem::path& tsp_path, int operation, int index,
                   const std::string& new_text, const std::vector<Label>& seen);

class IniFile;
/// Appends a label to the [Labels] section of `ini`.
void AppendLabel(IniFile& ini, const Label& label);

/// Appends a label (used when a test is generated or imported); saves atomically.
Status AppendLabel(const std::filesystem::path& tsp_path, const Label& label);

}  // namespace torvwy::core
