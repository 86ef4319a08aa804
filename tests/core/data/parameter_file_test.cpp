// Reading the analysis parameter file into a TestContext.
#include "core/data/parameter_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "core/services/gbk.h"
#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;

class ParameterFile : public ::testing::Test {
 protected:
  /// Writes the lines (UTF-8, stored as GBK) with CR LF ends and reads them back.
  Result<TestContext> Read(std::initializer_list<std::string> lines, bool final_newline = true) {
    const fs::path path = dir_.path() / kParameterFileName;
    std::ofstream out(path, std::ios::binary);
    size_t i = 0;
    for (const auto& line : lines) {
      out << Utf8ToGbk(line);
      if (++i < lines.size() || final_newline) out << "\r\n";
    }
    out.close();
    return ReadAnalysisParameterFile(path);
  }
  testing::TempDir dir_;
};

TEST_F(ParameterFile, ReadsAnAnalysisModeFile) {
  auto context = Read({"[TORV-WY-ANALY-PARA-FILE-001]",
                       "[FileVersion]",
                       "1",
                       "[TestName]",
                       "桥梁",
                       "[TestCode]",
                       "12",
                       "[PathData]",
                       "/data",
                       "[PathResult]",
                       "/results",
                       "[ResultNumber]",
                       "1",
                       "[NodeNumber]",
                       "2",
                       "[NodeName]",
                       "5",
                       "测点6",
                       "[End]",
                       "[TestName]",
                       "ignored after the end"});
  ASSERT_TRUE(context);
  EXPECT_EQ(context->result_mode, 0);
  EXPECT_EQ(context->test_name, "桥梁");
  EXPECT_EQ(context->test_code, "12");
  EXPECT_EQ(context->data_path, "/data");
  EXPECT_EQ(context->result_path, "/results");
  EXPECT_EQ(context->node_list, (std::vector<std::string>{"5", "测点6"}));
  EXPECT_EQ(context->node_name, "5");
  EXPECT_EQ(context->result_count, 0);  // result keys aren't read in analysis mode
}

TEST_F(ParameterFile, KeysCompareWholeAndWithoutCase) {
  auto context = Read({"[torv-wy-analy-para-file-001]", "[TESTNAME] ", "skipped value",
                       "[testcode]", "7", "[NodeNumber]", "1", "[nodename]", "n1"});
  ASSERT_TRUE(context);               // lower-case magic, no [End]
  EXPECT_EQ(context->test_name, "");  // the key with a trailing blank is not recognised
  EXPECT_EQ(context->test_code, "7");
  EXPECT_EQ(context->node_list, std::vector<std::string>{"n1"});
}

TEST_F(ParameterFile, ResultModeKeepsOneResultName) {
  auto context = Read({"[TORV-WY-ANALY-PARA-FILE-002]", "[PathResult]", "/r", "[NodeNumber]", "1",
                       "[NodeName]", "x", "[ResultNumber]", "3", "[ResultName]", "abc12#5.PCM",
                       "abc12#6.PCM", "abc12#7.PCM", "[End]"});
  ASSERT_TRUE(context);
  EXPECT_EQ(context->result_mode, 1);
  EXPECT_EQ(context->result_count, 1);
  EXPECT_EQ(context->result_names.front(), "abc12#5.PCM");
  EXPECT_EQ(context->result_names.size(), 3u);
  EXPECT_TRUE(context->node_list.empty());  // node keys aren't read in result mode
}

TEST_F(ParameterFile, NameListsCutShortReadEmptyNames) {
  auto context =
      Read({"[TORV-WY-ANALY-PARA-FILE-001]", "[NodeNumber]", "3", "[NodeName]", "a"}, false);
  ASSERT_TRUE(context);
  EXPECT_EQ(context->node_list, (std::vector<std::string>{"a", "", ""}));
}

TEST_F(ParameterFile, FailuresGiveTheParameterFileMessage) {
  const std::vector<std::vector<std::string>> bad = {
      {"[TORV-WY-ANALY-PARA-FILE-003]", "[NodeNumber]", "1", "[NodeName]", "a"},
      {"[TORV-WY-ANALY-PARA-FILE-001]", "[NodeNumber]", "0", "[NodeName]", "a", "[End]"},
      {"[TORV-WY-ANALY-PARA-FILE-001]", "[NodeName]", "a", "[End]"},  // no count before
      {"[TORV-WY-ANALY-PARA-FILE-001]", "[NodeNumber]", "x", "[NodeName]", "a"},
      {""},
  };
  for (const auto& lines : bad) {
    const fs::path path = dir_.path() / kParameterFileName;
    std::ofstream out(path, std::ios::binary);
    for (const auto& line : lines) out << line << "\n";
    out.close();
    auto context = ReadAnalysisParameterFile(path);
    ASSERT_FALSE(context) << lines.front();
    EXPECT_EQ(context.error().message, kMsgParameterFileUnreadable);
  }
  auto missing = ReadAnalysisParameterFile(dir_.path() / "missing.txt");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().message, kMsgParameterFileUnreadable);
}

TEST_F(ParameterFile, WritesWhatItReads) {
  TestContext context;
  context.test_name = "试验";
  context.test_code = "3";
  context.data_path = "/d";
  context.result_path = "/r";
  context.node_list = {"1", "测点2"};
  const fs::path path = dir_.path() / kParameterFileName;
  ASSERT_TRUE(WriteAnalysisParameterFile(path, context));
  auto back = ReadAnalysisParameterFile(path);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->test_name, "试验");
  EXPECT_EQ(back->node_list, context.node_list);
}

TEST_F(ParameterFile, LoadsTheFirstNodeAndTheLabelsOfAll) {
  testing::NodeLayout layout;
  layout.node_name = "1";
  auto first = testing::WriteNode(dir_.path(), std::vector<double>(1024, 0.0), layout);
  layout.node_name = "2";
  auto second = testing::WriteNode(dir_.path(), std::vector<double>(1024, 0.0), layout);
  std::ofstream(second.tsp, std::ios::app) << "[Labels]\r\nLabelNum=1\r\nLabelPos001=100\r\n"
                                              "LabelText001=start\r\n";
  TestContext context;
  context.test_name = layout.test_name;
  context.test_code = layout.test_code;
  context.data_path = dir_.path().string();
  context.node_list = {"1", "2", "missing"};
  auto info = LoadCurrentNode(context);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->length_half_blocks(), 2);
  ASSERT_EQ(context.labels.size(), 3u);
  EXPECT_TRUE(context.labels[0].empty());
  ASSERT_EQ(context.labels[1].size(), 1u);
  EXPECT_EQ(context.labels[1][0].position, "100");
  EXPECT_TRUE(context.labels[2].empty());

  context.node_list = {"../etc"};
  auto refused = LoadCurrentNode(context);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message, kMsgBadName);
}

}  // namespace
}  // namespace torvwy::core
