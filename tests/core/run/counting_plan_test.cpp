// Counting requests: settled against a node as the command line, the dialog and Python ask.
#include "core/run/counting_plan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "core/data/sample_format.h"
#include "core/services/message_table.h"

namespace torvwy::core {
namespace {

/// 81 half blocks at 1024 Hz: 40 whole blocks, 40 s.
SamplingInfo Node() {
  SamplingInfo info;
  info.set_frequency_hz(1024.0);
  info.set_c1(2.0);
  info.set_c2(5.0);
  info.set_format(951);
  info.set_length_half_blocks(81);
  return info;
}

/// The plan a face builds from block fields and values, as the command line's --blocks.
CountingPlan BlockRequest(std::optional<BlockRange> blocks, int32_t amplitude_mode,
                          double set_value, int32_t partitions) {
  CountingPlan plan;
  plan.parameters.range_mode = blocks ? kRangeByBlock : kRangeFull;
  plan.blocks = blocks;
  plan.parameters.amplitude_mode = amplitude_mode;
  plan.parameters.set_value = set_value;
  plan.parameters.partitions = partitions;
  return plan;
}

/// A plan checked and settled against `info`, as every face does before a run.
Result<CountingParameters> Settled(const CountingPlan& asked, const SamplingInfo& info) {
  auto plan = PlanCounting(asked);
  if (!plan) return plan.error();
  if (auto ok = SettlePlan(*plan, info); !ok) return ok.error();
  return plan->parameters;
}

/// The amplitude range of `kind` under `parameters`, as the run resolves it.
Result<double> AmplitudeOf(CountingKind kind, const CountingParameters& parameters,
                           const SamplingInfo& info, const EnvelopeExtremes& extremes,
                           const std::filesystem::path& record) {
  CountingPlan plan;
  plan.kind = kind;
  plan.parameters = parameters;
  return AmplitudeRangeOf(plan, info, extremes, record);
}

TEST(CountingPlan, SettlesTheBlocksAsked) {
  struct Case {
    const char* what;
    std::optional<BlockRange> blocks;
    int32_t mode, first, last;
  };
  for (const Case& c : {
           Case{"none: the whole record", std::nullopt, kRangeFull, 1, 40},
           Case{"inside", BlockRange{3, 17}, kRangeByBlock, 3, 17},
           Case{"reversed: swapped", BlockRange{30, 10}, kRangeByBlock, 10, 30},
           Case{"beyond both ends: clamped", BlockRange{0, 500}, kRangeByBlock, 1, 40},
           Case{"past the end: the last block", BlockRange{41, 41}, kRangeByBlock, 40, 40},
           Case{"negative: the first block", BlockRange{-3, -9}, kRangeByBlock, 1, 1},
           Case{"reversed beyond the end", BlockRange{900, 39}, kRangeByBlock, 39, 40},
       }) {
    auto p = Settled(BlockRequest(c.blocks, kAmplitudeAutomatic, 0.0, 25), Node());
    ASSERT_TRUE(p) << c.what;
    EXPECT_EQ(p->range_mode, c.mode) << c.what;
    EXPECT_EQ(p->first_block, c.first) << c.what;
    EXPECT_EQ(p->last_block, c.last) << c.what;
    EXPECT_EQ(p->total_blocks, 40) << c.what;
  }
}

TEST(CountingPlan, KeepsWhatTheFaceAskedFor) {
  struct Case {
    int32_t amplitude_mode;
    double set_value;
    int32_t partitions, effective;
  };
  // N is kept as asked (a file records it); the run counts at most 2000. The set value is
  // kept beside the other modes, which don't use it.
  for (const Case& c :
       {Case{kAmplitudeFullScale, 0.0, 2, 2}, Case{kAmplitudeAutomatic, -1.0, 25, 25},
        Case{kAmplitudeSetValue, 1e-300, 1999, 1999}, Case{kAmplitudeSetValue, 3.5, 2000, 2000},
        Case{kAmplitudeSetValue, 12.25, 5000, 2000}}) {
    auto p =
        Settled(BlockRequest(std::nullopt, c.amplitude_mode, c.set_value, c.partitions), Node());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->amplitude_mode, c.amplitude_mode);
    EXPECT_EQ(p->set_value, c.set_value);
    EXPECT_EQ(p->partitions, c.partitions);
    EXPECT_EQ(EffectivePartitions(p->partitions), c.effective);
  }
}

TEST(CountingPlan, FullRangeKeepsTheTypedFieldsAndByTimeSettlesTheTimes) {
  // The dialog hands in every field; Full counts the whole node and keeps the block fields for
  // the next time it shows.
  CountingPlan full;
  full.blocks = BlockRange{12, 5};
  auto p = Settled(full, Node());
  ASSERT_TRUE(p);
  EXPECT_EQ(p->block_from, 12);
  EXPECT_EQ(p->block_to, 5);
  EXPECT_EQ(p->first_block, 1);
  EXPECT_EQ(p->last_block, 40);
  EXPECT_DOUBLE_EQ(p->time_to, 40.0);

  CountingPlan by_time;
  by_time.parameters.range_mode = kRangeByTime;
  by_time.times = TimeRange{7.5, -2.0};
  p = Settled(by_time, Node());
  ASSERT_TRUE(p);
  EXPECT_EQ(p->time_from, 0.0);
  EXPECT_EQ(p->time_to, 7.5);
}

TEST(CountingPlan, RefusesModesOutsideTheirValues) {
  struct Case {
    int32_t range_mode, amplitude_mode;
    const char* detail;
  };
  for (const Case& c : {Case{3, kAmplitudeAutomatic, "analysis range mode 3 is not 0, 1 or 2"},
                        Case{-1, kAmplitudeAutomatic, "analysis range mode -1 is not 0, 1 or 2"},
                        Case{kRangeFull, 3, "amplitude mode 3 is not 0, 1 or 2"},
                        Case{kRangeByBlock, -1, "amplitude mode -1 is not 0, 1 or 2"}}) {
    CountingPlan request;
    request.parameters.range_mode = c.range_mode;
    request.parameters.amplitude_mode = c.amplitude_mode;
    auto p = Settled(request, Node());
    ASSERT_FALSE(p) << c.detail;
    EXPECT_EQ(p.error().message, kMsgBadValue);
    EXPECT_EQ(p.error().detail, c.detail);
  }
}

TEST(CountingPlan, RefusesAnAmplitudeNoPartitionCanBeMadeOf) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double most = std::numeric_limits<double>::max();
  struct Case {
    double set_value;
    const char* detail;
  };
  for (const Case& c : {
           Case{0.0, "--amplitude = 0 is not a finite number above 0"},
           Case{-0.0, "--amplitude = -0 is not a finite number above 0"},
           Case{-1.0, "--amplitude = -1 is not a finite number above 0"},
           Case{nan, "--amplitude = nan is not a finite number above 0"},
           Case{inf, "--amplitude = inf is not a finite number above 0"},
           Case{1e308, "--amplitude = 1e+308 makes the partition width infinite"},
           Case{most,
                "--amplitude = 1.7976931348623157e+308 makes the partition "
                "width infinite"},
       }) {
    auto p = Settled(BlockRequest(std::nullopt, kAmplitudeSetValue, c.set_value, 4), Node());
    ASSERT_FALSE(p) << c.detail;
    EXPECT_EQ(p.error().message, kMsgBadValue);
    EXPECT_EQ(p.error().detail, c.detail);
  }
  // The largest value whose double is finite still divides: 2A / N = DBL_MAX for N = 1.
  EXPECT_TRUE(Settled(BlockRequest(std::nullopt, kAmplitudeSetValue, most / 2, 1), Node()));

