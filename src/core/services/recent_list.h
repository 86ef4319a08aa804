// Recent-entry lists: the texts last typed into a field, kept in small files of the host folder.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/services/result.h"

namespace torvwy::core {

/// The recent-list files of the host folder and the fields they fill.
inline constexpr char kRecentTestNames[] = "RecentShym.dic";      ///< test names
inline constexpr char kRecentTestCodes[] = "RecentTestCode.txt";  ///< test-code ranges
inline constexpr char kRecentNodeNames[] = "RecentNodeName.txt";  ///< node-name ranges
inline constexpr char kRecentPaths[] = "RecentPath.dic";          ///< data and result folders

/// At most this many entries are kept.
inline constexpr size_t kRecentListLength = 20;

/// The path of a recent list in the host folder.
std::filesystem::path RecentListPath(std::string_view file_name);

/// The entries of a list file (UTF-8, one entry a line, newest first). A missing or unreadable
/// file is an empty list; blank lines are skipped, a CR before the LF is dropped, and at most
/// kRecentListLength entries are returned.
std::vector<std::string> LoadRecentList(const std::filesystem::path& path);

/// Puts `entry` first in the list file: an equal entry further down is removed, the list is cut
/// to kRecentListLength, and the file is written atomically. A blank entry, or one holding a
/// line break, changes nothing. Fails when the file can't be written (it then stays as it was).
Status AddRecentEntry(const std::filesystem::path& path, std::string_view entry);

}  // namespace torvwy::core
