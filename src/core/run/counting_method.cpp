// The table of counting methods, and each method's counter as the run drives it.
#include "core/run/counting_method.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "core/counting/hysteresis_gate.h"
#include "core/counting/partition_counter.h"
#include "core/levels/level_crossing_counter.h"
#include "core/levels/time_at_level_counter.h"
#include "core/peak/peak_counter.h"
#include "core/range/range_counter.h"
#include "core/range_pairs/range_pair_counter.h"
#include "core/services/message_table.h"
#include "core/services/number_format.h"

namespace torvwy::core {
namespace {

/// The result record of `kind`'s counts, in its result file.
template <typename File, typename Counted>
AnyResultFile InFile(Counted counted) {
  File file;
  file.result = std::move(counted);
  return AnyResultFile(std::move(file));
}

class PeakMethodCounter final : public MethodCounter {
 public:
  explicit PeakMethodCounter(PeakCounter counter) : counter_(std::move(counter)) {}

  std::unique_ptr<MethodCounter> MakeLater() const override {
    // Each stretch tests the samples of its own chunk: a copy (with its table) counts it.
    auto later = std::make_unique<PeakMethodCounter>(counter_);
    return later;
  }
  Status Feed(std::span<const double> raw_samples) override {
    counter_.Feed(raw_samples);
    return Ok();
  }
  Status Join(MethodCounter& later, bool /*adjacent*/) override {
    // Every sample was tested in exactly one stretch: the counts add up, cancelled or not.
    counter_.Join(static_cast<PeakMethodCounter&>(later).counter_);
    return Ok();
  }
  Result<AnyResultFile> Finish(bool /*cancelled*/) override { return Snapshot(); }
  Result<AnyResultFile> Snapshot() override { return InFile<PeakResultFile>(counter_.Finish()); }
  Status SaveState(CountStateWriter& out) override {
    counter_.SaveState(out);
    return Ok();
  }
  bool LoadState(CountStateReader& in) override { return counter_.LoadState(in); }

 private:
  PeakCounter counter_;
};

class RangeMethodCounter final : public MethodCounter {
 public:
  RangeMethodCounter(RangeCounter counter, RangeCountSetup setup)
      : counter_(std::move(counter)), setup_(setup) {}

  std::unique_ptr<MethodCounter> MakeLater() const override {
    RangeCountSetup later_setup = setup_;
    later_setup.opens_range = false;
    auto later = RangeCounter::Create(later_setup);  // the setup was accepted once already
    later->ShareSampleTable(counter_);
    return std::make_unique<RangeMethodCounter>(std::move(*later), later_setup);
  }
  Status Feed(std::span<const double> raw_samples) override {
    counter_.Feed(raw_samples);
    return Ok();
  }
  Status Join(MethodCounter& later, bool adjacent) override {
    counter_.Join(static_cast<RangeMethodCounter&>(later).counter_, adjacent);
    return Ok();
  }
  Result<AnyResultFile> Finish(bool /*cancelled*/) override { return Snapshot(); }
  Result<AnyResultFile> Snapshot() override { return InFile<RangeResultFile>(counter_.Finish()); }
  Status SaveState(CountStateWriter& out) override {
    counter_.SaveState(out);
    return Ok();
  }
  bool LoadState(CountStateReader& in) override { return counter_.LoadState(in); }

 private:
  RangeCounter counter_;
  RangeCountSetup setup_;
};

class RainflowMethodCounter final : public MethodCounter {
 public:
  explicit RainflowMethodCounter(const RainflowSetup& setup) : setup_(setup), counter_(setup) {}

  std::unique_ptr<MethodCounter> MakeLater() const override {
    // Each stretch has a residue (and a scratch file) of its own.
    RainflowSetup later = setup_;
    later.opens_range = false;
    return std::make_unique<RainflowMethodCounter>(later);
  }
  Status Feed(std::span<const double> raw_samples) override { return counter_.Feed(raw_samples); }
  Status Join(MethodCounter& later, bool adjacent) override {
    // A cancelled pass counts nothing (Finish), so its stretches are not joined.
    if (!adjacent) return Ok();
    return counter_.Join(static_cast<RainflowMethodCounter&>(later).counter_);
  }
  Result<AnyResultFile> Finish(bool cancelled) override {
    auto counted = counter_.Finish();
    if (!counted) return counted.error();
    if (cancelled) {
      // A cancelled pass counts nothing: its partial histogram would look like a complete one.
      counted->counts.fill(0.0);
      counted->largest_count = 1;
    }
    return InFile<RainflowResultFile>(std::move(*counted));
  }
  Result<AnyResultFile> Snapshot() override {
    auto peeked = counter_.Peek();
    if (!peeked) return peeked.error();
    return InFile<RainflowResultFile>(std::move(*peeked));
  }
  Status SaveState(CountStateWriter& out) override { return counter_.SaveState(out); }
  bool LoadState(CountStateReader& in) override { return counter_.LoadState(in); }
  Result<std::optional<std::pair<double, double>>> HeldExtremes() override {
    return counter_.HeldRange();
  }

