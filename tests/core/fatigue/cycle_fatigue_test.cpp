// What the life estimate makes of the cycle list: mean-stress corrections, damage-equivalent
// loads, the range-mean matrix, the damage through the record, and a node's cycle list.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/fatigue/damage_history.h"
#include "core/fatigue/equivalent_load.h"
#include "core/fatigue/fatigue_estimate.h"
#include "core/fatigue/mean_correction.h"
#include "core/fatigue/range_mean_matrix.h"
#include "core/rainflow/node_cycles.h"
#include "core/run/counting_run.h"
#include "core/services/message_table.h"
#include "support/count_record.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

RainflowCycle Cycle(double range, double mean, double count = 1.0, int64_t end = 0) {
  return {range, mean, count, end > 0 ? end - 1 : 0, end};
}

/// One slope 3 through 100 at 1e6 cycles: N = 1e12 / S^3, easy to work by hand.
SnCurve CubeCurve() {
  auto curve =
      ParseSnCurveText("[Curve]\nReferenceRange=100\nReferenceCycles=1e6\nSlope=3\n", "cube");
  EXPECT_TRUE(curve.ok());
  return *curve;
}

RainflowResult Histogram(int32_t n, double a, std::span<const RainflowCycle> cycles) {
  RainflowResult result;
  result.partitions = n;
  result.amplitude_range = a;
  result.partition_width = a / n;
  result.smallest_range = a / 1000.0;
  for (const RainflowCycle& c : cycles) {
    // Partition (j w, (j + 1) w], by a linear scan over the edges.
    int32_t j = 0;
    while (j < n - 1 && c.range > (j + 1) * result.partition_width) ++j;
    result.counts[static_cast<size_t>(j)] += c.count;
  }
  return result;
}

TEST(MeanCorrectionTest, SingleCyclesByHand) {
  // Range 100 (Sa = 50), Su = 500; by hand:
  //   Goodman  mean 50:  50 / (1 - 0.1) = 55.5556           -> 111.111
  //   Gerber   mean 50:  50 / (1 - 0.01) = 50.5051          -> 101.010
  //   SWT      mean 50:  sqrt(100 x 50) = 70.7107           -> 141.421
  //   Walker 0.3, mean 50: 100^0.7 x 50^0.3 = 81.2252        -> 162.450
  struct Case {
    MeanCorrectionKind kind;
    double gamma, mean, expected;
  };
  const Case cases[] = {
      {MeanCorrectionKind::kGoodman, 0.5, 50.0, 111.11111111111111},
      {MeanCorrectionKind::kGerber, 0.5, 50.0, 101.01010101010101},
      {MeanCorrectionKind::kSwt, 0.5, 50.0, 141.42135623730951},
      {MeanCorrectionKind::kWalker, 0.3, 50.0, 162.45047927124710},
      {MeanCorrectionKind::kWalker, 0.5, 50.0, 141.42135623730951},  // = SWT
      {MeanCorrectionKind::kWalker, 1.0, 50.0, 100.0},               // no mean effect
      // A zero mean changes nothing.
      {MeanCorrectionKind::kGoodman, 0.5, 0.0, 100.0},
      {MeanCorrectionKind::kGerber, 0.5, 0.0, 100.0},
      {MeanCorrectionKind::kSwt, 0.5, 0.0, 100.0},
      {MeanCorrectionKind::kWalker, 0.3, 0.0, 100.0},
      // A compressive mean earns no credit from Goodman and Gerber; a cycle that never pulls
      // does no damage by SWT and Walker.
      {MeanCorrectionKind::kGoodman, 0.5, -200.0, 100.0},
      {MeanCorrectionKind::kGerber, 0.5, -200.0, 100.0},
      {MeanCorrectionKind::kSwt, 0.5, -60.0, 0.0},
      {MeanCorrectionKind::kWalker, 0.3, -50.0, 0.0},
  };
  for (const Case& c : cases) {
    const MeanCorrection correction{c.kind, 500.0, c.gamma};
    auto range = EquivalentRange(correction, 100.0, c.mean);
    ASSERT_TRUE(range.ok()) << MeanCorrectionName(c.kind) << " " << range.error().detail;
    EXPECT_NEAR(*range, c.expected, 1e-9 * c.expected + 1e-12)
        << MeanCorrectionName(c.kind) << " mean " << c.mean;
  }
  // A tensile mean does more damage than none on any curve.
  for (auto kind : {MeanCorrectionKind::kGoodman, MeanCorrectionKind::kGerber,
                    MeanCorrectionKind::kSwt, MeanCorrectionKind::kWalker}) {
    EXPECT_GT(*EquivalentRange({kind, 500.0, 0.4}, 100.0, 20.0), 100.0);
  }
}

