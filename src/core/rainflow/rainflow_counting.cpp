// The rainflow counting run: one or two reads of the node's waveform file.
#include "core/rainflow/rainflow_counting.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "core/counting/progress.h"
#include "core/data/waveform_reader.h"
#include "core/rainflow/rainflow_counter.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

constexpr int64_t kChunkSamples = int64_t{64} * kBlockSamples;

/// Reads samples [from, to) of the record in large chunks. Every sample goes to `envelope` when
/// given; the samples of blocks first..last go to the counter one block at a time, each block
/// followed by a progress step and a poll. After a cancel the counter gets nothing more.
Status ReadAndCount(WaveformReader& reader, int64_t from, int64_t to, int64_t count_from,
                    int64_t count_to, EnvelopeBuilder* envelope, RainflowCounter& counter,
                    Progress& progress, bool& cancelled) {
  if (auto ok = reader.Seek(from); !ok) return ok;
  std::vector<double> buffer(static_cast<size_t>(kChunkSamples));
  for (int64_t position = from; position < to;) {
    const int64_t n = std::min(kChunkSamples, to - position);
    std::span<double> chunk(buffer.data(), static_cast<size_t>(n));
    if (auto ok = reader.Read(chunk); !ok) return ok;
    if (envelope != nullptr) envelope->Feed(chunk);
    // The counted part of this chunk: whole blocks, since chunks start on block boundaries.
    const int64_t begin = std::max(position, count_from);
    const int64_t end = std::min(position + n, count_to);
    for (int64_t block = begin; !cancelled && block < end; block += kBlockSamples) {
      const auto offset = static_cast<size_t>(block - position);
      const auto size = static_cast<size_t>(std::min(kBlockSamples, end - block));
      if (auto ok = counter.Feed(chunk.subspan(offset, size)); !ok) return ok;
      progress.StepIt();
      if (progress.CheckCancelButton()) cancelled = true;
    }
    position += n;
    if (cancelled && envelope == nullptr) break;
  }
  return Ok();
}

}  // namespace

Result<double> RainflowAmplitudeRange(int32_t amplitude_mode, double full_scale,
                                      const SamplingInfo& info, double set_value,
                                      const EnvelopeExtremes& extremes) {
  switch (amplitude_mode) {
    case kAmplitudeFullScale:
      return AdRangeValue(CountingKind::kRainflow, full_scale, info);
    case kAmplitudeAutomatic:
      return (extremes.maximum - extremes.minimum) * 1.1;
    case kAmplitudeSetValue:
      return set_value;
    default:
      return Fail(kMsgBadValue,
                  "rainflow: unknown amplitude mode " + std::to_string(amplitude_mode));
  }
}

double SmallestCountedRange(double full_scale, const SamplingInfo& info) {
  return full_scale / info.c2() / info.c1() * 0.001;
}

Result<RainflowResult> RunRainflowCounting(const SamplingInfo& info,
                                           const std::filesystem::path& sts_path,
                                           const CountingParameters& params, Progress& progress,
                                           const RainflowStorage& storage) {
  const int32_t n = EffectivePartitions(params.partitions);
  if (n < 1) {
    return Fail(kMsgBadValue, "rainflow: the partition count " + std::to_string(params.partitions) +
                                  " is below 1");
  }
  if (params.amplitude_mode < kAmplitudeFullScale || params.amplitude_mode > kAmplitudeSetValue) {
    return Fail(kMsgBadValue,
                "rainflow: unknown amplitude mode " + std::to_string(params.amplitude_mode));
  }
  auto reader = WaveformReader::Open(sts_path, info);
  if (!reader) return reader.error();
  auto full_scale = FullScaleOf(info);
  if (!full_scale) return full_scale.error();
  const int64_t record_blocks = reader->record_samples() / kBlockSamples;
  if (params.first_block < 1 || params.last_block < params.first_block ||
      params.last_block > record_blocks) {
    return Fail(kMsgBadValue, sts_path.string() + ": blocks " + std::to_string(params.first_block) +
                                  ".." + std::to_string(params.last_block) +
                                  " are not a range of the record's " +
                                  std::to_string(record_blocks) + " whole blocks");
  }

  RainflowResult result;
  result.range_mode = params.range_mode;
  result.first_block = params.first_block;
  result.last_block = params.last_block;
  result.amplitude_mode = params.amplitude_mode;
  result.set_value = params.set_value;

  // One read when A does not depend on the envelope and the range is the whole record.
  const bool one_read = params.amplitude_mode != kAmplitudeAutomatic && params.first_block == 1 &&
                        params.last_block == record_blocks;
  if (!one_read) {
    auto envelope = BuildWaveformEnvelope(*reader, info, progress);
    if (!envelope) return envelope.error();
    result.envelope = std::move(*envelope);
  }
  const EnvelopeExtremes before = FindEnvelopeExtremes(result.envelope);
  auto amplitude_range =
      RainflowAmplitudeRange(params.amplitude_mode, *full_scale, info, params.set_value, before);
  if (!amplitude_range) return amplitude_range.error();
  if (!std::isfinite(*amplitude_range)) {
    return Fail(kMsgBadValue, sts_path.string() + ": the amplitude range is not a finite number");
  }

  RainflowSetup setup;
  setup.partitions = n;
  setup.amplitude_range = *amplitude_range;
  setup.smallest_range = SmallestCountedRange(*full_scale, info);
  setup.scale = 1.0 / (info.c2() * info.c1());
  setup.residue_memory_points = storage.residue_memory_points;
  setup.scratch_folder = storage.scratch_folder;
  RainflowCounter counter(setup);

  const int64_t blocks = int64_t{params.last_block} - params.first_block + 1;
  const auto upper = static_cast<int64_t>(std::trunc(static_cast<double>(blocks) * 1.2));
  progress.SetRange(0, upper);
  progress.SetStep(1);
  progress.SetStatus(LoadMessageTable(GetUILanguage())[kMsgCountingCaption]);

  const int64_t count_from = (int64_t{params.first_block} - 1) * kBlockSamples;
  const int64_t count_to = int64_t{params.last_block} * kBlockSamples;
  bool cancelled = false;
  if (one_read) {
    EnvelopeBuilder builder(info);
    if (auto ok = ReadAndCount(*reader, 0, reader->record_samples(), count_from, count_to, &builder,
                               counter, progress, cancelled);
        !ok) {
      return ok.error();
    }
    result.envelope = builder.Finish();
  } else if (auto ok = ReadAndCount(*reader, count_from, count_to, count_from, count_to, nullptr,
                                    counter, progress, cancelled);
             !ok) {
    return ok.error();
  }
  const EnvelopeExtremes extremes = FindEnvelopeExtremes(result.envelope);
  result.envelope_maximum = extremes.maximum;
  result.envelope_minimum = extremes.minimum;

  auto counted = counter.Finish();
  if (!counted) return counted.error();
  result.partitions = counted->partitions;
  result.amplitude_range = counted->amplitude_range;
  result.partition_width = counted->partition_width;
  result.smallest_range = counted->smallest_range;
  result.turning_points = counted->turning_points;
  result.cursor_partition = counted->cursor_partition;
  if (cancelled) {
    // A cancelled pass counts nothing: its partial histogram would look like a complete one.
    result.cancelled = true;
    result.counts.fill(0.0);
    result.largest_count = 1;
  } else {
    result.counts = counted->counts;
    result.largest_count = counted->largest_count;
  }
  progress.SetPos(upper);
  return result;
}

}  // namespace torvwy::core
