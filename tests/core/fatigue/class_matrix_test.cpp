// The from-to matrix of rainflow cycles and the transition matrix of reversals, in classes of
// [-A, A]: the standard's example placed by hand, and the sums that tie them to the histogram.
#include "core/fatigue/class_matrix.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/rainflow/rainflow_counter.h"
#include "core/rainflow/rainflow_cycles.h"

namespace torvwy::core {
namespace {

RainflowResult Histogram(const std::vector<double>& samples, int32_t n, double a, double t,
                         ResidueMethod residue = ResidueMethod::kHalf) {
  RainflowSetup setup;
  setup.partitions = n;
  setup.amplitude_range = a;
  setup.smallest_range = t;
  setup.residue = residue;
  RainflowCounter counter(setup);
  EXPECT_TRUE(counter.Feed(samples).ok());
  return *counter.Finish();
}

TEST(ClassMatrix, TheStandardsExamplePlacedByHand) {
  // A = 5 in M = 10 classes of width 1: edges -5 -4 ... 5, a value v in (e_k, e_k+1], -5 in the
  // first. So -4 is in class 0, -3 in 1, -2 in 2, -1 in 3, 1 in 5, 3 in 7, 4 in 8, 5 in 9.
  const std::vector<double> load = {-2, 1, -3, 5, -1, 3, -4, 4, -2};
  RainflowCycleExtractor extractor;
  auto matrix = MakeClassMatrix(10, 5.0);
  ASSERT_TRUE(matrix.ok());
  TransitionCounter transitions(*matrix);
  extractor.on_turning_point = [&](double point) { transitions.Add(point); };
  extractor.Feed(load);
  const std::vector<RainflowCycle> cycles = extractor.Finish();
  // Eight reversals between the nine turning points, each once.
  EXPECT_EQ(transitions.reversals(), 8);
  EXPECT_EQ(matrix->total, 8.0);
  EXPECT_EQ(matrix->at(2, 5), 1.0);  // -2 -> 1
  EXPECT_EQ(matrix->at(5, 1), 1.0);  // 1 -> -3
  EXPECT_EQ(matrix->at(3, 7), 1.0);  // -1 -> 3
  EXPECT_EQ(matrix->at(8, 2), 1.0);  // 4 -> -2
  EXPECT_EQ(matrix->edges.front(), -5.0);
  EXPECT_EQ(matrix->edges.back(), 5.0);

  const RainflowResult histogram = Histogram(load, 10, 10.0, 0.001);
  auto from_to = MakeFromToMatrix(cycles, histogram, 10);
  ASSERT_TRUE(from_to.ok());
  // The closed cycle -1 -> 3, then the residue's halves -2 -> 1, 1 -> -3, -3 -> 5, 5 -> -4,
  // -4 -> 4, 4 -> -2; A = 10 here, so the classes are 2 wide: -1 in class 4, 3 in 6, ...
  EXPECT_EQ(from_to->at(4, 6), 1.0);  // -1 -> 3
  EXPECT_EQ(from_to->at(3, 5), 0.5);  // -2 -> 1: -2 in (-4, -2], class 3; 1 in (0, 2], class 5
  EXPECT_EQ(from_to->at(7, 2), 0.5);  // 5 -> -4
  EXPECT_EQ(from_to->total, 4.0);
  double histogram_total = 0.0;
  for (int j = 0; j < 10; ++j) histogram_total += histogram.counts[static_cast<size_t>(j)];
  EXPECT_EQ(from_to->total, histogram_total);
}

TEST(ClassMatrix, TheFromToHoldsWhatTheHistogramHolds) {
  // On random loads, with a smallest counted range that drops some cycles: the from-to matrix's
  // sum is the histogram's for every residue method, its cycles binned by range are the
  // histogram, and a value outside [-A, A] is said, not lost.
  std::mt19937 random(7);
  std::uniform_real_distribution<double> value(-4.0, 4.0);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<double> load(static_cast<size_t>(2 + trial % 90));
    for (double& x : load) x = value(random);
    for (ResidueMethod method : {ResidueMethod::kHalf, ResidueMethod::kFull,
                                 ResidueMethod::kDiscard, ResidueMethod::kRepeated}) {
      const RainflowResult histogram = Histogram(load, 16, 8.0, 0.5, method);
      RainflowCycleExtractor extractor(method);
      extractor.Feed(load);
      const std::vector<RainflowCycle> cycles = extractor.Finish();
      auto from_to = MakeFromToMatrix(cycles, histogram, 7);
      ASSERT_TRUE(from_to.ok());
      double histogram_total = 0.0;
      for (int j = 0; j < 16; ++j) histogram_total += histogram.counts[static_cast<size_t>(j)];
      EXPECT_EQ(from_to->total, histogram_total) << trial;
      EXPECT_EQ(from_to->outside, 0.0);
      // The range marginal: each cycle the matrix placed, binned as the counter bins it.
      const PartitionIndex ranges = PartitionIndex::Rainflow(16, 0.5);
      std::vector<double> marginal(16, 0.0);
      for (const RainflowCycle& c : cycles) {
        if (RainflowCountsRange(histogram, c.range)) {
          marginal[static_cast<size_t>(ranges.Find(c.range))] += c.count;
        }
      }
      EXPECT_EQ(marginal,
                std::vector<double>(histogram.counts.begin(), histogram.counts.begin() + 16));
    }
  }
  auto narrow = MakeClassMatrix(4, 1.0);
  ASSERT_TRUE(narrow.ok());
  narrow->Add(0.5, 3.0, 0.5);
  narrow->Add(-1.0, 1.0, 1.0);  // both edges belong: -A to the first class, A to the last
  EXPECT_EQ(narrow->outside, 0.5);
  EXPECT_EQ(narrow->at(0, 3), 1.0);
  EXPECT_FALSE(MakeClassMatrix(0, 1.0).ok());
  EXPECT_FALSE(MakeClassMatrix(2001, 1.0).ok());
  EXPECT_FALSE(MakeClassMatrix(10, 0.0).ok());
}

}  // namespace
}  // namespace torvwy::core
