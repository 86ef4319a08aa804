// A count fed as its record grows: after any split of the record into pieces its result is the
// offline count of the samples fed, and its state carries over to another counter exactly.
#include "core/run/live_counter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/data/sample_format.h"
#include "core/rainflow/rainflow_cycles.h"
#include "core/run/counting_run.h"
#include "output/result_output.h"
#include "support/count_record.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

constexpr CountingKind kKinds[] = {CountingKind::kPeak, CountingKind::kRange,
                                   CountingKind::kRainflow};

std::vector<double> Walk(size_t n, uint32_t seed) { return testing::SmallWalk(n, seed); }

SamplingInfo Info() {
  SamplingInfo info;
  // float32 with a full scale of 24 (raw): the smallest counted range is 24 / 2 x 0.001 EU, so
  // every range of the walk but those beyond A counts.
  info.set_format(kFormatFloatFs);
  info.set_stored_full_scale(24.0);
  info.set_frequency_hz(50.0);
  info.set_c1(4.0);
  info.set_c2(0.5);
  return info;
}

LiveCountSetup CountSetup(CountingKind kind) {
  LiveCountSetup setup;
  setup.kind = kind;
  setup.partitions = 12;
  setup.amplitude_mode = kAmplitudeSetValue;
  setup.set_value = 9.0;  // EU; the walk's larger values and ranges are dropped
  setup.info = Info();
  setup.rainflow.residue_memory_points = 16;  // the residue spills to its scratch file
  setup.keep_cycles = kind == CountingKind::kRainflow;
  return setup;
}

std::string JsonText(const AnyResultFile& file) { return output::ResultJson(file).dump(); }

/// The offline count of `raw` as a sample-exact record in memory, with the live count's setup.
std::string OfflineJson(CountingKind kind, const std::vector<double>& raw, int threads = 1,
                        std::optional<ResidueMethod> residue = std::nullopt, double gate = 0.0) {
  CountingNode node;
  node.test_name = "mem";
  node.test_code = "1";
  node.node_name = "1";
  node.info = Info();
  node.info.set_length_half_blocks(
      static_cast<int32_t>(2 * ((static_cast<int64_t>(raw.size()) + 1023) / 1024)));
  node.data_file = "in memory";
  node.sample_count = static_cast<int64_t>(raw.size());
  node.samples = [&raw](int64_t first, std::span<double> out) {
    std::copy_n(raw.begin() + first, out.size(), out.begin());
    return Ok();
  };
  CountingParameters params;
  params.partitions = 12;
  params.amplitude_mode = kAmplitudeSetValue;
  params.set_value = 9.0;
  params.range_mode = kRangeFull;
  params.first_block = 1;
  params.last_block = node.info.whole_blocks();
  testing::CountOptions options;
  options.threads = threads;
  options.residue = residue;
  options.gate = gate;
  SilentProgress progress;
  auto file = testing::CountNode(kind, node, params, progress, options);
  EXPECT_TRUE(file.ok()) << file.error().detail;
  if (!file) return {};
  // The live count leaves the envelope to its caller; the counts are what is compared.
  std::visit(
      [](auto& f) {
        f.result.envelope.clear();
        f.result.envelope_maximum = f.result.envelope_minimum = 0.0;
      },
      *file);
  return JsonText(*file);
}

std::string LiveJson(const LiveCounter& counter) {
  auto file = counter.Snapshot();
  EXPECT_TRUE(file.ok()) << file.error().detail;
  return file ? JsonText(*file) : std::string();
}

/// Feeds `raw` cut at `edges` (inner cut positions, ascending).
LiveCounter FedInPieces(CountingKind kind, const std::vector<double>& raw,
                        const std::vector<size_t>& edges) {
  auto counter = LiveCounter::Create(CountSetup(kind));
  EXPECT_TRUE(counter.ok());
  size_t begin = 0;
  for (size_t end : edges) {
    EXPECT_TRUE(counter->Feed(std::span(raw).subspan(begin, end - begin)).ok());
    begin = end;
  }
  EXPECT_TRUE(counter->Feed(std::span(raw).subspan(begin)).ok());
  return std::move(*counter);
}

