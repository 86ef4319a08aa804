// LevelCrossingResult: the crossings of each level, and what they were counted with.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/counting/counting_parameters.h"
#include "core/counting/run_fields.h"

namespace torvwy::core {

/// Which crossings a level's count shows.
enum class CrossingDirection {
  kUp,    ///< upward crossings
  kDown,  ///< downward crossings
  kBoth,  ///< both added
  kAstm,  ///< the standard's choice: upward at and above the reference, downward below it
};

/// "up", "down", "both", "astm".
std::string_view CrossingDirectionName(CrossingDirection direction);
/// The direction of its name; none for another text.
std::optional<CrossingDirection> CrossingDirectionNamed(std::string_view name);

/// What a level crossing count is asked besides N and A.
struct CrossingOptions {
  /// The levels (EU, strictly increasing) when given as a list; empty: the N + 1 partition edges
  /// of [-A, A].
  std::vector<double> level_list;
  double reference = 0.0;  ///< EU
  CrossingDirection direction = CrossingDirection::kAstm;
  double gate = 0.0;  ///< EU, >= 0
};

/// One level crossing result, as counted, saved and reopened. Values are in EU.
struct LevelCrossingResult : RunFields {
  /// N when the levels are the N + 1 partition edges of [-A, A]; 0 for levels given as a list.
  int32_t partitions = 0;
  double amplitude_range = 0.0;  ///< A; 0 for levels given as a list
  std::vector<double> levels;    ///< strictly increasing
  std::vector<int64_t> up;       ///< upward crossings of each level
  std::vector<int64_t> down;     ///< downward crossings of each level
  double reference = 0.0;        ///< the standard's reference level
  double gate = 0.0;             ///< the gate G (0: every crossing counts)
  CrossingDirection direction = CrossingDirection::kAstm;
  int32_t cursor_partition = 0;  ///< the level the cursor is on

  /// The count of each level by `direction`.
  std::vector<int64_t> Counts() const;
};

}  // namespace torvwy::core