 private:
  RainflowSetup setup_;
  RainflowCounter counter_;
};

class CrossingMethodCounter final : public MethodCounter {
 public:
  /// `result` holds what the count is asked with (N, A, levels, reference, gate, direction).
  CrossingMethodCounter(CrossingSetup setup, LevelCrossingResult result)
      : counter_(setup), result_(std::move(result)) {}

  std::unique_ptr<MethodCounter> MakeLater() const override {
    CrossingSetup later = counter_.setup();
    later.opens_range = false;
    return std::make_unique<CrossingMethodCounter>(std::move(later), result_);
  }
  Status Feed(std::span<const double> raw_samples) override {
    counter_.Feed(raw_samples);
    return Ok();
  }
  Status Join(MethodCounter& later, bool adjacent) override {
    // Stretches that don't meet (a cancelled pass) are only added: no crossing is made up.
    counter_.Join(static_cast<CrossingMethodCounter&>(later).counter_, adjacent);
    return Ok();
  }
  Result<AnyResultFile> Finish(bool /*cancelled*/) override { return Snapshot(); }
  Result<AnyResultFile> Snapshot() override {
    LevelCrossingResult result = result_;
    result.up = counter_.up();
    result.down = counter_.down();
    return InFile<CrossingResultFile>(std::move(result));
  }
  Status SaveState(CountStateWriter& out) override {
    counter_.SaveState(out);
    return Ok();
  }
  bool LoadState(CountStateReader& in) override { return counter_.LoadState(in); }

 private:
  LevelCrossingCounter counter_;
  LevelCrossingResult result_;
};

class RangePairMethodCounter final : public MethodCounter {
 public:
  explicit RangePairMethodCounter(RangePairCounter counter) : counter_(std::move(counter)) {}

  std::unique_ptr<MethodCounter> MakeLater() const override { return nullptr; }  // one stretch
  Status Feed(std::span<const double> raw_samples) override {
    counter_.Feed(raw_samples);
    return Ok();
  }
  Status Join(MethodCounter& /*later*/, bool /*adjacent*/) override {
    return Fail(kMsgBadValue, "range pairs are counted in one stretch");
  }
  Result<AnyResultFile> Finish(bool /*cancelled*/) override { return Snapshot(); }
  Result<AnyResultFile> Snapshot() override {
    return InFile<RangePairResultFile>(counter_.Finish());
  }
  Status SaveState(CountStateWriter& out) override {
    counter_.SaveState(out);
    return Ok();
  }
  bool LoadState(CountStateReader& in) override { return counter_.LoadState(in); }

 private:
  RangePairCounter counter_;
};

class TimeAtLevelMethodCounter final : public MethodCounter {
 public:
  TimeAtLevelMethodCounter(TimeAtLevelCounter counter, LevelTimeSetup setup, double frequency_hz)
      : counter_(std::move(counter)), setup_(setup), frequency_hz_(frequency_hz) {}

  std::unique_ptr<MethodCounter> MakeLater() const override {
    LevelTimeSetup later_setup = setup_;
    later_setup.opens_range = false;
    auto later = TimeAtLevelCounter::Create(later_setup);  // the setup was accepted once already
    later->ShareSampleTable(counter_);
    return std::make_unique<TimeAtLevelMethodCounter>(std::move(*later), later_setup,
                                                      frequency_hz_);
  }
  Status Feed(std::span<const double> raw_samples) override {
    counter_.Feed(raw_samples);
    return Ok();
  }
  Status Join(MethodCounter& later, bool /*adjacent*/) override {
    // Each stretch counted its own samples: the times add up, cancelled or not.
    counter_.Join(static_cast<TimeAtLevelMethodCounter&>(later).counter_);
    return Ok();
  }
  Result<AnyResultFile> Finish(bool /*cancelled*/) override { return Snapshot(); }
  Result<AnyResultFile> Snapshot() override {
    TimeAtLevelResult result;
    result.partitions = counter_.partitions();
    result.amplitude_range = counter_.amplitude_range();
    result.width = counter_.two_way_width();
    result.frequency_hz = frequency_hz_;
    result.samples = counter_.Counts();
    int64_t inside = 0;
    for (const int64_t s : result.samples) inside += s;
    result.samples_outside = counter_.samples() - inside;
    result.cursor_partition = result.partitions / 2;
    return InFile<TimeAtLevelResultFile>(std::move(result));
  }
  Status SaveState(CountStateWriter& out) override {
    counter_.SaveState(out);
    return Ok();
  }
  bool LoadState(CountStateReader& in) override { return counter_.LoadState(in); }