  // The full scale of format 951 is finite and above 0 for any finite c1 other than 0: a
  // negative c1 turns the samples over and keeps the size of the range. c1 = 0 makes it
  // infinite.
  for (const double c1 : {2.0, -2.0, -1e-300}) {
    SamplingInfo info = Node();
    info.set_c1(c1);
    EXPECT_TRUE(Settled(BlockRequest(std::nullopt, kAmplitudeFullScale, 0.0, 4), info)) << c1;
  }
  for (const double c1 : {0.0, 1e-320, nan}) {
    SamplingInfo info = Node();
    info.set_c1(c1);
    auto p = Settled(BlockRequest(std::nullopt, kAmplitudeFullScale, 0.0, 4), info);
    ASSERT_FALSE(p) << c1;
    EXPECT_EQ(p.error().message, kMsgBadValue);
    EXPECT_NE(p.error().detail.find("the full scale (FS + FS) / c2 / c1 = "), std::string::npos)
        << p.error().detail;
  }
}

TEST(CountingPlan, RefusesAWidthThatUnderflowsForTheCountedPartitions) {
  // The narrowest width A / N must be a normal number: at least DBL_MIN = 2^-1022. A = DBL_MIN x
  // N divides back to DBL_MIN exactly; the double just below it gives less.
  const double least = std::numeric_limits<double>::min();
  const double tiny = std::numeric_limits<double>::denorm_min();
  struct Case {
    double set_value;
    int32_t partitions;
    const char* detail;  // empty: accepted
  };
  for (const Case& c : {
           Case{tiny, 25,
                "--amplitude = 5e-324 makes the partition width too small: A / 25 is "
                "below 2.2250738585072014e-308"},
           Case{least, 1, ""},
           Case{std::nextafter(least, 0.0), 1,
                "--amplitude = 2.225073858507201e-308 makes the partition width too "
                "small: A / 1 is below 2.2250738585072014e-308"},
           Case{least * 25, 25, ""},
           Case{std::nextafter(least * 25, 0.0), 25, "A / 25 is below"},
           Case{least * 2000, 2000, ""},
           // Above 2000 the count divides by 2000, and so does the rule.
           Case{least * 2000, 5000, ""},
           Case{std::nextafter(least * 2000, 0.0), 5000, "A / 2000 is below"},
           Case{1e-305, 4, ""},
       }) {
    auto p =
        Settled(BlockRequest(std::nullopt, kAmplitudeSetValue, c.set_value, c.partitions), Node());
    const std::string what = std::to_string(c.partitions) + " " + std::to_string(c.set_value);
    if (std::string(c.detail).empty()) {
      EXPECT_TRUE(p) << what << ": " << p.error().detail;
      continue;
    }
    ASSERT_FALSE(p) << what;
    EXPECT_EQ(p.error().message, kMsgBadValue);
    EXPECT_NE(p.error().detail.find(c.detail), std::string::npos) << p.error().detail;
  }
  // The command line's own name for A.
  EXPECT_EQ(CheckAmplitudeRange(tiny, 25, "--amplitude").error().detail,
            "--amplitude = 5e-324 makes the partition width too small: A / 25 is below "
            "2.2250738585072014e-308");
}

