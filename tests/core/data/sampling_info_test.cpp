// The sampling record: field offsets, the .tsp reader and its refusals, the node check.
#include "core/data/sampling_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "core/data/labels.h"
#include "core/data/sample_format.h"
#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;

void WriteTsp(const fs::path& path, const std::string& sampling_lines) {
  std::ofstream(path, std::ios::binary) << "[Sampling]\r\n" << sampling_lines;
}

TEST(SamplingInfo, FieldsLieAtTheirOffsets) {
  SamplingInfo info;
  info.set_frequency_hz(2.5);
  info.set_c1(3.0);
  info.set_c2(-4.0);
  info.set_format(951);
  info.set_length_half_blocks(0x01020304);
  info.set_eu("MPa");
  info.set_text1("一");
  info.set_text2("two");
  info.set_text3(std::string(300, 'z'));
  const char* b = info.bytes().data();
  double d;
  std::memcpy(&d, b + 0, 8);
  EXPECT_EQ(d, 2.5);
  std::memcpy(&d, b + 8, 8);
  EXPECT_EQ(d, 3.0);
  std::memcpy(&d, b + 16, 8);
  EXPECT_EQ(d, -4.0);
  EXPECT_EQ(std::string(b + 24, 4), std::string("\xB7\x03\0\0", 4));  // 951 little-endian
  EXPECT_EQ(std::string(b + 28, 4), std::string("\x04\x03\x02\x01", 4));
  EXPECT_STREQ(b + 44, "MPa");
  EXPECT_EQ(std::string(b + 94), Utf8ToGbk("一"));
  EXPECT_STREQ(b + 349, "two");
  EXPECT_EQ(std::string(b + 604).size(), 259u);  // cut to the field, zero-terminated
  EXPECT_EQ(b[863], '\0');
  for (int i = 32; i < 44; ++i) EXPECT_EQ(b[i], '\0') << i;  // no full scale stored
}

TEST(SamplingInfo, DerivedValues) {
  SamplingInfo info;
  info.set_frequency_hz(512.0);
  info.set_length_half_blocks(5);
  EXPECT_EQ(info.record_samples(), 2560);
  EXPECT_EQ(info.whole_blocks(), 2);
  EXPECT_DOUBLE_EQ(info.record_seconds(), 4.0);
  EXPECT_EQ(info.overview_size(), 1024);
  info.set_length_half_blocks(1);
  EXPECT_EQ(info.overview_size(), 512);
  EXPECT_EQ(info.whole_blocks(), 0);
  info.set_length_half_blocks(0x7FFFFFFF);  // more than 2^31 samples
  EXPECT_EQ(info.record_samples(), int64_t{0x7FFFFFFF} * 512);
}

TEST(SamplingInfo, FullScaleByFormat) {
  SamplingInfo info;
  for (auto [format, full_scale] : {std::pair{861, 5000.0},
                                    {863, 5000.0},
                                    {706, 10000.0},
                                    {712, 10000.0},
                                    {872, 10000.0},
                                    {885, 10000.0},
                                    {886, 10000.0},
                                    {951, 10000.0},
                                    {111, 10000.0}}) {
    info.set_format(format);
    auto f = FullScaleOf(info);
    ASSERT_TRUE(f) << format;
    EXPECT_EQ(*f, full_scale) << format;
  }
  info.set_format(111);
  info.set_stored_full_scale(250.0);
  EXPECT_EQ(*FullScaleOf(info), 250.0);
  info.set_format(12345);
  EXPECT_FALSE(FullScaleOf(info));
}

