// Node names for the channels of a recording: cleaned to what a node name may hold, each once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/services/result.h"
#include "recording/recording.h"

namespace torvwy::recording {

/// A channel name as a node name: letters, digits, '_', '-', '.' and every non-ASCII UTF-8
/// character are kept; any other run of characters (blanks, '/', '#', ':', brackets, control
/// bytes) becomes one '_'; '_', '.' and '-' are dropped from both ends; cut to 64 bytes at a
/// character boundary. Empty when nothing is left.
std::string CleanNodeName(std::string_view channel_name);

/// The channels an import takes and the node each becomes.
struct PlannedNode {
  size_t channel = 0;  ///< index into the recording's channels
  std::string node;    ///< node name
  std::string note;    ///< why the node name differs from the cleaned channel name; empty if not
};

/// Which channels to take and what to call them.
struct ChannelSelection {
  /// Channel names or numbers (from 1); empty: every channel.
  std::vector<std::string> channels;
  /// Node names, one for each chosen channel in order; empty: from the channel names.
  std::vector<std::string> node_names;
};

/// Splits a comma-separated list ("a,b, c") into its trimmed items; empty items are kept so
/// that the caller can refuse them.
std::vector<std::string> SplitList(std::string_view list);

/// Plans the nodes of an import. A channel is picked by its exact name first, then by its
/// number. Fails (bad-name message) for an unknown or twice-picked channel, a node-name count
/// that differs from the channels', a given node name that is not a valid node name, and two
/// given node names that are the same. From channel names: a name that cleans to nothing
/// becomes "ch<number>", and a name taken already gets "_2", "_3", ...; both are said in the
/// note.
core::Result<std::vector<PlannedNode>> PlanNodes(const std::vector<ChannelInfo>& channels,
                                                 const ChannelSelection& selection);

}  // namespace torvwy::recording
