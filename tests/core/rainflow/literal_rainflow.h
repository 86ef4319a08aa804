// A literal rainflow count for the tests: the turning points, then pass after pass of the
// four-point rule over an array, then the residue; written from the rule, not from the engine.
#pragma once

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace torvwy::testing {

struct LiteralRainflow {
  std::vector<double> turning_points;             ///< raw values
  std::vector<std::pair<double, double>> cycles;  ///< (range, weight) in the order counted
  std::vector<double> residue;                    ///< scaled points left after the passes
  std::vector<double> counts;                     ///< N partition counts
  int64_t passes = 0;
};

/// Turning points of `samples`: the first sample; then, starting from the second sample with
/// the direction falling when it is below the first (else rising), every sample `prev` after
/// which the signal reverses; then the last sample.
inline std::vector<double> LiteralTurningPoints(const std::vector<double>& samples) {
  std::vector<double> points;
  if (samples.empty()) return points;
  points.push_back(samples[0]);
  if (samples.size() == 1) return points;
  double prev = samples[1];
  bool falling = samples[1] < samples[0];
  for (size_t i = 2; i < samples.size(); ++i) {
    const double x = samples[i];
    if (falling && x > prev) {
      points.push_back(prev);  // a valley
      falling = false;
    } else if (!falling && x < prev) {
      points.push_back(prev);  // a peak
      falling = true;
    }
    prev = x;
  }
  points.push_back(prev);
  return points;
}

/// The whole count: scale the turning points by k, extract cycles pass after pass (a pass scans
/// i = 0, 1, ... while i < T - 3, takes a cycle when |p2 - p1| <= |p1 - p0| and <= |p3 - p2|,
/// marks p1 and p2 and goes on at i + 3; the marked points are then removed; the passes stop at
/// the first one that finds nothing), count the residue as half cycles, and put each range r
/// with t <= r <= A and r > 0 into the first partition j with r <= j x w + w (N - 1 when none).
inline LiteralRainflow RunLiteralRainflow(const std::vector<double>& samples, double k, int n,
                                          double a, double t) {
  LiteralRainflow out;
  out.turning_points = LiteralTurningPoints(samples);
  std::vector<double> x;
  for (double p : out.turning_points) x.push_back(p * k);
  for (;;) {
    ++out.passes;
    std::vector<bool> removed(x.size(), false);
    int found = 0;
    const auto size = static_cast<int64_t>(x.size());
    for (int64_t i = 0; i < size - 3;) {
      const double p0 = x[i], p1 = x[i + 1], p2 = x[i + 2], p3 = x[i + 3];
      const double r = std::fabs(p2 - p1);
      if (r <= std::fabs(p1 - p0) && r <= std::fabs(p3 - p2)) {
        out.cycles.emplace_back(r, 1.0);
        removed[i + 1] = removed[i + 2] = true;
        ++found;
        i += 3;
      } else {
        i += 1;
      }
    }
    std::vector<double> kept;
    for (size_t i = 0; i < x.size(); ++i) {
      if (!removed[i]) kept.push_back(x[i]);
    }
    x = std::move(kept);
    if (found == 0) break;
  }
  for (size_t i = 0; i + 1 < x.size(); ++i)
    out.cycles.emplace_back(std::fabs(x[i + 1] - x[i]), 0.5);
  out.residue = x;
  out.counts.assign(static_cast<size_t>(n), 0.0);
  const double w = a / n;
  for (const auto& [r, g] : out.cycles) {
    if (r > a || r < t || r <= 0.0) continue;  // a range of zero is no cycle
    int j = n - 1;
    for (int e = 0; e < n; ++e) {
      if (r <= e * w + w) {
        j = e;
        break;
      }
    }
    out.counts[static_cast<size_t>(j)] += g;
  }
  return out;
}

}  // namespace torvwy::testing
