// ResidueStack: the unclosed turning points of a rainflow count, its bottom spilled to disk.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "core/services/folders.h"
#include "core/services/result.h"

namespace torvwy::core {

/// The stack of turning points that have not closed a cycle yet. Its top lives in memory; when
/// the memory part is full, its older half moves to the end of a private scratch file, and comes
/// back when the memory part runs low:
///
///   scratch file (oldest points)      memory (newest points, at most `memory_points`)
///   [ p0 p1 ... p(s-1) ]  <-- Spill --  [ ... top-3 top-2 top-1 top ]
///                         --Reload -->
///
/// Spills and reloads move half the memory part at a time, so a point crosses the file boundary
/// a bounded number of times on average however the stack grows and shrinks. The scratch file is
/// created on the first spill and unlinked at once: its space lives until the stack closes it
/// (or Release()), and nothing is left in the folder whatever stops the process.
class ResidueStack {
 public:
  static constexpr int64_t kDefaultMemoryPoints = int64_t{4} << 20;  // 32 MB of doubles
  static constexpr int64_t kMinimumMemoryPoints = 8;

  /// Keeps at most `memory_points` points (at least 8) in memory; the scratch file goes into
  /// `scratch_folder`, the system's temporary folder when it is empty.
  ResidueStack(int64_t memory_points, std::filesystem::path scratch_folder);

  /// Points in memory and in the file.
  int64_t size() const { return spilled_ + static_cast<int64_t>(count_); }
  /// Points in the scratch file.
  int64_t spilled() const { return spilled_; }
  /// Points in memory: data()[0 .. in_memory()), the top last.
  size_t in_memory() const { return count_; }
  /// Slots allocated in memory; pushing beyond them needs MakeRoom().
  size_t room() const { return memory_.size(); }
  /// True when the memory part holds the bound: the next MakeRoom() spills.
  bool full() const { return count_ >= capacity_; }
  /// The name the scratch file was created under (already unlinked), empty while nothing was
  /// ever spilled (or after Release()).
  const std::filesystem::path& scratch_path() const { return file_.path(); }

  /// The memory part, for a caller that works on the top directly and then sets the count.
  double* data() { return memory_.data(); }
  void set_in_memory(size_t count) { count_ = count; }

  /// Appends a point on top; in_memory() must be below room().
  void Push(double point) { memory_[count_++] = point; }
  /// The four topmost points, oldest first; in_memory() must be at least 4.
  double* Top4() { return memory_.data() + count_ - 4; }
  /// Removes the two points below the top (a closed cycle): ... a b c d  ->  ... a d
  void RemoveInnerPair() {
    double* s = Top4();
    s[1] = s[3];
    count_ -= 2;
  }

  /// Makes room for one more point: more memory while below the bound, else Spill().
  Status MakeRoom();
  /// Moves the older half of the memory part to the end of the scratch file. Fails (file-write
  /// message) when the file can't be created or written; the stack is then unchanged.
  Status Spill();
  /// Brings the newest spilled points (up to half the memory bound) back below the memory part.
  /// Fails (file-read message) when the file can't be read; the stack is then unchanged.
  Status Reload();

  /// Calls visit(point) for every point, bottom to top. Fails when the file can't be read.
  template <typename Visit>
  Status ForEach(Visit&& visit);

  /// Forgets every point and removes the scratch file.
  void Release();

 private:
  Status ReadSpilled(int64_t first, std::span<double> out);

  size_t capacity_;
  std::filesystem::path scratch_folder_;
  std::vector<double> memory_;  // allocated slots, grown up to capacity_
  size_t count_ = 0;            // points in memory_
  std::vector<double> buffer_;  // reload and read-back buffer
  ScratchFile file_;
  int64_t spilled_ = 0;
};

template <typename Visit>
Status ResidueStack::ForEach(Visit&& visit) {
  const int64_t chunk = static_cast<int64_t>(capacity_ / 2);
  for (int64_t first = 0; first < spilled_; first += chunk) {
    const int64_t n = std::min(chunk, spilled_ - first);
    buffer_.resize(static_cast<size_t>(n));
    if (auto ok = ReadSpilled(first, buffer_); !ok) return ok;
    for (double point : buffer_) visit(point);
  }
  for (size_t i = 0; i < count_; ++i) visit(memory_[i]);
  return Ok();
}

}  // namespace torvwy::core