TEST(MeanCorrectionTest, ImpossibleCyclesAndSettingsAreRefused) {
  // A maximum of 450 + 60 beyond an ultimate of 500 would have broken the part.
  for (auto kind : {MeanCorrectionKind::kGoodman, MeanCorrectionKind::kGerber,
                    MeanCorrectionKind::kSwt, MeanCorrectionKind::kWalker}) {
    auto range = EquivalentRange({kind, 500.0, 0.5}, 120.0, 450.0);
    ASSERT_FALSE(range.ok());
    EXPECT_NE(range.error().detail.find("exceeds the ultimate strength 500"), std::string::npos);
  }
  // Goodman at a mean at the ultimate, with a range: never a division by zero.
  EXPECT_FALSE(EquivalentRange({MeanCorrectionKind::kGoodman, 500.0, 0.5}, 1.0, 500.0).ok());
  const MeanCorrection bad[] = {
      {MeanCorrectionKind::kGoodman, 0.0, 0.5},  {MeanCorrectionKind::kGerber, -1.0, 0.5},
      {MeanCorrectionKind::kGoodman, NAN, 0.5},  {MeanCorrectionKind::kSwt, -5.0, 0.5},
      {MeanCorrectionKind::kWalker, 500.0, 0.0}, {MeanCorrectionKind::kWalker, 500.0, 1.5},
      {MeanCorrectionKind::kWalker, 500.0, NAN},
  };
  for (const MeanCorrection& c : bad) {
    EXPECT_FALSE(CheckMeanCorrection(c).ok()) << MeanCorrectionName(c.kind);
    EXPECT_FALSE(EquivalentRange(c, 10.0, 1.0).ok()) << MeanCorrectionName(c.kind);
  }
  EXPECT_TRUE(CheckMeanCorrection({MeanCorrectionKind::kSwt, 0.0, 0.5}).ok());
  EXPECT_EQ(*ParseMeanCorrectionName("gerber"), MeanCorrectionKind::kGerber);
  EXPECT_FALSE(ParseMeanCorrectionName("Goodmann").ok());
}

