// SamplingInfo fields and the .tsp reader and writer.
#include "core/data/sampling_info.h"

#include <cmath>
#include <limits>

#include "core/data/sample_format.h"
#include "core/services/byte_order.h"
#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"
#include "core/services/profile.h"
#include "core/services/text.h"

namespace torvwy::core {
namespace {

constexpr char kSection[] = "Sampling";

std::span<char> Field(std::array<char, kSamplingInfoSize>& bytes, size_t offset, size_t width) {
  return std::span<char>(bytes.data() + offset, width);
}
std::span<const char> Field(const std::array<char, kSamplingInfoSize>& bytes, size_t offset,
                            size_t width) {
  return std::span<const char>(bytes.data() + offset, width);
}

/// A whole number in a double's text ("886", "886.0"), within int32_t.
std::optional<int32_t> WholeInt32(std::string_view text) {
  auto value = ParseFiniteDouble(text);
  if (!value || *value != std::floor(*value) || *value < std::numeric_limits<int32_t>::min() ||
      *value > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(*value);
}

}  // namespace

std::string_view NumberBeforeComment(std::string_view value) {
  const size_t comment = value.find(';');
  return comment == std::string_view::npos ? value : Trim(value.substr(0, comment));
}

double SamplingInfo::frequency_hz() const { return LoadDouble(bytes_.data() + kFrequencyOffset); }
double SamplingInfo::c1() const { return LoadDouble(bytes_.data() + kC1Offset); }
double SamplingInfo::c2() const { return LoadDouble(bytes_.data() + kC2Offset); }
int32_t SamplingInfo::format() const { return LoadInt32(bytes_.data() + kFormatOffset); }
int32_t SamplingInfo::length_half_blocks() const {
  return LoadInt32(bytes_.data() + kLengthOffset);
}
double SamplingInfo::stored_full_scale() const {
  return LoadDouble(bytes_.data() + kFullScaleOffset);
}
std::string SamplingInfo::eu() const { return LoadGbkField(Field(bytes_, kEuOffset, kEuWidth)); }
std::string SamplingInfo::text1() const {
  return LoadGbkField(Field(bytes_, kText1Offset, kText1Width));
}
std::string SamplingInfo::text2() const {
  return LoadGbkField(Field(bytes_, kText2Offset, kText2Width));
}
std::string SamplingInfo::text3() const {
  return LoadGbkField(Field(bytes_, kText3Offset, kText3Width));
}

void SamplingInfo::set_frequency_hz(double v) { StoreDouble(bytes_.data() + kFrequencyOffset, v); }
void SamplingInfo::set_c1(double v) { StoreDouble(bytes_.data() + kC1Offset, v); }
void SamplingInfo::set_c2(double v) { StoreDouble(bytes_.data() + kC2Offset, v); }
void SamplingInfo::set_format(int32_t v) { StoreInt32(bytes_.data() + kFormatOffset, v); }
void SamplingInfo::set_length_half_blocks(int32_t v) {
  StoreInt32(bytes_.data() + kLengthOffset, v);
}
void SamplingInfo::set_stored_full_scale(double v) {
  StoreDouble(bytes_.data() + kFullScaleOffset, v);
}
void SamplingInfo::set_eu(const std::string& t) {
  StoreGbkField(Field(bytes_, kEuOffset, kEuWidth), t);
}
void SamplingInfo::set_text1(const std::string& t) {
  StoreGbkField(Field(bytes_, kText1Offset, kText1Width), t);
}
void SamplingInfo::set_text2(const std::string& t) {
  StoreGbkField(Field(bytes_, kText2Offset, kText2Width), t);
}
void SamplingInfo::set_text3(const std::string& t) {
  StoreGbkField(Field(bytes_, kText3Offset, kText3Width), t);
}

double SamplingInfo::record_seconds() const {
  return static_cast<double>(whole_blocks()) * 1024.0 / frequency_hz();
}

double GetFullScale(const SamplingInfo& info) {
  const double stored = info.stored_full_scale();
  return std::isfinite(stored) && stored > 0.0 ? stored : 10000.0;
}

Result<double> FullScaleOf(const SamplingInfo& info) {
  if (info.format() == kFormatFloatFs) return GetFullScale(info);
  return GetFormatFullScale(info.format());
}

Result<SamplingInfo> ReadSamplingParameters(const std::filesystem::path& tsp_path) {
  auto ini = IniFile::Load(tsp_path);
  if (!ini) return Fail(kMsgSamplingUnreadable, ini.error().detail);
  const std::string where = tsp_path.string() + ": ";
  auto need = [&](const char* key) -> Result<std::string> {
    auto value = ini->Get(kSection, key);
    if (!value) return Fail(kMsgSamplingUnreadable, where + "key " + key + " is missing");
    return *value;
  };
  auto number = [&](const char* key) -> Result<double> {
    auto text = need(key);
    if (!text) return text.error();
    auto value = ParseFiniteDouble(NumberBeforeComment(*text));
    if (!value) {
      return Fail(kMsgSamplingUnreadable, where + key + " \"" + *text + "\" is not a number");
    }
    return *value;
  };
  auto integer = [&](const char* key) -> Result<int32_t> {
    auto text = need(key);
    if (!text) return text.error();
    auto value = WholeInt32(NumberBeforeComment(*text));
    if (!value) {
      return Fail(kMsgSamplingUnreadable, where + key + " \"" + *text + "\" is not an integer");
    }
    return *value;
  };

  auto frequency = number("Frequency");
  if (!frequency) return frequency.error();
  if (*frequency <= 0.0) return Fail(kMsgSamplingUnreadable, where + "Frequency must be > 0");
  auto c1 = number("C1");
  if (!c1) return c1.error();
  auto c2 = number("C2");
  if (!c2) return c2.error();
  if (*c1 == 0.0 || *c2 == 0.0) {
    return Fail(kMsgSamplingUnreadable, where + "C1 and C2 must not be 0");
  }
  auto format = integer("Format");
  if (!format) return format.error();
  if (*format != kFormatNone && !IsKnownFormat(*format)) {
    return Fail(kMsgUnknownFormat, where + "unknown sample format code " + std::to_string(*format));
  }
  auto length = integer("Length");
  if (!length) return length.error();
  // A negative length would make negative block and sample counts everywhere downstream.
  if (*length < 0) return Fail(kMsgSamplingUnreadable, where + "Length must not be negative");

  SamplingInfo info;
  info.set_frequency_hz(*frequency);
  info.set_c1(*c1);
  info.set_c2(*c2);
  info.set_format(*format);
  info.set_length_half_blocks(*length);
  if (auto full_scale = ini->Get(kSection, "FullScale")) {
    auto value = ParseFiniteDouble(NumberBeforeComment(*full_scale));
    if (!value || *value <= 0.0) {
      return Fail(kMsgSamplingUnreadable, where + "FullScale must be a number > 0");
    }
    info.set_stored_full_scale(*value);
  }
  info.set_eu(GbkToUtf8(ini->Get(kSection, "EU").value_or("")));
  info.set_text1(GbkToUtf8(ini->Get(kSection, "Text1").value_or("")));
  info.set_text2(GbkToUtf8(ini->Get(kSection, "Text2").value_or("")));
  info.set_text3(GbkToUtf8(ini->Get(kSection, "Text3").value_or("")));
  return info;
}

void StoreSamplingKeys(IniFile& ini, const SamplingInfo& info) {
  ini.Set(kSection, "Frequency", ShortestText(info.frequency_hz()));
  ini.Set(kSection, "C1", ShortestText(info.c1()));
  ini.Set(kSection, "C2", ShortestText(info.c2()));
  ini.Set(kSection, "Format", std::to_string(info.format()));
  ini.Set(kSection, "Length", std::to_string(info.length_half_blocks()));
  if (info.stored_full_scale() > 0.0) {
    ini.Set(kSection, "FullScale", ShortestText(info.stored_full_scale()));
  }
  ini.Set(kSection, "EU", Utf8ToGbk(info.eu()));
  ini.Set(kSection, "Text1", Utf8ToGbk(info.text1()));
  ini.Set(kSection, "Text2", Utf8ToGbk(info.text2()));
  ini.Set(kSection, "Text3", Utf8ToGbk(info.text3()));
}

Status WriteSamplingParameters(const std::filesystem::path& tsp_path, const SamplingInfo& info) {
  IniFile ini;
  if (auto existing = IniFile::Load(tsp_path)) ini = std::move(*existing);
  StoreSamplingKeys(ini, info);
  return ini.Save(tsp_path, kMsgFileWrite);
}

int CheckNode(const std::filesystem::path& tsp_path, const SamplingInfo& current) {
  auto fresh = ReadSamplingParameters(tsp_path);
  if (!fresh) return 1;
  if (fresh->length_half_blocks() == current.length_half_blocks() &&
      fresh->frequency_hz() == current.frequency_hz() && fresh->c1() == current.c1()) {
    return 0;
  }
  return 2;
}

}  // namespace torvwy::core
