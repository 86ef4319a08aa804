// The table of counting methods, and each method's counter as the run drives it.
#include "core/run/counting_method.h"

#include <array>
#include <utility>

#include "core/counting/partition_counter.h"
#include "core/peak/peak_counter.h"
#include "core/range/range_counter.h"

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
  return std::unique_ptr<MethodCounter>(std::make_unique<RainflowMethodCounter>(rainflow));
}

constexpr std::array kMethods{
    CountingMethod{.kind = CountingKind::kPeak,
                   .name = "peak",
                   .title = TextKey::kReportPeakCounting,
                   .amplitude = {.full_scale_two_way = false, .automatic_largest_peak = true},
                   .tests_next_sample_after_cancel = true,
                   .make = MakePeakCounter},
    CountingMethod{.kind = CountingKind::kRange,
                   .name = "range",
                   .title = TextKey::kReportRangeCounting,
                   .amplitude = {.full_scale_two_way = true, .automatic_largest_peak = false},
                   .make = MakeRangeCounter},
    // The bar keeps a fifth beyond the blocks for the cycle extraction, filled when it ends.
    CountingMethod{.kind = CountingKind::kRainflow,
                   .name = "rainflow",
                   .title = TextKey::kReportRainflowCounting,
                   .amplitude = {.full_scale_two_way = true, .automatic_largest_peak = false},
                   .progress_share = 1.2,
                   .needs_full_scale = true,
                   .make = MakeRainflowCounter},
};

}  // namespace

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
