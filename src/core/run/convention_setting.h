// The counting conventions a setup dialog opens on, kept in the profile ("settings",
// "CountResidue", "CountGate" and "CountGateUnit").
#pragma once

#include <string>

#include "core/rainflow/residue_method.h"
#include "core/services/result.h"

namespace torvwy::core {

/// The residue method and the gate last set up. The gate is a value in its node's unit, kept
/// with that unit: a node of another unit opens on no gate rather than on a number that means
/// something else there.
struct ConventionSetting {
  ResidueMethod residue = ResidueMethod::kHalf;
  double gate = 0.0;  ///< EU of `unit`
  std::string unit;
};

/// The kept conventions for a node of `unit`: the residue method, and the gate when it was kept
/// for the same unit. The defaults (half, 0) for what is not kept, can't be read or is out of
/// range.
ConventionSetting ReadConventionSetting(const std::string& unit);

/// Keeps `setting` in the profile, leaving every other line of it as it was. Refuses a gate that
/// is not a finite number of 0 or more, and a profile that exists but can't be read (it is never
/// replaced by one holding only these keys).
Status WriteConventionSetting(const ConventionSetting& setting);

}  // namespace torvwy::core
