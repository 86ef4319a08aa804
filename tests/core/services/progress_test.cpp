// The percentage rule and the cancel flag of a long pass.
#include "core/services/progress.h"

#include <gtest/gtest.h>

namespace torvwy::core {
namespace {

TEST(Progress, PercentTruncatesAndWraps) {
  SilentProgress progress;
  progress.SetRange(0, 3);
  progress.SetStep(1);
  std::vector<int> shown;
  for (int i = 0; i < 4; ++i) {
    progress.StepIt();
    shown.push_back(progress.percent());
  }
  EXPECT_EQ(shown, (std::vector<int>{33, 66, 100, 33}));
  EXPECT_EQ(ProgressPercent(5, 5, 5), 0);    // an empty range shows 0 %
  EXPECT_EQ(ProgressPercent(7, 2, 12), 50);  // from a lower bound other than 0
  EXPECT_EQ(ProgressPercent(int64_t{3} << 40, 0, int64_t{4} << 40), 75);  // 64-bit ranges
}

TEST(Progress, OneCancelRequestAnswersOnePoll) {
  SilentProgress progress;
  EXPECT_FALSE(progress.CheckCancelButton());
  progress.RequestCancel();
  progress.RequestCancel();
  EXPECT_TRUE(progress.CheckCancelButton());
  EXPECT_FALSE(progress.CheckCancelButton());

  SilentProgress cancel_at_second(2);
  EXPECT_FALSE(cancel_at_second.CheckCancelButton());
  EXPECT_TRUE(cancel_at_second.CheckCancelButton());
  EXPECT_EQ(cancel_at_second.polls(), 2);
}

}  // namespace
}  // namespace torvwy::core
