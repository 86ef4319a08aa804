// S-N curves as data: the weld classes, the steel detail categories and the curve files.
#include "core/fatigue/sn_curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/fatigue/sn_class_table.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

void ExpectLife(const SnCurve& curve, double stress, double expected, const char* what) {
  const double life = curve.CyclesToFailure(stress);
  if (std::isinf(expected)) {
    EXPECT_EQ(life, kInf) << what;
  } else {
    EXPECT_NEAR(life, expected, expected * 1e-9) << what;
  }
}

TEST(SnCurveTest, DetailCategory71AtItsReferenceKneeAndCutOff) {
  auto curve = DetailCategoryCurve(71);
  ASSERT_TRUE(curve.ok());
  EXPECT_EQ(curve->name, "en1993:71");
  EXPECT_EQ(curve->unit, "N/mm^2");
  // By hand: Delta sigma_D = 71 x (2/5)^(1/3) = 52.3132..., Delta sigma_L = that x (5/100)^(1/5)
  // = 28.7346... (the tables of the standard round them to 52 and 29).
  const double knee = 52.31324728069349;
  const double cutoff = 28.73463467739296;
  EXPECT_NEAR(curve->knee_range(), knee, 1e-12 * knee);
  EXPECT_NEAR(curve->cutoff_range(), cutoff, 1e-12 * cutoff);
  ExpectLife(*curve, 71.0, 2.0e6, "reference");
  ExpectLife(*curve, 142.0, 2.0e6 / 8.0, "twice the reference, slope 3");
  ExpectLife(*curve, knee, 5.0e6, "at the knee");
  ExpectLife(*curve, knee * 1.01, 5.0e6 / std::pow(1.01, 3.0), "above the knee: slope 3");
  ExpectLife(*curve, knee / 1.01, 5.0e6 * std::pow(1.01, 5.0), "below the knee: slope 5");
  ExpectLife(*curve, cutoff, 1.0e8, "at the cut-off");
  ExpectLife(*curve, cutoff * 1.01, 1.0e8 / std::pow(1.01, 5.0), "above the cut-off");
  ExpectLife(*curve, cutoff / 1.01, kInf, "below the cut-off: no damage");
  EXPECT_TRUE(std::isnan(curve->CyclesToFailure(0.0)));
  EXPECT_TRUE(std::isnan(curve->CyclesToFailure(-5.0)));
}

TEST(SnCurveTest, EveryDetailCategoryAndNothingElse) {
  for (int32_t category : kDetailCategories) {
    auto curve = DetailCategoryCurve(category);
    ASSERT_TRUE(curve.ok()) << category;
    ExpectLife(*curve, category, 2.0e6, "reference of a category");
  }
  for (int32_t not_one : {0, 35, 70, 161, -71}) {
    auto curve = DetailCategoryCurve(not_one);
    ASSERT_FALSE(curve.ok()) << not_one;
    EXPECT_EQ(curve.error().message, kMsgBadValue);
  }
}

TEST(SnCurveTest, WeldClassCurveIsTheClassTable) {
  for (int32_t c = 0; c < static_cast<int32_t>(kSnClassTable.size()); ++c) {
    for (int32_t r = 0; r < static_cast<int32_t>(kReliabilityFactors.size()); ++r) {
      auto curve = WeldClassCurve(c, r);
      ASSERT_TRUE(curve.ok());
      for (double s : {1.0, 37.5, 200.0, 1000.0}) {
        EXPECT_EQ(curve->CyclesToFailure(s),
                  CyclesToFailure(kSnClassTable[static_cast<size_t>(c)],
                                  kReliabilityFactors[static_cast<size_t>(r)].d, s));
      }
    }
  }
  EXPECT_EQ(WeldClassCurve(5, 3)->name, "bs7608:F2");
  EXPECT_FALSE(WeldClassCurve(10, 3).ok());
  EXPECT_FALSE(WeldClassCurve(0, 5).ok());
}

