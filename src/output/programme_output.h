// Showing a test programme's result: its JSON object and its readable tables.
#pragma once

#include <nlohmann/json.hpp>

#include "core/programme/programme_count.h"

namespace torvwy::output {

/// The programme's object: "programme" (its name), "unit", "events" (label, repeats, scale,
/// cycles, damage_per_repeat, damage, share, seconds_per_repeat, km_per_repeat),
/// "cross_event_cycles", "cross_event_damage", "total_damage", "life_programmes",
/// "programme_hours", "life_hours", "programme_km", "life_km" (null where not known),
/// "equivalence" (by label of objects by label), the rainflow histogram's keys, "fatigue",
/// "range_mean", "damage_matrix" and "from_to".
nlohmann::ordered_json ProgrammeJson(const core::ProgrammeResult& result);

/// Prints the programme's tables: the events, the life, the histogram and the estimate.
void PrintProgramme(const core::ProgrammeResult& result);

}  // namespace torvwy::output
