// Atomic saving: the old file survives every failure and no temporary file is left.
#include "core/services/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

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

/// The kind of what stands at `path`, without following a link.
std::string KindAt(const fs::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return "missing";
  if (S_ISLNK(status.st_mode)) return "link";
  if (S_ISREG(status.st_mode)) return "file";
  if (S_ISFIFO(status.st_mode)) return "fifo";
  if (S_ISCHR(status.st_mode)) return "char";
  if (S_ISSOCK(status.st_mode)) return "socket";
  if (S_ISDIR(status.st_mode)) return "folder";
  return "other";
}

TEST(AtomicFile, RefusesToReplaceWhatIsNotARegularFile) {
  testing::TempDir dir;
  const fs::path fifo = dir.path() / "fifo.csv";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const fs::path folder = dir.path() / "folder.csv";
  fs::create_directory(folder);
  const fs::path socket_path = dir.path() / "socket.csv";
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", socket_path.c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  const fs::path dangling = dir.path() / "dangling.csv";
  fs::create_symlink(dir.path() / "nowhere.csv", dangling);
  const fs::path link_to_fifo = dir.path() / "to_fifo.csv";
  fs::create_symlink(fifo, link_to_fifo);
  struct Case {
    fs::path target;
    std::string kind;    // what stands there before and after
    std::string reason;  // in the one-line refusal
  };
  std::vector<Case> cases = {
      {fifo, "fifo", "is a FIFO, not a regular file"},
      {folder, "folder", "is a folder, not a regular file"},
      {socket_path, "socket", "is a socket, not a regular file"},
      {dangling, "link",
       "is a symbolic link to " + (dir.path() / "nowhere.csv").string() + ", which does not exist"},
      {link_to_fifo, "link", "is a FIFO, not a regular file"},
  };
  // A device as /dev/null is: made here, so that no real device is at stake.
  const fs::path device = dir.path() / "null.pdf";
  if (::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0) {
    cases.push_back({device, "char", "is a character device, not a regular file"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    const size_t files_before = FileCount(dir.path());
    // The check before a long job refuses it in the same words as the save after it.
    const auto checked = CheckSaveTarget(c.target, kMsgFileWrite);
    ASSERT_FALSE(checked);
    EXPECT_EQ(checked.error().detail,
              c.target.string() + ": " + c.reason + "; nothing was written");
    const auto saved = SaveFileAtomically(c.target, "new", kMsgFileWrite);
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error().message, kMsgFileWrite);
    EXPECT_EQ(saved.error().detail, c.target.string() + ": " + c.reason + "; nothing was written");
    EXPECT_EQ(saved.error().detail.find('\n'), std::string::npos);
    EXPECT_EQ(KindAt(c.target), c.kind);
    EXPECT_EQ(FileCount(dir.path()), files_before);  // no temporary file left either
    // A set refuses it when the part is added, before any other part changes.
    AtomicFileSet set;
    EXPECT_FALSE(set.Add(c.target, kMsgFileWrite));
  }
  EXPECT_EQ(KindAt(dir.path() / "nowhere.csv"), "missing");  // the link made nothing
  ::close(sock);
  if (!fs::exists(device)) GTEST_SKIP() << "mknod is not allowed here; the device case was skipped";
}

TEST(AtomicFile, FollowsALinkToARegularFile) {
  testing::TempDir dir;
  fs::create_directory(dir.path() / "real");
  const fs::path file = dir.path() / "real" / "listdata.txt";
  ASSERT_TRUE(SaveFileAtomically(file, "old"));
  const fs::path link = dir.path() / "listdata.txt";
  fs::create_symlink("real/listdata.txt", link);
  const fs::path link_to_link = dir.path() / "again.txt";
  fs::create_symlink(link, link_to_link);

  EXPECT_TRUE(CheckSaveTarget(link));
  EXPECT_TRUE(CheckSaveTarget(dir.path() / "new.txt"));
  for (const fs::path& nowhere : {dir.path() / "no" / "new.txt", file / "new.txt"}) {
    const auto checked = CheckSaveTarget(nowhere, kMsgFileWrite);
    ASSERT_FALSE(checked) << nowhere;
    EXPECT_EQ(checked.error().message, kMsgFileWrite);
  }
  ASSERT_TRUE(SaveFileAtomically(link, "through the link"));
  EXPECT_EQ(KindAt(link), "link");
  EXPECT_EQ(fs::read_symlink(link), "real/listdata.txt");
  EXPECT_EQ(testing::ReadFileBytes(file), "through the link");

  AtomicFileSet set;
  auto part = set.Add(link_to_link);
  ASSERT_TRUE(part);
  (*part)->Write("through two links");
  ASSERT_TRUE(set.Commit());
  EXPECT_EQ(KindAt(link_to_link), "link");
  EXPECT_EQ(KindAt(link), "link");
  EXPECT_EQ(testing::ReadFileBytes(file), "through two links");
  EXPECT_EQ(FileCount(dir.path()), 3u);  // real/, the two links
  EXPECT_EQ(FileCount(dir.path() / "real"), 1u);
}

/// The three parts of a set and what they held before and after.
struct SetFiles {
  fs::path list, picture, report;
  void Write(const std::string& content) const {
    for (const fs::path& path : {list, picture, report}) {
      ASSERT_TRUE(SaveFileAtomically(path, content + " " + path.filename().string()));
    }
  }
  /// "old", "new", or "mixed"/"incomplete".
  std::string State() const {
    std::string seen;
    for (const fs::path& path : {list, picture, report}) {
      const std::string bytes = testing::ReadFileBytes(path);
      std::string state = !fs::exists(path)                            ? "missing"
                          : bytes == "old " + path.filename().string() ? "old"
                          : bytes == "new " + path.filename().string() ? "new"
                                                                       : "damaged";
      if (seen.empty()) seen = state;
      if (state != seen) return "mixed";
    }
    return seen;
  }
};

Status CommitSet(const SetFiles& files) {
  AtomicFileSet set;
  for (const fs::path& path : {files.list, files.picture, files.report}) {
    auto part = set.Add(path);
    if (!part) return part.error();
    (*part)->Write("new " + path.filename().string());
  }
  return set.Commit();
}

/// Every step of a set's commit, for each of its three parts.
std::vector<std::pair<SaveStep, std::string>> EveryStep() {
  std::vector<std::pair<SaveStep, std::string>> steps;
  for (SaveStep step : {SaveStep::kClose, SaveStep::kKeepOld, SaveStep::kTakeAway,
                        SaveStep::kRename, SaveStep::kDropOld}) {
    for (const char* name : {"list.txt", "picture.bmp", "report.rpt"}) {
      if (step == SaveStep::kTakeAway && std::string(name) != "report.rpt") continue;
      steps.emplace_back(step, name);
    }
  }
  return steps;
}

TEST(AtomicFileSet, AFailedStepLeavesTheWholeOldSet) {
  for (const auto& [step, name] : EveryStep()) {
    SCOPED_TRACE(std::to_string(static_cast<int>(step)) + " " + name);
    testing::TempDir dir;
    const SetFiles files{dir.path() / "list.txt", dir.path() / "picture.bmp",
                         dir.path() / "report.rpt"};
    files.Write("old");
    SetSaveStepHookForTesting(
        [&, at = step, part = std::string(name)](SaveStep s, const fs::path& p) {
          return s == at && p.filename() == part;
        });
    const Status status = CommitSet(files);
    SetSaveStepHookForTesting({});
    if (step == SaveStep::kDropOld) {
      // The set is in place by then; only a kept copy stays, for the next clean-up.
      EXPECT_TRUE(status);
      EXPECT_EQ(files.State(), "new");
    } else {
      ASSERT_FALSE(status);
      EXPECT_NE(status.error().detail.find(name), std::string::npos) << status.error().detail;
      EXPECT_EQ(files.State(), "old");
      EXPECT_EQ(FileCount(dir.path()), 3u);
    }
  }
}

TEST(AtomicFileSet, AKillAtAnyStepLeavesTheOldSetOrTheNewAfterTheNextSave) {
  for (const auto& [step, name] : EveryStep()) {
    SCOPED_TRACE(std::to_string(static_cast<int>(step)) + " " + name);
    testing::TempDir dir;
    const SetFiles files{dir.path() / "list.txt", dir.path() / "picture.bmp",
                         dir.path() / "report.rpt"};
    files.Write("old");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      SetSaveStepHookForTesting(
          [at = step, part = std::string(name)](SaveStep s, const fs::path& p) {
            if (s == at && p.filename() == part) ::_exit(0);
            return false;
          });
      (void)CommitSet(files);
      ::_exit(3);  // the step was never reached
    }
    int wait_status = 0;
    ASSERT_EQ(::waitpid(child, &wait_status, 0), child);
    ASSERT_TRUE(WIFEXITED(wait_status));
    ASSERT_EQ(WEXITSTATUS(wait_status), 0);
    // Killed while renamed, the set lacks its last part: a reader finds it incomplete, never
    // mixed.
    const std::string killed = files.State();
    EXPECT_TRUE(killed == "old" || killed == "new" ||
                (killed == "mixed" && !fs::exists(files.report)))
        << killed;
    // The next save into the folder clears what the dead process left and puts back the old set
    // where it was cut.
    ASSERT_TRUE(SaveFileAtomically(dir.path() / "other.txt", "x"));
    const std::string after = files.State();
    EXPECT_TRUE(after == "old" || after == "new") << after;
    // Up to the last rename the old set comes back; after it the new one stands.
    EXPECT_EQ(after, step == SaveStep::kDropOld ? "new" : "old");
    EXPECT_EQ(FileCount(dir.path()), 4u);  // the three parts and other.txt, nothing left over
  }
}

}  // namespace
}  // namespace torvwy::core
