// Lives from the S-N classes and the damage of the counted histogram by Miner's rule.
#include "core/fatigue/fatigue_estimate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/fatigue/sn_class_table.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

RainflowResult Histogram(std::vector<double> counts, double w) {
  RainflowResult result;
  result.partitions = static_cast<int32_t>(counts.size());
  result.partition_width = w;
  std::copy(counts.begin(), counts.end(), result.counts.begin());
  return result;
}

TEST(FatigueLifeTest, SpotValuesOfTheSnCurves) {
  // A width of 200 puts the centre of partition 0 at S = 100, where m x log10 S = 2m.
  struct Case {
    const char* name;
    int32_t class_index, reliability_index;
    double life;  // by hand: 10^(log10 C0 - d sigma - 2m)
  };
  const Case cases[] = {
      {"S, d = 0: 10^(23.3284 - 16)", 8, 0, 2.1301e7},
      {"B, d = 2: 10^(15.3697 - 0.3642 - 8)", 0, 3, 1.0127e7},
      {"D, d = 1: 10^(12.6007 - 0.2095 - 6)", 2, 2, 2.4615e6},
      {"T, d = 3: 10^(12.6606 - 0.7452 - 6)", 9, 4, 8.2300e5},
  };
  for (const Case& c : cases) {
    auto lives = PartitionLives(1, 200.0, c.class_index, c.reliability_index);
    ASSERT_TRUE(lives.ok()) << c.name;
    EXPECT_NEAR((*lives)[0], c.life, c.life * 1e-4) << c.name;
  }
  // Each partition has its own centre: S = 100 and 300, so the lives differ by 3^m.
  auto lives = PartitionLives(2, 200.0, 1, 0);  // class C, m = 3.5
  ASSERT_TRUE(lives.ok());
  EXPECT_NEAR((*lives)[0] / (*lives)[1], std::pow(3.0, 3.5), 1e-9 * std::pow(3.0, 3.5));
}

TEST(FatigueEstimateTest, ActualEstimateDividesTheCountsByTheLives) {
  // Centres 50, 150, 250, 350; F = 5; class B with d = 2.
  const RainflowResult histogram = Histogram({2.5, 0.0, 2.0, 0.5}, 100.0);
  auto estimate = EstimateActualDamage(histogram, 0, 3);
  ASSERT_TRUE(estimate.ok()) << estimate.error().detail;
  EXPECT_EQ(estimate->method, FatigueMethod::kActual);
  EXPECT_EQ(estimate->total_cycles, 5.0);
  EXPECT_EQ(estimate->probability, (std::vector<double>{0.5, 0.0, 0.4, 0.1}));
  const double k = 15.3697 - 2.0 * 0.1821;
  double total = 0.0;
  const double counts[] = {2.5, 0.0, 2.0, 0.5};
  for (int j = 0; j < 4; ++j) {
    const double life = std::pow(10.0, k - 4.0 * std::log10(50.0 + 100.0 * j));
    EXPECT_NEAR(estimate->life[static_cast<size_t>(j)], life, life * 1e-12);
    EXPECT_NEAR(estimate->damage[static_cast<size_t>(j)], counts[j] / life,
                counts[j] / life * 1e-12);
    total += counts[j] / life;
  }
  EXPECT_EQ(estimate->damage[1], 0.0);  // an empty partition does no damage
  EXPECT_NEAR(estimate->total_damage, total, total * 1e-12);
  EXPECT_EQ(estimate->reliability, 2.0);
}

TEST(FatigueEstimateTest, RefusesWhatHasNoMeaning) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    RainflowResult histogram;
    int32_t class_index, reliability_index;
    int actual_message;   // 0: the actual estimate works
    int fitting_message;  // 0: the fitting estimate works
  };
  const Case cases[] = {
      {"no cycle", Histogram({0, 0, 0}, 10.0), 0, 3, kMsgNoCycles, kMsgNoCycles},
      {"one partition holds every cycle", Histogram({0, 4.5, 0}, 10.0), 0, 3, 0, kMsgFitRefused},
      {"one partition at all", Histogram({3.0}, 10.0), 0, 3, 0, kMsgFitRefused},
      {"two partitions", Histogram({0, 4.5, 1.0}, 10.0), 0, 3, 0, 0},
      {"class index 10", Histogram({1, 2}, 10.0), 10, 3, kMsgBadValue, kMsgBadValue},
      {"class index -1", Histogram({1, 2}, 10.0), -1, 3, kMsgBadValue, kMsgBadValue},
      {"reliability index 5", Histogram({1, 2}, 10.0), 0, 5, kMsgBadValue, kMsgBadValue},
      {"width 0", Histogram({1, 2}, 0.0), 0, 3, kMsgBadValue, kMsgBadValue},
      {"width NaN", Histogram({1, 2}, nan), 0, 3, kMsgBadValue, kMsgBadValue},
      {"negative count", Histogram({1, -2}, 10.0), 0, 3, kMsgBadValue, kMsgBadValue},
      {"NaN count", Histogram({1, nan}, 10.0), 0, 3, kMsgBadValue, kMsgBadValue},
      {"N = 0", Histogram({}, 10.0), 0, 3, kMsgBadValue, kMsgBadValue},
      // A width so small that the lives overflow: refused rather than written as "inf".
      {"lives beyond doubles", Histogram({1, 2}, 1e-300), 8, 0, kMsgBadValue, kMsgBadValue},
  };
  for (const Case& c : cases) {
    for (FatigueMethod method : {FatigueMethod::kActual, FatigueMethod::kFitting}) {
      const int expected = method == FatigueMethod::kActual ? c.actual_message : c.fitting_message;
      auto estimate = EstimateDamage(method, c.histogram, c.class_index, c.reliability_index);
      if (expected == 0) {
        EXPECT_TRUE(estimate.ok()) << c.name << ": " << estimate.error().detail;
        if (estimate.ok()) {
          EXPECT_TRUE(std::isfinite(estimate->total_damage)) << c.name;
        }
      } else {
        ASSERT_FALSE(estimate.ok()) << c.name;
        EXPECT_EQ(estimate.error().message, expected) << c.name;
        EXPECT_FALSE(estimate.error().detail.empty()) << c.name;
      }
    }
  }
}

}  // namespace
}  // namespace torvwy::core