std::string CyclesText(const std::vector<RainflowCycle>& cycles) {
  std::string text;
  for (const auto& c : cycles) {
    text += std::to_string(c.range) + " " + std::to_string(c.mean) + " " + std::to_string(c.count) +
            " " + std::to_string(c.start) + "-" + std::to_string(c.end) + "\n";
  }
  return text;
}

std::string WholeCyclesText(const std::vector<double>& raw) {
  RainflowCycleExtractor extractor;
  std::vector<double> eu(raw);
  for (double& x : eu) x *= 1.0 / (0.5 * 4.0);
  extractor.Feed(eu);
  return CyclesText(extractor.Finish());
}

TEST(LiveCounterTest, EverySplitOfASmallRecordGivesItsOfflineCount) {
  for (const size_t n : {size_t{2}, size_t{3}, size_t{5}, size_t{8}, size_t{13}, size_t{24}}) {
    const std::vector<double> raw = Walk(n, static_cast<uint32_t>(n) * 7u);
    for (CountingKind kind : kKinds) {
      const std::string whole = OfflineJson(kind, raw);
      const std::string whole_cycles = WholeCyclesText(raw);
      for (size_t a = 0; a <= n; ++a) {
        for (size_t b = a; b <= n; ++b) {
          SCOPED_TRACE(std::to_string(n) + " samples cut at " + std::to_string(a) + " and " +
                       std::to_string(b));
          const LiveCounter counter = FedInPieces(kind, raw, {a, b});
          EXPECT_EQ(LiveJson(counter), whole);
          if (kind == CountingKind::kRainflow) {
            EXPECT_EQ(CyclesText(counter.Cycles()), whole_cycles);
          }
        }
      }
    }
  }
}

TEST(LiveCounterTest, ResidueMethodsAndTheGateCountAsOfflineOnEveryThreadCount) {
  // A gated count runs in one stretch whatever the threads; a snapshot feeds what the gate
  // holds back to a copy of the count, so every snapshot is the offline count so far.
  const std::vector<double> raw = Walk(3000, 91);
  for (CountingKind kind : kKinds) {
    std::vector<std::optional<ResidueMethod>> residues = {std::nullopt};
    if (kind == CountingKind::kRainflow) {
      residues = {ResidueMethod::kFull, ResidueMethod::kDiscard, ResidueMethod::kRepeated};
    }
    for (const auto& residue : residues) {
      for (const double gate : {0.0, 0.75}) {
        SCOPED_TRACE(std::to_string(static_cast<int>(kind)) + " gate " + std::to_string(gate));
        const std::string whole = OfflineJson(kind, raw, 1, residue, gate);
        EXPECT_EQ(OfflineJson(kind, raw, 4, residue, gate), whole);
        EXPECT_EQ(whole.find("\"residue\"") != std::string::npos, residue.has_value());
        EXPECT_EQ(whole.find("\"gate\"") != std::string::npos, gate > 0.0);
        LiveCountSetup setup = CountSetup(kind);
        setup.residue = residue.value_or(ResidueMethod::kHalf);
        setup.gate = gate;
        auto counter = LiveCounter::Create(setup);
        ASSERT_TRUE(counter.ok()) << counter.error().detail;
        std::vector<double> fed;
        for (size_t begin = 0; begin < raw.size(); begin += 700) {
          const auto piece =
              std::span(raw).subspan(begin, std::min<size_t>(700, raw.size() - begin));
          ASSERT_TRUE(counter->Feed(piece).ok());
          fed.insert(fed.end(), piece.begin(), piece.end());
          EXPECT_EQ(LiveJson(*counter), OfflineJson(kind, fed, 1, residue, gate));
        }
        // The state carries the conventions and what the gate holds.
        auto state = counter->SaveState();
        ASSERT_TRUE(state.ok());
        auto restored = LiveCounter::Restore(*state);
        ASSERT_TRUE(restored.ok()) << restored.error().detail;
        EXPECT_EQ(LiveJson(*restored), whole);
        if (kind == CountingKind::kRainflow) {
          RainflowCycleExtractor extractor(setup.residue, gate);
          std::vector<double> eu(raw);
          for (double& x : eu) x *= 1.0 / (0.5 * 4.0);
          extractor.Feed(eu);
          EXPECT_EQ(CyclesText(restored->Cycles()), CyclesText(extractor.Finish()));
        }
      }
    }
  }
}

