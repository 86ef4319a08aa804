// MoveCursor: each move code from known positions, the ends, and the turning-point rules.
#include "core/counting/cursor_move.h"

#include <gtest/gtest.h>

#include <vector>

namespace torvwy::core {
namespace {

struct Move {
  int32_t from;
  int code;
  int32_t to;
};

TEST(MoveCursor, EveryCodeOnAKnownCurve) {
  //                               0  1  2  3  4  5  6  7  8  9 10 11
  const std::vector<double> curve{2, 0, 5, 1, 4, 3, 0, 0, 7, 7, 0, 1};
  const int32_t n = 12;  // larger step max(1, 12 / 10) = 1
  const Move moves[] = {
      {4, 0, 3},  {0, 0, 0},   {4, 2, 5},  {11, 2, 11},  // one step, held at the ends
      {4, 1, 3},  {0, 1, 0},   {4, 3, 5},  {11, 3, 11},  // the larger step is 1 here
      {4, 4, 2},  {2, 4, 0},   {0, 4, 0},                // maxima left: 2, then 0, then none
      {4, 5, 3},  {1, 5, 1},                             // minima left: 3; none left of 1
      {4, 6, 8},  {8, 6, 9},   {9, 6, 11}, {11, 6, 11},  // the plateau 7 7: both maxima
      {4, 7, 6},  {6, 7, 7},   {7, 7, 10}, {10, 7, 10},  // 0 beside 0 and 7 is a minimum
      {4, 8, 8},  {4, 9, 1},                             // first largest, first smallest
      {4, 10, 4}, {4, -1, 4},                            // unknown codes: unchanged
      {-5, 2, 1}, {99, 0, 10},                           // a cursor outside is clamped first
  };
  for (const Move& m : moves) {
    EXPECT_EQ(MoveCursor(m.from, curve, n, m.code), m.to) << m.from << " code " << m.code;
  }
}

TEST(MoveCursor, LargerStepIsATenthOfN) {
  const std::vector<double> flat(2000, 1.0);
  const Move moves[] = {{1000, 1, 800}, {1000, 3, 1200}, {100, 1, 0}, {1900, 3, 1999}};
  for (const Move& m : moves) EXPECT_EQ(MoveCursor(m.from, flat, 2000, m.code), m.to);
  EXPECT_EQ(MoveCursor(30, flat, 35, 3), 33);  // 35 / 10 = 3
  EXPECT_EQ(MoveCursor(3, flat, 9, 3), 4);     // 9 / 10 = 0 -> at least 1
  EXPECT_EQ(MoveCursor(3, flat, 9, 8), 0);     // all equal: the first
  EXPECT_EQ(MoveCursor(3, flat, 9, 6), 3);     // flat: no turning point at all
}

TEST(MoveCursor, FewerValuesThanPartitionsOrNone) {
  const std::vector<double> three{1, 9, 1};
  EXPECT_EQ(MoveCursor(0, three, 25, 3), 1);  // only the values there are count
  EXPECT_EQ(MoveCursor(2, three, 25, 2), 2);
  EXPECT_EQ(MoveCursor(5, {}, 25, 8), 0);
  EXPECT_EQ(MoveCursor(5, three, 0, 2), 0);
}

}  // namespace
}  // namespace torvwy::core
