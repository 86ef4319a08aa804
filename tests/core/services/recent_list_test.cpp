// Recent-entry lists: newest first, no duplicates, at most twenty, and tolerant reading.
#include "core/services/recent_list.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;

TEST(RecentList, NewestFirstWithoutDuplicatesAndAtMostTwenty) {
  testing::TempDir dir;
  const fs::path path = dir.path() / kRecentTestNames;
  EXPECT_TRUE(LoadRecentList(path).empty());  // missing file: an empty list
  ASSERT_TRUE(AddRecentEntry(path, "abc"));
  ASSERT_TRUE(AddRecentEntry(path, "试验"));
  ASSERT_TRUE(AddRecentEntry(path, "abc"));
  EXPECT_EQ(LoadRecentList(path), (std::vector<std::string>{"abc", "试验"}));

  for (int i = 0; i < 30; ++i)
    ASSERT_TRUE(AddRecentEntry(path, std::string("t") + std::to_string(i)));
  const auto entries = LoadRecentList(path);
  ASSERT_EQ(entries.size(), kRecentListLength);
  EXPECT_EQ(entries.front(), "t29");
  EXPECT_EQ(entries.back(), "t10");

  // Blank entries and entries with a line break would break the one-entry-a-line file.
  ASSERT_TRUE(AddRecentEntry(path, "  "));
  ASSERT_TRUE(AddRecentEntry(path, "a\nb"));
  EXPECT_EQ(LoadRecentList(path).front(), "t29");
}

TEST(RecentList, ReadsCrLfAndSkipsBlankLines) {
  testing::TempDir dir;
  const fs::path path = dir.path() / kRecentPaths;
  std::ofstream(path, std::ios::binary) << "/data/a\r\n\r\n   \n/data/b\n/data/c";
  EXPECT_EQ(LoadRecentList(path), (std::vector<std::string>{"/data/a", "/data/b", "/data/c"}));
  // An unwritable place leaves the list as it was and says so.
  EXPECT_FALSE(AddRecentEntry(dir.path() / "missing" / "list.txt", "x"));
}

}  // namespace
}  // namespace torvwy::core
