// A programme counted from its events alone against its whole history written out and counted
// in one piece, hand-worked programmes, and the run over recorded nodes.
#include "core/programme/programme_count.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "core/counting/partition_index.h"
#include "core/rainflow/rainflow_counter.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

using testing::SmallWalk;

/// A programme of array events: names that pass the file's checks, nothing read from them.
Programme ArrayProgramme(const std::vector<int64_t>& repeats) {
  Programme programme;
  programme.name = "test";
  programme.partitions = 16;
  programme.amplitude = "auto";
  for (size_t i = 0; i < repeats.size(); ++i) {
    ProgrammeEvent event;
    event.number = static_cast<int32_t>(i + 1);
    event.data = event.test = event.code = event.node = "x";
    event.repeats = repeats[i];
    programme.events.push_back(event);
  }
  return programme;
}

EventCount CountArray(const std::vector<double>& values, double scale, double frequency_hz = 0.0) {
  EventCounter counter(scale);
  // In uneven chunks, as blocks arrive.
  for (size_t at = 0; at < values.size(); at += 7) {
    counter.Feed(
        std::span<const double>(values).subspan(at, std::min<size_t>(7, values.size() - at)));
  }
  EventCount count = counter.Finish();
  count.frequency_hz = frequency_hz;
  return count;
}

/// The slow way: every repeat written out, counted in one piece, binned by the same rules.
struct WrittenOut {
  RainflowResult histogram;
  RangeMeanMatrix range_mean;
  ClassMatrix from_to;
};

WrittenOut CountWrittenOut(const std::vector<std::vector<double>>& events,
                           const std::vector<double>& scales, const Programme& programme) {
  std::vector<double> history;
  for (size_t i = 0; i < events.size(); ++i) {
    for (int64_t r = 0; r < programme.events[i].repeats; ++r) {
      for (const double x : events[i]) history.push_back(x * scales[i]);
    }
  }
  RainflowCycleExtractor extractor(programme.residue, programme.gate);
  extractor.Feed(history);
  const std::vector<RainflowCycle> cycles = extractor.Finish();
  WrittenOut out;
  RainflowResult& h = out.histogram;
  const auto [low, high] = std::minmax_element(history.begin(), history.end());
  h.partitions = programme.partitions;
  h.amplitude_range = (*high - *low) * 1.1;
  h.partition_width = h.amplitude_range / h.partitions;
  h.smallest_range = 0.0;
  const PartitionIndex index = PartitionIndex::Rainflow(h.partitions, h.partition_width);
  for (const RainflowCycle& cycle : cycles) {
    if (RainflowCountsRange(h, cycle.range)) {
      h.counts[static_cast<size_t>(index.Find(cycle.range))] += cycle.count;
    }
  }
  if (!(h.amplitude_range > 0.0)) return out;  // a constant history: nothing to count
  out.range_mean = *MakeRangeMeanMatrix(cycles, h, 0, kDefaultMeanBins);
  out.from_to = *MakeFromToMatrix(cycles, h, h.partitions);
  if (programme.gate == 0.0) {
    // And the histogram is what the rainflow counter itself counts of the history.
    RainflowSetup setup;
    setup.partitions = h.partitions;
    setup.amplitude_range = h.amplitude_range;
    setup.residue = programme.residue;
    RainflowCounter counter(setup);
    EXPECT_TRUE(counter.Feed(history).ok());
    const RainflowResult counted = *counter.Finish();
    EXPECT_EQ(counted.counts, h.counts);
  }
  return out;
}

