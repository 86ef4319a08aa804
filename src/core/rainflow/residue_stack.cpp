// ResidueStack: spilling to and reloading from the scratch file, every transfer checked.
#include "core/rainflow/residue_stack.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

#include "core/services/message_table.h"

namespace torvwy::core {

ResidueStack::ResidueStack(int64_t memory_points, std::filesystem::path scratch_folder)
    : capacity_(static_cast<size_t>(std::max(memory_points, kMinimumMemoryPoints))),
      scratch_folder_(std::move(scratch_folder)) {
  // Short records never need the full bound: start small and grow.
  memory_.resize(std::min<size_t>(capacity_, size_t{1} << 12));
}

Status ResidueStack::MakeRoom() {
  if (count_ < memory_.size()) return Ok();
  if (memory_.size() < capacity_) {
    memory_.resize(std::min(capacity_, std::max<size_t>(memory_.size() * 2, 16)));
    return Ok();
  }
  return Spill();
}

Status ResidueStack::Spill() {
  if (file_.fd() < 0) {
    auto created = ScratchFile::Create(scratch_folder_);
    if (!created) return created.error();
    file_ = std::move(*created);
  }
  const size_t n = count_ / 2;
  const char* bytes = reinterpret_cast<const char*>(memory_.data());
  const size_t total = n * sizeof(double);
  const off_t offset = static_cast<off_t>(spilled_) * static_cast<off_t>(sizeof(double));
  size_t done = 0;
  while (done < total) {
    const ssize_t written =
        ::pwrite(file_.fd(), bytes + done, total - done, offset + static_cast<off_t>(done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const std::string why =
          written < 0 ? std::generic_category().message(errno) : "nothing was written";
      return Fail(kMsgFileWrite,
                  file_.path().string() + ": can't spill the rainflow residue: " + why);
    }
    done += static_cast<size_t>(written);
  }
  std::copy(memory_.begin() + static_cast<std::ptrdiff_t>(n),
            memory_.begin() + static_cast<std::ptrdiff_t>(count_), memory_.begin());
  count_ -= n;
  spilled_ += static_cast<int64_t>(n);
  return Ok();
}

Status ResidueStack::ReadSpilled(int64_t first, std::span<double> out) {
  char* bytes = reinterpret_cast<char*>(out.data());
  const size_t total = out.size() * sizeof(double);
  const off_t offset = static_cast<off_t>(first) * static_cast<off_t>(sizeof(double));
  size_t done = 0;
  while (done < total) {
    const ssize_t n =
        ::pread(file_.fd(), bytes + done, total - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const std::string why = n < 0 ? std::generic_category().message(errno) : "the file ended";
      return Fail(kMsgFileRead,
                  file_.path().string() + ": can't read the rainflow residue back: " + why);
    }
    done += static_cast<size_t>(n);
  }
  return Ok();
}

Status ResidueStack::Reload() {
  const int64_t n = std::min(spilled_, static_cast<int64_t>(capacity_ / 2));
  if (n == 0) return Ok();
  buffer_.resize(static_cast<size_t>(n));
  if (auto ok = ReadSpilled(spilled_ - n, buffer_); !ok) return ok;
  const auto moved = static_cast<size_t>(n);
  if (memory_.size() < count_ + moved) memory_.resize(count_ + moved);
  std::copy_backward(memory_.begin(), memory_.begin() + static_cast<std::ptrdiff_t>(count_),
                     memory_.begin() + static_cast<std::ptrdiff_t>(count_ + moved));
  std::copy(buffer_.begin(), buffer_.end(), memory_.begin());
  count_ += moved;
  spilled_ -= n;
  return Ok();
}

void ResidueStack::Release() {
  memory_.clear();
  memory_.shrink_to_fit();
  count_ = 0;
  buffer_.clear();
  buffer_.shrink_to_fit();
  spilled_ = 0;
  file_ = ScratchFile();
}

}  // namespace torvwy::core
