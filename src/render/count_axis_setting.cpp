// The count axis choice kept in the profile.
#include "render/count_axis_setting.h"

#include <system_error>

#include "core/services/folders.h"
#include "core/services/message_table.h"
#include "core/services/profile.h"

namespace torvwy::render {
namespace {

constexpr char kSection[] = "settings";
constexpr char kKey[] = "LogCountAxis";

}  // namespace

bool ReadLogCountAxis(const std::filesystem::path& profile_path) {
  auto profile = core::IniFile::Load(profile_path);
  if (!profile) return false;
  return profile->GetInt(kSection, kKey, 0) == 1;
}

bool ReadLogCountAxis() { return ReadLogCountAxis(core::ProfilePath()); }

core::Status WriteLogCountAxis(bool log, const std::filesystem::path& profile_path) {
  return core::ChangeProfile(profile_path, [log](core::IniFile& profile) {
    profile.Set(kSection, kKey, log ? "1" : "0");
  });
}

core::Status WriteLogCountAxis(bool log) {
  if (auto host = core::EnsureHostFolder(); !host) return host.error();
  return WriteLogCountAxis(log, core::ProfilePath());
}

}  // namespace torvwy::render
