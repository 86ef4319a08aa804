// The table of a programme's events as CSV text and file.
#pragma once

#include <filesystem>
#include <string>

#include "core/programme/programme_count.h"
#include "core/services/result.h"

namespace torvwy::core {

/// The events' table as CSV text: ',' separators, LF line ends, every number the shortest text
/// that reads back to the same double (C locale); a label is a text field (CsvField: quoted
/// where it must be, and never taken for a formula).
///
///   label,repeats,scale,cycles,damage_per_repeat,damage,share
///   ride course,40,1,790,1.2e-07,4.8e-06,0.8
///   ...
///   across events,,,3,,2e-08,0.004           the cycles across events and at the end
///   total,,,1203,,6e-06,1
std::string ProgrammeTableCsv(const ProgrammeResult& result);

/// Writes ProgrammeTableCsv(result) as the file `target`, atomically (file-write message).
Status SaveProgrammeTableCsv(const std::filesystem::path& target, const ProgrammeResult& result);

}  // namespace torvwy::core
