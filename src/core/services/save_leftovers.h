// The names a save gives the files it keeps beside its target, and the clean-up of those a killed
// save left behind.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace torvwy::core {

/// What a save keeps beside its target while it runs, named after the target, the process and a
/// number of the save, so that nothing else in the folder is ever taken for one of them:
///
///   .NAME.torvwy-tmp-PID-N   the new content being written
///   .NAME.torvwy-old-PID-N   the old target kept under a second name while a set is renamed
///   .NAME.torvwy-new-PID-N   an empty mark: NAME did not exist before the set began
enum class LeftoverKind { kTemporary, kKept, kAbsent };

/// A number no other save of this process has (thread-safe).
uint64_t NextSaveNumber();

/// The leftover name of `target_name` (a file name, no folder) for this process.
std::string LeftoverName(std::string_view target_name, LeftoverKind kind, uint64_t number);

/// A leftover name taken apart; nothing when `file_name` is not one.
struct LeftoverParts {
  std::string target_name;
  LeftoverKind kind = LeftoverKind::kTemporary;
  int64_t pid = 0;
  uint64_t number = 0;
};
std::optional<LeftoverParts> ParseLeftoverName(std::string_view file_name);

/// Removes from `folder` what saves of processes that no longer run left there. A set that was
/// killed while renamed (its last part, the one naming the others, taken away) is put back as it
/// was before; any other set keeps its targets and only loses the kept copies. Files of a process
/// that still runs, and every file whose name is not a leftover name, are left alone. Best effort:
/// errors are ignored, since the save that follows does not depend on it.
void RemoveLeftoversOfKilledSaves(const std::filesystem::path& folder);

}  // namespace torvwy::core
