// Fuzz target: the text reader of recordings, the columns of a CSV or text file as channels.
// Every channel it accepts must read back as many finite values as it said, in pieces no
// larger than the buffer.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/services/message_table.h"
#include "recording/recording.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

/// The input as a file, since the reader reads a file: one per process, rewritten each run.
const std::string& InputPath() {
  static const std::string path = [] {
    std::string pattern = "/tmp/torvwy-text-fuzz-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    Require(fd >= 0);
    ::close(fd);
    return pattern;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace torvwy;
  FILE* file = std::fopen(InputPath().c_str(), "wb");
  Require(file != nullptr);
  Require(std::fwrite(data, 1, size, file) == size);
  Require(std::fclose(file) == 0);
  for (const bool decimal_comma : {false, true}) {
    recording::RecordingOptions options;
    options.decimal_comma = decimal_comma;
    auto opened = recording::OpenTextRecording(InputPath(), options);
    if (!opened) {
      Require(opened.error().message == core::kMsgFileRead ||
              opened.error().message == core::kMsgBadValue);
      Require(opened.error().detail.find('\n') == std::string::npos);
      continue;
    }
    const auto& channels = (*opened)->channels();
    Require(!channels.empty());
    for (size_t i = 0; i < channels.size(); ++i) {
      int64_t read = 0;
      auto ok = (*opened)->Read(i, [&](std::span<const double> piece) {
        Require(!piece.empty() && piece.size() <= recording::kRecordingBuffer);
        for (const double v : piece) Require(std::isfinite(v));
        read += static_cast<int64_t>(piece.size());
        return core::Ok();
      });
      Require(ok.ok());
      Require(read == channels[i].length);
    }
  }
  return 0;
}