TEST(SamplingInfo, ReadsTheTspFile) {
  testing::TempDir dir;
  const fs::path tsp = dir.path() / "a1#1.tsp";
  WriteTsp(tsp,
           "Frequency = 2048\r\nc1=0.5\r\nC2=2\r\nFormat=111\r\nLength=7\r\nFullScale=20\r\n"
           "EU=" +
               Utf8ToGbk("微应变") + "\r\nText3=bridge\r\n");
  auto info = ReadSamplingParameters(tsp);
  ASSERT_TRUE(info) << info.error().detail;
  EXPECT_EQ(info->frequency_hz(), 2048.0);
  EXPECT_EQ(info->c1(), 0.5);
  EXPECT_EQ(info->c2(), 2.0);
  EXPECT_EQ(info->format(), 111);
  EXPECT_EQ(info->length_half_blocks(), 7);
  EXPECT_EQ(GetFullScale(*info), 20.0);
  EXPECT_EQ(info->eu(), "微应变");
  EXPECT_EQ(info->text3(), "bridge");
  EXPECT_EQ(info->text1(), "");
}

TEST(SamplingInfo, RefusesBadSamplingParameters) {
  testing::TempDir dir;
  const fs::path tsp = dir.path() / "a1#1.tsp";
  const std::string good_tail = "Format=951\r\nLength=2\r\n";
  for (const std::string& lines : std::vector<std::string>{
           "C1=1\r\nC2=1\r\n" + good_tail,                 // no frequency
           "Frequency=0\r\nC1=1\r\nC2=1\r\n" + good_tail,  // frequency 0
           "Frequency=-5\r\nC1=1\r\nC2=1\r\n" + good_tail,
           "Frequency=abc\r\nC1=1\r\nC2=1\r\n" + good_tail,
           "Frequency=1e999\r\nC1=1\r\nC2=1\r\n" + good_tail,
           "Frequency=10\r\nC1=0\r\nC2=1\r\n" + good_tail,  // every value is divided by c1
           "Frequency=10\r\nC1=1\r\nC2=0.0\r\n" + good_tail,
           "Frequency=10\r\nC1=nan\r\nC2=1\r\n" + good_tail,
           "Frequency=10\r\nC1=1\r\nC2=1\r\nFormat=999\r\nLength=2\r\n",
           "Frequency=10\r\nC1=1\r\nC2=1\r\nFormat=951\r\nLength=2.5\r\n",
           "Frequency=10\r\nC1=1\r\nC2=1\r\nFormat=951\r\n",
           "Frequency=10\r\nC1=1\r\nC2=1\r\nFormat=951\r\nLength=-2\r\n",
           "Frequency=10\r\nC1=1\r\nC2=1\r\nFormat=111\r\nLength=2\r\nFullScale=-1\r\n",
       }) {
    WriteTsp(tsp, lines);
    auto info = ReadSamplingParameters(tsp);
    EXPECT_FALSE(info) << lines;
    if (!info) {
      EXPECT_FALSE(info.error().detail.empty());
    }
  }
  EXPECT_FALSE(ReadSamplingParameters(dir.path() / "missing.tsp"));
}

/// The first ```ini block after `heading` in the user guide's page of file formats.
std::string GuideExample(const std::string& heading) {
  const std::string readme = testing::ReadFileBytes(fs::path(TORVWY_SOURCE_DIR).parent_path() /
                                                    "docs" / "file-formats.md");
  const size_t at = readme.find(heading);
  if (at == std::string::npos) return {};
  const size_t begin = readme.find("```ini\n", at);
  const size_t end = readme.find("```\n", begin + 7);
  if (begin == std::string::npos || end == std::string::npos) return {};
  return readme.substr(begin + 7, end - begin - 7);
}

