// Bookmarks in the [Labels] section: defaults, delete and rename.
#include "core/data/labels.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/services/message_table.h"
#include "core/services/text.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;

TEST(Labels, MissingKeysReadZero) {
  testing::TempDir dir;
  const fs::path tsp = dir.path() / "a1#1.tsp";
  std::ofstream(tsp) << "[Sampling]\nFrequency=1\n[Labels]\nLabelNum=2\nLabelPos001=10\n"
                        "LabelText001=first\nLabelText002=second\n";
  const auto labels = ReadLabels(tsp);
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0].position, "10");
  EXPECT_EQ(labels[1].position, "0");
  EXPECT_EQ(labels[1].text, "second");
  EXPECT_TRUE(ReadLabels(dir.path() / "missing.tsp").empty());
}

TEST(Labels, DeleteAndRenameKeepTheRestOfTheFile) {
  testing::TempDir dir;
  const fs::path tsp = dir.path() / "a1#1.tsp";
  const std::string head = "[Sampling]\r\nFrequency=1024\r\n; note\r\n";
  std::ofstream(tsp, std::ios::binary)
      << head << "[Labels]\r\nLabelNum=3\r\nLabelPos001=1\r\nLabelText001=a\r\n"
      << "LabelPos002=2\r\nLabelText002=b\r\nLabelPos003=3\r\nLabelText003=c\r\n";

  ASSERT_TRUE(StoreLabels(tsp, kLabelDelete, 0, ""));
  EXPECT_EQ(testing::ReadFileBytes(tsp),
            head +
                "[Labels]\r\nLabelNum=2\r\nLabelPos001=2\r\nLabelText001=b\r\n"
                "LabelPos002=3\r\nLabelText002=c\r\n");
  ASSERT_TRUE(StoreLabels(tsp, kLabelRename, 1, "终点"));
  auto labels = ReadLabels(tsp);
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[1].text, "终点");
  EXPECT_EQ(labels[1].position, "3");

  ASSERT_TRUE(StoreLabels(tsp, kLabelDelete, 1, ""));
  ASSERT_TRUE(StoreLabels(tsp, kLabelDelete, 0, ""));
  EXPECT_EQ(testing::ReadFileBytes(tsp), head + "[Labels]\r\nLabelNum=0\r\n");

  EXPECT_FALSE(StoreLabels(tsp, kLabelDelete, 0, ""));  // nothing left to delete
  EXPECT_FALSE(StoreLabels(tsp, 3, 0, ""));
  EXPECT_FALSE(StoreLabels(dir.path() / "missing.tsp", kLabelRename, 0, "x"));
  EXPECT_FALSE(fs::exists(dir.path() / "missing.tsp"));
}

// A rename keeps 250 characters, whatever their width in the file, and reads back as shown; a
// file changed since its labels were read is left alone.
TEST(Labels, RenameKeepsTheNameAsShownAndRefusesAChangedFile) {
  testing::TempDir dir;
  const fs::path tsp = dir.path() / "a1#1.tsp";
  const std::string file =
      "[Labels]\nLabelNum=2\nLabelPos001=1\nLabelText001=a\n"
      "LabelPos002=2\nLabelText002=b\n";
  std::ofstream(tsp, std::ios::binary) << file;
  std::string long_name;
  for (int i = 0; i < 260; ++i) long_name += "应";  // two bytes each in the file
  ASSERT_TRUE(StoreLabels(tsp, kLabelRename, 0, long_name));
  std::string shown;
  for (int i = 0; i < 250; ++i) shown += "应";
  EXPECT_EQ(ReadLabels(tsp)[0].text, shown);
  EXPECT_EQ(CutCharacters("a应b", 2), "a应");
  EXPECT_EQ(CutCharacters("ab", 5), "ab");

  const std::vector<Label> seen = ReadLabels(tsp);
  ASSERT_TRUE(StoreLabels(tsp, kLabelRename, 1, "c", seen));
  const std::string before = testing::ReadFileBytes(tsp);
  // `seen` still names "b" as the second label: the file has changed since.
  auto stale = StoreLabels(tsp, kLabelDelete, 1, "", seen);
  ASSERT_FALSE(stale);
  EXPECT_EQ(stale.error().message, kMsgFileWrite);
  EXPECT_EQ(testing::ReadFileBytes(tsp), before);
}

}  // namespace
}  // namespace torvwy::core
