// Whether the count plots open on a logarithmic axis, kept in the profile ("settings",
// "LogCountAxis").
#pragma once

#include <filesystem>

#include "core/services/result.h"

namespace torvwy::render {

/// The kept choice; false (a linear axis) when the profile has none or can't be read.
bool ReadLogCountAxis(const std::filesystem::path& profile_path);
bool ReadLogCountAxis();

/// Keeps the choice, leaving every other line of the profile as it was. A profile that exists
/// but can't be read is refused, never replaced by one holding only this key.
core::Status WriteLogCountAxis(bool log, const std::filesystem::path& profile_path);
core::Status WriteLogCountAxis(bool log);

}  // namespace torvwy::render