TEST(EquivalentLoadTest, AstmExampleAndConstantAmplitude) {
  // The cycles of ASTM E1049-85 Fig. 6 (-2 1 -3 5 -1 3 -4 4 -2): one closed cycle of range 4,
  // halves of 3 4 8 9 8 6. By hand, sum n S^3 = 64 + (27 + 64 + 512 + 729 + 512 + 216) / 2
  // = 1094 and sum n S^5 = 1024 + (243 + 1024 + 32768 + 59049 + 32768 + 7776) / 2 = 67838.
  const std::vector<RainflowCycle> astm = {Cycle(4, 1),      Cycle(3, -0.5, 0.5), Cycle(4, -1, 0.5),
                                           Cycle(8, 1, 0.5), Cycle(9, 0.5, 0.5),  Cycle(8, 0, 0.5),
                                           Cycle(6, 1, 0.5)};
  EXPECT_NEAR(*DamageEquivalentLoad(astm, 3.0, 1.0), std::cbrt(1094.0), 1e-12);
  EXPECT_NEAR(*DamageEquivalentLoad(astm, 3.0, 4.0), std::cbrt(1094.0 / 4.0), 1e-12);
  EXPECT_NEAR(*DamageEquivalentLoad(astm, 5.0, 4.0), std::pow(67838.0 / 4.0, 0.2), 1e-12);
  auto loads = DamageEquivalentLoads(astm, std::vector<double>{3.0, 5.0}, 1.0);
  ASSERT_TRUE(loads.ok());
  ASSERT_EQ(loads->size(), 2u);
  EXPECT_EQ((*loads)[1].m, 5.0);
  EXPECT_NEAR((*loads)[1].load, std::pow(67838.0, 0.2), 1e-12);

  // A sine from its top, ten periods of 20 samples: nine closed cycles and two halves, all of
  // range 20: with N_eq = 10 its DEL is its range for every exponent.
  std::vector<double> sine;
  for (int i = 0; i <= 200; ++i) sine.push_back(10.0 * std::cos(2.0 * M_PI * (i % 20) / 20.0));
  RainflowCycleExtractor extractor;
  extractor.Feed(sine);
  const std::vector<RainflowCycle> cycles = extractor.Finish();
  for (double m : {1.0, 3.0, 5.0, 10.0, 400.0}) {
    EXPECT_NEAR(*DamageEquivalentLoad(cycles, m, 10.0), 20.0, 1e-9) << m;
  }
  // Large exponents and loads don't overflow.
  const std::vector<RainflowCycle> big = {Cycle(1e200, 0), Cycle(5e199, 0)};
  EXPECT_NEAR(*DamageEquivalentLoad(big, 50.0, 1.0) / 1e200, 1.0, 1e-12);
  EXPECT_EQ(*DamageEquivalentLoad({}, 3.0, 5.0), 0.0);
  for (double m : {0.0, -3.0, double(NAN), double(INFINITY)})
    EXPECT_FALSE(DamageEquivalentLoad(astm, m, 1).ok());
  for (double n : {0.0, -1.0, double(NAN)}) EXPECT_FALSE(DamageEquivalentLoad(astm, 3.0, n).ok());
  EXPECT_EQ(*DefaultEquivalentCycles(600.0), 600.0);
  EXPECT_EQ(*DefaultEquivalentCycles(600.0, 0.5), 300.0);
  EXPECT_FALSE(DefaultEquivalentCycles(0.0).ok());
  EXPECT_FALSE(DefaultEquivalentCycles(600.0, -1.0).ok());
}