TEST(LiveCounterTest, EachSnapshotOfAGrowingRecordIsTheOfflineCountOfWhatCameSoFar) {
  // Pieces of random sizes across several blocks; the residue spills and comes back. Each
  // snapshot leaves the count as it was, so the next pieces go on from there.
  const std::vector<double> raw = Walk(9000, 11);
  std::mt19937 random(5);
  for (CountingKind kind : kKinds) {
    auto counter = LiveCounter::Create(CountSetup(kind));
    ASSERT_TRUE(counter.ok());
    size_t fed = 0;
    int snapshots = 0;
    while (fed < raw.size()) {
      const size_t piece = std::min<size_t>(raw.size() - fed, 1 + random() % 2500);
      ASSERT_TRUE(counter->Feed(std::span(raw).subspan(fed, piece)).ok());
      fed += piece;
      if (fed < 2) continue;
      const std::vector<double> so_far(raw.begin(), raw.begin() + static_cast<ptrdiff_t>(fed));
      SCOPED_TRACE(std::to_string(fed) + " samples");
      EXPECT_EQ(LiveJson(*counter), OfflineJson(kind, so_far, 1 + snapshots % 2));
      if (kind == CountingKind::kRainflow) {
        EXPECT_EQ(CyclesText(counter->Cycles()), WholeCyclesText(so_far));
      }
      ++snapshots;
    }
    EXPECT_GE(snapshots, 4);
    EXPECT_EQ(counter->samples_fed(), 9000);
  }
}

TEST(LiveCounterTest, AStateSavedMidwayGoesOnExactlyInAnotherCounter) {
  const std::vector<double> raw = Walk(5000, 3);
  for (CountingKind kind : kKinds) {
    for (const size_t cut : {size_t{0}, size_t{1}, size_t{777}, size_t{4999}}) {
      SCOPED_TRACE("cut at " + std::to_string(cut));
      auto first = LiveCounter::Create(CountSetup(kind));
      ASSERT_TRUE(first.ok());
      ASSERT_TRUE(first->Feed(std::span(raw).first(cut)).ok());
      auto state = first->SaveState();
      ASSERT_TRUE(state.ok()) << state.error().detail;
      auto second = LiveCounter::Restore(*state);
      ASSERT_TRUE(second.ok()) << second.error().detail;
      EXPECT_EQ(second->samples_fed(), static_cast<int64_t>(cut));
      ASSERT_TRUE(second->Feed(std::span(raw).subspan(cut)).ok());
      EXPECT_EQ(LiveJson(*second), OfflineJson(kind, raw));
      if (kind == CountingKind::kRainflow) {
        EXPECT_EQ(CyclesText(second->Cycles()), WholeCyclesText(raw));
      }
      // The first counter is untouched by the save and goes on too.
      ASSERT_TRUE(first->Feed(std::span(raw).subspan(cut)).ok());
      EXPECT_EQ(LiveJson(*first), LiveJson(*second));
    }
  }
}

