// Node names for the channels of a recording.
#include "recording/channel_names.h"

#include <set>

#include "core/services/message_table.h"
#include "core/services/names.h"
#include "core/services/text.h"

namespace torvwy::recording {
namespace {

constexpr size_t kMaxNodeNameBytes = 64;

bool KeptAscii(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         c == '-' || c == '.';
}

/// The bytes of the UTF-8 sequence starting at text[pos], or 0 when it is not valid UTF-8.
size_t Utf8Length(std::string_view text, size_t pos) {
  const auto byte = static_cast<unsigned char>(text[pos]);
  const size_t length = byte >= 0xF0 && byte <= 0xF4   ? 4
                        : byte >= 0xE0 && byte <= 0xEF ? 3
                        : byte >= 0xC2 && byte <= 0xDF ? 2
                                                       : 0;
  if (length == 0 || pos + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

std::string ChannelNumberName(size_t channel) { return "ch" + std::to_string(channel + 1); }

}  // namespace

std::string CleanNodeName(std::string_view channel_name) {
  std::string cleaned;
  bool gap = false;  // a run of dropped characters waits to become one '_'
  for (size_t pos = 0; pos < channel_name.size();) {
    const auto byte = static_cast<unsigned char>(channel_name[pos]);
    size_t length = KeptAscii(byte) ? 1 : byte >= 0x80 ? Utf8Length(channel_name, pos) : 0;
    if (length == 0) {
      gap = true;
      ++pos;
      continue;
    }
    if (gap && !cleaned.empty()) cleaned += '_';
    gap = false;
    if (cleaned.size() + length > kMaxNodeNameBytes) break;
    cleaned.append(channel_name.substr(pos, length));
    pos += length;
  }
  const size_t first = cleaned.find_first_not_of("_.-");
  if (first == std::string::npos) return {};
  const size_t last = cleaned.find_last_not_of("_.-");
  return cleaned.substr(first, last - first + 1);
}

std::vector<std::string> SplitList(std::string_view list) {
  std::vector<std::string> items;
  if (core::Trim(list).empty()) return items;
  size_t pos = 0;
  while (true) {
    const size_t comma = list.find(',', pos);
    items.emplace_back(core::Trim(list.substr(pos, comma - pos)));
    if (comma == std::string_view::npos) break;
    pos = comma + 1;
  }
  return items;
}

core::Result<std::vector<PlannedNode>> PlanNodes(const std::vector<ChannelInfo>& channels,
                                                 const ChannelSelection& selection) {
  std::vector<size_t> chosen;
  if (selection.channels.empty()) {
    for (size_t i = 0; i < channels.size(); ++i) chosen.push_back(i);
  } else {
    for (const std::string& pick : selection.channels) {
      std::optional<size_t> index;
      for (size_t i = 0; i < channels.size() && !index; ++i) {
        if (channels[i].name == pick) index = i;
      }
      if (!index) {
        const auto number = core::ParseInt(pick);
        if (number && *number >= 1 && static_cast<uint64_t>(*number) <= channels.size()) {
          index = static_cast<size_t>(*number - 1);
        }
      }
      if (!index) {
        return core::Fail(core::kMsgBadName, "no channel '" + pick +
                                                 "' (give a name or a number 1.." +
                                                 std::to_string(channels.size()) + ")");
      }
      for (const size_t taken : chosen) {
        if (taken == *index) {
          return core::Fail(core::kMsgBadName,
                            "channel '" + channels[*index].name + "' is chosen twice");
        }
      }
      chosen.push_back(*index);
    }
  }
  if (!selection.node_names.empty() && selection.node_names.size() != chosen.size()) {
    return core::Fail(core::kMsgBadName, std::to_string(selection.node_names.size()) +
                                             " node names for " + std::to_string(chosen.size()) +
                                             " channels");
  }

  std::vector<PlannedNode> plan;
  std::set<std::string> taken;
  for (size_t k = 0; k < chosen.size(); ++k) {
    PlannedNode node{chosen[k], {}, {}};
    if (!selection.node_names.empty()) {
      node.node = selection.node_names[k];
      if (auto ok = core::CheckName(node.node, "node name"); !ok) return ok.error();
      if (!taken.insert(node.node).second) {
        return core::Fail(core::kMsgBadName, "node name '" + node.node + "' is given twice");
      }
      plan.push_back(std::move(node));
      continue;
    }
    const std::string& name = channels[node.channel].name;
    std::string base = CleanNodeName(name);
    if (base.empty()) {
      base = ChannelNumberName(node.channel);
      node.note = "the channel name '" + core::EscapeControlCharacters(name) +
                  "' holds nothing a node name may hold";
    }
    node.node = base;
    for (int suffix = 2; !taken.insert(node.node).second; ++suffix) {
      node.node = base + "_" + std::to_string(suffix);
    }
    if (node.node != base) {
      if (!node.note.empty()) node.note += "; ";
      node.note += "the name " + base + " is taken by an earlier channel";
    }
    plan.push_back(std::move(node));
  }
  return plan;
}

}  // namespace torvwy::recording
