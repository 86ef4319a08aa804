// Telling a recording's kind by its first bytes and opening it with its reader.
#include "recording/recording.h"

#include <unistd.h>

#include <array>
#include <cstring>
#include <string_view>

#include "core/services/file_read.h"
#include "core/services/message_table.h"

namespace torvwy::recording {
namespace {

constexpr std::string_view kHdf5Signature{"\x89HDF\r\n\x1a\n", 8};

/// Reads up to out.size() bytes at `offset`; the count read.
size_t ReadAt(int fd, uint64_t offset, std::span<char> out) {
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t got =
        ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

}  // namespace

const char* KindName(RecordingKind kind) {
  switch (kind) {
    case RecordingKind::kText:
      return "text";
    case RecordingKind::kSound:
      return "sound";
    case RecordingKind::kMatlab:
      return "MATLAB";
    case RecordingKind::kHdf5:
      return "HDF5";
  }
  return "text";
}

core::Result<RecordingKind> DetectRecordingKind(const std::filesystem::path& path) {
  auto file = core::OpenRegularFile(path, core::kMsgFileRead);
  if (!file) return file.error();
  std::array<char, 8> head{};
  const size_t got = ReadAt(file->fd.get(), 0, head);
  const std::string_view start(head.data(), got);
  if (start.starts_with("MATLAB")) return RecordingKind::kMatlab;
  for (std::string_view magic : {"RIFF", "RF64", "FORM", "fLaC", "OggS"}) {
    if (start.starts_with(magic)) return RecordingKind::kSound;
  }
  // The HDF5 signature sits at 0 or after a user block of 512, 1024, 2048, ... bytes.
  for (uint64_t offset = 0; offset + kHdf5Signature.size() <= file->size_bytes;
       offset = offset == 0 ? 512 : offset * 2) {
    std::array<char, 8> signature{};
    if (ReadAt(file->fd.get(), offset, signature) == signature.size() &&
        std::string_view(signature.data(), signature.size()) == kHdf5Signature) {
      return RecordingKind::kHdf5;
    }
  }
  return RecordingKind::kText;
}

core::Result<RecordingHandle> OpenRecording(const std::filesystem::path& path,
                                            const RecordingOptions& options) {
  auto kind = DetectRecordingKind(path);
  if (!kind) return kind.error();
  switch (*kind) {
    case RecordingKind::kSound:
      return OpenSoundRecording(path, options);
    case RecordingKind::kMatlab:
      return OpenMatlabRecording(path, options);
    case RecordingKind::kHdf5:
      return OpenHdf5Recording(path, options);
    case RecordingKind::kText:
      break;
  }
  return OpenTextRecording(path, options);
}

}  // namespace torvwy::recording