TEST(SnCurveTest, CurveFileWithTwoSlopesIsContinuousAtItsKnee) {
  auto curve = ParseSnCurveText(
      "; a joint of our own\r\n[Curve]\r\nName = Ground butt weld\r\nunit=MPa\r\n"
      "ReferenceRange=100   ; at\r\nReferenceCycles=1e6\r\nSlope=4\r\nKneeCycles=1e7\r\n"
      "Slope2=8\r\nCutoffCycles=1e9\r\n",
      "joint.ini");
  ASSERT_TRUE(curve.ok()) << curve.error().detail;
  EXPECT_EQ(curve->kind, SnCurveKind::kFile);
  EXPECT_EQ(curve->name, "Ground butt weld");
  EXPECT_EQ(curve->unit, "MPa");
  // By hand: S_k = 100 x (1e6 / 1e7)^(1/4) = 56.2341..., S_c = S_k x (1e7 / 1e9)^(1/8)
  // = 56.2341 x 0.56234 = 31.6228... (= 100 x 10^-0.5).
  const double knee = 56.23413251903491;
  const double cutoff = 31.622776601683793;
  EXPECT_NEAR(curve->knee_range(), knee, 1e-12 * knee);
  EXPECT_NEAR(curve->cutoff_range(), cutoff, 1e-12 * cutoff);
  ExpectLife(*curve, 100.0, 1.0e6, "reference");
  const double above = curve->CyclesToFailure(knee * (1.0 + 1e-12));
  const double below = curve->CyclesToFailure(knee * (1.0 - 1e-12));
  EXPECT_NEAR(above, 1.0e7, 1e-6 * 1.0e7);
  EXPECT_NEAR(below, 1.0e7, 1e-6 * 1.0e7);
  ExpectLife(*curve, knee / 1.5, 1.0e7 * std::pow(1.5, 8.0), "slope 8 below the knee");
  ExpectLife(*curve, cutoff / 1.001, kInf, "below the cut-off");
}

TEST(SnCurveTest, CurveFilesWithOneSlope) {
  // No knee, no cut-off: one line for every range, however small.
  auto line = ParseSnCurveText("[curve]\nReferenceRange=50\nReferenceCycles=2e6\nSlope=3\n", "a");
  ASSERT_TRUE(line.ok()) << line.error().detail;
  EXPECT_EQ(line->name, "a");
  ExpectLife(*line, 5.0, 2.0e9, "ten times below the reference");
  // A knee without a second slope: a constant-amplitude limit, no damage below it.
  auto limit = ParseSnCurveText(
      "[Curve]\nReferenceRange=50\nReferenceCycles=2e6\nSlope=3\nKneeCycles=1.6e7\n", "b");
  ASSERT_TRUE(limit.ok()) << limit.error().detail;
  EXPECT_NEAR(limit->knee_range(), 25.0, 1e-12);
  ExpectLife(*limit, limit->knee_range(), 1.6e7, "at the limit");
  ExpectLife(*limit, 24.999, kInf, "below the limit");
  // A cut-off on the only slope.
  auto cut = ParseSnCurveText(
      "[Curve]\nReferenceRange=50\nReferenceCycles=2e6\nSlope=3\nCutoffCycles=2e9\n", "c");
  ASSERT_TRUE(cut.ok()) << cut.error().detail;
  EXPECT_NEAR(cut->cutoff_range(), 5.0, 1e-12);
  ExpectLife(*cut, cut->cutoff_range(), 2.0e9, "at the cut-off");
  ExpectLife(*cut, 4.999, kInf, "below it");
}

