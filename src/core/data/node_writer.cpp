// NodeWriter: a new node's .sts and .tsp.
#include "core/data/node_writer.h"

#include <cmath>
#include <limits>

#include "core/data/sample_format.h"
#include "core/services/message_table.h"
#include "core/services/names.h"
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

Status NodeWriter::Append(std::span<const double> raw_values) {
  if (raw_values.empty()) return Ok();
  buffer_.clear();
  if (auto ok = EncodeSamples(info_.format(), raw_values, buffer_); !ok) return ok;
  sts_writer_->Write(buffer_);
  samples_ += static_cast<int64_t>(raw_values.size());
  last_ = raw_values.back();
  return Ok();
}

Result<int64_t> NodeWriter::Commit(const std::vector<Label>& labels) {
  if (samples_ == 0) return Fail(kMsgBadValue, sts_.string() + ": no sample to write");
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