 private:
  TimeAtLevelCounter counter_;
  LevelTimeSetup setup_;
  double frequency_hz_;
};

/// A method's counter behind a HysteresisGate: it sees only the samples the gate passes. The
/// gate depends on the whole history before it, so the count runs in one stretch.
class GatedMethodCounter final : public MethodCounter {
 public:
  GatedMethodCounter(const CountingMethod& method, CounterSetup setup,
                     std::unique_ptr<MethodCounter> counter)
      : method_(method),
        setup_(std::move(setup)),
        counter_(std::move(counter)),
        scale_(1.0 / (setup_.info.c2() * setup_.info.c1())),
        gate_(setup_.gate, scale_) {}

  std::unique_ptr<MethodCounter> MakeLater() const override { return nullptr; }  // one stretch
  Status Feed(std::span<const double> raw_samples) override {
    passed_.clear();
    gate_.Feed(raw_samples, [&](const HysteresisGate::Point& p) { passed_.push_back(p.raw); });
    return counter_->Feed(passed_);
  }
  Status Join(MethodCounter& /*later*/, bool /*adjacent*/) override {
    return Fail(kMsgBadValue, "a gated count is counted in one stretch");
  }
  Result<AnyResultFile> Finish(bool cancelled) override {
    if (const auto waiting = gate_.Waiting()) {
      if (auto ok = counter_->Feed({&waiting->raw, 1}); !ok) return ok.error();
    }
    return Named(counter_->Finish(cancelled));
  }
  Result<AnyResultFile> Snapshot() override {
    const auto waiting = gate_.Waiting();
    if (!waiting) return Named(counter_->Snapshot());
    // The waiting candidate ends the record of a snapshot: it goes to a copy of the count.
    auto copy = method_.make(setup_);
    if (!copy) return copy.error();
    CountStateWriter out;
    if (auto ok = counter_->SaveState(out); !ok) return ok.error();
    const std::string bytes = out.Take();
    CountStateReader in(bytes);
    if (!(*copy)->LoadState(in)) return Fail(kMsgBadValue, "a gated count could not be copied");
    if (auto ok = (*copy)->Feed({&waiting->raw, 1}); !ok) return ok.error();
    return Named((*copy)->Snapshot());
  }
  Status SaveState(CountStateWriter& out) override {
    gate_.SaveState(out);
    return counter_->SaveState(out);
  }
  bool LoadState(CountStateReader& in) override {
    return gate_.LoadState(in) && counter_->LoadState(in);
  }
  Result<std::optional<std::pair<double, double>>> HeldExtremes() override {
    auto held = counter_->HeldExtremes();
    if (!held || !*held) return held;
    // The count keeps the record's extremes; those the gate holds back are added.
    std::pair<double, double> extremes = **held;
    if (const auto raw = gate_.HeldRaw()) {
      for (const double eu : {raw->first * scale_, raw->second * scale_}) {
        extremes.first = std::min(extremes.first, eu);
        extremes.second = std::max(extremes.second, eu);
      }
    }
    return std::optional(extremes);
  }

 private:
  /// The result with the gate it was counted through.
  Result<AnyResultFile> Named(Result<AnyResultFile> counted) const {
    if (!counted) return counted;
    std::visit(
        [&](auto& file) {
          if constexpr (requires { file.result.gate; }) file.result.gate = setup_.gate;
        },
        *counted);
    return counted;
  }