TEST(ProgrammeCount, EqualsTheHistoryWrittenOutForEveryResidueMethodAndGate) {
  std::mt19937 random(20261209);
  std::uniform_int_distribution<int> event_count(1, 4);
  std::uniform_int_distribution<int> length(2, 60);
  std::uniform_int_distribution<int> repeat(1, 4);
  const double scale_choices[] = {1.0, 0.5, 1.3, 2.0};
  std::uniform_int_distribution<int> scale_pick(0, 3);
  int trials = 0;
  for (const ResidueMethod residue : {ResidueMethod::kHalf, ResidueMethod::kFull,
                                      ResidueMethod::kDiscard, ResidueMethod::kRepeated}) {
    for (const double gate : {0.0, 3.0, 9.0}) {
      for (int trial = 0; trial < 150; ++trial, ++trials) {
        const int k = event_count(random);
        std::vector<std::vector<double>> values;
        std::vector<double> scales;
        std::vector<int64_t> repeats;
        std::vector<EventCount> counts;
        for (int i = 0; i < k; ++i) {
          values.push_back(SmallWalk(static_cast<size_t>(length(random)), random()));
          scales.push_back(scale_choices[scale_pick(random)]);
          repeats.push_back(repeat(random));
          counts.push_back(CountArray(values.back(), scales.back()));
        }
        Programme programme = ArrayProgramme(repeats);
        programme.residue = residue;
        programme.gate = gate;
        for (int i = 0; i < k; ++i)
          programme.events[static_cast<size_t>(i)].scale = scales[static_cast<size_t>(i)];
        const WrittenOut expected = CountWrittenOut(values, scales, programme);
        auto joined = JoinProgramme(programme, counts);
        if (!joined) {
          // Only a history without a counted cycle has no estimate; the slow way agrees.
          double total = 0.0;
          for (const double c : expected.histogram.counts) total += c;
          EXPECT_EQ(total, 0.0) << joined.error().detail;
          continue;
        }
        SCOPED_TRACE("residue " + std::string(ResidueMethodName(residue)) + ", gate " +
                     std::to_string(gate) + ", trial " + std::to_string(trial));
        EXPECT_EQ(joined->histogram.amplitude_range, expected.histogram.amplitude_range);
        ASSERT_EQ(joined->histogram.counts, expected.histogram.counts);
        EXPECT_EQ(joined->range_mean.counts, expected.range_mean.counts);
        EXPECT_EQ(joined->range_mean.mean_low, expected.range_mean.mean_low);
        EXPECT_EQ(joined->range_mean.mean_width, expected.range_mean.mean_width);
        EXPECT_EQ(joined->from_to.counts, expected.from_to.counts);
        EXPECT_EQ(joined->from_to.outside, expected.from_to.outside);
        // The events' damages and the row of everything else add up to the total.
        double parts = joined->cross_event_damage;
        double cycles = joined->cross_event_cycles;
        for (const ProgrammeEventResult& event : joined->events) {
          parts += event.damage;
          cycles += event.cycles;
        }
        EXPECT_NEAR(parts, joined->total_damage, 1e-12 * joined->total_damage);
        EXPECT_EQ(cycles, joined->fatigue.total_cycles);
      }
    }
  }
  EXPECT_EQ(trials, 1800);
}

TEST(ProgrammeCount, ManyRepeatsCostNoMoreThanOne) {
  // 10^9 repeats of a short event: counted as fast as one, each closed cycle weighted.
  const std::vector<double> load = {-50, 50, -50, 50, -50};
  Programme programme = ArrayProgramme({1000000000});
  programme.amplitude = "400";
  programme.partitions = 40;
  auto joined = JoinProgramme(programme, std::vector<EventCount>{CountArray(load, 1.0)});
  ASSERT_TRUE(joined.ok()) << joined.error().detail;
  // One closed cycle of 100 per repeat, one more where each repeat meets the next, and the
  // residue -50 50 -50 as two halves at the end: 2r - 1 + 1 cycles of 100.
  EXPECT_EQ(joined->histogram.counts[9], 2.0 * 1e9);
  EXPECT_EQ(joined->events[0].cycles, 2.0 * 1e9 - 1.0);
  EXPECT_EQ(joined->cross_event_cycles, 1.0);
}

/// N(S) of the detail category 71 above its knee, written out: 2e6 (71 / S)^3.
double Category71Life(double stress_range) { return 2e6 * std::pow(71.0 / stress_range, 3.0); }

