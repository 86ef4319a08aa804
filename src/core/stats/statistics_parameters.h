// StatisticsParameters: what an amplitude statistics batch covers, and its profile keys.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/services/result.h"

namespace torvwy::core {

class IniFile;

/// Statistics contents.
inline constexpr int32_t kStatAmplitudeIndices = 0;  ///< one row of amplitude indices per waveform
inline constexpr int32_t kStatPeakPeaks = 1;         ///< the N largest peak-to-peak values

/// Bounds of the number N of peak-to-peak values kept per waveform.
inline constexpr int32_t kMinPeakPeakCount = 1;
inline constexpr int32_t kMaxPeakPeakCount = 200;

/// The parameters of a statistics batch. Texts are UTF-8.
///
///   field            profile section, key       default
///   data_path        settings, PathData         c:\torvout
///   result_path      settings, PathResult       c:\torvout
///   test_name        settings, TestName         abc
///   test_code        settings, TestCode         1     (read only; never written here)
///   code_range       settings, TestCodeX        1
///   node_range       settings, NodeNameX        1
///   peak_peak_count  AmplyAnaly, StatPpNum      20
///   content, host_folder                        not stored
struct StatisticsParameters {
  std::string data_path = "c:\\torvout";
  std::string result_path = "c:\\torvout";
  std::string test_name = "abc";
  std::string test_code = "1";
  std::string code_range = "1";  ///< test-code range text, e.g. "1,3,5-9"
  std::string node_range = "1";  ///< node-name range text
  int32_t peak_peak_count = 20;  ///< N, 1..200
  int32_t content = kStatAmplitudeIndices;
  std::filesystem::path host_folder;
};

/// What a chosen waveform file fills in: its folder and the parts of its title.
struct WaveformFileFields {
  std::string folder;  ///< the file's folder; trailing '/' trimmed unless it is the root
  std::string test_name;
  std::string test_code;
  std::string node_name;
};

/// Splits a waveform file path: /d/data/abc12#5.sts gives /d/data, abc, 12 and 5 (abcX#1 gives
/// abc and X, 123#7 gives 12 and 3, x#1 gives x and no code). A title without '#', or with '#'
/// first, fills nothing (nullopt).
std::optional<WaveformFileFields> FieldsOfWaveformFile(std::string_view path);

/// Sets data and result folder, test name, test-code range and node-name range from `fields`.
void ApplyWaveformFile(const WaveformFileFields& fields, StatisticsParameters& parameters);

/// Reads the stored keys from `profile`; a missing key keeps its default. A stored N outside
/// 1..200 is brought to the nearer bound.
StatisticsParameters LoadStatisticsParameters(const IniFile& profile);

/// Sets the stored keys of `parameters` in `profile` (all but TestCode).
void StoreStatisticsParameters(IniFile& profile, const StatisticsParameters& parameters);

/// The parameters of the application profile (ProfilePath()); the defaults when it is missing
/// or unreadable. The host folder is filled in.
StatisticsParameters ReadStatisticsParameters();

/// Writes the parameters into the application profile, keeping its other lines; creates the
/// profile when it is missing. Fails when the profile can't be saved.
Status WriteStatisticsParameters(const StatisticsParameters& parameters);

/// Remembers the parameters of a batch that starts: writes them into the profile, then puts the
/// test name, the two ranges and the two folders (data folder first) first in their recent lists
/// of the host folder. Fails when a file can't be written; the others are still written.
Status RememberStatisticsParameters(const StatisticsParameters& parameters);

}  // namespace torvwy::core
