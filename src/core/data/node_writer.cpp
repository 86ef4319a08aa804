// NodeWriter: a new node's .sts and .tsp.
#include "core/data/node_writer.h"

#include <cmath>
#include <limits>

#include "core/data/sample_format.h"
#include "core/services/message_table.h"
#include "core/services/names.h"
#include "core/services/number_format.h"
#include "core/services/profile.h"

namespace torvwy::core {

Result<NodeWriter> NodeWriter::Open(const std::filesystem::path& folder,
                                    const std::string& test_name, const std::string& test_code,
                                    const std::string& node_name, const SamplingInfo& info) {
  for (auto [name, what] : {std::pair{&test_name, "test name"}, std::pair{&test_code, "test code"},
                            std::pair{&node_name, "node name"}}) {
    if (auto ok = CheckName(*name, what); !ok) return ok.error();
  }
  if (!IsKnownFormat(info.format())) {
    return Fail(kMsgUnknownFormat, "unknown sample format code " + std::to_string(info.format()));
  }
  // Amplitudes are shares of the full scale in EU: it must be a number other than 0 and inf.
  if (auto full_scale = FullScaleOf(info); full_scale) {
    const double full_scale_eu = *full_scale / info.c2() / info.c1();
    if (!std::isfinite(full_scale_eu) || full_scale_eu == 0.0) {
      return Fail(kMsgBadValue, "the full scale " + ShortestText(*full_scale) + " / c2 " +
                                    ShortestText(info.c2()) + " / c1 " + ShortestText(info.c1()) +
                                    " = " + ShortestText(full_scale_eu) +
                                    " EU is 0 or beyond the largest number");
    }
  }
  const std::string stem = test_name + test_code + "#" + node_name;
  NodeWriter node;
  auto writer = node.files_->Add(folder / (stem + ".sts"), kMsgFileWrite);
  if (!writer) return writer.error();
  node.sts_writer_ = *writer;
  node.sts_ = folder / (stem + ".sts");
  node.tsp_ = folder / (stem + ".tsp");
  node.info_ = info;
  return node;
}

double ImportC1(int32_t format, double largest_magnitude, double c2) {
  if (!(largest_magnitude > 0.0) || !std::isfinite(largest_magnitude)) return 1.0;
  const bool integer_format =
      format != kFormatFloat32 && format != kFormatFloat64 && format != kFormatFloatFs;
  double full_scale = 10000.0;
  if (format != kFormatFloatFs) {
    auto known = GetFormatFullScale(format);
    if (!known) return 1.0;
    full_scale = *known;
  }
  const double c1 = 0.9 * full_scale / largest_magnitude / c2;
  return integer_format ? c1 : std::exp2(std::floor(std::log2(std::fabs(c1))));
}

double NodeWriter::full_scale_eu() const {
  auto full_scale = FullScaleOf(info_);
  return full_scale ? *full_scale / info_.c2() / info_.c1() : 0.0;
}

namespace {

bool IsFloatFormat(int32_t format) {
  return format == kFormatFloat32 || format == kFormatFloat64 || format == kFormatFloatFs;
}

/// The relative error a float format's reading back may show for a value it keeps: half a step
/// of the format (float32), or the four roundings of v x c2 x c1 and raw / (c2 x c1) (float64).
double ReadBackTolerance(int32_t format) {
  return format == kFormatFloat64 ? 4.0 * std::numeric_limits<double>::epsilon()
                                  : static_cast<double>(std::numeric_limits<float>::epsilon());
}

}  // namespace

std::string NodeWriter::SampleText(int64_t index, double given, double raw, bool eu) const {
  std::string text = "sample " + std::to_string(index + 1) + ": ";
  if (eu) {
    text += ShortestText(given) + " x c2 " + ShortestText(info_.c2()) + " x c1 " +
            ShortestText(info_.c1()) + " = ";
  }
  return text + ShortestText(raw) + " raw units";
}

Status NodeWriter::Store(std::span<const double> given, bool eu) {
  if (given.empty()) return Ok();
  const int32_t format = info_.format();
  const bool float_format = IsFloatFormat(format);
  const double c1 = info_.c1(), c2 = info_.c2();
  const double divisor = eu ? c2 * c1 : 1.0;  // as the readers take a raw value back to EU
  const double tolerance = ReadBackTolerance(format);
  raw_.clear();
  for (size_t i = 0; i < given.size(); ++i) {
    const double v = given[i];
    const double raw = eu ? v * c2 * c1 : v;  // EU back to raw units
    const int64_t index = samples_ + static_cast<int64_t>(i);
    if (!std::isfinite(v)) {
      return Fail(kMsgBadValue, "sample " + std::to_string(index + 1) + ": " + ShortestText(v) +
                                    " is not a finite number");
    }
    const StoredRawValue stored = StoreRawValue(format, raw);
    if (!stored.in_range) {
      auto range = GetRawValueRange(format);
      if (!range) return range.error();
      return Fail(kMsgBadValue, SampleText(index, v, raw, eu) + ", beyond the range " +
                                    ShortestText(range->lowest) + ".." +
                                    ShortestText(range->highest) + " of format " +
                                    std::to_string(format));
    }
    if (v != 0.0) {
      if (float_format) {
        const double back = stored.value / divisor;
        if (!(std::fabs(back - v) <= tolerance * std::fabs(v))) {
          return Fail(kMsgBadValue, SampleText(index, v, raw, eu) + " reads back from format " +
                                        std::to_string(format) + " as " + ShortestText(back) +
                                        ": it can't be kept");
        }
      } else {
        if (first_nonzero_ < 0) {
          first_nonzero_ = index;
          first_nonzero_given_ = v;
          first_nonzero_raw_ = raw;
          first_nonzero_eu_ = eu;
        }
        if (stored.value != 0.0) nonzero_kept_ = true;
      }
    }
    raw_.push_back(raw);
  }
  buffer_.clear();
  if (auto ok = EncodeSamples(format, raw_, buffer_); !ok) return ok;
  sts_writer_->Write(buffer_);
  samples_ += static_cast<int64_t>(raw_.size());
  last_ = raw_.back();
  return Ok();
}

Status NodeWriter::Append(std::span<const double> raw_values) { return Store(raw_values, false); }

Status NodeWriter::AppendEu(std::span<const double> eu_values) { return Store(eu_values, true); }

Result<int64_t> NodeWriter::Commit(const std::vector<Label>& labels) {
  if (samples_ == 0) return Fail(kMsgBadValue, sts_.string() + ": no sample to write");
  if (first_nonzero_ >= 0 && !nonzero_kept_) {
    auto range = GetRawValueRange(info_.format());
    if (!range) return range.error();
    return Fail(kMsgBadValue, "every value other than 0 rounds to 0 in format " +
                                  std::to_string(info_.format()) + ", the first at " +
                                  SampleText(first_nonzero_, first_nonzero_given_,
                                             first_nonzero_raw_, first_nonzero_eu_) +
                                  ", less than half a step (" + ShortestText(range->step / 2.0) +
                                  " raw units)");
  }
  const int64_t padding = (kHalfBlockSamples - samples_ % kHalfBlockSamples) % kHalfBlockSamples;
  const std::vector<double> tail(static_cast<size_t>(padding), last_);
  if (auto ok = Append(tail); !ok) return ok.error();
  const int64_t half_blocks = samples_ / kHalfBlockSamples;
  if (half_blocks > std::numeric_limits<int32_t>::max()) {
    return Fail(kMsgBadValue, sts_.string() + ": the record is too long for one node");
  }
  info_.set_length_half_blocks(static_cast<int32_t>(half_blocks));
  // The .tsp: sampling section and labels, written fresh; it lands after the .sts it describes.
  IniFile ini;
  StoreSamplingKeys(ini, info_);
  ini.Set("Labels", "LabelNum", "0");
  for (const Label& label : labels) AppendLabel(ini, label);
  auto tsp = files_->Add(tsp_, kMsgFileWrite);
  if (!tsp) return tsp.error();
  (*tsp)->Write(ini.Text());
  if (auto ok = files_->Commit(); !ok) return ok.error();
  return padding;
}

}  // namespace torvwy::core
