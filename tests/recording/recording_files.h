// Test helpers for recordings: files made by the field's own writers (a Python script run with
// Debian's interpreter), and damaged copies of them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/services/result.h"
#include "recording/recording.h"

namespace torvwy::testing {

/// Runs `script` with /usr/bin/python3 (numpy, scipy, h5py, soundfile are there); fails the
/// test with the script's output when it exits non-zero. Returns its standard output.
std::string RunPythonScript(const std::string& script);

/// The bytes of `path` cut to `length` bytes, written to `out`.
void WriteCutCopy(const std::filesystem::path& path, uint64_t length,
                  const std::filesystem::path& out);

/// The bytes of `path` with the byte at each of `offsets` flipped (xor 0xFF), written to `out`.
void WriteFlippedCopy(const std::filesystem::path& path, const std::vector<uint64_t>& offsets,
                      const std::filesystem::path& out);

/// Copies of `path` in `dir` damaged in `count` ways: cut at spread lengths (0, a few bytes,
/// inside the header, in the middle, one byte short) and runs of flipped bytes at spread
/// offsets, seeded so that a failure replays. Returns their paths.
std::vector<std::filesystem::path> DamagedCopies(const std::filesystem::path& path,
                                                 const std::filesystem::path& dir, int count);

/// Every value of a channel, with the reader's status and the largest piece it handed over.
struct ReadBack {
  core::Status status = core::Ok();
  std::vector<double> values;
  size_t largest_piece = 0;
};

/// Reads channel `index` of `reader` whole.
ReadBack ReadAll(recording::RecordingReader& reader, size_t index);

/// Expects a failure said in one line that names the file.
void ExpectOneLineNaming(const core::Error& error, const std::filesystem::path& path);

/// Opens `source`'s DamagedCopies (in `dir`, `count` of them) with `open` and reads every
/// channel of each that opens: each must read, or fail in one line naming the copy.
void ExpectDamagedCopiesFailInOneLine(
    const std::filesystem::path& source, const std::filesystem::path& dir, int count,
    const std::function<core::Result<recording::RecordingHandle>(const std::filesystem::path&)>&
        open);

}  // namespace torvwy::testing