TEST(ProgrammeCount, TwoConstantAmplitudeEventsDoTheirCyclesDamageByHand) {
  // A: -50 50 -50 50 -50, one cycle of 100 closed and the residue -50 50 -50, which closes one
  // more with each repeat: r repeats give 2r - 1 cycles of 100. B likewise at 200. Discarding
  // the programme's residue (-50 50 -100 100 -100: nothing closes across) leaves exactly
  // D = (2 rA - 1) / N(95) + (2 rB - 1) / N(195), the lives at the partition centres of
  // A = 400 in 40 partitions of 10: 100 in (90, 100], 200 in (190, 200].
  Programme programme = ArrayProgramme({40, 12});
  programme.amplitude = "400";
  programme.partitions = 40;
  programme.residue = ResidueMethod::kDiscard;
  programme.curve = "en1993:71";
  programme.events[0].label = "ride";
  programme.events[1].label = "pothole";
  programme.events[0].duration_s = 90.0;
  programme.events[1].distance_km = 0.5;
  const std::vector<EventCount> counts = {
      CountArray({-50, 50, -50, 50, -50}, 1.0, 100.0),
      CountArray({-50, 50, -50, 50, -50}, 2.0, 100.0)};  // B is A scaled by 2
  auto joined = JoinProgramme(programme, counts);
  ASSERT_TRUE(joined.ok()) << joined.error().detail;
  const double ride = 79.0 / Category71Life(95.0);
  const double pothole = 23.0 / Category71Life(195.0);
  EXPECT_DOUBLE_EQ(joined->events[0].damage, ride);
  EXPECT_DOUBLE_EQ(joined->events[1].damage, pothole);
  EXPECT_DOUBLE_EQ(joined->events[0].damage_per_repeat, ride / 40.0);
  EXPECT_EQ(joined->cross_event_damage, 0.0);
  EXPECT_DOUBLE_EQ(joined->total_damage, ride + pothole);
  EXPECT_DOUBLE_EQ(joined->events[1].share, pothole / (ride + pothole));
  EXPECT_DOUBLE_EQ(*joined->life_programmes, 1.0 / (ride + pothole));
  // 40 x 90 s (its Duration) + 12 x 5 samples / 100 Hz; 12 x 0.5 km (the ride has none).
  EXPECT_DOUBLE_EQ(joined->programme_seconds, 3600.6);
  EXPECT_DOUBLE_EQ(*joined->life_hours, *joined->life_programmes * 3600.6 / 3600.0);
  EXPECT_DOUBLE_EQ(*joined->life_km, *joined->life_programmes * 6.0);
  // Repeats of the ride that do the damage of one pothole run, and the other way round.
  EXPECT_DOUBLE_EQ(*joined->equivalence[0][1], (pothole / 12.0) / (ride / 40.0));
  EXPECT_DOUBLE_EQ(*joined->equivalence[1][0], (ride / 40.0) / (pothole / 12.0));
  EXPECT_DOUBLE_EQ(*joined->equivalence[0][0], 1.0);
  // The damage matrix holds the same damage in the cells of the cycles.
  double in_cells = 0.0;
  for (const double d : joined->damage_matrix.counts) in_cells += d;
  EXPECT_NEAR(in_cells, joined->total_damage, 1e-15);
}

TEST(ProgrammeCount, ACycleClosingAcrossEventsIsInTheCrossEventRow) {
  // 0 100 50 | 50 120 0: each alone closes nothing; together 100 -> 50 closes (its outer
  // points 0 and 120 lie beyond it) and leaves 0 120 0, two halves of 120.
  Programme programme = ArrayProgramme({1, 1});
  programme.amplitude = "200";
  programme.partitions = 20;
  auto joined = JoinProgramme(programme, std::vector<EventCount>{CountArray({0, 100, 50}, 1.0),
                                                                 CountArray({50, 120, 0}, 1.0)});
  ASSERT_TRUE(joined.ok()) << joined.error().detail;
  EXPECT_EQ(joined->events[0].cycles, 0.0);
  EXPECT_EQ(joined->events[1].cycles, 0.0);
  EXPECT_EQ(joined->events[0].damage, 0.0);
  EXPECT_EQ(joined->cross_event_cycles, 2.0);
  EXPECT_EQ(joined->histogram.counts[4], 1.0);   // 50 in (40, 50]
  EXPECT_EQ(joined->histogram.counts[11], 1.0);  // two halves of 120 in (110, 120]
  EXPECT_GT(joined->cross_event_damage, 0.0);
  EXPECT_EQ(joined->cross_event_damage, joined->total_damage);
  EXPECT_FALSE(joined->equivalence[0][1].has_value());  // event 1 does no damage
}

TEST(ProgrammeCount, RefusesWhatCantBeJoined) {
  Programme programme = ArrayProgramme({1, 1});
  EventCount a = CountArray({0, 10, 0}, 1.0);
  EventCount b = CountArray({0, 10, 0}, 1.0);
  a.unit = "MPa";
  b.unit = "kN";
  auto joined = JoinProgramme(programme, std::vector<EventCount>{a, b});
  ASSERT_FALSE(joined.ok());
  EXPECT_EQ(joined.error().detail,
            "[Event 2] Node: its unit \"kN\" is not the unit \"MPa\" of [Event 1]");

  b.unit = "MPa";
  programme.amplitude = "full";  // arrays have no full scale
  joined = JoinProgramme(programme, std::vector<EventCount>{a, b});
  ASSERT_FALSE(joined.ok());
  EXPECT_NE(joined.error().detail.find("[Event 1] Node: the record has no full scale"),
            std::string::npos);

  programme.amplitude = "auto";
  joined = JoinProgramme(programme,
                         std::vector<EventCount>{CountArray({3, 3}, 1.0), CountArray({3}, 1.0)});
  ASSERT_FALSE(joined.ok());
  EXPECT_NE(joined.error().detail.find("the programme is constant at 3"), std::string::npos);
}

