// LiveCounter: the offline counters fed as the record grows, and their results at any moment.
#include "core/run/live_counter.h"

#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "core/counting/count_state.h"
#include "core/data/block_span.h"
#include "core/peak/peak_counter.h"
#include "core/rainflow/rainflow_counter.h"
#include "core/range/range_counter.h"
#include "core/run/counting_request.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

constexpr char kStateMagic[] = "TORVWY-LIVE-COUNT-1";

Error Damaged(const std::string& why) {
  return Fail(kMsgBadValue, "the live count state is damaged: " + why);
}

/// The amplitude range A (EU) of a live count: the full scale or the set value, as the offline
/// run of the same kind takes and checks it.
Result<double> LiveAmplitudeRange(const LiveCountSetup& setup) {
  if (setup.amplitude_mode == kAmplitudeAutomatic) {
    return Fail(kMsgBadValue,
                "the automatic amplitude range can't be followed: its partitions would move as "
                "the record grows; give the full scale or a value");
  }
  CountingParameters parameters;
  parameters.amplitude_mode = setup.amplitude_mode;
  parameters.set_value = setup.set_value;
  parameters.partitions = setup.partitions;
  return CountingAmplitudeRange(setup.kind, parameters, setup.info, {}, {});
}

}  // namespace

struct LiveCounter::State {
  LiveCountSetup setup;
  std::optional<PeakCounter> peak;
  std::optional<RangeCounter> range;
  std::optional<RainflowCounter> rainflow;
  std::optional<RainflowCycleExtractor> cycles;
  double scale = 1.0;  // raw x scale = EU, as the rainflow counter scales its turning points
  int64_t fed = 0;
  std::vector<double> scaled;  // a piece of the samples in EU for the cycle list
};

LiveCounter::LiveCounter(std::unique_ptr<State> state) : state_(std::move(state)) {}
LiveCounter::LiveCounter(LiveCounter&&) noexcept = default;
LiveCounter& LiveCounter::operator=(LiveCounter&&) noexcept = default;
LiveCounter::~LiveCounter() = default;

Result<LiveCounter> LiveCounter::Create(const LiveCountSetup& setup) {
  const int32_t n = EffectivePartitions(setup.partitions);
  if (n < 1) {
    return Fail(kMsgBadValue,
                "the partition count " + std::to_string(setup.partitions) + " is below 1");
  }
  auto amplitude_range = LiveAmplitudeRange(setup);
  if (!amplitude_range) return amplitude_range.error();
  auto state = std::make_unique<State>();
  state->setup = setup;
  const SamplingInfo& info = setup.info;
  switch (setup.kind) {
    case CountingKind::kPeak: {
      auto counter = PeakCounter::Create({.partitions = n,
                                          .amplitude_range = *amplitude_range,
                                          .c1 = info.c1(),
                                          .c2 = info.c2(),
                                          .automatic = false});
      if (!counter) return counter.error();
      state->peak.emplace(std::move(*counter));
      break;
    }
    case CountingKind::kRange: {
      auto counter = RangeCounter::Create({.partitions = n,
                                           .amplitude_range = *amplitude_range,
                                           .c1 = info.c1(),
                                           .c2 = info.c2(),
                                           .opens_range = true});
      if (!counter) return counter.error();
      state->range.emplace(std::move(*counter));
      break;
    }
    case CountingKind::kRainflow: {
      auto full_scale = FullScaleOf(info);
      if (!full_scale) return full_scale.error();
      RainflowSetup rainflow;
      rainflow.partitions = n;
      rainflow.amplitude_range = *amplitude_range;
      rainflow.smallest_range = SmallestCountedRange(*full_scale, info);
      rainflow.scale = 1.0 / (info.c2() * info.c1());
      rainflow.residue_memory_points = setup.rainflow.residue_memory_points;
      rainflow.scratch_folder = setup.rainflow.scratch_folder;
      state->scale = rainflow.scale;
      state->rainflow.emplace(rainflow);
      if (setup.keep_cycles) state->cycles.emplace();
      break;
    }
  }
  return LiveCounter(std::move(state));
}

const LiveCountSetup& LiveCounter::setup() const { return state_->setup; }

int64_t LiveCounter::samples_fed() const { return state_->fed; }

Status LiveCounter::Feed(std::span<const double> raw_samples) {
  State& s = *state_;
  if (s.peak) s.peak->Feed(raw_samples);
  if (s.range) s.range->Feed(raw_samples);
  if (s.rainflow) {
    if (auto ok = s.rainflow->Feed(raw_samples); !ok) return ok;
  }
  if (s.cycles) {
    // The cycle list takes EU, scaled as the counter scales its turning points.
    constexpr size_t kPiece = 4096;
    for (size_t i = 0; i < raw_samples.size(); i += kPiece) {
      const size_t n = std::min(kPiece, raw_samples.size() - i);
      s.scaled.resize(n);
      for (size_t j = 0; j < n; ++j) s.scaled[j] = raw_samples[i + j] * s.scale;
      s.cycles->Feed(s.scaled);
    }
  }
  s.fed += static_cast<int64_t>(raw_samples.size());
  return Ok();
}

