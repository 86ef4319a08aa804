// The weld class a life estimate opens on, kept in the profile ("settings", "RainLifeClass").
#pragma once

#include <cstdint>

#include "core/services/result.h"

namespace torvwy::core {

/// The kept class index, 0..9; class B (0) when none is kept or the kept one is out of range.
int32_t ReadLifeClassIndex();

/// Keeps `class_index` in the profile, leaving every other line of it as it was. Refuses an
/// index out of range, and a profile that exists but can't be read (it is never replaced by one
/// holding only this key).
Status WriteLifeClassIndex(int32_t class_index);

}  // namespace torvwy::core
