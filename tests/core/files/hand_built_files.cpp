// Result files put together by hand from the layout tables.
#include "core/files/hand_built_files.h"

#include <bit>

namespace torvwy::testing {
namespace {

std::string OlderUnit(const std::string& unit) {
  return LeBytes().I32(static_cast<int32_t>(unit.size())).Text(unit);
}

std::string OlderArray(const std::vector<int32_t>& values) {
  LeBytes out;
  out.I32(static_cast<int32_t>(values.size()));
  for (int32_t v : values) out.I32(v);
  return out;
}

}  // namespace

LeBytes& LeBytes::I32(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<char>(bits >> (8 * i)));
  return *this;
}

LeBytes& LeBytes::F32(float value) { return I32(std::bit_cast<int32_t>(value)); }

LeBytes& LeBytes::F64(double value) {
  const auto bits = std::bit_cast<uint64_t>(value);
  for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<char>(bits >> (8 * i)));
  return *this;
}

LeBytes& LeBytes::Text(std::string_view text) {
  bytes_.append(text);
  return *this;
}

LeBytes& LeBytes::Zeros(size_t count) {
  bytes_.append(count, '\0');
  return *this;
}

int32_t I32At(std::string_view bytes, size_t offset) {
  uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return static_cast<int32_t>(bits);
}

double F64At(std::string_view bytes, size_t offset) {
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return std::bit_cast<double>(bits);
}

core::SamplingInfo SampleSampling() {
  core::SamplingInfo info;
  info.set_frequency_hz(1024.0);
  info.set_c1(2.0);
  info.set_c2(0.5);
  info.set_format(886);
  info.set_length_half_blocks(9);
  info.set_eu("MPa");
  info.set_text1("first text");
  info.set_text2("第二");
  info.set_text3("third [node]");
  info.bytes()[40] = 'x';  // bytes no field names must survive too
  info.bytes()[863] = static_cast<char>(0x5A);
  return info;
}

std::string Head(std::string_view magic) { return LeBytes().Text(magic).I32(1); }

std::string SamplingSection(const core::SamplingInfo& info) {
  return LeBytes().Text("[SAMPLE-PARA-------]").I32(864).str() +
         std::string(info.bytes().data(), 864);
}

std::string ParameterSection(const std::vector<int32_t>& ints, const std::vector<double>& reals) {
  LeBytes out;
  out.Text("[ANALY-PARA--------]");
  for (int32_t v : ints) out.I32(v);
  out.Zeros(4 * (20 - ints.size()));
  for (double v : reals) out.F64(v);
  out.Zeros(8 * (20 - reals.size()));
  return out;
}

std::string IntSection(std::string_view tag, const std::vector<std::vector<int32_t>>& arrays) {
  size_t entries = 0;
  for (const auto& a : arrays) entries += a.size();
  LeBytes out;
  out.Text(tag).I32(static_cast<int32_t>(4 * entries));
  for (const auto& a : arrays) {
    for (int32_t v : a) out.I32(v);
  }
  return out;
}

std::string DoubleSection(std::string_view tag, const std::vector<double>& values) {
  LeBytes out;
  out.Text(tag).I32(static_cast<int32_t>(8 * values.size()));
  for (double v : values) out.F64(v);
  return out;
}

std::string SmallPeakFile() {
  return Head("[TORV-RESULT-FILE-PCM-001]") + SamplingSection(SampleSampling()) +
         ParameterSection({4, 6, 1, 2, 3, 7, 5, 9}, {0.0, 8.0, 4.0, 2.0, 7.5, -6.25}) +
         IntSection("[CONT-DATA-1-------]", {{1, 2, 3, 4}, {4, 3, 2, 1}, {5, 5, 5, 5}}) +
         IntSection("[CONT-DATA-2-------]", {{0, 1, 0, 1}, {2, 2, 2, 2}, {2, 3, 2, 3}}) +
         DoubleSection("[WAVEFORM-DATA-----]", kSmallEnvelope) + std::string(kEnd);
}

std::string SmallRangeFile() {
  return Head("[TORV-RESULT-FILE-DCM-001]") + SamplingSection(SampleSampling()) +
         ParameterSection({4, 6, 2, 1, 1, 4, 9}, {50.0, 50.0, 25.0, 12.5, 7.5, -6.25}) +
         IntSection("[DISP-DATA-1-------]", {{9, 0, 3, 1}}) +
         IntSection("[DISP-DATA-2-------]", {{2, 4, 6, 8}}) +
         DoubleSection("[WAVEFORM-DATA-----]", kSmallEnvelope) + std::string(kEnd);
}

std::string SmallRainflowFile() {
  return Head("[TORV-RESULT-FILE-RFL-001]") + SamplingSection(SampleSampling()) +
         ParameterSection({4, 6, 1, 0, 1, 4, 3}, {0.0, 12.0, 3.0, 7.5, -6.25}) +
         DoubleSection("[RAINFLOW-DATA-----]", {3.5, 0.5, 1.0, 0.0}) +
         DoubleSection("[WAVEFORM-DATA-----]", kSmallEnvelope) + std::string(kEnd);
}

std::string OlderPeakBytes(const OlderPeak& f) {
  LeBytes out;
  out.F64(f.frequency).F64(f.c1).F64(f.c2);
  out.I32(f.n).I32(f.largest_separate).I32(f.largest_total).I32(f.separately).I32(f.version);
  out.I32(-7).I32(-7).I32(-7);  // unused
  out.I32(f.amplitude_mode).F64(f.set_value).F64(f.amplitude_range).F64(f.two_way_width);
  if (f.version > 1) out.I32(f.total_blocks).I32(f.first_block).I32(f.last_block);
  for (int i = 0; i < 20; ++i) out.I32(-1);  // unused
  for (int i = 0; i < 20; ++i) out.F64(-1.0);
  std::string bytes = out.str() + OlderUnit(f.unit);
  for (const auto& a : f.arrays) bytes += OlderArray(a);
  return bytes;
}

std::string OlderRangeBytes(const OlderRange& f) {
  LeBytes out;
  out.F64(f.frequency).F64(f.c1).F64(f.c2);
  out.I32(f.n).I32(f.largest_count).I32(-7).I32(-7).I32(f.kind).I32(-7).I32(f.amplitude_mode);
  out.F64(f.set_value).F64(f.amplitude_range).F64(f.two_way_width);
  if (f.kind > 1) out.I32(f.total_blocks).I32(f.first_block).I32(f.last_block);
  for (int i = 0; i < 20; ++i) out.I32(-1);
  for (int i = 0; i < 20; ++i) out.F64(-1.0);
  std::string bytes = out.str() + OlderUnit(f.unit);
  if (f.kind != 3) bytes += OlderArray(f.two_way);
  if (f.kind != 2) bytes += OlderArray(f.one_way);
  return bytes;
}

std::string LegacyRainflowBytes(const LegacyRainflow& f) {
  LeBytes out;
  out.F64(f.frequency).F64(f.c1).F64(f.c2);
  out.I32(f.n).I32(f.largest_count).I32(-7).I32(-7).I32(-7).I32(f.amplitude_mode);
  out.F64(f.set_value).F64(f.amplitude_range).F64(f.width);
  out.I32(f.total_blocks).I32(f.first_block).I32(f.last_block);
  for (int i = 0; i < 20; ++i) out.I32(-1);
  for (int i = 0; i < 20; ++i) out.F64(-1.0);
  out.Text(OlderUnit(f.unit));
  for (double c : f.counts) out.F64(c);
  return out;
}

}  // namespace torvwy::testing
