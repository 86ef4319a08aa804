// Leftover names and the clean-up after killed saves: only a dead process's own files go.
#include "core/services/save_leftovers.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "core/services/atomic_file.h"
#include "support/test_node.h"

namespace torvwy::core {
namespace {
namespace fs = std::filesystem;

/// A PID that no process has: a child's, after it ended.
pid_t DeadPid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

void Touch(const fs::path& path, const std::string& content = "x") {
  std::ofstream(path, std::ios::binary) << content;
}

TEST(SaveLeftovers, NamesReadBack) {
  const struct {
    std::string name;
    bool leftover;
    std::string target;
    LeftoverKind kind;
    int64_t pid;
    uint64_t number;
  } cases[] = {
      {".abc12#5.sts.torvwy-tmp-4711-3", true, "abc12#5.sts", LeftoverKind::kTemporary, 4711, 3},
      {".a.torvwy-old-1-2.torvwy-tmp-9-8", true, "a.torvwy-old-1-2", LeftoverKind::kTemporary, 9,
       8},
      {".r.rpt.torvwy-old-12-0", true, "r.rpt", LeftoverKind::kKept, 12, 0},
      {".r.rpt.torvwy-new-12-0", true, "r.rpt", LeftoverKind::kAbsent, 12, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto parts = ParseLeftoverName(c.name);
    ASSERT_EQ(parts.has_value(), c.leftover);
    if (!parts) continue;
    EXPECT_EQ(parts->target_name, c.target);
    EXPECT_EQ(parts->kind, c.kind);
    EXPECT_EQ(parts->pid, c.pid);
    EXPECT_EQ(parts->number, c.number);
  }
  const std::string foreign[] = {
      "abc.torvwy-tmp-1-1",  // no leading dot
      ".torvwy-tmp-1-1",     // no target name
      "..torvwy-tmp-1-1",    // the target would be the folder
      ".a.torvwy-tmp-1",     // no number
      ".a.torvwy-tmp-x-1",   // PID not a number
      ".a.torvwy-tmp-1-1x",  // trailing text
      ".a.torvwy-tmp--1-1",  // signed
      ".a.tmp-4711-3",       // someone else's pattern
      ".a.sts.tmp-AbC123",   // mkstemp's
  };
  for (const std::string& name : foreign) EXPECT_FALSE(ParseLeftoverName(name)) << name;
  const std::string own = LeftoverName("x.PCM", LeftoverKind::kTemporary, 42);
  EXPECT_EQ(own, ".x.PCM.torvwy-tmp-" + std::to_string(::getpid()) + "-42");
  EXPECT_EQ(ParseLeftoverName(own)->target_name, "x.PCM");
}

TEST(SaveLeftovers, TheNextSaveRemovesOnlyWhatADeadProcessLeft) {
  testing::TempDir dir;
  const auto at = [&](const std::string& name) { return dir.path() / name; };
  const std::string dead = std::to_string(DeadPid());
  const std::string self = std::to_string(::getpid());
  const std::string parent = std::to_string(::getppid());  // runs as long as we do
  // What a killed save left: its temporary file, and the kept copy of a set that had finished
  // its renames (the target is there, so the new set stays).
  Touch(at(".abc12#5.sts.torvwy-tmp-" + dead + "-1"), std::string(4096, 'x'));
  Touch(at("done.rpt"), "new");
  Touch(at(".done.rpt.torvwy-old-" + dead + "-7"), "old");
  // A set killed after taking its last part away: the old set comes back.
  Touch(at("cut.txt"), "new list");
  Touch(at(".cut.txt.torvwy-old-" + dead + "-9"), "old list");
  Touch(at(".cut.rpt.torvwy-old-" + dead + "-9"), "old report");
  Touch(at("fresh.bmp"), "new picture");
  Touch(at(".fresh.bmp.torvwy-new-" + dead + "-9"), "");
  // What live processes are writing.
  const std::vector<std::string> kept = {
      ".mine.sts.torvwy-tmp-" + self + "-999",
      ".theirs.sts.torvwy-tmp-" + parent + "-1",
      ".theirs.rpt.torvwy-old-" + parent + "-2",
      ".init.sts.torvwy-tmp-1-1",
      // Foreign files, whatever they look like.
      "abc12#5.sts.torvwy-tmp-" + dead + "-1",
      ".abc12#5.sts.tmp-" + dead + "-1",
      ".abc.torvwy-tmp-" + dead + "-1x",
      "abc12#5.sts",
  };
  for (const std::string& name : kept) Touch(at(name));
  fs::create_directory(at(".folder.torvwy-tmp-" + dead + "-1"));
  fs::create_symlink("abc12#5.sts", at(".link.torvwy-tmp-" + dead + "-1"));

  ASSERT_TRUE(SaveFileAtomically(at("listdata.txt"), "saved"));

  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    left.insert(entry.path().filename().string());
  }
  std::set<std::string> expected(kept.begin(), kept.end());
  expected.insert({"listdata.txt", "done.rpt", "cut.txt", "cut.rpt",
                   ".folder.torvwy-tmp-" + dead + "-1", ".link.torvwy-tmp-" + dead + "-1"});
  EXPECT_EQ(left, expected);
  EXPECT_EQ(testing::ReadFileBytes(at("done.rpt")), "new");
  EXPECT_EQ(testing::ReadFileBytes(at("cut.txt")), "old list");
  EXPECT_EQ(testing::ReadFileBytes(at("cut.rpt")), "old report");
  EXPECT_EQ(testing::ReadFileBytes(at("abc12#5.sts")), "x");
}

TEST(SaveLeftovers, ASavesOwnTemporaryFileIsNamedSo) {
  testing::TempDir dir;
  auto writer = AtomicFileWriter::Open(dir.path() / "r.PCM");
  ASSERT_TRUE(writer);
  const auto parts = ParseLeftoverName(writer->temp_path().filename().string());
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->target_name, "r.PCM");
  EXPECT_EQ(parts->kind, LeftoverKind::kTemporary);
  EXPECT_EQ(parts->pid, ::getpid());
  // A second save meanwhile leaves this process's file alone.
  ASSERT_TRUE(SaveFileAtomically(dir.path() / "other", "x"));
  EXPECT_TRUE(fs::exists(writer->temp_path()));
  writer->Write("content");
  ASSERT_TRUE(writer->Commit());
  EXPECT_EQ(testing::ReadFileBytes(dir.path() / "r.PCM"), "content");
}

}  // namespace
}  // namespace torvwy::core
