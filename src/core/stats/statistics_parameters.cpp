// Reading and writing the statistics parameters in the application profile.
#include "core/stats/statistics_parameters.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "core/services/folders.h"
#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "core/services/names.h"
#include "core/services/profile.h"
#include "core/services/recent_list.h"

namespace torvwy::core {
namespace {

constexpr char kSettings[] = "settings";
constexpr char kStatSection[] = "AmplyAnaly";

void LoadText(const IniFile& profile, const char* key, std::string& field) {
  if (auto value = profile.Get(kSettings, key)) field = GbkToUtf8(*value);
}

}  // namespace

std::optional<WaveformFileFields> FieldsOfWaveformFile(std::string_view path) {
  const size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const SplitName split = SplitResultFileName(name);
  if (split.test_name.empty() && split.test_code.empty()) return std::nullopt;
  WaveformFileFields fields;
  fields.folder = slash == std::string_view::npos ? "." : std::string(path.substr(0, slash + 1));
  while (fields.folder.size() > 1 && fields.folder.back() == '/') fields.folder.pop_back();
  fields.test_name = split.test_name;
  fields.test_code = split.test_code;
  fields.node_name = split.node_name;
  return fields;
}

void ApplyWaveformFile(const WaveformFileFields& fields, StatisticsParameters& parameters) {
  parameters.data_path = fields.folder;
  parameters.result_path = fields.folder;
  parameters.test_name = fields.test_name;
  parameters.code_range = fields.test_code;
  parameters.node_range = fields.node_name;
}

StatisticsParameters LoadStatisticsParameters(const IniFile& profile) {
  StatisticsParameters parameters;
  LoadText(profile, "PathData", parameters.data_path);
  LoadText(profile, "PathResult", parameters.result_path);
  LoadText(profile, "TestName", parameters.test_name);
  LoadText(profile, "TestCode", parameters.test_code);
  LoadText(profile, "TestCodeX", parameters.code_range);
  LoadText(profile, "NodeNameX", parameters.node_range);
  const long long n = profile.GetInt(kStatSection, "StatPpNum", parameters.peak_peak_count);
  parameters.peak_peak_count =
      static_cast<int32_t>(std::clamp<long long>(n, kMinPeakPeakCount, kMaxPeakPeakCount));
  return parameters;
}

void StoreStatisticsParameters(IniFile& profile, const StatisticsParameters& parameters) {
  profile.Set(kSettings, "PathData", Utf8ToGbk(parameters.data_path));
  profile.Set(kSettings, "PathResult", Utf8ToGbk(parameters.result_path));
  profile.Set(kSettings, "TestName", Utf8ToGbk(parameters.test_name));
  profile.Set(kSettings, "TestCodeX", Utf8ToGbk(parameters.code_range));
  profile.Set(kSettings, "NodeNameX", Utf8ToGbk(parameters.node_range));
  profile.Set(kStatSection, "StatPpNum", std::to_string(parameters.peak_peak_count));
}

StatisticsParameters ReadStatisticsParameters() {
  auto profile = IniFile::Load(ProfilePath());
  StatisticsParameters parameters =
      profile.ok() ? LoadStatisticsParameters(*profile) : StatisticsParameters{};
  parameters.host_folder = GetHostFolder();
  return parameters;
}

Status WriteStatisticsParameters(const StatisticsParameters& parameters) {
  if (auto host = EnsureHostFolder(); !host) return host.error();
  const auto path = ProfilePath();
  auto loaded = IniFile::Load(path);
  std::error_code error;
  // A profile that exists but can't be read is never replaced by one holding only our keys.
  if (!loaded.ok() && std::filesystem::exists(path, error)) return loaded.error();
  IniFile profile = loaded.ok() ? std::move(*loaded) : IniFile{};
  StoreStatisticsParameters(profile, parameters);
  return profile.Save(path, kMsgFileWrite);
}

Status RememberStatisticsParameters(const StatisticsParameters& parameters) {
  Status status = WriteStatisticsParameters(parameters);
  auto remember = [&status](const char* list, const std::string& entry) {
    if (auto ok = AddRecentEntry(RecentListPath(list), entry); !ok && status.ok()) status = ok;
  };
  remember(kRecentTestNames, parameters.test_name);
  remember(kRecentTestCodes, parameters.code_range);
  remember(kRecentNodeNames, parameters.node_range);
  // One list serves both folder fields; the data folder ends up first.
  remember(kRecentPaths, parameters.result_path);
  remember(kRecentPaths, parameters.data_path);
  return status;
}

}  // namespace torvwy::core
