// Statistics parameters in the profile: defaults, keys, the bounds of N, and what is not written.
#include "core/stats/statistics_parameters.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "core/services/folders.h"
#include "core/services/number_format.h"
#include "core/services/profile.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {

TEST(StatisticsParameters, LoadsDefaultsAndStoredKeys) {
  const StatisticsParameters defaults = LoadStatisticsParameters(IniFile{});
  EXPECT_EQ(defaults.data_path, "c:\\torvout");
  EXPECT_EQ(defaults.result_path, "c:\\torvout");
  EXPECT_EQ(defaults.test_name, "abc");
  EXPECT_EQ(defaults.test_code, "1");
  EXPECT_EQ(defaults.code_range, "1");
  EXPECT_EQ(defaults.node_range, "1");
  EXPECT_EQ(defaults.peak_peak_count, 20);
  EXPECT_EQ(defaults.content, kStatAmplitudeIndices);

  const IniFile profile = IniFile::Parse(
      "[Settings]\nPATHDATA = /d\npathresult=/r\nTestName=\xCA\xD4\xD1\xE9\nTestCode=7\n"
      "TestCodeX=1,3-5\nNodeNameX=A1-A3\n[AmplyAnaly]\nStatPpNum=35\n");
  const StatisticsParameters p = LoadStatisticsParameters(profile);
  EXPECT_EQ(p.data_path, "/d");
  EXPECT_EQ(p.result_path, "/r");
  EXPECT_EQ(p.test_name, "\xE8\xAF\x95\xE9\xAA\x8C");  // 试验, stored as GBK
  EXPECT_EQ(p.test_code, "7");
  EXPECT_EQ(p.code_range, "1,3-5");
  EXPECT_EQ(p.node_range, "A1-A3");
  EXPECT_EQ(p.peak_peak_count, 35);

  for (const auto& [stored, kept] : {std::pair{"0", 1}, {"-4", 1}, {"200", 200}, {"999", 200}}) {
    IniFile n;
    n.Set("AmplyAnaly", "StatPpNum", stored);
    EXPECT_EQ(LoadStatisticsParameters(n).peak_peak_count, kept) << stored;
  }
}

TEST(StatisticsParameters, StoresAllButTheTestCode) {
  IniFile profile = IniFile::Parse("[settings]\nLanguage=1\nTestCode=9\n");
  StatisticsParameters p;
  p.data_path = "/data";
  p.result_path = "/out";
  p.test_name = std::string("\xE8\xAF\x95\xE9\xAA\x8C");
  p.test_code = "4";
  p.code_range = "2-4";
  p.node_range = "1,5";
  p.peak_peak_count = 50;
  StoreStatisticsParameters(profile, p);
  EXPECT_EQ(profile.Get("settings", "Language"), "1");
  EXPECT_EQ(profile.Get("settings", "TestCode"), "9");
  EXPECT_EQ(profile.Get("settings", "TestName"), "\xCA\xD4\xD1\xE9");
  const StatisticsParameters back = LoadStatisticsParameters(profile);
  EXPECT_EQ(back.data_path, p.data_path);
  EXPECT_EQ(back.result_path, p.result_path);
  EXPECT_EQ(back.test_name, p.test_name);
  EXPECT_EQ(back.test_code, "9");
  EXPECT_EQ(back.code_range, p.code_range);
  EXPECT_EQ(back.node_range, p.node_range);
  EXPECT_EQ(back.peak_peak_count, 50);
}

/// Points TORVWY_HOME at a temporary folder, so the profile lands there.
class StatisticsProfileTest : public ::testing::Test {
 protected:
  torvwy::testing::ScopedHome home_;
};

TEST_F(StatisticsProfileTest, WritesIntoTheProfileKeepingItsOtherLines) {
  EXPECT_EQ(ReadStatisticsParameters().test_name, "abc");  // no profile yet: the defaults
  StatisticsParameters p;
  p.test_name = "t9";
  p.peak_peak_count = 7;
  ASSERT_TRUE(WriteStatisticsParameters(p).ok());
  {
    std::ofstream out(ProfilePath(), std::ios::app);
    out << "[Other]\nKey=kept\n";
  }
  p.node_range = "2-3";
  ASSERT_TRUE(WriteStatisticsParameters(p).ok());
  const StatisticsParameters back = ReadStatisticsParameters();
  EXPECT_EQ(back.test_name, "t9");
  EXPECT_EQ(back.node_range, "2-3");
  EXPECT_EQ(back.peak_peak_count, 7);
  EXPECT_EQ(back.host_folder, GetHostFolder());
  auto profile = IniFile::Load(ProfilePath());
  ASSERT_TRUE(profile.ok());
  EXPECT_EQ(profile->Get("Other", "Key"), "kept");
  EXPECT_FALSE(profile->Get("settings", "TestCode").has_value());
}

TEST_F(StatisticsProfileTest, NumberFormatSettingGivesTheCellFormat) {
  EXPECT_EQ(ReadNumberFormatCode(), 0);  // no profile: the default format
  auto with = [](const char* setting, const char* digits) {
    std::ofstream(ProfilePath()) << "[settings]\nNumberFormat=" << setting
                                 << "\nNumberDigits=" << digits << "\n";
    return ReadNumberFormatCode();
  };
  EXPECT_EQ(with("1", "3"), 4);
  EXPECT_EQ(with("2", "2"), -2);
  EXPECT_EQ(with("2", "12"), 0);  // out of range: the default, never a huge precision
  EXPECT_EQ(with("x", "2"), 0);
}

}  // namespace
}  // namespace torvwy::core

namespace torvwy::core {
namespace {

TEST(StatisticsParameters, WaveformFileFillsTheFields) {
  auto fields = FieldsOfWaveformFile("/d/data/abc12#5.sts");
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->folder, "/d/data");
  EXPECT_EQ(fields->test_name, "abc");
  EXPECT_EQ(fields->test_code, "12");
  EXPECT_EQ(fields->node_name, "5");
  StatisticsParameters parameters;
  ApplyWaveformFile(*fields, parameters);
  EXPECT_EQ(parameters.data_path, "/d/data");
  EXPECT_EQ(parameters.result_path, "/d/data");
  EXPECT_EQ(parameters.code_range, "12");
  EXPECT_EQ(parameters.node_range, "5");

  fields = FieldsOfWaveformFile("/x#1.sts");  // the root keeps its separator
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->folder, "/");
  EXPECT_EQ(fields->test_name, "x");
  EXPECT_EQ(fields->test_code, "");
  fields = FieldsOfWaveformFile("/d//123#7.STS");
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->folder, "/d");
  EXPECT_EQ(fields->test_name, "12");
  EXPECT_EQ(fields->test_code, "3");
  fields = FieldsOfWaveformFile("/d/abcX##2.sts");
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->test_code, "X");
  EXPECT_EQ(fields->node_name, "2");
  EXPECT_FALSE(FieldsOfWaveformFile("/d/abc12.sts"));
  EXPECT_FALSE(FieldsOfWaveformFile("/d/#5.sts"));
}

}  // namespace
}  // namespace torvwy::core
