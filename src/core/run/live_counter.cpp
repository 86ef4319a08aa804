// LiveCounter: the offline counters fed as the record grows, and their results at any moment.
#include "core/run/live_counter.h"

#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "core/counting/count_state.h"
#include "core/data/block_span.h"
#include "core/run/counting_method.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

constexpr char kStateMagic[] = "TORVWY-LIVE-COUNT-2";

Error Damaged(const std::string& why) {
  return Fail(kMsgBadValue, "the live count state is damaged: " + why);
}

}  // namespace

struct LiveCounter::State {
  LiveCountSetup setup;
  std::unique_ptr<MethodCounter> counter;
  std::optional<RainflowCycleExtractor> cycles;
  double scale = 1.0;  // raw x scale = EU, as the rainflow counter scales its turning points
  int64_t fed = 0;
  std::vector<double> scaled;  // a piece of the samples in EU for the cycle list
};

LiveCounter::LiveCounter(std::unique_ptr<State> state) : state_(std::move(state)) {}
LiveCounter::LiveCounter(LiveCounter&&) noexcept = default;
LiveCounter& LiveCounter::operator=(LiveCounter&&) noexcept = default;
LiveCounter::~LiveCounter() = default;

Status CheckLiveAmplitude(const CountingPlan& plan) {
  if (plan.parameters.amplitude_mode == kAmplitudeAutomatic) {
    return Fail(kMsgBadValue,
                "the automatic amplitude range can't be followed: its partitions would move as "
                "the record grows; give the full scale or a value");
  }
  return Ok();
}

Result<LiveCounter> LiveCounter::Create(const CountingPlan& plan, const SamplingInfo& info) {
  if (auto ok = CheckLiveAmplitude(plan); !ok) return ok.error();
  auto amplitude_range = AmplitudeRangeOf(plan, info, {}, {});
  if (!amplitude_range) return amplitude_range.error();
  CounterSetup counter_setup;
  counter_setup.partitions = plan.parameters.partitions;
  counter_setup.amplitude_range = *amplitude_range;
  counter_setup.info = info;
  counter_setup.rainflow = plan.rainflow;
  counter_setup.crossings = plan.crossings;
  counter_setup.residue = plan.residue.value_or(ResidueMethod::kHalf);
  counter_setup.gate = plan.gate;
  auto counter = MakeCounter(plan.method(), counter_setup);
  if (!counter) return counter.error();
  auto state = std::make_unique<State>();
  state->setup = {.kind = plan.kind,
                  .partitions = plan.parameters.partitions,
                  .amplitude_mode = plan.parameters.amplitude_mode,
                  .set_value = plan.parameters.set_value,
                  .info = info,
                  .rainflow = plan.rainflow,
                  .keep_cycles = plan.keep_cycles,
                  .residue = counter_setup.residue,
                  .gate = plan.gate};
  state->counter = std::move(*counter);
  state->scale = 1.0 / (info.c2() * info.c1());
  if (plan.keep_cycles && plan.kind == CountingKind::kRainflow) {
    state->cycles.emplace(counter_setup.residue, plan.gate);
  }
  return LiveCounter(std::move(state));
}

Result<LiveCounter> LiveCounter::Create(const LiveCountSetup& setup) {
  CountingPlan asked;
  asked.kind = setup.kind;
  asked.parameters.partitions = setup.partitions;
  asked.parameters.amplitude_mode = setup.amplitude_mode;
  asked.parameters.set_value = setup.set_value;
  asked.rainflow = setup.rainflow;
  asked.keep_cycles = setup.keep_cycles;
  if (setup.residue != ResidueMethod::kHalf) asked.residue = setup.residue;
  asked.gate = setup.gate;
  auto plan = PlanCounting(asked);
  if (!plan) return plan.error();
  return Create(*plan, setup.info);
}

const LiveCountSetup& LiveCounter::setup() const { return state_->setup; }

int64_t LiveCounter::samples_fed() const { return state_->fed; }

Status LiveCounter::Feed(std::span<const double> raw_samples) {
  State& s = *state_;
  if (auto ok = s.counter->Feed(raw_samples); !ok) return ok;
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
  auto file = s.counter->Snapshot();
  if (!file) return file;
  // The fields of a Full range over the samples fed, as the offline run sets them.
  std::visit(
      [&](auto& f) {
        f.result.amplitude_mode = s.setup.amplitude_mode;
        f.result.set_value = s.setup.set_value;
        f.result.range_mode = kRangeFull;
        f.result.first_block = 1;
        f.result.last_block = last_block;
        f.result.cancelled = false;
      },
      *file);
  return file;
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
  if (s.fed == 0) return Ok();
  auto held = s.counter->HeldExtremes();
  if (!held) return held.error();
  if (!*held) return Ok();  // the method keeps no trace of the record's extremes
  if ((*held)->first != lowest * s.scale || (*held)->second != highest * s.scale) {
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
  out.Int(static_cast<int64_t>(setup.residue));
  out.Double(setup.gate);
  out.Int(s.fed);
  if (auto ok = s.counter->SaveState(out); !ok) return ok.error();
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
  setup.residue = static_cast<ResidueMethod>(in.Int(0, kResidueMethodNames.size() - 1));
  setup.gate = in.Double();
  const int64_t fed = in.Int(0, std::numeric_limits<int64_t>::max());
  if (!in.ok()) return Damaged("its setup is cut short or out of range");
  auto counter = Create(setup);
  if (!counter) return Damaged(counter.error().detail);
  State& s = *counter->state_;
  s.fed = fed;
  bool loaded = s.counter->LoadState(in);
  if (loaded && s.cycles) loaded = s.cycles->LoadState(in);
  if (!loaded || !in.ok()) return Damaged("its counts are cut short or out of range");
  if (!in.at_end()) return Damaged("bytes follow its end");
  return counter;
}

}  // namespace torvwy::core