TEST(SamplingInfo, ReadsTheExampleOfTheGuide) {
  testing::TempDir dir;
  const std::string example = GuideExample("## Sampling parameter file (.tsp)");
  ASSERT_NE(example.find("Frequency=1024"), std::string::npos) << example;
  const fs::path tsp = dir.path() / "T01A#1.tsp";
  std::ofstream(tsp, std::ios::binary) << example;
  auto info = ReadSamplingParameters(tsp);
  ASSERT_TRUE(info) << info.error().detail;
  EXPECT_EQ(info->frequency_hz(), 1024.0);
  EXPECT_EQ(info->c1(), 100.0);
  EXPECT_EQ(info->c2(), 1.0);
  EXPECT_EQ(info->format(), 951);
  EXPECT_EQ(info->length_half_blocks(), 400);
  EXPECT_EQ(info->stored_full_scale(), 10000.0);
  EXPECT_EQ(info->eu(), "MPa");
  EXPECT_EQ(info->text1(), "...");
  const std::vector<Label> labels = ReadLabels(tsp);
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0].position, "0");
  EXPECT_EQ(labels[0].text, "sweep starts");
  EXPECT_EQ(labels[1].position, "102400");
}

TEST(SamplingInfo, ACommentFollowsANumberButATextKeepsItsSemicolon) {
  testing::TempDir dir;
  const fs::path tsp = dir.path() / "n.tsp";
  std::ofstream(tsp, std::ios::binary)
      << "[Sampling]\r\nFrequency=2048;Hz\r\nC1 = 2.5   ; c1\r\nC2=0.8\t; c2\r\n"
         "Format=886 ; float64\r\nLength=4;half blocks\r\nEU=N;m\r\nText1=a ; b\r\n"
         "Text2=;\r\nText3=x\r\n[Labels]\r\nLabelNum=1 ; one\r\nLabelPos001=512 ; here\r\n"
         "LabelText001=start ; of the sweep\r\n";
  auto info = ReadSamplingParameters(tsp);
  ASSERT_TRUE(info) << info.error().detail;
  EXPECT_EQ(info->frequency_hz(), 2048.0);
  EXPECT_EQ(info->c1(), 2.5);
  EXPECT_EQ(info->c2(), 0.8);
  EXPECT_EQ(info->format(), 886);
  EXPECT_EQ(info->length_half_blocks(), 4);
  EXPECT_EQ(info->eu(), "N;m");
  EXPECT_EQ(info->text1(), "a ; b");
  EXPECT_EQ(info->text2(), ";");
  const std::vector<Label> labels = ReadLabels(tsp);
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].position, "512");
  EXPECT_EQ(labels[0].text, "start ; of the sweep");

  // Only a number may stand before the comment; the message shows the whole value.
  const struct {
    std::string line;
    std::string detail;
  } bad[] = {
      {"Frequency=; 1024\r\n", "Frequency \"; 1024\" is not a number"},
      {"Frequency=10 24 ; Hz\r\n", "Frequency \"10 24 ; Hz\" is not a number"},
      {"Frequency=1024 Hz ; rate\r\n", "Frequency \"1024 Hz ; rate\" is not a number"},
  };
  for (const auto& c : bad) {
    WriteTsp(tsp, c.line + "C1=1\r\nC2=1\r\nFormat=886\r\nLength=4\r\n");
    auto refused = ReadSamplingParameters(tsp);
    ASSERT_FALSE(refused) << c.line;
    EXPECT_NE(refused.error().detail.find(c.detail), std::string::npos) << refused.error().detail;
  }
}

TEST(SamplingInfo, NodeCheckSeesChangedData) {
  testing::TempDir dir;
  auto node = testing::WriteNode(dir.path(), std::vector<double>(1024, 1.0));
  auto info = ReadSamplingParameters(node.tsp);
  ASSERT_TRUE(info);
  EXPECT_EQ(CheckNode(node.tsp, *info), 0);
  SamplingInfo changed = *info;
  changed.set_frequency_hz(1000.0);
  EXPECT_EQ(CheckNode(node.tsp, changed), 2);
  changed = *info;
  changed.set_c2(9.0);  // c2 is not part of the check
  EXPECT_EQ(CheckNode(node.tsp, changed), 0);
  fs::remove(node.tsp);
  EXPECT_EQ(CheckNode(node.tsp, *info), 1);
}

}  // namespace
}  // namespace torvwy::core
