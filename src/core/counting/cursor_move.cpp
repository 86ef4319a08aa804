// The cursor moves of the count plots.
#include "core/counting/cursor_move.h"

#include <algorithm>

namespace torvwy::core {
namespace {

/// -1, 0 or 1: how point j compares with its neighbours (1 a local maximum, -1 a minimum).
int Turning(std::span<const double> v, int32_t j, int32_t n) {
  bool larger = false, smaller = false;
  for (int32_t k : {j - 1, j + 1}) {
    if (k < 0 || k >= n) continue;
    const double other = v[static_cast<size_t>(k)];
    const double here = v[static_cast<size_t>(j)];
    if (other > here) larger = true;
    if (other < here) smaller = true;
  }
  if (!larger && smaller) return 1;
  if (larger && !smaller) return -1;
  return 0;
}

int32_t Nearest(std::span<const double> v, int32_t cursor, int32_t n, int step, int kind) {
  for (int32_t j = cursor + step; j >= 0 && j < n; j += step) {
    if (Turning(v, j, n) == kind) return j;
  }
  return cursor;
}

}  // namespace

int32_t MoveCursor(int32_t cursor, std::span<const double> values, int32_t n, int code) {
  n = std::min<int64_t>(n, static_cast<int64_t>(values.size()));
  if (n < 1) return 0;
  cursor = std::clamp(cursor, 0, n - 1);
  const int32_t far = std::max(1, n / 10);
  int64_t to = cursor;
  switch (code) {
    case kCursorLeft:
      to = cursor - 1;
      break;
    case kCursorFarLeft:
      to = cursor - far;
      break;
    case kCursorRight:
      to = cursor + 1;
      break;
    case kCursorFarRight:
      to = static_cast<int64_t>(cursor) + far;
      break;
    case kCursorPeakLeft:
      return Nearest(values, cursor, n, -1, 1);
    case kCursorValleyLeft:
      return Nearest(values, cursor, n, -1, -1);
    case kCursorPeakRight:
      return Nearest(values, cursor, n, 1, 1);
    case kCursorValleyRight:
      return Nearest(values, cursor, n, 1, -1);
    case kCursorLargest:
      return static_cast<int32_t>(std::max_element(values.begin(), values.begin() + n) -
                                  values.begin());
    case kCursorSmallest:
      return static_cast<int32_t>(std::min_element(values.begin(), values.begin() + n) -
                                  values.begin());
    default:
      break;
  }
  return static_cast<int32_t>(std::clamp<int64_t>(to, 0, n - 1));
}

}  // namespace torvwy::core
