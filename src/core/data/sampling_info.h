// SamplingInfo: the 864-byte sampling record of a node, its derived values and its .tsp file.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "core/services/result.h"

namespace torvwy::core {

constexpr int64_t kBlockSamples = 1024;
constexpr int64_t kHalfBlockSamples = 512;
constexpr size_t kSamplingInfoSize = 864;

/// The sampling record, byte for byte as result files store it (little-endian):
///
///   0 frequency (double)   8 c1 (double)   16 c2 (double)   24 format (int32)
///   28 length in half blocks (int32)   32 full scale of format 111 (double, ours)
///   44 EU [50]   94 text 1 [255]   349 text 2 [255]   604 text 3 [260]
///
/// Texts are GBK and zero-terminated; the accessors speak UTF-8.
class SamplingInfo {
 public:
  static constexpr size_t kFrequencyOffset = 0, kC1Offset = 8, kC2Offset = 16, kFormatOffset = 24,
                          kLengthOffset = 28, kFullScaleOffset = 32, kEuOffset = 44, kEuWidth = 50,
                          kText1Offset = 94, kText1Width = 255, kText2Offset = 349,
                          kText2Width = 255, kText3Offset = 604, kText3Width = 260;

  SamplingInfo() { bytes_.fill('\0'); }

  double frequency_hz() const;
  double c1() const;
  double c2() const;
  int32_t format() const;
  int32_t length_half_blocks() const;
  /// Full scale stored for format 111; 0 when none.
  double stored_full_scale() const;
  std::string eu() const;
  std::string text1() const;
  std::string text2() const;
  std::string text3() const;

  void set_frequency_hz(double value);
  void set_c1(double value);
  void set_c2(double value);
  void set_format(int32_t value);
  void set_length_half_blocks(int32_t value);
  void set_stored_full_scale(double value);
  void set_eu(const std::string& utf8);
  void set_text1(const std::string& utf8);
  void set_text2(const std::string& utf8);
  void set_text3(const std::string& utf8);

  std::array<char, kSamplingInfoSize>& bytes() { return bytes_; }
  const std::array<char, kSamplingInfoSize>& bytes() const { return bytes_; }

  /// Record length in samples: length in half blocks x 512 (64-bit).
  int64_t record_samples() const { return int64_t{length_half_blocks()} * kHalfBlockSamples; }
  /// Whole blocks B = length in half blocks / 2.
  int32_t whole_blocks() const { return length_half_blocks() / 2; }
  /// B x 1024 / frequency.
  double record_seconds() const;
  /// Overview size M: 1024 when the record has two half blocks or more, else 512.
  int overview_size() const { return length_half_blocks() >= 2 ? 1024 : 512; }

 private:
  std::array<char, kSamplingInfoSize> bytes_;
};

/// Full scale of format 111: the value the node's sampling parameters store, 10000 when none.
double GetFullScale(const SamplingInfo& info);

/// Full-scale value F (raw units) of the node's format; an error for an unknown format.
Result<double> FullScaleOf(const SamplingInfo& info);

/// Reads a sampling parameter file (.tsp, INI text, GBK):
///
///   [Sampling]  Frequency (Hz), C1, C2, Format, Length (half blocks), EU, Text1..3,
///               FullScale (format 111 only, optional)
///
/// A key that holds a number may carry a trailing "; comment" (Frequency=1024 ; Hz); a text
/// (EU, Text1..3) holds everything after its '='. Fails on a missing file, a missing or
/// non-numeric key, a frequency <= 0 or not finite, C1 or C2 equal to 0 or not finite, or an
/// unknown format code.
Result<SamplingInfo> ReadSamplingParameters(const std::filesystem::path& tsp_path);

/// The number in the value of a key that holds one: the text before a trailing ';' comment,
/// trimmed ("1024 ; Hz, > 0" gives "1024"). A number never holds a ';', so nothing a number
/// key could mean is lost; the value is returned whole when it has no ';'.
std::string_view NumberBeforeComment(std::string_view value);

class IniFile;
/// Sets the [Sampling] keys of `info` in `ini`.
void StoreSamplingKeys(IniFile& ini, const SamplingInfo& info);

/// Writes the [Sampling] section of `info` into the .tsp file, keeping its other lines (labels).
Status WriteSamplingParameters(const std::filesystem::path& tsp_path, const SamplingInfo& info);

/// Node check before recounting: 0 unchanged, 1 the sampling file can't be read, 2 the record
/// length, frequency or c1 changed.
int CheckNode(const std::filesystem::path& tsp_path, const SamplingInfo& current);

}  // namespace torvwy::core