TEST(SnCurveTest, BadCurveFilesAreRefusedNamingTheFault) {
  const std::string head = "[Curve]\nReferenceRange=100\nReferenceCycles=2e6\n";
  struct Case {
    std::string text;
    const char* says;  // a piece of the message
  };
  const Case cases[] = {
      {head + "Slope=-3\n", "slope must be above 0"},
      {head + "Slope=0\n", "slope must be above 0"},
      {"[Curve]\nReferenceRange=0\nReferenceCycles=2e6\nSlope=3\n", "reference range"},
      {"[Curve]\nReferenceRange=100\nReferenceCycles=-1\nSlope=3\n", "reference cycle"},
      {head + "Slope=3\nKneeCycles=1e8\nSlope2=5\nCutoffCycles=1e7\n", "knee must lie below"},
      {head + "Slope=3\nKneeCycles=1e7\nSlope2=5\nCutoffCycles=1e7\n", "knee must lie below"},
      {head + "Slope=three\n", "\"three\" is not a number"},
      {head + "Slope=3x\n", "is not a number"},
      {head + "Slope=nan\n", "is not a number"},
      {head + "Slope=inf\n", "is not a number"},
      {head + "Slope=\n", "is not a number"},
      {head + "Slope=3\nSlope=4\n", "given twice"},
      {head + "Slope=3\nColour=red\n", "unknown key"},
      {head + "Slope=3\nthis line\n", "not a key=value line"},
      {head, "no Slope"},
      {"[Curve]\nReferenceCycles=2e6\nSlope=3\n", "no ReferenceRange"},
      {"ReferenceRange=100\n", "outside the [Curve] section"},
      {"", "no [Curve] section"},
      {"[Curve\nSlope=3\n", "closing ']'"},
      {head + "Slope=3\n[Curve]\n", "second [Curve] section"},
      {head + "Slope=3\nSlope2=5\n", "needs the knee"},
      {head + "Slope=3\nKneeCycles=1e7\nCutoffCycles=1e8\n", "needs the second slope"},
      {head + "Slope=3\nKneeCycles=0\n", "above 0 where given"},
      {head + "Slope=3\nReferenceRange=1e300\n", "given twice"},
      {"[Curve]\nReferenceRange=1e300\nReferenceCycles=1e-300\nSlope=0.001\nKneeCycles=1e300\n",
       "beyond the range of numbers"},
  };
  for (const Case& c : cases) {
    auto curve = ParseSnCurveText(c.text, "bad.ini");
    ASSERT_FALSE(curve.ok()) << c.text;
    EXPECT_EQ(curve.error().message, kMsgBadValue) << c.text;
    EXPECT_NE(curve.error().detail.find(c.says), std::string::npos)
        << c.text << " said: " << curve.error().detail;
    EXPECT_EQ(curve.error().detail.find('\n'), std::string::npos) << "one line";
  }
}

TEST(SnCurveTest, CurveChoiceByText) {
  testing::TempDir dir;
  const auto file = dir.path() / "mine.ini";
  {
    std::FILE* out = std::fopen(file.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fputs("[Curve]\nReferenceRange=80\nReferenceCycles=2e6\nSlope=3\n", out);
    std::fclose(out);
  }
  auto f2 = ParseCurveChoice("bs7608:F2", 1);
  ASSERT_TRUE(f2.ok());
  EXPECT_EQ(f2->class_index, 5);
  EXPECT_EQ(f2->reliability_index, 1);
  EXPECT_EQ(ParseCurveChoice("BS7608:f2", 3)->class_index, 5);
  EXPECT_EQ(ParseCurveChoice("en1993:36", 3)->category, 36);
  auto mine = ParseCurveChoice(file.string(), 3);
  ASSERT_TRUE(mine.ok()) << mine.error().detail;
  EXPECT_EQ(mine->name, "mine.ini");
  for (const char* bad : {"bs7608:X", "en1993:70", "en1993:seventy", "", "no-such-file.ini"}) {
    auto curve = ParseCurveChoice(bad, 3);
    EXPECT_FALSE(curve.ok()) << bad;
  }
  EXPECT_EQ(ParseCurveChoice(dir.path().string(), 3).error().message, kMsgFileRead);
}

}  // namespace
}  // namespace torvwy::core
