// The text reader: columns, headers, units, the time column, decimal commas and its refusals.
#include "recording/text_recording.h"

#include <gtest/gtest.h>

#include <fstream>

#include "core/services/message_table.h"
#include "recording/recording.h"
#include "support/test_node.h"

namespace torvwy::recording {
namespace {

namespace fs = std::filesystem;

class TextRecordingTest : public ::testing::Test {
 protected:
  fs::path Write(const std::string& text) {
    const fs::path path = dir_.path() / ("rec" + std::to_string(++files_) + ".csv");
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::vector<double> ReadAll(RecordingReader& file, size_t index) {
    std::vector<double> values;
    auto ok = file.Read(index, [&](std::span<const double> piece) {
      values.insert(values.end(), piece.begin(), piece.end());
      return core::Ok();
    });
    EXPECT_TRUE(ok) << ok.error().detail;
    return values;
  }
  testing::TempDir dir_;
  int files_ = 0;
};

TEST_F(TextRecordingTest, ColumnsBecomeChannelsNamedByTheHeader) {
  const auto path = Write(
      "# exported by the lab\n"
      "Test run 7\n"
      "Time (s);Strain 1;\"Force, kN\";empty\n"
      "s;um/m;kN;\n"
      "0.0;1.5;-2;\n"
      "0.5;2.5;3e2;\n"
      "1.0;-0.25;;\n");
  auto file = OpenRecording(path);
  ASSERT_TRUE(file) << file.error().detail;
  EXPECT_EQ((*file)->kind(), RecordingKind::kText);
  const auto& channels = (*file)->channels();
  ASSERT_EQ(channels.size(), 3u);  // the time column gives the rate; "empty" holds nothing
  EXPECT_EQ(channels[0].name, "Strain 1");
  EXPECT_EQ(channels[0].unit, "um/m");
  EXPECT_EQ(channels[0].length, 3);
  EXPECT_EQ(channels[0].rate_hz, 2.0);  // 2 steps over 1 s
  EXPECT_EQ(channels[0].largest_magnitude, 2.5);
  EXPECT_EQ(channels[1].name, "Force, kN");
  EXPECT_EQ(channels[1].length, 2);  // each channel keeps its own length
  EXPECT_EQ(channels[2].name, "empty");
  EXPECT_EQ(channels[2].length, 0);
  ASSERT_EQ((*file)->skipped().size(), 1u);
  EXPECT_NE((*file)->skipped()[0].find("time column"), std::string::npos);
  EXPECT_EQ(ReadAll(**file, 0), (std::vector<double>{1.5, 2.5, -0.25}));
  EXPECT_EQ(ReadAll(**file, 1), (std::vector<double>{-2.0, 300.0}));
}

TEST_F(TextRecordingTest, DecimalCommaAndBlankSeparatedFiles) {
  RecordingOptions comma;
  comma.decimal_comma = true;
  auto file = OpenRecording(Write("a;b\n1,5;-2,25\n3;4,0\n"), comma);
  ASSERT_TRUE(file) << file.error().detail;
  ASSERT_EQ((*file)->channels().size(), 2u);
  EXPECT_EQ(ReadAll(**file, 0), (std::vector<double>{1.5, 3.0}));
  EXPECT_EQ(ReadAll(**file, 1), (std::vector<double>{-2.25, 4.0}));
  // Without the option the same file splits at the commas too.
  auto plain = OpenRecording(Write("1 2  3\n4 5 6\n"));
  ASSERT_TRUE(plain);
  ASSERT_EQ((*plain)->channels().size(), 3u);
  EXPECT_EQ((*plain)->channels()[2].name, "col3");
  EXPECT_EQ(ReadAll(**plain, 2), (std::vector<double>{3.0, 6.0}));
}

TEST_F(TextRecordingTest, ReadsInPiecesAcrossTheBuffer) {
  std::string text = "v\n";
  const int n = static_cast<int>(kRecordingBuffer) * 2 + 7;
  for (int i = 0; i < n; ++i) text += std::to_string(i) + "\n";
  auto file = OpenRecording(Write(text));
  ASSERT_TRUE(file);
  std::vector<size_t> pieces;
  double next = 0;
  auto ok = (*file)->Read(0, [&](std::span<const double> piece) {
    pieces.push_back(piece.size());
    for (const double v : piece) EXPECT_EQ(v, next++);
    return core::Ok();
  });
  ASSERT_TRUE(ok);
  EXPECT_EQ(pieces, (std::vector<size_t>{kRecordingBuffer, kRecordingBuffer, 7}));
}

TEST_F(TextRecordingTest, RefusesDamagedFilesNamingTheLine) {
  const struct {
    const char* text;
    const char* says;
    int message;
  } cases[] = {
      {"a,b\n1,2\n3,x\n", "line 3: column 'b' holds 'x'", core::kMsgFileRead},
      {"a,b\n1,2\n,3\n4,5\n", "line 4: column 'a' goes on after its empty cell on line 3",
       core::kMsgFileRead},
      {"a,b\n1,2\n3,4,5\n", "line 3: 3 fields", core::kMsgFileRead},
      {"a,b\n1,nan\n", "line 2: column 'b' is not a finite number", core::kMsgBadValue},
      {"time,a\n0,1\n0,2\n", "line 3: the time 0 does not follow", core::kMsgFileRead},
      {"only words\nhere\n", "no number rows", core::kMsgFileRead},
      {"", "no number rows", core::kMsgFileRead},
  };
  for (const auto& c : cases) {
    auto file = OpenRecording(Write(c.text));
    ASSERT_FALSE(file) << c.text;
    EXPECT_EQ(file.error().message, c.message) << c.text;
    EXPECT_NE(file.error().detail.find(c.says), std::string::npos) << file.error().detail;
    EXPECT_EQ(file.error().detail.find('\n'), std::string::npos);
  }
  RecordingOptions replace;
  replace.nan_value = 0.0;
  auto replaced = OpenRecording(Write("a\n1\nnan\n-inf\n"), replace);
  ASSERT_TRUE(replaced);
  EXPECT_EQ(ReadAll(**replaced, 0), (std::vector<double>{1.0, 0.0, 0.0}));
}

TEST(TextFields, SplitLikeTheLabsWriteThem) {
  EXPECT_EQ(SplitTextFields("a, b ,c", false), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(SplitTextFields("\t1\t2", false), (std::vector<std::string>{"", "1", "2"}));
  EXPECT_EQ(SplitTextFields("\"x, \"\"y\"\"\";2", false),
            (std::vector<std::string>{"x, \"y\"", "2"}));
  EXPECT_EQ(SplitTextFields("1,5;2,5", true), (std::vector<std::string>{"1,5", "2,5"}));
  EXPECT_EQ(SplitTextFields("\"unclosed,1", false), (std::vector<std::string>{"unclosed,1"}));
  for (const char* time : {"t", "Time", "TIME (s)", "time_s", " time[s] "}) {
    EXPECT_TRUE(NamesTimeColumn(time)) << time;
  }
  for (const char* other : {"times", "timestamp", "temperature", "tx", ""}) {
    EXPECT_FALSE(NamesTimeColumn(other)) << other;
  }
}

}  // namespace
}  // namespace torvwy::recording
