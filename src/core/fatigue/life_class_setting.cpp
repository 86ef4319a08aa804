// The weld class kept in the profile.
#include "core/fatigue/life_class_setting.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "core/fatigue/sn_class_table.h"
#include "core/services/folders.h"
#include "core/services/message_table.h"
#include "core/services/profile.h"

namespace torvwy::core {
namespace {

constexpr char kSection[] = "settings";
constexpr char kKey[] = "RainLifeClass";

}  // namespace

int32_t ReadLifeClassIndex() {
  auto profile = IniFile::Load(ProfilePath());
  if (!profile) return kDefaultSnClassIndex;
  const long long stored = profile->GetInt(kSection, kKey, kDefaultSnClassIndex);
  const bool kept = stored >= 0 && stored < static_cast<long long>(kSnClassTable.size());
  return kept ? static_cast<int32_t>(stored) : kDefaultSnClassIndex;
}

Status WriteLifeClassIndex(int32_t class_index) {
  if (!IsSnClassIndex(class_index)) {
    return Fail(kMsgBadValue, "weld class " + std::to_string(class_index) + " does not exist");
  }
  if (auto host = EnsureHostFolder(); !host) return host.error();
  return ChangeProfile(ProfilePath(), [&](IniFile& profile) {
    profile.Set(kSection, kKey, std::to_string(class_index));
  });
}

}  // namespace torvwy::core