TEST(CountingPlan, EveryAmplitudeModeMeetsTheOneRuleBeforeCounting) {
  const double most = std::numeric_limits<double>::max();
  const SamplingInfo int16 = Node();  // format 951: full scale 10000 raw; c1 = 2, c2 = 5
  const double fs = 10000.0;
  SamplingInfo huge = Node();  // format 111 with a full scale stored before imports refused it
  huge.set_format(kFormatFloatFs);
  huge.set_c1(1.0);
  huge.set_c2(1.0);
  huge.set_stored_full_scale(1.5e308);
  struct Case {
    CountingKind kind;
    int32_t mode;
    double set_value;
    SamplingInfo info;
    EnvelopeExtremes extremes;
    double a;             // when accepted
    const char* refused;  // a fragment of the refusal; empty: accepted
  };
  for (const Case& c : {
           Case{CountingKind::kPeak, kAmplitudeFullScale, 0, int16, {}, fs / 10.0, ""},
           Case{CountingKind::kRange, kAmplitudeFullScale, 0, int16, {}, 2 * fs / 10.0, ""},
           Case{CountingKind::kRainflow, kAmplitudeFullScale, 0, int16, {}, 2 * fs / 10.0, ""},
           Case{CountingKind::kPeak, kAmplitudeAutomatic, 0, int16, {8.0, -3.0}, 8.0, ""},
           Case{CountingKind::kRange, kAmplitudeAutomatic, 0, int16, {8.0, -3.0}, 11.0 * 1.1, ""},
           Case{CountingKind::kRainflow, kAmplitudeSetValue, 7.5, int16, {}, 7.5, ""},
           // A record holding the largest doubles: the largest peak is finite, its two-way
           // width 2A / N is not.
           Case{CountingKind::kPeak,
                kAmplitudeAutomatic,
                0,
                int16,
                {most, -most},
                0,
                "rec.sts: the automatic amplitude range = 1.7976931348623157e+308 makes the "
                "partition width infinite"},
           Case{CountingKind::kRange,
                kAmplitudeAutomatic,
                0,
                int16,
                {most, -most},
                0,
                "rec.sts: the automatic amplitude range = inf is not a finite number above 0"},
           Case{CountingKind::kRainflow,
                kAmplitudeAutomatic,
                0,
                int16,
                {1e-310, 0.0},
                0,
                "makes the partition width too small: A / 25 is below"},
           Case{CountingKind::kRange,
                kAmplitudeAutomatic,
                0,
                int16,
                {2.0, 2.0},
                0,
                "rec.sts: the record is constant at 2 EU"},
           Case{CountingKind::kPeak,
                kAmplitudeAutomatic,
                0,
                int16,
                {-1.0, -4.0},
                0,
                "the largest peak -1 EU is not above 0"},
           Case{CountingKind::kPeak,
                kAmplitudeFullScale,
                0,
                huge,
                {},
                0,
                "the full scale |FS / c2 / c1| = 1.5e+308 makes the partition width infinite"},
           Case{CountingKind::kRange,
                kAmplitudeFullScale,
                0,
                huge,
                {},
                0,
                "the full scale (FS + FS) / c2 / c1 = inf is not a finite number above 0"},
           Case{CountingKind::kRainflow,
                kAmplitudeSetValue,
                5e-324,
                int16,
                {},
                0,
                "the set amplitude range = 5e-324 makes the partition width too small"},
       }) {
    CountingParameters p;
    p.amplitude_mode = c.mode;
    p.set_value = c.set_value;
    p.partitions = 25;
    auto a = AmplitudeOf(c.kind, p, c.info, c.extremes, "rec.sts");
    const std::string what =
        std::to_string(static_cast<int>(c.kind)) + "/" + std::to_string(c.mode);
    if (std::string(c.refused).empty()) {
      ASSERT_TRUE(a) << what << ": " << a.error().detail;
      EXPECT_DOUBLE_EQ(*a, c.a) << what;
      continue;
    }
    ASSERT_FALSE(a) << what;
    EXPECT_EQ(a.error().message, kMsgBadValue) << what;
    EXPECT_NE(a.error().detail.find(c.refused), std::string::npos) << a.error().detail;
  }
}