TEST(EquivalentLoadTest, NoLoadComesOutInfinite) {
  // ASTM's cycles: sum n S^3 = 1094 (above). Each row would otherwise give inf (the load's
  // power 1 / m, or the quotient sum / N_eq, overflows) or divide by a subnormal number.
  const std::vector<RainflowCycle> astm = {Cycle(4, 1),      Cycle(3, -0.5, 0.5), Cycle(4, -1, 0.5),
                                           Cycle(8, 1, 0.5), Cycle(9, 0.5, 0.5),  Cycle(8, 0, 0.5),
                                           Cycle(6, 1, 0.5)};
  const double tiny = std::numeric_limits<double>::denorm_min();
  struct Case {
    double m, n_eq;
    const char* detail;
  };
  for (const Case& c : {
           Case{tiny, 1.0,
                "the Woehler exponent m = 5e-324 is too small: below 2.2250738585072014e-308"},
           Case{3.0, tiny,
                "the equivalent cycle count 5e-324 is too small: below 2.2250738585072014e-308"},
           // m normal, but (sum / 1)^(1 / 1e-300) = 1094^(1e300) is beyond any double.
           Case{1e-300, 1.0,
                "the damage-equivalent load of m = 1e-300 and N_eq = 1 is not a finite number: m "
                "or N_eq is too small for these cycles"},
       }) {
    auto load = DamageEquivalentLoad(astm, c.m, c.n_eq);
    ASSERT_FALSE(load.ok()) << c.detail;
    EXPECT_EQ(load.error().message, kMsgBadValue);
    EXPECT_NE(load.error().detail.find(c.detail), std::string::npos) << load.error().detail;
  }
  // 1e10 cycles of range 5 over N_eq = 1e-300: the quotient 1e310 is beyond the doubles, its
  // cube root is not: DEL = 5 x 10^(310 / 3).
  const std::vector<RainflowCycle> many = {Cycle(5, 0, 1e10)};
  auto beyond = DamageEquivalentLoad(many, 3.0, 1e-300);
  ASSERT_TRUE(beyond.ok()) << beyond.error().detail;
  EXPECT_NEAR(*beyond / (5.0 * std::pow(10.0, 310.0 / 3.0)), 1.0, 1e-12);
  // The smallest m taken, DBL_MIN, still gives a load where it is finite: cycles of one range S
  // with N_eq = sum n give (sum n S^m / N_eq)^(1/m) = S for every m.
  const std::vector<RainflowCycle> even = {Cycle(5, 0), Cycle(5, 1)};
  auto edge = DamageEquivalentLoad(even, std::numeric_limits<double>::min(), 2.0);
  ASSERT_TRUE(edge.ok()) << edge.error().detail;
  EXPECT_DOUBLE_EQ(*edge, 5.0);

  EXPECT_EQ(CheckEquivalentLoadFrequency(tiny).error().detail,
            "the equivalent-load frequency 5e-324 Hz is too small: below "
            "2.2250738585072014e-308");
  // 600 s at 1e-306 Hz: N_eq = 6e-304, a normal count; at 1e-310 Hz the frequency is refused.
  EXPECT_TRUE(DefaultEquivalentCycles(600.0, 1e-306).ok());
  EXPECT_FALSE(DefaultEquivalentCycles(600.0, 1e-310).ok());
  // A product that overflows is refused too.
  EXPECT_FALSE(DefaultEquivalentCycles(1e300, 1e300).ok());
}

/// 1000 cycles of range 180 (mean `big_mean`) and 10000 of range 60 (mean 0), on partitions of
/// width 120 whose centres are these ranges.
std::vector<RainflowCycle> TwoLevels(double big_mean) {
  std::vector<RainflowCycle> cycles;
  for (int i = 0; i < 1000; ++i) cycles.push_back(Cycle(180.0, big_mean, 1.0, 2 * i + 2));
  for (int i = 0; i < 10000; ++i) cycles.push_back(Cycle(60.0, 0.0, 1.0, 2000 + 2 * i + 2));
  return cycles;
}