TEST(LiveCounterTest, ADamagedStateIsRefusedWholeAtEveryCut) {
  const std::vector<double> raw = Walk(300, 9);
  for (CountingKind kind : kKinds) {
    auto counter = LiveCounter::Create(CountSetup(kind));
    ASSERT_TRUE(counter.ok());
    ASSERT_TRUE(counter->Feed(raw).ok());
    const std::string state = *counter->SaveState();
    for (size_t cut = 0; cut < state.size(); ++cut) {
      auto restored = LiveCounter::Restore(std::string_view(state).substr(0, cut));
      ASSERT_FALSE(restored.ok()) << "cut at " << cut;
      EXPECT_NE(restored.error().detail.find("the live count state is damaged"), std::string::npos);
    }
    EXPECT_FALSE(LiveCounter::Restore(state + '\0').ok());
    std::string other = state;
    other[2] = 'X';
    EXPECT_FALSE(LiveCounter::Restore(other).ok());
  }
}

/// Eight little-endian bytes, as a state stores an integer.
std::string Le64(uint64_t value) {
  std::string bytes(8, '\0');
  for (size_t i = 0; i < 8; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

TEST(LiveCounterTest, ACountNoFeedCanMakeIsRefused) {
  const std::vector<double> raw = Walk(300, 4);
  for (CountingKind kind : kKinds) {
    auto counter = LiveCounter::Create(CountSetup(kind));
    ASSERT_TRUE(counter.ok());
    ASSERT_TRUE(counter->Feed(raw).ok());
    const std::string state = *counter->SaveState();
    // After the samples fed (300) come rainflow's 12 counts (doubles), or the two samples peak
    // and range hold (2, then two doubles) before their 12 counts (integers).
    const bool rainflow = kind == CountingKind::kRainflow;
    const size_t at = state.find(Le64(300) + Le64(rainflow ? 12 : 2));
    ASSERT_NE(at, std::string::npos);
    const size_t first_count = at + (rainflow ? 16 : 40);
    ASSERT_TRUE(LiveCounter::Restore(state).ok());
    std::vector<std::string> bad = {Le64(static_cast<uint64_t>(-1))};
    if (rainflow) {
      bad = {Le64(std::bit_cast<uint64_t>(-1.0)), Le64(std::bit_cast<uint64_t>(0.25)),
             Le64(std::bit_cast<uint64_t>(std::nan(""))), Le64(std::bit_cast<uint64_t>(HUGE_VAL))};
    }
    for (const std::string& count : bad) {
      std::string damaged = state;
      damaged.replace(first_count, 8, count);
      auto restored = LiveCounter::Restore(damaged);
      ASSERT_FALSE(restored.ok()) << static_cast<int>(kind);
      EXPECT_NE(restored.error().detail.find("counts are cut short or out of range"),
                std::string::npos);
    }
  }
}

TEST(LiveCounterTest, TheExtremesKeptBesideAStateAreThoseOfItsSamples) {
  const std::vector<double> raw = Walk(5000, 5);
  const auto [low, high] = std::minmax_element(raw.begin(), raw.end());
  const double nan = std::nan("");
  struct Case {
    double lowest, highest;
    bool rainflow_only;  // peak and range keep no trace of their extremes to check against
  };
  const Case cases[] = {
      {*high, *low, false},  {nan, *high, false},     {*low, HUGE_VAL, false},
      {-1e308, 1e308, true}, {*low, *high + 1, true}, {*low + 1, *high, true},
      {*low, *low, true},
  };
  for (CountingKind kind : kKinds) {
    SCOPED_TRACE(static_cast<int>(kind));
    LiveCountSetup setup = CountSetup(kind);
    setup.partitions = 5000;  // counts as 2000, and a state of it is restored as it was
    auto counter = LiveCounter::Create(setup);
    ASSERT_TRUE(counter.ok());
    EXPECT_TRUE(counter->CheckExtremes(0.0, 0.0).ok());  // nothing fed yet
    ASSERT_TRUE(counter->Feed(raw).ok());
    auto restored = LiveCounter::Restore(*counter->SaveState());
    ASSERT_TRUE(restored.ok()) << restored.error().detail;
    EXPECT_EQ(restored->setup().partitions, 5000);
    EXPECT_TRUE(restored->CheckExtremes(*low, *high).ok());
    for (const Case& c : cases) {
      const bool refused = kind == CountingKind::kRainflow || !c.rainflow_only;
      const Status checked = restored->CheckExtremes(c.lowest, c.highest);
      EXPECT_EQ(checked.ok(), !refused) << c.lowest << " " << c.highest;
      if (!checked.ok()) {
        EXPECT_NE(checked.error().detail.find("the live count state is damaged"),
                  std::string::npos);
      }
    }
    auto one = LiveCounter::Create(CountSetup(kind));
    ASSERT_TRUE(one->Feed(std::span(raw).first(1)).ok());
    EXPECT_TRUE(one->CheckExtremes(raw[0], raw[0]).ok());
    EXPECT_FALSE(one->CheckExtremes(raw[0] - 1, raw[0]).ok());
  }
}

TEST(LiveCounterTest, RefusesWhatItCannotCount) {
  LiveCountSetup automatic = CountSetup(CountingKind::kRainflow);
  automatic.amplitude_mode = kAmplitudeAutomatic;
  auto refused = LiveCounter::Create(automatic);
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.error().detail.find("partitions would move"), std::string::npos);

  LiveCountSetup no_partitions = CountSetup(CountingKind::kPeak);
  no_partitions.partitions = 0;
  EXPECT_FALSE(LiveCounter::Create(no_partitions).ok());

  LiveCountSetup unknown_format = CountSetup(CountingKind::kRange);
  unknown_format.amplitude_mode = kAmplitudeFullScale;
  unknown_format.info.set_format(4242);
  EXPECT_FALSE(LiveCounter::Create(unknown_format).ok());

  // A follow meets the offline rule for A: a width that underflows, or a full scale (stored
  // before imports refused it) whose two-way width is infinite.
  LiveCountSetup tiny = CountSetup(CountingKind::kRainflow);
  tiny.amplitude_mode = kAmplitudeSetValue;
  tiny.set_value = 5e-324;
  refused = LiveCounter::Create(tiny);
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.error().detail.find("--amplitude = 5e-324 makes the partition width too small"),
            std::string::npos)
      << refused.error().detail;
  LiveCountSetup huge = CountSetup(CountingKind::kPeak);
  huge.amplitude_mode = kAmplitudeFullScale;
  huge.info.set_format(kFormatFloatFs);
  huge.info.set_c1(1.0);
  huge.info.set_c2(1.0);
  huge.info.set_stored_full_scale(1.5e308);
  refused = LiveCounter::Create(huge);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().detail,
            "the full scale |FS / c2 / c1| = 1.5e+308 makes the partition width infinite");

  for (CountingKind kind : kKinds) {
    auto counter = LiveCounter::Create(CountSetup(kind));
    ASSERT_TRUE(counter.ok());
    EXPECT_FALSE(counter->Snapshot().ok());
    const double one = 3.0;
    ASSERT_TRUE(counter->Feed({&one, 1}).ok());
    EXPECT_FALSE(counter->Snapshot().ok());
  }
}

TEST(LiveCounterTest, TheFullScaleIsTakenAsTheOfflineRunTakesIt) {
  // int16 converts to a full scale of 10000 (raw); with c1 = 4, c2 = 0.5: A = 10000 / 2 = 5000
  // EU for peak, (10000 + 10000) / 2 = 10000 for range and rainflow.
  for (CountingKind kind : kKinds) {
    LiveCountSetup setup = CountSetup(kind);
    setup.amplitude_mode = kAmplitudeFullScale;
    setup.info.set_format(kFormatInt16);
    auto counter = LiveCounter::Create(setup);
    ASSERT_TRUE(counter.ok());
    const std::vector<double> raw = {0, 3000, -2000, 100};
    ASSERT_TRUE(counter->Feed(raw).ok());
    auto file = counter->Snapshot();
    ASSERT_TRUE(file.ok());
    const double a = std::visit([](const auto& f) { return f.result.amplitude_range; }, *file);
    EXPECT_EQ(a, kind == CountingKind::kPeak ? 5000.0 : 10000.0);
  }
}

}  // namespace
}  // namespace torvwy::core
