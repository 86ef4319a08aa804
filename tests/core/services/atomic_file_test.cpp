// Atomic saving: the old file survives every failure and no temporary file is left.
#include "core/services/atomic_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/services/message_table.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;

size_t FileCount(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

TEST(AtomicFile, ReplacesTheTargetOnlyOnCommit) {
  testing::TempDir dir;
  const fs::path target = dir.path() / "result.PCM";
  ASSERT_TRUE(SaveFileAtomically(target, "old"));
  {
    auto writer = AtomicFileWriter::Open(target);
    ASSERT_TRUE(writer);
    writer->WriteInt32(-2);
    writer->WriteDouble(1.5);
    EXPECT_EQ(testing::ReadFileBytes(target), "old");  // not yet
    ASSERT_TRUE(writer->Commit());
  }
  const std::string bytes = testing::ReadFileBytes(target);
  ASSERT_EQ(bytes.size(), 12u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\xFE\xFF\xFF\xFF", 4));   // little-endian int32
  EXPECT_EQ(bytes.substr(4), std::string("\0\0\0\0\0\0\xF8\x3F", 8));  // 1.5
  EXPECT_EQ(FileCount(dir.path()), 1u);
}

TEST(AtomicFile, FailuresKeepTheOldFileAndLeaveNoTemporary) {
  testing::TempDir dir;
  const fs::path target = dir.path() / "listdata.txt";
  ASSERT_TRUE(SaveFileAtomically(target, "previous good file"));

  {  // A full disk in the middle of the file.
    auto writer = AtomicFileWriter::Open(target);
    ASSERT_TRUE(writer);
    writer->FailAfterBytesForTesting(10);
    writer->Write(std::string(100000, 'x'));
    auto status = writer->Commit();
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().message, kMsgResultFileCreate);
    EXPECT_NE(status.error().detail.find("listdata.txt"), std::string::npos);
  }
  {  // Abandoned without Commit.
    auto writer = AtomicFileWriter::Open(target);
    ASSERT_TRUE(writer);
    writer->Write("half written");
  }
  EXPECT_EQ(testing::ReadFileBytes(target), "previous good file");
  EXPECT_EQ(FileCount(dir.path()), 1u);

  // A folder that does not exist: a clean error, nothing created.
  auto missing = SaveFileAtomically(dir.path() / "no" / "such.txt", "x", kMsgFileWrite);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().message, kMsgFileWrite);
}

}  // namespace
}  // namespace torvwy::core