TEST(ProgrammeCount, AnEventCountCarriedBetweenProcessesComesBackWhole) {
  EventCount count = CountArray(SmallWalk(500, 7), 1.5, 256.0);
  count.unit = "MPa";
  count.full_scale_range = 20.0;
  CountStateWriter out;
  count.SaveState(out);
  const std::string bytes = out.Take();
  EventCount back;
  CountStateReader in(bytes);
  ASSERT_TRUE(back.LoadState(in));
  EXPECT_EQ(back.closed.size(), count.closed.size());
  EXPECT_EQ(back.residue, count.residue);
  EXPECT_EQ(back.repeat.size(), count.repeat.size());
  EXPECT_EQ(back.turning_points, count.turning_points);
  EXPECT_EQ(back.unit, "MPa");
  EXPECT_EQ(back.samples, 500);
  // Cut short anywhere, the bytes are refused rather than read as a smaller count.
  for (size_t cut : {size_t{0}, size_t{10}, bytes.size() / 2, bytes.size() - 1}) {
    EventCount part;
    CountStateReader short_in(std::string_view(bytes).substr(0, cut));
    EXPECT_FALSE(part.LoadState(short_in)) << cut;
  }
}

class ProgrammeRun : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::NodeLayout layout;
    layout.test_name = "track";
    layout.test_code = "1";
    std::filesystem::create_directory(dir_.path() / "rig");
    for (int n = 0; n < 3; ++n) {
      layout.node_name = "n" + std::to_string(n);
      std::vector<double> raw = SmallWalk(3000 + 700 * static_cast<size_t>(n), 40 + n);
      for (double& x : raw) x *= 100.0;
      testing::WriteNode(dir_.path() / "rig", testing::PadToHalfBlocks(raw), layout);
    }
    layout.node_name = "force";
    layout.eu = "kN";
    testing::WriteNode(dir_.path() / "rig", testing::PadToHalfBlocks(SmallWalk(600, 3)), layout);
    programme_.folder = dir_.path();
    programme_.residue = ResidueMethod::kRepeated;
    for (int n = 0; n < 3; ++n) {
      ProgrammeEvent event;
      event.number = 2 * n + 1;
      event.data = "rig";
      event.test = "track";
      event.code = "1";
      event.node = "n" + std::to_string(n);
      event.repeats = 5 + n * 100;
      event.scale = 1.0 + 0.25 * n;
      programme_.events.push_back(event);
    }
  }
  testing::TempDir dir_;
  Programme programme_;
};

TEST_F(ProgrammeRun, CountsTheSameOnEveryNumberOfThreads) {
  SilentProgress progress;
  auto one = RunProgramme(programme_, 1, progress);
  ASSERT_TRUE(one.ok()) << one.error().detail;
  ASSERT_FALSE(one->cancelled);
  // A = the largest full-scale range (float64: 10000 raw both ways) times its scale 1.5.
  EXPECT_EQ(one->histogram.amplitude_range, 2.0 * 10000.0 * 1.5);
  EXPECT_EQ(one->unit, "MPa");
  EXPECT_GT(one->total_damage, 0.0);
  for (const int threads : {2, 3, 0}) {
    auto many = RunProgramme(programme_, threads, progress);
    ASSERT_TRUE(many.ok());
    EXPECT_EQ(many->histogram.counts, one->histogram.counts);
    EXPECT_EQ(many->total_damage, one->total_damage);
    EXPECT_EQ(many->range_mean.counts, one->range_mean.counts);
    EXPECT_EQ(many->events[2].damage, one->events[2].damage);
  }
  // Seconds per repeat from each record's length at 1024 Hz.
  EXPECT_EQ(one->events[0].seconds_per_repeat, 3072.0 / 1024.0);
}

TEST_F(ProgrammeRun, RefusesAMissingNodeAndAnotherUnitBeforeCounting) {
  SilentProgress progress;
  Programme missing = programme_;
  missing.events[1].node = "nowhere";
  auto run = RunProgramme(missing, 1, progress);
  ASSERT_FALSE(run.ok());
  EXPECT_EQ(run.error().detail.rfind("[Event 3] Node: ", 0), 0u) << run.error().detail;

  Programme other_unit = programme_;
  other_unit.events[2].node = "force";
  run = RunProgramme(other_unit, 2, progress);
  ASSERT_FALSE(run.ok());
  EXPECT_EQ(run.error().detail,
            "[Event 5] Node: its unit \"kN\" is not the unit \"MPa\" of [Event 1]");
  EXPECT_EQ(progress.position(), 0);  // nothing was counted
}

TEST_F(ProgrammeRun, ACancelStopsTheCountWithNothingJoined) {
  SilentProgress progress(1);
  auto run = RunProgramme(programme_, 2, progress);
  ASSERT_TRUE(run.ok());
  EXPECT_TRUE(run->cancelled);
  EXPECT_TRUE(run->events.empty());
}

}  // namespace
}  // namespace torvwy::core
