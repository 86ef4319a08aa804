// Saving a file so that a failure never destroys the previous good file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/services/result.h"

namespace torvwy::core {

/// Writes a new file beside the target and renames it over the target on Commit():
///
///   .target.torvwy-tmp-PID-N  --write, write, ..., fsync, close-->  rename --> target
///
/// Every write and the close are checked; on any failure (or when the writer is destroyed
/// without Commit) the temporary file is removed and the target stays as it was. Only a regular
/// file is replaced: a target that is a FIFO, a device, a socket or a folder is refused before
/// anything is written, and so is a symbolic link that names nothing. A symbolic link to a
/// regular file is followed: the file it names is replaced and the link stays. Opening also
/// removes what killed saves left in the folder (see RemoveLeftoversOfKilledSaves).
class AtomicFileWriter {
 public:
  /// Creates the temporary file in the folder of the file `target` names; `message` is the
  /// message-table number reported on failure (the "result file can't be created" message by
  /// default), also when the target is not a regular file.
  static Result<AtomicFileWriter> Open(const std::filesystem::path& target, int message = 0);

  AtomicFileWriter(AtomicFileWriter&& other) noexcept;
  AtomicFileWriter& operator=(AtomicFileWriter&&) = delete;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  ~AtomicFileWriter();

  /// Appends bytes; a failed write makes every later call and Commit() fail.
  void Write(std::string_view bytes);
  void Write(const void* data, size_t size) {
    Write(std::string_view(static_cast<const char*>(data), size));
  }
  /// Little-endian scalars, as the binary files store them.
  void WriteInt32(int32_t value);
  void WriteDouble(double value);

  /// The temporary file, for a library that writes a whole file by name instead of through
  /// Write(). It must write into this file in place (as fopen(name, "wb") does); Commit() then
  /// syncs, closes and renames what it wrote. Empty after Commit().
  const std::filesystem::path& temp_path() const { return temp_; }

  /// Flushes, syncs to the disk, closes and renames over the target.
  Status Commit();

  /// For tests: make the write that would pass `bytes` bytes in total fail, as a full disk does.
  void FailAfterBytesForTesting(uint64_t bytes) { fail_after_ = bytes; }

 private:
  friend class AtomicFileSet;
  AtomicFileWriter() = default;
  bool Flush();
  /// Flushes, syncs and closes; the temporary file stays for the rename.
  bool Close();
  void Abandon();

  int fd_ = -1;
  int message_ = 0;
  bool failed_ = false;
  std::string error_;
  std::filesystem::path target_;  ///< as given, for messages
  std::filesystem::path final_;   ///< the file replaced: the target, or the file its link names
  std::filesystem::path temp_;
  std::string buffer_;
  uint64_t written_ = 0;
  std::optional<uint64_t> fail_after_;
};

/// Several files saved as one set: every part is written to its own temporary file, and only
/// when all of them are complete are they renamed over their targets, in the order they were
/// added, so the file that names the others (added last) changes last:
///
///   tmp list   tmp picture   tmp report     all written, synced, closed
///   old list   old picture   old report     each old target kept under a second name (link)
///                            (removed)      the last part taken away: no reader meets a mix
///     list ----> picture ----> report       then, one after the other, renamed over the targets
///
/// A part that fails while written fails the set before any target changes. A step that fails
/// later puts back the old targets, so the folder holds the whole old set or the whole new set.
/// A process killed in between leaves the set without its last part (a reader refuses it as
/// incomplete) until the next save into the folder puts the old set back.
class AtomicFileSet {
 public:
  AtomicFileSet() = default;
  AtomicFileSet(const AtomicFileSet&) = delete;
  AtomicFileSet& operator=(const AtomicFileSet&) = delete;

  /// Adds a part and returns its writer, valid while the set lives. Fails as
  /// AtomicFileWriter::Open does.
  Result<AtomicFileWriter*> Add(const std::filesystem::path& target, int message = 0);
  /// Drops a part added before (its temporary file is removed, its target stays untouched).
  void Drop(AtomicFileWriter* part);

  /// Closes every part and renames them over their targets, in order. Fails with the message
  /// of the part that failed, naming it; nothing of the set is then changed.
  Status Commit();

 private:
  std::vector<std::unique_ptr<AtomicFileWriter>> parts_;
};

/// What a test makes go wrong when a file of the given target is saved.
enum class SaveFault {
  kNone,
  kWrite,   ///< every write fails, as on a full disk
  kRename,  ///< the final rename over the target fails
};

/// For tests: asks `fault` at every save which fault the target gets (empty: none). Not
/// thread-safe; a test sets it, saves, and sets it back to empty.
void SetSaveFaultForTesting(std::function<SaveFault(const std::filesystem::path& target)> fault);

/// The steps of a commit, in their order, each done for one target.
enum class SaveStep {
  kClose,     ///< flush, sync and close the temporary file
  kKeepOld,   ///< a set: keep the old target under a second name
  kTakeAway,  ///< a set: remove its last part's old target before the renames
  kRename,    ///< rename the temporary file over the target
  kDropOld,   ///< a set: remove the kept old target, the set being in place
};

/// For tests: `hook` is called before each step of every commit; when it returns true the step
/// fails as with an I/O error (a test may also end the process there). Not thread-safe.
void SetSaveStepHookForTesting(
    std::function<bool(SaveStep step, const std::filesystem::path& target)> hook);

/// Makes a write beyond the file-size limit (ulimit -f) fail with "File too large" instead of
/// killing the process: the writer then reports the error and removes its temporary file.
/// Every program calls it first thing in main().
void IgnoreFileSizeSignal();

/// Whether a save of `target` can begin: what stands at the name is a regular file, a symbolic
/// link to one, or nothing, and the folder it goes in is there. Fails with the message a save
/// would give (AtomicFileWriter::Open), before a long job whose end is the save. Nothing is
/// created or changed.
Status CheckSaveTarget(const std::filesystem::path& target, int message = 0);

/// Saves `content` as the file `target` atomically.
Status SaveFileAtomically(const std::filesystem::path& target, std::string_view content,
                          int message = 0);

}  // namespace torvwy::core
