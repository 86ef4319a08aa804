// The conventions a rainflow count can be asked for: the residue methods, worked by hand on the
// standard's example and checked against the record written out again and again, and the gate,
// whose rule (every cycle of range G or more stays) is checked on random loads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <span>
#include <tuple>
#include <vector>

#include "core/counting/hysteresis_gate.h"
#include "core/rainflow/rainflow_counter.h"
#include "core/rainflow/rainflow_cycles.h"

namespace torvwy::core {
namespace {

const std::vector<double> kAstm = {-2, 1, -3, 5, -1, 3, -4, 4, -2};

/// Counts `samples` (raw, x scale = EU) into N = 12 partitions of [0, 12], so that a whole
/// range r falls in partition r - 1.
std::vector<double> Counts(const std::vector<double>& samples, ResidueMethod residue,
                           double scale = 1.0) {
  RainflowSetup setup;
  setup.partitions = 12;
  setup.amplitude_range = 12.0;
  setup.smallest_range = 0.001;
  setup.scale = scale;
  setup.residue = residue;
  setup.residue_memory_points = 8;  // the residue spills: the repeat reads it back
  RainflowCounter counter(setup);
  EXPECT_TRUE(counter.Feed(samples).ok());
  auto result = counter.Finish();
  EXPECT_TRUE(result.ok());
  return std::vector<double>(result->counts.begin(), result->counts.begin() + 12);
}

/// The counts by whole range, from r = 1.
std::vector<double> ByRange(std::map<int, double> cycles) {
  std::vector<double> counts(12, 0.0);
  for (const auto& [range, count] : cycles) counts[static_cast<size_t>(range - 1)] = count;
  return counts;
}

/// The extractor's cycles binned as the counter bins them.
std::vector<double> Binned(const std::vector<RainflowCycle>& cycles) {
  std::vector<double> counts(12, 0.0);
  for (const RainflowCycle& c : cycles) {
    if (c.range > 0.0) counts[static_cast<size_t>(std::ceil(c.range) - 1)] += c.count;
  }
  return counts;
}

std::vector<RainflowCycle> Listed(const std::vector<double>& samples, ResidueMethod residue,
                                  double gate = 0.0) {
  RainflowCycleExtractor extractor(residue, gate);
  extractor.Feed(samples);
  return extractor.Finish();
}

TEST(ResidueMethods, TheStandardsExampleWorkedByHand) {
  // Turning points -2 1 -3 5 -1 3 -4 4 -2. The four-point rule closes only -1..3 (range 4,
  // inside 5..-1 = 6 and 3..-4 = 7); the residue is -2 1 -3 5 -4 4 -2, whose steps are the
  // ranges 3 4 8 9 8 6.
  EXPECT_EQ(Counts(kAstm, ResidueMethod::kHalf),
            ByRange({{3, 0.5}, {4, 1.5}, {6, 0.5}, {8, 1.0}, {9, 0.5}}));
  EXPECT_EQ(Counts(kAstm, ResidueMethod::kFull),
            ByRange({{3, 1.0}, {4, 2.0}, {6, 1.0}, {8, 2.0}, {9, 1.0}}));
  EXPECT_EQ(Counts(kAstm, ResidueMethod::kDiscard), ByRange({{4, 1.0}}));
  // Repeated: the residue followed by itself, -2 1 -3 5 -4 4 -2 | 1 -3 5 -4 4 -2 (the seam's -2
  // is one turning point). On the stack -2 1 -3 5 -4 4: the second 1 makes no closing;
  // -3 closes -2..1 (3 inside 6 and 4); 5 closes 4..-3 (7 inside 8 and 8), leaving
  // -2 1 -3 5 -4 5; -4 closes 5..-4 (9 inside 9 and 9), leaving -2 1 -3 5 -4; then 4 and -2
  // close nothing and the residue is the same again. The block of the repeating load counts
  // the record's 4 and these: 3, 4, 7, 9. (Starting the history at its largest peak, 5 -1 3 -4
  // 4 -2 1 -3 5, gives the same four cycles.)
  EXPECT_EQ(Counts(kAstm, ResidueMethod::kRepeated),
            ByRange({{3, 1.0}, {4, 1.0}, {7, 1.0}, {9, 1.0}}));
  // The cycle list counts the same, and names where each cycle starts and ends.
  for (ResidueMethod method : {ResidueMethod::kHalf, ResidueMethod::kFull, ResidueMethod::kDiscard,
                               ResidueMethod::kRepeated}) {
    EXPECT_EQ(Binned(Listed(kAstm, method)), Counts(kAstm, method)) << ResidueMethodName(method);
  }
  const std::vector<RainflowCycle> repeated = Listed(kAstm, ResidueMethod::kRepeated);
  ASSERT_EQ(repeated.size(), 4u);
  EXPECT_EQ(repeated[0].from, -1.0);  // the record's own cycle, -1 to 3
  EXPECT_EQ(repeated[0].to, 3.0);
  EXPECT_EQ(repeated[1].from, -2.0);  // the record's last -2 to the next repeat's 1
  EXPECT_EQ(repeated[1].to, 1.0);
  // Sample indices of the record: the seam's flat -2 -2 is one turning point at its last
  // sample, the repeat's first.
  EXPECT_EQ(repeated[1].start, 0);
  EXPECT_EQ(repeated[1].end, 1);
  EXPECT_EQ(repeated[3].range, 9.0);
  EXPECT_EQ(repeated[3].count, 1.0);
}

TEST(ResidueMethods, RepeatedIsWhatEachFurtherRepeatOfTheRecordAdds) {
  // The record written out n times counts the record once (its residue as half cycles) and
  // n - 1 repeats, each of which adds exactly the repeated count.
  std::mt19937 random(44);
  std::uniform_int_distribution<int> value(-5, 5);
  for (int trial = 0; trial < 400; ++trial) {
    std::vector<double> record(static_cast<size_t>(1 + trial % 40));
    for (double& x : record) x = value(random);
    const double scale = trial % 3 == 0 ? -1.0 : 1.0;  // a turned-over calibration
    const std::vector<double> once = Counts(record, ResidueMethod::kHalf, scale);
    const std::vector<double> repeat = Counts(record, ResidueMethod::kRepeated, scale);
    for (int n : {2, 3, 10}) {
      std::vector<double> written;
      for (int k = 0; k < n; ++k) written.insert(written.end(), record.begin(), record.end());
      std::vector<double> expected = once;
      for (size_t j = 0; j < expected.size(); ++j) expected[j] += (n - 1) * repeat[j];
      ASSERT_EQ(Counts(written, ResidueMethod::kHalf, scale), expected)
          << "trial " << trial << ", written out " << n << " times";
    }
    EXPECT_EQ(Binned(Listed(record, ResidueMethod::kRepeated)),
              Counts(record, ResidueMethod::kRepeated))
        << "trial " << trial;
  }
}

TEST(HysteresisGate, PassesTheReversalsOfTheGateOrMore) {
  // G = 1: the wobble 5 -> 4.5 -> 5.2 and -3 -> -2.8 -> -3.1 is gone; each extreme passes at
  // its own sample once the load has come back 1 or more; the last candidate passes at the end.
  const std::vector<double> load = {0, 5, 4.5, 5.2, -3, -2.8, -3.1, 4, 3.5};
  HysteresisGate gate(1.0, 1.0);
  std::vector<std::pair<double, int64_t>> passed;
  gate.Feed(load, [&](const HysteresisGate::Point& p) { passed.emplace_back(p.raw, p.index); });
  ASSERT_TRUE(gate.Waiting().has_value());
  passed.emplace_back(gate.Waiting()->raw, gate.Waiting()->index);
  const std::vector<std::pair<double, int64_t>> expected = {{0, 0}, {5.2, 3}, {-3.1, 6}, {4, 7}};
  EXPECT_EQ(passed, expected);

  // A reversal of exactly G passes; one just below it does not. The scale makes EU of raw.
  for (const auto& [back, passes] : {std::pair{2.0, true}, std::pair{1.9375, false}}) {
    HysteresisGate exact(1.0, 0.5);  // G = 1 EU = 2 raw
    int count = 0;
    exact.Feed(std::vector<double>{0, 6, 6 - back}, [&](const auto&) { ++count; });
    EXPECT_EQ(count, passes ? 2 : 1) << back;  // 0, and 6 when the load came back 2 raw
  }
  // A flat top waits at its last sample; while no direction is known nothing but the first
  // sample passes, and a load that never moves G has nothing waiting.
  HysteresisGate flat(1.0, 1.0);
  std::vector<int64_t> at;
  flat.Feed(std::vector<double>{0, 3, 3, 3, 1}, [&](const auto& p) { at.push_back(p.index); });
  EXPECT_EQ(at, (std::vector<int64_t>{0, 3}));
  HysteresisGate still(1.0, 1.0);
  still.Feed(std::vector<double>{0, 0.5, -0.4, 0.2}, [](const auto&) {});
  EXPECT_FALSE(still.Waiting().has_value());
  // The first excursion smaller than G, followed by a fall of G or more from its top: the top
  // is a turning point, the first sample is kept.
  HysteresisGate start(1.0, 1.0);
  std::vector<double> values;
  start.Feed(std::vector<double>{0, 0.9, -0.5, 2}, [&](const auto& p) { values.push_back(p.raw); });
  EXPECT_EQ(values, (std::vector<double>{0, 0.9, -0.5}));
}

TEST(HysteresisGate, EveryRainflowCycleOfTheGateOrMoreStays) {
  // The rule the guide states: with the gate G, every rainflow cycle of range G or more, closed
  // or half, is the cycle it is without the gate (same range, same turning points); only
  // cycles smaller than G go.
  std::mt19937 random(50);
  std::uniform_int_distribution<int> value(-6, 6);
  std::uniform_int_distribution<int> length(1, 60);
  std::uniform_int_distribution<int> gates(1, 7);
  for (int trial = 0; trial < 3000; ++trial) {
    std::vector<double> load(static_cast<size_t>(length(random)));
    for (double& x : load) x = value(random) * 0.25;
    const double gate = gates(random) * 0.25;
    const auto big = [&](const std::vector<RainflowCycle>& cycles) {
      std::multiset<std::tuple<double, double, double, double>> kept;
      for (const RainflowCycle& c : cycles) {
        if (c.range >= gate) kept.insert({c.count, c.range, c.from, c.to});
      }
      return kept;
    };
    const std::vector<RainflowCycle> gated = Listed(load, ResidueMethod::kHalf, gate);
    ASSERT_EQ(big(gated), big(Listed(load, ResidueMethod::kHalf))) << "trial " << trial;
  }
}

}  // namespace
}  // namespace torvwy::core
