// The list data file of a life estimate: its bytes in both languages, and when it is written.
#include "core/fatigue/fatigue_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <sstream>
#include <string>

#include "core/services/folders.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

namespace fs = std::filesystem;

/// A two-partition estimate with values chosen for their printed form.
FatigueResult TinyEstimate(FatigueMethod method) {
  FatigueResult fatigue;
  fatigue.method = method;
  fatigue.partitions = 2;
  fatigue.partition_width = 100.0;    // centres 50 and 150
  fatigue.counts = {2.5, 2.0};        // printed rounded half up: 3 and 2
  fatigue.probability = {0.5, 0.25};  // printed in percent
  fatigue.life = {2.13e7, 1.0e6};
  fatigue.damage = {1.2e-7, 3.456789e-6};
  fatigue.total_damage = 3.5768e-6;  // 4 significant digits: 3.577e-06
  return fatigue;
}

const FatigueListNames kNames = {"abc", "12", "5"};

constexpr char kRows[] =
    "1  50.000  3  50.000  2.1300e+07  1.2000e-07\r\n"
    "2  150.000  2  25.000  1.0000e+06  3.4568e-06\r\n";

TEST(FatigueListTest, BytesInBothLanguages) {
  struct Case {
    const char* name;
    FatigueMethod method;
    Language language;
    std::string bytes;
  };
  // The Chinese texts as GBK bytes (from iconv), the full-width dash being A3 AD.
  const Case cases[] = {
      {"fitting, English", FatigueMethod::kFitting, Language::kEnglish,
       std::string("abc12#5--Fatigue_Analysis(Fitting_Stat)--Total_Damage_Degree=3.577e-06\r\n"
                   "2  6\r\n"
                   "No Applied_Stress Count Fitting_Percent(%)  Fatigue_Cycles Damage_Degree\r\n") +
           kRows},
      {"actual, English", FatigueMethod::kActual, Language::kEnglish,
       std::string(
           "abc12#5--Fatigue_Analysis(Actual_Stat)\xA3\xAD--Total_Damage_Degree=3.577e-06\r\n"
           "2  6\r\n"
           "No Applied_Stress Count Actual_Percent(%)  Fatigue_Cycles  Damage_Degree\r\n") +
           kRows},
      {"fitting, Chinese", FatigueMethod::kFitting, Language::kChinese,
       std::string(
           "abc12#5\xA3\xAD\xC6\xA3\xC0\xCD\xB7\xD6\xCE\xF6(\xD3\xEA\xC1\xF7\xB7\xA8\xBC\xC6"
           "\xCA\xFD,\xC4\xE2\xBA\xCF\xCD\xB3\xBC\xC6)\xA3\xAD\xD7\xDC\xCB\xF0\xC9\xCB\xB6\xC8"
           "3.577e-06\r\n"
           "2  6\r\n"
           "\xD0\xF2\xBA\xC5 \xC6\xBD\xBE\xF9\xD3\xA6\xC1\xA6\xB7\xF9 \xC6\xB5\xB4\xCE "
           "\xCD\xB3\xBC\xC6\xB8\xC5\xC2\xCA(%)  S-N\xB6\xD4\xD3\xA6\xCA\xD9\xC3\xFC "
           "\xC4\xE2\xBA\xCF\xCD\xB3\xBC\xC6\xCB\xF0\xC9\xCB\xB6\xC8\r\n") +
           kRows},
      {"actual, Chinese", FatigueMethod::kActual, Language::kChinese,
       std::string(
           "abc12#5\xA3\xAD\xC6\xA3\xC0\xCD\xB7\xD6\xCE\xF6(\xD3\xEA\xC1\xF7\xB7\xA8\xBC\xC6"
           "\xCA\xFD,\xCA\xB5\xBC\xCA\xCD\xB3\xBC\xC6)\xA3\xAD\xD7\xDC\xCB\xF0\xC9\xCB\xB6\xC8"
           "3.577e-06\r\n"
           "2  6\r\n"
           "\xD0\xF2\xBA\xC5 \xC6\xBD\xBE\xF9\xD3\xA6\xC1\xA6\xB7\xF9 \xC6\xB5\xB4\xCE "
           "\xCA\xB5\xBC\xCA\xB8\xC5\xC2\xCA(%)  S-N\xB6\xD4\xD3\xA6\xCA\xD9\xC3\xFC "
           "\xCA\xB5\xBC\xCA\xCD\xB3\xBC\xC6\xCB\xF0\xC9\xCB\xB6\xC8\r\n") +
           kRows},
  };
  for (const Case& c : cases) {
    auto text = FormatFatigueList(TinyEstimate(c.method), kNames, c.language);
    ASSERT_TRUE(text.ok()) << c.name << ": " << text.error().detail;
    EXPECT_EQ(*text, c.bytes) << c.name;
  }
  // A Chinese node name is written in GBK too ("测点" = B2 E2 B5 E3).
  auto named = FormatFatigueList(TinyEstimate(FatigueMethod::kFitting), {"abc", "12", "测点"},
                                 Language::kEnglish);
  ASSERT_TRUE(named.ok());
  EXPECT_EQ(named->substr(0, 10), "abc12#\xB2\xE2\xB5\xE3");
}

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(FatigueListTest, OnlyFiniteNumbersAreWritten) {
  struct Case {
    const char* name;
    void (*spoil)(FatigueResult&);
  };
  const Case cases[] = {
      {"life inf of a weld class", [](FatigueResult& f) { f.life[1] = inf; }},
      {"damage NaN", [](FatigueResult& f) { f.damage[0] = nan; }},
      {"probability NaN", [](FatigueResult& f) { f.probability[1] = nan; }},
      {"total damage inf", [](FatigueResult& f) { f.total_damage = inf; }},
      {"count NaN", [](FatigueResult& f) { f.counts[0] = nan; }},
      {"width NaN", [](FatigueResult& f) { f.partition_width = nan; }},
      {"fewer values than N", [](FatigueResult& f) { f.damage.pop_back(); }},
  };
  for (const Case& c : cases) {
    FatigueResult fatigue = TinyEstimate(FatigueMethod::kActual);
    c.spoil(fatigue);
    auto text = FormatFatigueList(fatigue, kNames, Language::kEnglish);
    ASSERT_FALSE(text.ok()) << c.name;
    EXPECT_EQ(text.error().message, kMsgBadValue) << c.name;
  }
}

