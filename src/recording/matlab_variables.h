// What the readers of MATLAB files share, level 5 and 7.3 alike: which channels a variable
// gives, the rate a scalar variable gives, and how a file without a channel and a value that
// isn't finite are said. (Internal to torvwy_recording.)
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/services/result.h"
#include "recording/recording.h"

namespace torvwy::recording {

/// Deflate packs at most about 1032 bytes into one; a variable claiming more values than that
/// ratio allows of the file's bytes is damaged or hostile.
inline constexpr uint64_t kMostValuesPerFileByte = 1032;

/// One channel of a numeric MATLAB variable of rows x columns: column `fixed_index` (the
/// samples run down it) or row `fixed_index` (the samples run along it).
struct MatlabChannel {
  std::string name;
  bool down_column = true;
  uint64_t fixed_index = 0;
  uint64_t length = 0;
};

/// The channels of a numeric variable of `rows` x `columns` (two values or more): a vector is
/// one channel named after the variable; a matrix gives its columns when it is at least as tall
/// as wide, else its rows, named name_1..name_N.
std::vector<MatlabChannel> MatlabVariableChannels(const std::string& name, uint64_t rows,
                                                  uint64_t columns);

/// The rate in Hz the scalar variables (name, value) of the file at `path` give: the one
/// `options.rate_from` names, or the first of the default names that holds a finite number
/// > 0; "dt" is a step in seconds and gives 1/dt. 0 when none gives one. Fails (file-read
/// message, one line naming the file and the variable) when the named one is missing or
/// unusable.
core::Result<double> MatlabRate(const std::vector<std::pair<std::string, double>>& scalars,
                                const RecordingOptions& options, const std::filesystem::path& path);

/// The failure of a MATLAB file that gives no channel, with the line of each variable left out.
core::Error MatlabNoChannel(const std::filesystem::path& path,
                            const std::vector<std::string>& skipped);

/// The failure of a value that isn't finite: sample `sample` (from 0) of channel `channel`.
core::Error MatlabNotFinite(const std::filesystem::path& path, const std::string& channel,
                            int64_t sample);

/// Opens a MATLAB 7.3 file (HDF5 behind a 512-byte user block holding the MAT header) through
/// the HDF5 library, variable by variable under the same rules as a level-5 file. Defined with
/// the HDF5 reader; fails as OpenRecording says.
core::Result<RecordingHandle> OpenMatlab73Recording(const std::filesystem::path& path,
                                                    const RecordingOptions& options);

}  // namespace torvwy::recording
