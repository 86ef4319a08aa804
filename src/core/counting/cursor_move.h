// MoveCursor: where the cursor of a count plot goes for each of the ten move codes.
#pragma once

#include <cstdint>
#include <span>

namespace torvwy::core {

/// Cursor move codes, as the panel's buttons and the arrow keys send them.
enum CursorMove : int {
  kCursorLeft = 0,         ///< "<": one partition left
  kCursorFarLeft = 1,      ///< "<<": max(1, N / 10) partitions left
  kCursorRight = 2,        ///< ">": one partition right
  kCursorFarRight = 3,     ///< ">>": max(1, N / 10) partitions right
  kCursorPeakLeft = 4,     ///< nearest local maximum to the left
  kCursorValleyLeft = 5,   ///< nearest local minimum to the left
  kCursorPeakRight = 6,    ///< nearest local maximum to the right
  kCursorValleyRight = 7,  ///< nearest local minimum to the right
  kCursorLargest = 8,      ///< "Max": the first partition of the largest value
  kCursorSmallest = 9,     ///< "Min": the first partition of the smallest value
};

/// The partition the cursor moves to from `cursor` over the first `n` values of the displayed
/// curve by move `code` (0..9). A local maximum is a point no neighbour of which is larger and
/// at least one smaller (a minimum the other way round), so a flat stretch is neither:
///
///   index   0  1  2  3  4  5  6  7      from the cursor at 4:
///   value   2  0  5  1  4  3  0  0        code 4 -> 2, code 5 -> 3, code 7 -> 6,
///   turning +  -  +  -  +     -           code 6 stays at 4 (no maximum to the right)
///
/// Where there is no such point the cursor stays. The result is always within 0..n - 1 (0 when
/// n < 1); an unknown code leaves the cursor as it was (clamped).
int32_t MoveCursor(int32_t cursor, std::span<const double> values, int32_t n, int code);

}  // namespace torvwy::core