TEST(FatigueListTest, AnInfiniteLifeOfACurveBelowItsCutOffIsWrittenAsInf) {
  FatigueResult fatigue = TinyEstimate(FatigueMethod::kActual);
  fatigue.curve = *DetailCategoryCurve(71);
  fatigue.life[1] = inf;
  fatigue.damage[1] = 0.0;
  auto text = FormatFatigueList(fatigue, kNames, Language::kEnglish);
  ASSERT_TRUE(text.ok()) << text.error().detail;
  EXPECT_NE(text->find("  inf  0.0000e+00\r\n"), std::string::npos) << *text;
}

/// Points TORVWY_HOME at a temporary folder, so the list file lands there.
class FatigueListFileTest : public ::testing::Test {
 protected:
  testing::ScopedHome home_;
};

RainflowResult Histogram(std::vector<double> counts, double w) {
  RainflowResult result;
  result.partitions = static_cast<int32_t>(counts.size());
  result.partition_width = w;
  std::copy(counts.begin(), counts.end(), result.counts.begin());
  return result;
}

TEST_F(FatigueListFileTest, EstimateWritesListDataInTheWorkFolder) {
  const fs::path path = FatigueListPath();
  EXPECT_EQ(path, home_.path() / "work" / "listdata.txt");
  for (FatigueMethod method : {FatigueMethod::kActual, FatigueMethod::kFitting}) {
    auto estimate = RunFatigueEstimate(method, Histogram({0, 10, 6, 3, 0, 1}, 20.0), 3, 3, kNames,
                                       Language::kChinese);
    ASSERT_TRUE(estimate.ok()) << estimate.error().detail;
    auto expected = FormatFatigueList(*estimate, kNames, Language::kChinese);
    ASSERT_TRUE(expected.ok());
    EXPECT_EQ(testing::ReadFileBytes(path), *expected);
  }
  const std::string bytes = testing::ReadFileBytes(path);
  size_t line_ends = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      ASSERT_GT(i, 0u);
      EXPECT_EQ(bytes[i - 1], '\r') << "a line end without CR at byte " << i;
      ++line_ends;
    }
  }
  EXPECT_EQ(line_ends, 3u + 6u);  // title, N and 6, captions, one row per partition
}

TEST_F(FatigueListFileTest, RefusedEstimateWritesNothing) {
  const fs::path path = FatigueListPath();
  struct Case {
    const char* name;
    FatigueMethod method;
    RainflowResult histogram;
    int message;
  };
  const Case cases[] = {
      {"actual, no cycle", FatigueMethod::kActual, Histogram({0, 0}, 10.0), kMsgNoCycles},
      {"fitting, no cycle", FatigueMethod::kFitting, Histogram({0, 0}, 10.0), kMsgNoCycles},
      {"fitting, one partition", FatigueMethod::kFitting, Histogram({0, 3}, 10.0), kMsgFitRefused},
  };
  for (const Case& c : cases) {
    auto estimate = RunFatigueEstimate(c.method, c.histogram, 0, 3, kNames, Language::kEnglish);
    ASSERT_FALSE(estimate.ok()) << c.name;
    EXPECT_EQ(estimate.error().message, c.message) << c.name;
    EXPECT_FALSE(fs::exists(path)) << c.name;
  }
  // An earlier list stays as it was.
  ASSERT_TRUE(RunFatigueEstimate(FatigueMethod::kActual, Histogram({0, 3}, 10.0), 0, 3, kNames,
                                 Language::kEnglish)
                  .ok());
  const std::string before = testing::ReadFileBytes(path);
  EXPECT_FALSE(RunFatigueEstimate(FatigueMethod::kFitting, Histogram({0, 3}, 10.0), 0, 3, kNames,
                                  Language::kEnglish)
                   .ok());
  EXPECT_EQ(testing::ReadFileBytes(path), before);
}

}  // namespace
}  // namespace torvwy::core