/// Each fault, asked by each face, refused before anything is read with the same one line.
TEST(CountingPlan, EveryFaceMeetsOneCheckWithOneWording) {
  struct Case {
    const char* what;
    CountingTexts texts;  // the command line's options, Python's strings
    int64_t partitions;   // the dialog's and Python's values
    int32_t amplitude_mode;
    double set_value;
    const char* detail;  // empty: accepted
  };
  const double nan = std::nan("");
  for (const Case& c : {
           Case{"N 0",
                {"peak", "0", "auto", ""},
                0,
                kAmplitudeAutomatic,
                0,
                "--partitions must be 1 or more"},
           Case{"N -3",
                {"range", "-3", "full", ""},
                -3,
                kAmplitudeFullScale,
                0,
                "--partitions must be 1 or more"},
           Case{"A 0",
                {"rainflow", "25", "0", ""},
                25,
                kAmplitudeSetValue,
                0.0,
                "--amplitude = 0 is not a finite number above 0"},
           Case{"A -1",
                {"peak", "25", "-1", ""},
                25,
                kAmplitudeSetValue,
                -1.0,
                "--amplitude = -1 is not a finite number above 0"},
           Case{"A tiny",
                {"range", "2000", "1e-306", ""},
                2000,
                kAmplitudeSetValue,
                1e-306,
                "--amplitude = 1e-306 makes the partition width too small: A / 2000 is below "
                "2.2250738585072014e-308"},
           Case{"A huge",
                {"rainflow", "4", "1e308", ""},
                4,
                kAmplitudeSetValue,
                1e308,
                "--amplitude = 1e+308 makes the partition width infinite"},
           Case{"good", {"rainflow", "5000", "12.5", ""}, 5000, kAmplitudeSetValue, 12.5, ""},
       }) {
    auto from_texts = PlanCounting(c.texts);
    CountingPlan asked;
    asked.kind = MethodNamed(c.texts.method)->kind;
    asked.parameters.partitions = static_cast<int32_t>(c.partitions);
    asked.parameters.amplitude_mode = c.amplitude_mode;
    asked.parameters.set_value = c.set_value;
    auto from_values = PlanCounting(asked);
    if (*c.detail == 0) {
      ASSERT_TRUE(from_texts && from_values) << c.what;
      EXPECT_EQ(from_texts->kind, from_values->kind) << c.what;
      EXPECT_EQ(from_texts->parameters.partitions, from_values->parameters.partitions);
      EXPECT_EQ(from_texts->parameters.amplitude_mode, from_values->parameters.amplitude_mode);
      EXPECT_EQ(from_texts->parameters.set_value, from_values->parameters.set_value);
      EXPECT_EQ(from_texts->note, "--partitions 5000 is above 2000; counted with 2000 partitions");
      EXPECT_EQ(from_values->note, from_texts->note);
      continue;
    }
    ASSERT_FALSE(from_texts) << c.what;
    ASSERT_FALSE(from_values) << c.what;
    EXPECT_EQ(from_texts.error().message, kMsgBadValue) << c.what;
    EXPECT_EQ(from_texts.error().detail, c.detail) << c.what;
    EXPECT_EQ(from_values.error().detail, c.detail) << c.what;
  }
  (void)nan;
  // Faults only texts can have.
  for (const auto& [texts, detail] : std::vector<std::pair<CountingTexts, std::string>>{
           {{"peaks", "25", "auto", ""},
            "--method \"peaks\" is not one of peak, range, rainflow, crossings, range-pairs, "
            "time-at-level"},
           {{"peak", "2x", "auto", ""}, "--partitions \"2x\" is not a whole number"},
           {{"peak", "25", "half", ""}, "--amplitude \"half\" is neither full, auto nor a number"},
           {{"peak", "25", "nan", ""}, "--amplitude \"nan\" is neither full, auto nor a number"},
           {{"peak", "25", "auto", "3"}, "--blocks \"3\" is not FIRST-LAST"},
           {{"peak", "0", "auto", "3"}, "--partitions must be 1 or more"}}) {
    auto plan = PlanCounting(texts);
    ASSERT_FALSE(plan) << detail;
    EXPECT_EQ(plan.error().detail, detail);
  }
  CountingPlan threads;
  threads.threads = 257;
  EXPECT_EQ(PlanCounting(threads).error().detail, "--threads = 257 is not in 0..256");
  auto blocks = PlanCounting({"range", "25", "auto", "-3--9"});
  ASSERT_TRUE(blocks);
  EXPECT_EQ(blocks->parameters.range_mode, kRangeByBlock);
  EXPECT_EQ(blocks->blocks->first, -3);
  EXPECT_EQ(blocks->blocks->last, -9);
}

