// Result files put together by hand, field by field from the layout tables, for the tests: the
// expectations the writers are compared with, the older layouts and the mutation bases.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/data/sampling_info.h"
#include "core/services/message_table.h"

namespace torvwy::testing {

/// Little-endian fields appended one after another (independent of the production builder).
class LeBytes {
 public:
  LeBytes& I32(int32_t value);
  LeBytes& F32(float value);
  LeBytes& F64(double value);
  LeBytes& Text(std::string_view text);
  LeBytes& Zeros(size_t count);
  const std::string& str() const { return bytes_; }
  operator std::string() const { return bytes_; }  // NOLINT(google-explicit-constructor)

 private:
  std::string bytes_;
};

int32_t I32At(std::string_view bytes, size_t offset);
double F64At(std::string_view bytes, size_t offset);

/// `bytes` with `field` written over it from `offset` on.
inline std::string Overwritten(std::string bytes, size_t offset, std::string_view field) {
  return bytes.replace(offset, field.size(), field);
}

/// The lengths 0 .. size - 1 at which `parse` does not refuse `whole` cut short as damaged;
/// empty when every cut is refused.
template <typename Parse>
std::vector<size_t> CutsNotRefusedAsDamaged(std::string_view whole, Parse parse) {
  std::vector<size_t> lengths;
  for (size_t length = 0; length < whole.size(); ++length) {
    auto read = parse(whole.substr(0, length));
    if (read || read.error().message != core::kMsgResultFileDamaged) lengths.push_back(length);
  }
  return lengths;
}

/// A sampling record with every field and text set.
core::SamplingInfo SampleSampling();

// Sections of the current layouts.
std::string Head(std::string_view magic);  ///< magic and version 1
std::string SamplingSection(const core::SamplingInfo& info);
/// "[ANALY-PARA--------]", the given ints and reals, each padded with zeros to 20 fields.
std::string ParameterSection(const std::vector<int32_t>& ints, const std::vector<double>& reals);
/// A tag, its size field (4 x all entries) and the arrays one after another.
std::string IntSection(std::string_view tag, const std::vector<std::vector<int32_t>>& arrays);
std::string DoubleSection(std::string_view tag, const std::vector<double>& values);
inline constexpr std::string_view kEnd = "[END---------------]";

/// The envelope of the small files.
inline const std::vector<double> kSmallEnvelope = {0.5, -1.0, 7.5, -6.25, 3.0, 2.0};

/// A small current file of each analysis, N = 4 and M = 6 (the values are in the .cpp).
std::string SmallPeakFile();
std::string SmallRangeFile();
std::string SmallRainflowFile();

/// The older untagged peak layout.
struct OlderPeak {
  double frequency = 512.0, c1 = 2.0, c2 = 4.0;
  int32_t n = 4, largest_separate = 7, largest_total = 9, separately = 1, version = 4;
  int32_t amplitude_mode = 2;
  double set_value = 30.0, amplitude_range = 30.0, two_way_width = 15.0;
  int32_t total_blocks = 12, first_block = 3, last_block = 10;  ///< written for version > 1
  std::string unit = "kN";
  std::vector<std::vector<int32_t>> arrays;  ///< as many as the version holds
};
std::string OlderPeakBytes(const OlderPeak& file);

/// The older untagged range layout.
struct OlderRange {
  double frequency = 512.0, c1 = 2.0, c2 = 4.0;
  int32_t n = 4, largest_count = 8, kind = 4, amplitude_mode = 1;
  double set_value = 0.0, amplitude_range = 40.0, two_way_width = 20.0;
  int32_t total_blocks = 12, first_block = 2, last_block = 11;  ///< written for kind > 1
  std::string unit = "mm";
  std::vector<int32_t> two_way;  ///< written unless kind is 3
  std::vector<int32_t> one_way;  ///< written unless kind is 2
};
std::string OlderRangeBytes(const OlderRange& file);

/// The legacy untagged rainflow layout.
struct LegacyRainflow {
  double frequency = 256.0, c1 = 1.0, c2 = 8.0;
  int32_t n = 4, largest_count = 3, amplitude_mode = 0;
  double set_value = 0.0, amplitude_range = 100.0, width = 25.0;
  int32_t total_blocks = 5, first_block = 1, last_block = 5;
  std::string unit = "\xA6\xCC\xA6\xC5";  ///< GBK bytes of "με"
  std::vector<double> counts;             ///< written as they are (n need not match)
};
std::string LegacyRainflowBytes(const LegacyRainflow& file);

}  // namespace torvwy::testing
