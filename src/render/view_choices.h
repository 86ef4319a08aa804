// What the user chose to see of a counting picture, without the toolkit: the part of the
// picture's state that a counting session keeps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvwy::render {

/// The readout list box drawn over the picture.
struct ReadoutBox {
  bool shown = false;
  /// The list text: a heading line, then one line per entry, each ending in "\r\n" (the
  /// readout list's text as the clipboard gets it).
  std::string text;
  /// Left and top in thousandths of the drawing area's width and height; kNotPlaced puts the
  /// box near the middle, six lines below the top.
  static constexpr int kNotPlaced = -10000;
  int x_per_mille = kNotPlaced;
  int y_per_mille = kNotPlaced;
};

/// What the user chose to see; the same for every target.
struct ViewChoices {
  bool inset_shown = true;  ///< the full-waveform inset
  bool separately = true;   ///< peak: peaks and valleys in two plots
  bool one_way = false;     ///< peak, range: the one-way counts
  bool grid_shown = true;
  bool cursor_shown = true;
  std::optional<int32_t> cursor_partition;  ///< the result's cursor when empty
  int curve_type = 4;                       ///< 0..7; 6 (points) draws as 1 with symbol 0
  int symbol_type = 4;
  int mark_style = 4;             ///< 0..4: how readout marks are labelled
  double zoom = 1.0;              ///< divides the Y range of the count plots
  bool log_counts = false;        ///< count plots on a logarithmic axis (decades)
  std::vector<int32_t> readouts;  ///< partitions collected with the cursor (marked)
  bool bookmarks_shown = true;    ///< bookmark flags on the inset
  ReadoutBox readout_box;         ///< the readout list, drawn last
};

}  // namespace torvwy::render