TEST(FatigueChoiceTest, TwoLevelBlockLoadByHand) {
  const std::vector<RainflowCycle> cycles = TwoLevels(0.0);
  const RainflowResult histogram = Histogram(2, 240.0, cycles);
  // By hand on N = 1e12 / S^3: 1000 x 180^3 / 1e12 + 10000 x 60^3 / 1e12
  // = 0.005832 + 0.00216 = 0.007992.
  FatigueChoice choice;
  choice.curve = CubeCurve();
  auto plain = EstimateDamage(choice, histogram);
  ASSERT_TRUE(plain.ok()) << plain.error().detail;
  EXPECT_NEAR(plain->total_damage, 0.007992, 1e-15);
  EXPECT_EQ(plain->reliability, 0.0);
  EXPECT_EQ(plain->curve.name, "cube");
  // Goodman with no mean changes nothing; the cycles are at the partition centres.
  choice.correction = {MeanCorrectionKind::kGoodman, 450.0, 0.5};
  auto unchanged = EstimateDamage(choice, histogram, cycles);
  ASSERT_TRUE(unchanged.ok()) << unchanged.error().detail;
  EXPECT_NEAR(unchanged->total_damage, 0.007992, 1e-15);
  // A mean of 90 under Su = 450: Sa' = 90 / 0.8 = 112.5, range 225: 1000 x 225^3 / 1e12
  // = 0.011390625, plus 0.00216. The partitions widen to hold 225: w = 112.5.
  const std::vector<RainflowCycle> pulled = TwoLevels(90.0);
  auto corrected = EstimateDamage(choice, Histogram(2, 240.0, pulled), pulled);
  ASSERT_TRUE(corrected.ok()) << corrected.error().detail;
  EXPECT_NEAR(corrected->total_damage, 0.013550625, 1e-15);
  EXPECT_EQ(corrected->partition_width, 120.0);  // 225 fits under A = 240
  EXPECT_EQ(corrected->correction.kind, MeanCorrectionKind::kGoodman);
  EXPECT_EQ(corrected->total_cycles, 11000.0);
  // A tighter Su: 90 / 270 = 1/3, Sa' = 90 / (2/3) = 135, range 270 > A: the partitions
  // widen to 270 / 2 = 135.
  choice.correction.ultimate = 270.0;
  auto wider = EstimateDamage(choice, Histogram(2, 240.0, pulled), pulled);
  ASSERT_TRUE(wider.ok()) << wider.error().detail;
  EXPECT_NEAR(wider->partition_width, 135.0, 1e-12);
  EXPECT_NEAR(wider->total_damage, 1000 * 270.0 * 270.0 * 270.0 / 1e12 + 0.00216, 1e-15);
  EXPECT_EQ(wider->counts, (std::vector<double>{10000.0, 1000.0}));

  // Refusals: a correction needs the cycles, the counted ones, and the actual method.
  EXPECT_FALSE(EstimateDamage(choice, histogram).ok());
  EXPECT_FALSE(EstimateDamage(choice, histogram, std::span(cycles).first(5)).ok());
  choice.method = FatigueMethod::kFitting;
  EXPECT_FALSE(EstimateDamage(choice, histogram, cycles).ok());
  choice.method = FatigueMethod::kActual;
  choice.correction.ultimate = 150.0;  // below the big cycles' maximum 90 + 90
  auto broken = EstimateDamage(choice, Histogram(2, 240.0, pulled), pulled);
  ASSERT_FALSE(broken.ok());
  EXPECT_NE(broken.error().detail.find("exceeds the ultimate"), std::string::npos);
}

TEST(FatigueChoiceTest, WeldClassChoiceIsTheEstimateOfBefore) {
  const std::vector<RainflowCycle> cycles = TwoLevels(0.0);
  const RainflowResult histogram = Histogram(2, 240.0, cycles);
  for (auto method : {FatigueMethod::kActual, FatigueMethod::kFitting}) {
    FatigueChoice choice;
    choice.method = method;
    choice.curve = *WeldClassCurve(5, 2);
    auto before = EstimateDamage(method, histogram, 5, 2);
    auto now = EstimateDamage(choice, histogram);
    ASSERT_EQ(before.ok(), now.ok());
    if (!before.ok()) continue;
    EXPECT_EQ(now->total_damage, before->total_damage);
    EXPECT_EQ(now->life, before->life);
    EXPECT_EQ(now->reliability, before->reliability);
    EXPECT_EQ(now->class_index, 5);
  }
}

TEST(FatigueChoiceTest, CurveBelowItsCutOffDoesNoDamage) {
  // Category 36: cut-off at 36 x 0.7368 x 0.5493 = 14.57. Centres 5 and 15: the first does none.
  const std::vector<RainflowCycle> cycles = {Cycle(5.0, 0), Cycle(15.0, 0), Cycle(15.0, 0)};
  FatigueChoice choice;
  choice.curve = *DetailCategoryCurve(36);
  auto estimate = EstimateDamage(choice, Histogram(2, 20.0, cycles));
  ASSERT_TRUE(estimate.ok()) << estimate.error().detail;
  EXPECT_EQ(estimate->life[0], INFINITY);
  EXPECT_EQ(estimate->damage[0], 0.0);
  EXPECT_GT(estimate->damage[1], 0.0);
  EXPECT_EQ(estimate->total_damage, estimate->damage[1]);
}

