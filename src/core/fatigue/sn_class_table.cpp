// Cycles to failure from an S-N curve.
#include "core/fatigue/sn_class_table.h"

#include <cmath>

namespace torvwy::core {

double CyclesToFailure(const SnClass& sn_class, double d, double stress_range) {
  const double k = sn_class.log10_c0 - d * sn_class.sigma;
  return std::pow(10.0, k - sn_class.m * std::log10(stress_range));
}

}  // namespace torvwy::core