TEST(CountingPlan, APartitionCountAbove2000IsNoted) {
  for (const int64_t n : {int64_t{1}, int64_t{25}, int64_t{2000}}) {
    EXPECT_EQ(PartitionCountNote(n), "") << n;
  }
  EXPECT_EQ(PartitionCountNote(2001),
            "--partitions 2001 is above 2000; counted with 2000 partitions");
  EXPECT_EQ(PartitionCountNote(2500),
            "--partitions 2500 is above 2000; counted with 2000 partitions");
}

TEST(CountingPlan, OnePartitionRule) {
  struct Case {
    int64_t n;
    int32_t effective, held;
    bool valid;
  };
  for (const Case& c : {Case{-5, -5, 0, false}, Case{0, 0, 0, false}, Case{1, 1, 1, true},
                        Case{1999, 1999, 1999, true}, Case{2000, 2000, 2000, true},
                        Case{2001, 2000, 2000, false}, Case{int64_t{1} << 40, 2000, 2000, false}}) {
    EXPECT_EQ(EffectivePartitions(c.n), c.effective) << c.n;
    EXPECT_EQ(PartitionsHeld(c.n), c.held) << c.n;
    EXPECT_EQ(PartitionCountValid(c.n), c.valid) << c.n;
  }
}

TEST(CountingPlan, LevelCrossingOptionsAreRefusedInOneLineBeforeCounting) {
  // Texts a face holds.
  const std::pair<CrossingTexts, std::string> texts[] = {
      {{"1,x", "", "", ""}, "--level-list \"1,x\" is not a list of numbers"},
      {{"1,,2", "", "", ""}, "--level-list \"1,,2\" is not a list of numbers"},
      {{"", "zero", "", ""}, "--reference \"zero\" is not a number"},
      {{"", "", "sideways", ""}, "--direction \"sideways\" is not one of up, down, both, astm"},
      {{"", "", "", "1e"}, "--gate \"1e\" is not a number"},
  };
  for (const auto& [asked, line] : texts) {
    auto parsed = ParseCrossingTexts(asked);
    ASSERT_FALSE(parsed.ok()) << line;
    EXPECT_EQ(parsed.error().detail, line);
  }
  // Values, as every face's plan holds them.
  CountingPlan plan;
  plan.kind = CountingKind::kCrossings;
  const auto gate = [](double g) {
    CrossingOptions options;
    options.gate = g;
    return options;
  };
  const auto list = [](std::vector<double> levels) {
    CrossingOptions options;
    options.level_list = std::move(levels);
    return options;
  };
  const std::pair<CrossingOptions, std::string> values[] = {
      {gate(-0.5), "--gate = -0.5 is not a finite number of 0 or more"},
      {gate(std::nan("")), "--gate = nan is not a finite number of 0 or more"},
      {list({1.0, 3.0, 3.0}), "--level-list is not strictly increasing: 3 follows 3"},
      {list({2.0, -1.0}), "--level-list is not strictly increasing: -1 follows 2"},
  };
  for (const auto& [options, line] : values) {
    plan.crossings = options;
    auto checked = PlanCounting(plan);
    ASSERT_FALSE(checked.ok()) << line;
    EXPECT_EQ(checked.error().detail, line);
  }
  auto good = ParseCrossingTexts({"-2,0.5,3", "0.5", "both", "0.25"});
  ASSERT_TRUE(good.ok());
  EXPECT_EQ(good->level_list, (std::vector<double>{-2.0, 0.5, 3.0}));
  EXPECT_EQ(good->reference, 0.5);
  EXPECT_EQ(good->direction, CrossingDirection::kBoth);
  EXPECT_EQ(good->gate, 0.25);
  plan.crossings = *good;
  EXPECT_TRUE(PlanCounting(plan).ok());
}

}  // namespace
}  // namespace torvwy::core