Result<AnyResultFile> LiveCounter::Snapshot() const {
  // Peeking reads the residue back through the counter's buffers; the count stays as it was.
  State& s = *state_;
  if (s.fed < 2) {
    return Fail(kMsgBadValue, "a count needs two samples or more; " + std::to_string(s.fed) +
                                  (s.fed == 1 ? " was fed" : " were fed"));
  }
  const auto last_block = static_cast<int32_t>(
      std::min<int64_t>(CountableBlocks(s.fed), std::numeric_limits<int32_t>::max()));
  // The fields of a Full range over the samples fed, as the offline run sets them.
  auto fill_run = [&](auto& result) {
    result.amplitude_mode = s.setup.amplitude_mode;
    result.set_value = s.setup.set_value;
    result.range_mode = kRangeFull;
    result.first_block = 1;
    result.last_block = last_block;
    result.cancelled = false;
  };
  if (s.peak) {
    PeakResultFile file;
    file.result = s.peak->Finish();
    fill_run(file.result);
    return AnyResultFile(std::move(file));
  }
  if (s.range) {
    RangeResultFile file;
    file.result = s.range->Finish();
    fill_run(file.result);
    return AnyResultFile(std::move(file));
  }
  auto peeked = s.rainflow->Peek();
  if (!peeked) return peeked.error();
  RainflowResultFile file;
  file.result = std::move(*peeked);
  fill_run(file.result);
  return AnyResultFile(std::move(file));
}

std::vector<RainflowCycle> LiveCounter::Cycles() const {
  if (!state_->cycles) return {};
  return state_->cycles->Peek();
}

Status LiveCounter::CheckExtremes(double lowest, double highest) const {
  State& s = *state_;  // as Snapshot(): the residue is read, not changed
  const double divisor = s.setup.info.c2() * s.setup.info.c1();
  if (!std::isfinite(lowest) || !std::isfinite(highest) || !(lowest <= highest) ||
      !std::isfinite(lowest / divisor) || !std::isfinite(highest / divisor)) {
    return Damaged("its extremes are not finite numbers in order");
  }
  if (s.fed == 1 && lowest != highest) return Damaged("one sample has two extremes");
  if (!s.rainflow || s.fed == 0) return Ok();
  auto held = s.rainflow->HeldRange();
  if (!held) return held.error();
  if (!*held || (*held)->first != lowest * s.scale || (*held)->second != highest * s.scale) {
    return Damaged("its extremes are not those of the samples it holds");
  }
  return Ok();
}

Result<std::string> LiveCounter::SaveState() const {
  State& s = *state_;  // as Snapshot(): the residue is read, not changed
  const LiveCountSetup& setup = s.setup;
  CountStateWriter out;
  out.Text(kStateMagic);
  out.Int(static_cast<int64_t>(setup.kind));
  out.Int(setup.partitions);
  out.Int(setup.amplitude_mode);
  out.Double(setup.set_value);
  out.Text(std::string_view(setup.info.bytes().data(), setup.info.bytes().size()));
  out.Int(setup.rainflow.residue_memory_points);
  out.Text(setup.rainflow.scratch_folder.string());
  out.Int(setup.keep_cycles);
  out.Int(s.fed);
  if (s.peak) s.peak->SaveState(out);
  if (s.range) s.range->SaveState(out);
  if (s.rainflow) {
    if (auto ok = s.rainflow->SaveState(out); !ok) return ok.error();
  }
  if (s.cycles) s.cycles->SaveState(out);
  return out.Take();
}

Result<LiveCounter> LiveCounter::Restore(std::string_view bytes) {
  CountStateReader in(bytes);
  if (in.Text() != kStateMagic || !in.ok()) return Damaged("it is not a live count's state");
  LiveCountSetup setup;
  setup.kind = static_cast<CountingKind>(in.Int(0, 2));
  // N as given: 2000 or more counts as 2000.
  setup.partitions = static_cast<int32_t>(in.Int(1, std::numeric_limits<int32_t>::max()));
  setup.amplitude_mode = static_cast<int32_t>(in.Int(kAmplitudeFullScale, kAmplitudeSetValue));
  setup.set_value = in.Double();
  const std::string info = in.Text();
  if (!in.ok() || info.size() != kSamplingInfoSize) return Damaged("its setup is cut short");
  std::copy(info.begin(), info.end(), setup.info.bytes().begin());
  setup.rainflow.residue_memory_points =
      in.Int(ResidueStack::kMinimumMemoryPoints, std::numeric_limits<int64_t>::max());
  setup.rainflow.scratch_folder = in.Text();
  setup.keep_cycles = in.Int(0, 1) != 0;
  const int64_t fed = in.Int(0, std::numeric_limits<int64_t>::max());
  if (!in.ok()) return Damaged("its setup is cut short or out of range");
  auto counter = Create(setup);
  if (!counter) return Damaged(counter.error().detail);
  State& s = *counter->state_;
  s.fed = fed;
  bool loaded = true;
  if (s.peak) loaded = s.peak->LoadState(in);
  if (s.range) loaded = s.range->LoadState(in);
  if (s.rainflow) loaded = s.rainflow->LoadState(in);
  if (loaded && s.cycles) loaded = s.cycles->LoadState(in);
  if (!loaded || !in.ok()) return Damaged("its counts are cut short or out of range");
  if (!in.at_end()) return Damaged("bytes follow its end");
  return counter;
}

}  // namespace torvwy::core
