// The counting conventions kept in the profile.
#include "core/run/convention_setting.h"

#include <cmath>
#include <filesystem>
#include <system_error>

#include "core/services/folders.h"
#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/profile.h"
#include "core/services/text.h"

namespace torvwy::core {
namespace {

constexpr char kSection[] = "settings";
constexpr char kResidueKey[] = "CountResidue";
constexpr char kGateKey[] = "CountGate";
constexpr char kGateUnitKey[] = "CountGateUnit";

}  // namespace

ConventionSetting ReadConventionSetting(const std::string& unit) {
  ConventionSetting setting;
  setting.unit = unit;
  auto profile = IniFile::Load(ProfilePath());
  if (!profile) return setting;
  if (const auto residue = profile->Get(kSection, kResidueKey)) {
    setting.residue = ResidueMethodNamed(*residue).value_or(ResidueMethod::kHalf);
  }
  const auto gate = profile->Get(kSection, kGateKey);
  const auto gate_unit = profile->Get(kSection, kGateUnitKey);
  if (gate && gate_unit && GbkToUtf8(*gate_unit) == unit) {
    const auto value = ParseDouble(*gate);
    if (value && std::isfinite(*value) && *value >= 0.0) setting.gate = *value;
  }
  return setting;
}

Status WriteConventionSetting(const ConventionSetting& setting) {
  if (!std::isfinite(setting.gate) || !(setting.gate >= 0.0)) {
    return Fail(kMsgBadValue,
                "--gate = " + ShortestText(setting.gate) + " is not a finite number of 0 or more");
  }
  if (auto host = EnsureHostFolder(); !host) return host.error();
  return ChangeProfile(ProfilePath(), [&](IniFile& profile) {
    profile.Set(kSection, kResidueKey, ResidueMethodName(setting.residue));
    profile.Set(kSection, kGateKey, ShortestText(setting.gate));
    profile.Set(kSection, kGateUnitKey, Utf8ToGbk(setting.unit));
  });
}

}  // namespace torvwy::core