TEST(DamageHistoryTest, CumulatesInTheOrderOfTheEndsAndEndsAtTheTotal) {
  // Closed cycles listed out of time order, a cycle the histogram leaves out (above A), and
  // two residue halves.
  const std::vector<RainflowCycle> cycles = {Cycle(180.0, 0.0, 1.0, 40), Cycle(60.0, 0.0, 1.0, 10),
                                             Cycle(300.0, 0.0, 1.0, 20), Cycle(60.0, 0.0, 1.0, 30),
                                             Cycle(180.0, 0.0, 0.5, 45), Cycle(60.0, 0.0, 0.5, 50)};
  const RainflowResult histogram = Histogram(2, 240.0, cycles);
  // The histogram helper puts 300 into the last partition; the counter drops it.
  RainflowResult counted = histogram;
  counted.counts[1] -= 1.0;
  FatigueChoice choice;
  choice.curve = CubeCurve();
  auto estimate = EstimateDamage(choice, counted);
  ASSERT_TRUE(estimate.ok());
  auto steps = DamageHistory(choice, counted, *estimate, cycles, {0, 50, 10.0});
  ASSERT_TRUE(steps.ok()) << steps.error().detail;
  ASSERT_EQ(steps->size(), 5u);
  const int64_t samples[] = {10, 20, 30, 40, 50};
  const double small = 60.0 * 60.0 * 60.0 / 1e12, large = 180.0 * 180.0 * 180.0 / 1e12;
  const double damages[] = {small, 0.0, small, large, 0.5 * large + 0.5 * small};
  double cumulative = 0.0;
  for (size_t i = 0; i < steps->size(); ++i) {
    const DamageStep& step = (*steps)[i];
    EXPECT_EQ(step.sample, samples[i]) << i;
    EXPECT_EQ(step.seconds, samples[i] / 10.0) << i;
    EXPECT_NEAR(step.damage, damages[i], 1e-18) << i;
    cumulative += damages[i];
    EXPECT_NEAR(step.cumulative, cumulative, 1e-17) << i;
    EXPECT_EQ(step.residue, i == 4) << i;
  }
  EXPECT_EQ((*steps)[4].count, 1.0);
  EXPECT_NEAR(steps->back().cumulative, estimate->total_damage, 1e-17);
  // Not of a fitted estimate; not without a frequency.
  FatigueResult fitted = *estimate;
  fitted.method = FatigueMethod::kFitting;
  EXPECT_FALSE(DamageHistory(choice, counted, fitted, cycles, {0, 50, 10.0}).ok());
  EXPECT_FALSE(DamageHistory(choice, counted, *estimate, cycles, {0, 50, 0.0}).ok());
}

TEST(RangeMeanMatrixTest, MeanBinsByHand) {
  const std::vector<RainflowCycle> cycles = {Cycle(1.0, -1.0), Cycle(1.0, 0.0), Cycle(3.0, 1.0),
                                             Cycle(3.5, 0.5, 0.5), Cycle(9.0, 0.0)};
  const RainflowResult histogram = Histogram(2, 4.0, cycles);  // 9 lies above A: not counted
  auto matrix = MakeRangeMeanMatrix(cycles, histogram, 0, 2);
  ASSERT_TRUE(matrix.ok()) << matrix.error().detail;
  EXPECT_EQ(matrix->range_bins, 2);
  EXPECT_EQ(matrix->mean_low, -1.0);
  EXPECT_EQ(matrix->mean_width, 1.0);
  // Means -1 and 0 fall in (-1, 0] (closed below at -1), 0.5 and 1 in (0, 1].
  EXPECT_EQ(matrix->counts, (std::vector<double>{2.0, 0.0, 0.0, 1.5}));
  EXPECT_EQ(matrix->total_cycles, 3.5);
  EXPECT_EQ(matrix->LargestCount(), 2.0);
  // One mean value: everything in the first bin.
  auto flat = MakeRangeMeanMatrix(std::vector<RainflowCycle>{Cycle(1.0, 2.0), Cycle(3.0, 2.0)},
                                  histogram, 4, 3);
  ASSERT_TRUE(flat.ok());
  EXPECT_EQ(flat->counts, (std::vector<double>{1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}));
  auto none = MakeRangeMeanMatrix({}, histogram, 0, 10);
  ASSERT_TRUE(none.ok());
  EXPECT_EQ(none->total_cycles, 0.0);
  for (auto [r, m] : {std::pair{0, 0}, {2001, 10}, {-1, 10}, {10, 2001}}) {
    EXPECT_FALSE(MakeRangeMeanMatrix(cycles, histogram, r, m).ok()) << r << "," << m;
  }
}