  const CountingMethod& method_;
  CounterSetup setup_;
  std::unique_ptr<MethodCounter> counter_;
  double scale_;
  HysteresisGate gate_;
  std::vector<double> passed_;
};

Result<std::unique_ptr<MethodCounter>> MakePeakCounter(const CounterSetup& setup) {
  auto counter = PeakCounter::Create({.partitions = setup.partitions,
                                      .amplitude_range = setup.amplitude_range,
                                      .c1 = setup.info.c1(),
                                      .c2 = setup.info.c2(),
                                      .automatic = setup.automatic});
  if (!counter) return counter.error();
  if (setup.sample_table_format >= 0) counter->UseSampleTable(setup.sample_table_format);
  return std::unique_ptr<MethodCounter>(std::make_unique<PeakMethodCounter>(std::move(*counter)));
}

Result<std::unique_ptr<MethodCounter>> MakeRangeCounter(const CounterSetup& setup) {
  const RangeCountSetup range{.partitions = setup.partitions,
                              .amplitude_range = setup.amplitude_range,
                              .c1 = setup.info.c1(),
                              .c2 = setup.info.c2(),
                              .opens_range = setup.opens_range};
  auto counter = RangeCounter::Create(range);
  if (!counter) return counter.error();
  if (setup.sample_table_format >= 0) counter->UseSampleTable(setup.sample_table_format);
  return std::unique_ptr<MethodCounter>(
      std::make_unique<RangeMethodCounter>(std::move(*counter), range));
}

Result<std::unique_ptr<MethodCounter>> MakeRainflowCounter(const CounterSetup& setup) {
  auto full_scale = FullScaleOf(setup.info);
  if (!full_scale) return full_scale.error();
  RainflowSetup rainflow;
  rainflow.partitions = EffectivePartitions(setup.partitions);
  rainflow.amplitude_range = setup.amplitude_range;
  rainflow.smallest_range = SmallestCountedRange(*full_scale, setup.info);
  rainflow.scale = 1.0 / (setup.info.c2() * setup.info.c1());
  rainflow.residue_memory_points = setup.rainflow.residue_memory_points;
  rainflow.scratch_folder = setup.rainflow.scratch_folder;
  rainflow.opens_range = setup.opens_range;
  rainflow.residue = setup.residue;
  return std::unique_ptr<MethodCounter>(std::make_unique<RainflowMethodCounter>(rainflow));
}

/// The levels of a crossing count: its list, or the N + 1 partition edges of [-A, A], each from
/// its index as the partitions' edges are: k x W2 - A.
std::vector<double> CrossingLevels(const CounterSetup& setup, int32_t n) {
  if (!setup.crossings.level_list.empty()) return setup.crossings.level_list;
  const double a = setup.amplitude_range;
  const double w2 = (a + a) / n;
  std::vector<double> levels(static_cast<size_t>(n) + 1);
  for (int32_t k = 0; k <= n; ++k) levels[static_cast<size_t>(k)] = k * w2 - a;
  return levels;
}

Result<std::unique_ptr<MethodCounter>> MakeCrossingCounter(const CounterSetup& setup) {
  const bool listed = !setup.crossings.level_list.empty();
  const int32_t n = EffectivePartitions(setup.partitions);
  const std::vector<double> levels = CrossingLevels(setup, n);
  const double reference = setup.crossings.reference;
  if (setup.crossings.direction == CrossingDirection::kAstm &&
      !(reference >= levels.front() && reference <= levels.back())) {
    // Checked here, where the levels are known: A may come from the record.
    return Fail(kMsgBadValue, "--reference " + ShortestText(reference) +
                                  " lies outside the levels " + ShortestText(levels.front()) +
                                  ".." + ShortestText(levels.back()) +
                                  " that --direction astm divides");
  }
  LevelCrossingResult asked;
  asked.partitions = listed ? 0 : n;
  asked.amplitude_range = listed ? 0.0 : setup.amplitude_range;
  asked.levels = levels;
  asked.reference = setup.crossings.reference;
  asked.gate = setup.crossings.gate;
  asked.direction = setup.crossings.direction;
  asked.cursor_partition = static_cast<int32_t>(asked.levels.size() / 2);
  CrossingSetup crossing{.levels = asked.levels,
                         .gate = setup.crossings.gate,
                         .c1 = setup.info.c1(),
                         .c2 = setup.info.c2(),
                         .opens_range = setup.opens_range};
  return std::unique_ptr<MethodCounter>(
      std::make_unique<CrossingMethodCounter>(std::move(crossing), std::move(asked)));
}

Result<std::unique_ptr<MethodCounter>> MakeRangePairCounter(const CounterSetup& setup) {
  auto counter = RangePairCounter::Create({.partitions = setup.partitions,
                                           .amplitude_range = setup.amplitude_range,
                                           .c1 = setup.info.c1(),
                                           .c2 = setup.info.c2()});
  if (!counter) return counter.error();
  if (setup.sample_table_format >= 0) counter->UseSampleTable(setup.sample_table_format);
  return std::unique_ptr<MethodCounter>(
      std::make_unique<RangePairMethodCounter>(std::move(*counter)));
}

Result<std::unique_ptr<MethodCounter>> MakeTimeAtLevelCounter(const CounterSetup& setup) {
  LevelTimeSetup time;
  time.partitions = setup.partitions;
  time.amplitude_range = setup.amplitude_range;
  time.c1 = setup.info.c1();
  time.c2 = setup.info.c2();
  time.opens_range = setup.opens_range;
  auto counter = TimeAtLevelCounter::Create(time);
  if (!counter) return counter.error();
  if (setup.sample_table_format >= 0) counter->UseSampleTable(setup.sample_table_format);
  return std::unique_ptr<MethodCounter>(std::make_unique<TimeAtLevelMethodCounter>(
      std::move(*counter), time, setup.info.frequency_hz()));
}

constexpr std::array kMethods{
    CountingMethod{.kind = CountingKind::kPeak,
                   .name = CountingKindName(CountingKind::kPeak),
                   .title = TextKey::kReportPeakCounting,
                   .amplitude = {.full_scale_two_way = false, .automatic_largest_peak = true},
                   .tests_next_sample_after_cancel = true,
                   .takes_gate = true,
                   .make = MakePeakCounter},
    CountingMethod{.kind = CountingKind::kRange,
                   .name = CountingKindName(CountingKind::kRange),
                   .title = TextKey::kReportRangeCounting,
                   .amplitude = {.full_scale_two_way = true, .automatic_largest_peak = false},
                   .takes_gate = true,
                   .make = MakeRangeCounter},
    // The bar keeps a fifth beyond the blocks for the cycle extraction, filled when it ends.
    CountingMethod{.kind = CountingKind::kRainflow,
                   .name = CountingKindName(CountingKind::kRainflow),
                   .title = TextKey::kReportRainflowCounting,
                   .amplitude = {.full_scale_two_way = true, .automatic_largest_peak = false},
                   .progress_share = 1.2,
                   .needs_full_scale = true,
                   .takes_gate = true,
                   .make = MakeRainflowCounter},
    // Levels and values lie in [-A, A]: the full scale is a value's (from 0 to FS), the
    // automatic A the largest magnitude.
    CountingMethod{.kind = CountingKind::kCrossings,
                   .name = CountingKindName(CountingKind::kCrossings),
                   .title = TextKey::kReportLevelCrossingCounting,
                   .amplitude = {.full_scale_two_way = false, .automatic_largest_magnitude = true},
                   .make = MakeCrossingCounter},
    CountingMethod{.kind = CountingKind::kRangePairs,
                   .name = CountingKindName(CountingKind::kRangePairs),
                   .title = TextKey::kReportRangePairCounting,
                   .amplitude = {.full_scale_two_way = true, .automatic_largest_peak = false},
                   .counts_in_chunks = false,
                   .takes_gate = true,
                   .make = MakeRangePairCounter},
    CountingMethod{.kind = CountingKind::kTimeAtLevel,
                   .name = CountingKindName(CountingKind::kTimeAtLevel),
                   .title = TextKey::kReportTimeAtLevel,
                   .amplitude = {.full_scale_two_way = false, .automatic_largest_magnitude = true},
                   .make = MakeTimeAtLevelCounter},
};

}  // namespace

Result<std::unique_ptr<MethodCounter>> MakeCounter(const CountingMethod& method,
                                                   const CounterSetup& setup) {
  auto counter = method.make(setup);
  if (!counter || !method.takes_gate || !(setup.gate > 0.0)) return counter;
  return std::unique_ptr<MethodCounter>(
      std::make_unique<GatedMethodCounter>(method, setup, std::move(*counter)));
}

bool CountsInChunks(const CountingMethod& method, const CounterSetup& setup) {
  return method.counts_in_chunks && !(method.takes_gate && setup.gate > 0.0);
}

std::span<const CountingMethod> CountingMethods() { return kMethods; }

const CountingMethod& MethodOf(CountingKind kind) {
  for (const CountingMethod& method : kMethods) {
    if (method.kind == kind) return method;
  }
  return kMethods.back();  // unreachable: every kind has an entry (tested)
}

const CountingMethod* MethodNamed(std::string_view name) {
  for (const CountingMethod& method : kMethods) {
    if (method.name == name) return &method;
  }
  return nullptr;
}

}  // namespace torvwy::core
