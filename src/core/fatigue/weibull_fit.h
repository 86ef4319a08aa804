// WeibullFit: a three-parameter survival curve matched to a rainflow histogram.
#pragma once

#include <span>

#include "core/services/result.h"

namespace torvwy::core {

/// The curve P(S) = exp(-((S - x0) / lambda)^b) over stress ranges S.
struct WeibullFit {
  double location = 0.0;  ///< x0
  double scale = 0.0;     ///< lambda
  double shape = 0.0;     ///< b
};

/// Fits the curve to the non-empty partitions of `counts` (partition j at its centre
/// s = (j + 0.5) w, relative frequency f / F) through the linearisation
///
///   ln(-ln(f / F)) = b ln(s - x0) - b ln(lambda)
///
/// For each of 5000 trial locations x0 = i x 0.0002 x s1 (s1 the smallest non-empty centre, so
/// s - x0 stays positive) a least-squares line y = a + b x gives b and lambda = exp(-a / b), and
/// the squared differences between the curve and the frequencies are summed; the first trial
/// with the smallest finite sum wins and is fitted again.
///
/// Fails with the no-cycles message when every count is 0, and with the fit-refused message
/// when fewer than two partitions hold cycles (the line is undefined, and one partition holding
/// every cycle has no finite ln(-ln 1)) or when no trial gives a finite curve.
Result<WeibullFit> FitWeibull(std::span<const double> counts, double partition_width);

/// The fitted probability at stress range `s`. A range below the location holds no fitted
/// cycles: 0 (the power of a negative base has no real value).
double WeibullProbability(const WeibullFit& fit, double s);

}  // namespace torvwy::core
