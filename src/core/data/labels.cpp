// Reading and editing the [Labels] section.
#include "core/data/labels.h"

#include <cstdio>

#include "core/data/sampling_info.h"
#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "core/services/profile.h"
#include "core/services/text.h"

namespace torvwy::core {
namespace {

constexpr char kSection[] = "Labels";

std::string Key(const char* stem, int number) {
  char key[32];
  std::snprintf(key, sizeof(key), "%s%03d", stem, number);
  return key;
}

/// The label count, bounded so that a damaged count can't make us loop for ever.
int LabelCount(const IniFile& ini) {
  const auto value = ini.Get(kSection, "LabelNum");
  const long long count = value ? ParseInt(NumberBeforeComment(*value)).value_or(0) : 0;
  return count < 0 ? 0 : count > 999 ? 999 : static_cast<int>(count);
}

/// A stored value as read: UTF-8, at most 255 characters.
std::string ReadValue(const IniFile& ini, const std::string& key) {
  const std::string text = GbkToUtf8(ini.Get(kSection, key).value_or("0"));
  return std::string(CutCharacters(text, kMaxLabelReadCharacters));
}

/// A position as read: a sample number loses its trailing "; comment"; anything else stays.
std::string ReadPosition(const IniFile& ini, const std::string& key) {
  std::string text = ReadValue(ini, key);
  const std::string_view number = NumberBeforeComment(text);
  if (number.size() != text.size() && ParseFiniteDouble(number)) text = std::string(number);
  return text;
}

std::vector<Label> LabelsOf(const IniFile& ini) {
  std::vector<Label> labels;
  const int count = LabelCount(ini);
  for (int k = 1; k <= count; ++k) {
    labels.push_back({ReadPosition(ini, Key("LabelPos", k)), ReadValue(ini, Key("LabelText", k))});
  }
  return labels;
}

Status Store(const std::filesystem::path& tsp_path, int operation, int index,
             const std::string& new_text, const std::vector<Label>* seen) {
  auto ini = IniFile::Load(tsp_path);
  if (!ini) return ini.error();
  if (seen != nullptr && LabelsOf(*ini) != *seen) {
    return Fail(kMsgFileWrite, tsp_path.string() +
                                   ": its bookmarks were changed since they "
                                   "were read; nothing was written");
  }
  const int count = LabelCount(*ini);
  if (index < 0 || index >= count) {
    return Fail(kMsgBadValue, "label " + std::to_string(index + 1) + " does not exist");
  }
  const int number = index + 1;
  if (operation == kLabelRename) {
    ini->Set(kSection, Key("LabelText", number),
             Utf8ToGbk(CutCharacters(new_text, kMaxLabelNameCharacters)));
  } else if (operation == kLabelDelete) {
    for (int k = number; k < count; ++k) {
      ini->Set(kSection, Key("LabelPos", k),
               ini->Get(kSection, Key("LabelPos", k + 1)).value_or("0"));
      ini->Set(kSection, Key("LabelText", k),
               ini->Get(kSection, Key("LabelText", k + 1)).value_or("0"));
    }
    ini->Remove(kSection, Key("LabelPos", count));
    ini->Remove(kSection, Key("LabelText", count));
    ini->Set(kSection, "LabelNum", std::to_string(count - 1));
  } else {
    return Fail(kMsgBadValue, "unknown label operation " + std::to_string(operation));
  }
  return ini->Save(tsp_path, kMsgFileWrite);
}

}  // namespace

std::vector<Label> ReadLabels(const std::filesystem::path& tsp_path) {
  auto ini = IniFile::Load(tsp_path);
  return ini ? LabelsOf(*ini) : std::vector<Label>{};
}

Status StoreLabels(const std::filesystem::path& tsp_path, int operation, int index,
                   const std::string& new_text) {
  return Store(tsp_path, operation, index, new_text, nullptr);
}

Status StoreLabels(const std::filesystem::path& tsp_path, int operation, int index,
                   const std::string& new_text, const std::vector<Label>& seen) {
  return Store(tsp_path, operation, index, new_text, &seen);
}

void AppendLabel(IniFile& ini, const Label& label) {
  const int number = LabelCount(ini) + 1;
  ini.Set(kSection, "LabelNum", std::to_string(number));
  ini.Set(kSection, Key("LabelPos", number), std::string(CutGbk(Utf8ToGbk(label.position), 254)));
  ini.Set(kSection, Key("LabelText", number), std::string(CutGbk(Utf8ToGbk(label.text), 254)));
}

Status AppendLabel(const std::filesystem::path& tsp_path, const Label& label) {
  IniFile ini;
  if (auto existing = IniFile::Load(tsp_path)) ini = std::move(*existing);
  AppendLabel(ini, label);
  return ini.Save(tsp_path, kMsgFileWrite);
}

}  // namespace torvwy::core
