// The Weibull fit of a histogram and the fitting damage estimate.
#include "core/fatigue/weibull_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/fatigue/fatigue_estimate.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

/// The fit written out from its definition, for comparison.
struct Reference {
  double x0 = 0.0, lambda = 0.0, b = 0.0;
};

Reference ReferenceFit(const std::vector<double>& counts, double w) {
  std::vector<double> s, f;
  double total = 0.0;
  for (size_t j = 0; j < counts.size(); ++j) {
    if (counts[j] != 0.0) {
      s.push_back((static_cast<double>(j) + 0.5) * w);
      f.push_back(counts[j]);
      total += counts[j];
    }
  }
  const auto n = static_cast<double>(s.size());
  auto fit_at = [&](double x0) {
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t k = 0; k < s.size(); ++k) {
      const double x = std::log(s[k] - x0);
      const double y = std::log(-std::log(f[k] / total));
      sx += x;
      sy += y;
      sxx += x * x;
      sxy += x * y;
    }
    const double b = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    const double a = (sxx * sy - sx * sxy) / (n * sxx - sx * sx);
    return Reference{x0, std::exp(-a / b), b};
  };
  int best = 0;
  double best_error = 0.0;
  for (int i = 0; i < 5000; ++i) {
    const Reference r = fit_at(i * 0.0002 * s[0]);
    double error = 0.0;
    for (size_t k = 0; k < s.size(); ++k) {
      const double d = std::exp(-std::pow((s[k] - r.x0) / r.lambda, r.b)) - f[k] / total;
      error += d * d;
    }
    if (i == 0 || error < best_error) {
      best = i;
      best_error = error;
    }
  }
  return fit_at(best * 0.0002 * s[0]);
}

RainflowResult Histogram(const std::vector<double>& counts, double w) {
  RainflowResult result;
  result.partitions = static_cast<int32_t>(counts.size());
  result.partition_width = w;
  std::copy(counts.begin(), counts.end(), result.counts.begin());
  return result;
}

// Frequencies that lie exactly on exp(-(s / lambda)^1) at s = 0.5, 1.5, 2.5 and sum to 1:
// u^0.5 + u^1.5 + u^2.5 = 1 with u = exp(-1 / lambda). The line through them is exact at x0 = 0,
// so the scan keeps the first trial and the fit gives back b = 1 and lambda.
TEST(FatigueWeibullFitTest, RecoversAnExactCurve) {
  double low = 0.0, high = 1.0;
  for (int i = 0; i < 200; ++i) {
    const double u = 0.5 * (low + high);
    (std::sqrt(u) * (1 + u + u * u) < 1.0 ? low : high) = u;
  }
  const double u = 0.5 * (low + high);
  const double lambda = -1.0 / std::log(u);
  std::vector<double> counts;
  for (double s : {0.5, 1.5, 2.5}) counts.push_back(1000.0 * std::exp(-s / lambda));
  auto fit = FitWeibull(counts, 1.0);
  ASSERT_TRUE(fit.ok()) << fit.error().detail;
  EXPECT_EQ(fit->location, 0.0);
  EXPECT_NEAR(fit->shape, 1.0, 1e-9);
  EXPECT_NEAR(fit->scale, lambda, 1e-9 * lambda);
}

TEST(FatigueWeibullFitTest, FittingEstimateMatchesTheDefinition) {
  struct Case {
    const char* name;
    std::vector<double> counts;
    double w;
    int32_t class_index;
  };
  const Case cases[] = {
      {"falling histogram", {0, 10, 6, 3, 0, 1}, 20.0, 3},
      {"half cycles", {4.5, 2.5, 0.5, 0, 0.5}, 7.5, 8},
      // The best location lies above the centres of the empty partitions 0 and 1.
      {"location above empty partitions", {0, 0, 12, 30, 20}, 10.0, 0},
  };
  for (const Case& c : cases) {
    const Reference reference = ReferenceFit(c.counts, c.w);
    auto estimate = EstimateFittedDamage(Histogram(c.counts, c.w), c.class_index, 3);
    ASSERT_TRUE(estimate.ok()) << c.name << ": " << estimate.error().detail;
    EXPECT_EQ(estimate->method, FatigueMethod::kFitting);
    EXPECT_EQ(estimate->location, reference.x0) << c.name;
    EXPECT_DOUBLE_EQ(estimate->scale, reference.lambda) << c.name;
    EXPECT_DOUBLE_EQ(estimate->shape, reference.b) << c.name;
    int64_t whole = 0;
    for (double count : c.counts) whole += static_cast<int64_t>(count + 0.5);
    EXPECT_EQ(estimate->whole_cycles, whole) << c.name;
    double total = 0.0;
    for (size_t j = 0; j < c.counts.size(); ++j) {
      const double s = (static_cast<double>(j) + 0.5) * c.w;
      const double p =
          s < reference.x0
              ? 0.0
              : std::exp(-std::pow((s - reference.x0) / reference.lambda, reference.b));
      const double damage = static_cast<double>(whole) * p / estimate->life[j];
      EXPECT_DOUBLE_EQ(estimate->probability[j], p) << c.name << ", partition " << j;
      EXPECT_DOUBLE_EQ(estimate->damage[j], damage) << c.name << ", partition " << j;
      EXPECT_TRUE(std::isfinite(estimate->damage[j])) << c.name;
      total += damage;
    }
    EXPECT_DOUBLE_EQ(estimate->total_damage, total) << c.name;
  }
  // The last case does have partitions below the location: no fitted cycles there.
  auto below = EstimateFittedDamage(Histogram({0, 0, 12, 30, 20}, 10.0), 0, 3);
  ASSERT_TRUE(below.ok());
  ASSERT_GT(below->location, 15.0);
  EXPECT_EQ(below->probability[0], 0.0);
  EXPECT_EQ(below->probability[1], 0.0);
  EXPECT_EQ(below->damage[1], 0.0);
  EXPECT_GT(below->total_damage, 0.0);
}

TEST(FatigueWeibullFitTest, NeedsTwoPartitionsWithCycles) {
  EXPECT_EQ(FitWeibull(std::vector<double>{0, 0, 0}, 1.0).error().message, kMsgNoCycles);
  EXPECT_EQ(FitWeibull(std::vector<double>{0, 7, 0}, 1.0).error().message, kMsgFitRefused);
  EXPECT_TRUE(FitWeibull(std::vector<double>{0, 7, 1}, 1.0).ok());
}

}  // namespace
}  // namespace torvwy::core
