// Programme: a test programme of recorded events with repeats, and its INI file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/fatigue/fatigue_estimate.h"
#include "core/rainflow/residue_method.h"
#include "core/services/result.h"

namespace torvwy::core {

/// One event of a programme: a recorded node (or, from the Python package, an array) driven
/// `repeats` times in a row.
struct ProgrammeEvent {
  int32_t number = 1;  ///< the number of its section: events follow in the order of it
  std::string data;    ///< the data folder as written; a relative one lies beside the file
  std::string test;
  std::string code;
  std::string node;
  int64_t repeats = 1;                ///< 1 or more
  double scale = 1.0;                 ///< the values are multiplied by it before counting, above 0
  std::string label;                  ///< empty: "Event <number>"
  std::optional<double> duration_s;   ///< seconds per repeat; empty: the record's length
  std::optional<double> distance_km;  ///< kilometres per repeat; empty: none

  /// The label, or "Event <number>" when none is given.
  std::string DisplayLabel() const;
};

/// A test programme: how its history is counted and estimated, and its events.
struct Programme {
  std::string name;
  int32_t partitions = 64;         ///< N, 1..2000 (above 2000 counted with 2000)
  std::string amplitude = "full";  ///< "full", "auto" or a value in EU, as the file says it
  ResidueMethod residue = ResidueMethod::kHalf;
  double gate = 0.0;                   ///< EU; reversals smaller than it are not counted
  std::string curve = "bs7608:B";      ///< as --curve: bs7608:CLASS, en1993:CATEGORY or a file
  std::string reliability = "2";       ///< d of a weld class: 0, 0.5, 1, 2 or 3
  std::string mean_correction;         ///< empty (none), goodman, gerber, swt or walker
  std::optional<double> ultimate;      ///< Su (EU)
  std::optional<double> walker_gamma;  ///< Walker's gamma
  std::optional<double> frequency_hz;  ///< empty: each node's own
  std::vector<ProgrammeEvent> events;  ///< in the order of their numbers
  /// The folder relative Data folders and curve files are found in: the file's own.
  std::filesystem::path folder;
};

/// Reads a programme file's text (UTF-8; ';' or '#' starts a comment):
///
///   [Programme]
///   Name=Track A
///   Partitions=64
///   Amplitude=full            ; full | auto | a value in EU
///   Residue=half              ; half | full | discard | repeated
///   Gate=0
///   Curve=bs7608:F2           ; as --curve; Reliability=, MeanCorrection=, Ultimate=,
///                             ; WalkerGamma= as the options of the same names
///   Frequency=                ; optional, else each node's own
///   [Event 1]
///   Data=rig
///   Test=track
///   Code=1
///   Node=strain_3
///   Repeats=40
///   Scale=1.0                 ; optional
///   Label=ride course         ; optional
///   Duration=                 ; seconds per repeat, optional
///   Distance=                 ; km per repeat, optional
///
/// Section names and keys are matched without regard to case; a key with an empty value is not
/// given. Fails (bad-value message, one line naming the section and key) for an unknown section
/// or key, a key given twice, an event number given twice, repeats below 1 or not whole, a
/// scale, duration or distance that is not a finite number above 0, an unknown residue method,
/// amplitude or mean correction, a curve that can't be had, a label given twice, and a file
/// without events or without an event's Data, Test, Code or Node. `folder` becomes the
/// programme's folder.
Result<Programme> ParseProgrammeText(std::string_view text, const std::filesystem::path& folder);

/// Reads and parses a programme file (at most 1 MiB); fails as ParseProgrammeText or with the
/// file-read message.
Result<Programme> ReadProgrammeFile(const std::filesystem::path& path);

/// The text of a programme file that ParseProgrammeText reads back as `programme`.
std::string ProgrammeText(const Programme& programme);

/// Saves the programme's text through the one save routine.
Status SaveProgrammeFile(const std::filesystem::path& path, const Programme& programme);

/// Checks a programme built in code (the Python package, the window) as a file is checked.
Status CheckProgramme(const Programme& programme);

/// The life estimate the programme asks for: the actual method on its curve, with its mean
/// correction. Fails as ParseCurveChoice and CheckMeanCorrection, naming the key.
Result<FatigueChoice> ProgrammeFatigueChoice(const Programme& programme);

}  // namespace torvwy::core