TEST(NodeCyclesTest, TheMatrixOfANodesCyclesIsItsHistogramByMean) {
  testing::TempDir dir;
  std::mt19937 random(17);
  std::uniform_real_distribution<double> step(-1.0, 1.0);
  std::vector<double> walk(8192);
  double x = 0.0;
  for (double& v : walk) v = x += step(random);
  testing::WriteNode(dir.path(), walk, {.test_name = "w", .test_code = "1", .node_name = "n"});
  auto node = OpenCountingNode(dir.path(), "w", "1", "n");
  ASSERT_TRUE(node.ok());
  CountingParameters p;
  p.partitions = 25;
  p.range_mode = kRangeByBlock;
  p.first_block = 3;
  p.last_block = 7;
  SilentProgress progress;
  auto file = testing::CountNode(CountingKind::kRainflow, *node, p, progress);
  ASSERT_TRUE(file.ok()) << file.error().detail;
  const RainflowResult& histogram = std::get<RainflowResultFile>(*file).result;
  auto list = ExtractNodeCycles(*node, 3, 7, progress);
  ASSERT_TRUE(list.ok()) << list.error().detail;
  EXPECT_EQ(list->first_sample, 2 * 1024);
  EXPECT_EQ(list->samples, 5 * 1024);
  // The cycles are the extractor's over the same samples, at the record's indices.
  RainflowCycleExtractor extractor;
  extractor.Feed(std::span(walk).subspan(2048, 5 * 1024));
  const std::vector<RainflowCycle> expected = extractor.Finish();
  ASSERT_EQ(list->cycles.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(list->cycles[i].range, expected[i].range);
    EXPECT_EQ(list->cycles[i].end, expected[i].end + 2048);
  }
  double histogram_cycles = 0.0;
  for (int j = 0; j < 25; ++j) histogram_cycles += histogram.counts[static_cast<size_t>(j)];
  for (int32_t mean_bins : {1, 7, 10}) {
    auto matrix = MakeRangeMeanMatrix(list->cycles, histogram, 0, mean_bins);
    ASSERT_TRUE(matrix.ok());
    EXPECT_EQ(matrix->total_cycles, histogram_cycles);
    const std::vector<double> rows = matrix->RangeCounts();
    for (int j = 0; j < 25; ++j) {
      EXPECT_EQ(rows[static_cast<size_t>(j)], histogram.counts[static_cast<size_t>(j)]) << j;
    }
  }
  auto coarse = MakeRangeMeanMatrix(list->cycles, histogram, 6, 4);
  ASSERT_TRUE(coarse.ok());
  EXPECT_EQ(coarse->total_cycles, histogram_cycles);
  // A cancel stops the pass and says so.
  SilentProgress cancelling(2);
  auto cancelled = ExtractNodeCycles(*node, 3, 7, cancelling);
  ASSERT_TRUE(cancelled.ok());
  EXPECT_TRUE(cancelled->cancelled);
  EXPECT_FALSE(ExtractNodeCycles(*node, 7, 99, progress).ok());
}

}  // namespace
}  // namespace torvwy::core
