// The location scan and least-squares line of the Weibull fit.
#include "core/fatigue/weibull_fit.h"

#include <cmath>
#include <string>
#include <vector>

#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

constexpr int kTrials = 5000;
constexpr double kTrialStep = 0.0002;

struct Line {
  double a = 0.0;  // intercept
  double b = 0.0;  // slope
};

/// Least-squares line through (ln(s_k - x0), y_k), sums taken in ascending k.
Line FitLine(const std::vector<double>& s, const std::vector<double>& y, double x0) {
  const auto n = static_cast<double>(s.size());
  double sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
  for (size_t k = 0; k < s.size(); ++k) {
    const double x = std::log(s[k] - x0);
    sx += x;
    sy += y[k];
    sxx += x * x;
    sxy += x * y[k];
  }
  const double denominator = n * sxx - sx * sx;
  Line line;
  line.b = (n * sxy - sx * sy) / denominator;
  line.a = (sxx * sy - sx * sxy) / denominator;
  return line;
}

}  // namespace

double WeibullProbability(const WeibullFit& fit, double s) {
  const double base = (s - fit.location) / fit.scale;
  if (base < 0.0) return 0.0;
  return std::exp(-std::pow(base, fit.shape));
}

Result<WeibullFit> FitWeibull(std::span<const double> counts, double partition_width) {
  std::vector<double> s, f;
  double total = 0.0;
  for (size_t j = 0; j < counts.size(); ++j) {
    if (counts[j] == 0.0) continue;
    s.push_back((static_cast<double>(j) + 0.5) * partition_width);
    f.push_back(counts[j]);
    total += counts[j];
  }
  if (total == 0.0) return Fail(kMsgNoCycles, "the histogram holds no cycle");
  if (s.size() < 2) {
    return Fail(kMsgFitRefused,
                std::to_string(s.size()) + " partition holds cycles; the fit needs two or more");
  }
  std::vector<double> y(s.size());
  for (size_t k = 0; k < s.size(); ++k) y[k] = std::log(-std::log(f[k] / total));

  const double s1 = s.front();
  auto trial_error = [&](double x0, WeibullFit& fit) {
    const Line line = FitLine(s, y, x0);
    fit = {x0, std::exp(-line.a / line.b), line.b};
    double error = 0.0;
    for (size_t k = 0; k < s.size(); ++k) {
      const double difference =
          std::exp(-std::pow((s[k] - x0) / fit.scale, fit.shape)) - f[k] / total;
      error += difference * difference;
    }
    return error;
  };

  int best = -1;
  double best_error = 0.0;
  WeibullFit fit;
  for (int i = 0; i < kTrials; ++i) {
    const double error = trial_error(i * kTrialStep * s1, fit);
    if (!std::isfinite(error)) continue;
    if (best < 0 || error < best_error) {
      best = i;
      best_error = error;
    }
  }
  if (best < 0) return Fail(kMsgFitRefused, "no trial location gives a finite curve");
  trial_error(best * kTrialStep * s1, fit);
  if (!std::isfinite(fit.scale) || !(fit.scale > 0.0) || !std::isfinite(fit.shape)) {
    return Fail(kMsgFitRefused, "the fitted curve has no finite scale and shape");
  }
  return fit;
}

}  // namespace torvwy::core
