// ResidueMethod: what a rainflow count makes of the turning points that never closed a cycle.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace torvwy::core {

/// How the residue (the turning points left open at the end of the record) is counted:
///
///   half      each step between neighbouring residue points is half a cycle (the system's own
///             convention, and the default)
///   full      each such step is a whole cycle
///   discard   the residue is not counted
///   repeated  the record is one block of a load that repeats: the residue followed by itself
///             closes cycles, counted as whole cycles; what stays open is the residue again (the
///             count of the record written out n times is n times this count, less those closed
///             cycles, plus the residue's half cycles), so no half cycle is left
enum class ResidueMethod : int32_t { kHalf = 0, kFull = 1, kDiscard = 2, kRepeated = 3 };

inline constexpr std::array<std::string_view, 4> kResidueMethodNames = {"half", "full", "discard",
                                                                        "repeated"};

/// "half", "full", "discard" or "repeated".
constexpr std::string_view ResidueMethodName(ResidueMethod method) {
  return kResidueMethodNames[static_cast<size_t>(method)];
}

/// How the residue was counted, for a line of text: "as half cycles", "as full cycles", "not
/// counted", "closed by repeating the record".
constexpr std::string_view ResidueText(ResidueMethod method) {
  constexpr std::array<std::string_view, 4> kTexts = {
      "as half cycles", "as full cycles", "not counted", "closed by repeating the record"};
  return kTexts[static_cast<size_t>(method)];
}

/// The method of a name; none for another text.
inline std::optional<ResidueMethod> ResidueMethodNamed(std::string_view name) {
  for (size_t k = 0; k < kResidueMethodNames.size(); ++k) {
    if (kResidueMethodNames[k] == name) return static_cast<ResidueMethod>(k);
  }
  return std::nullopt;
}

}  // namespace torvwy::core
