// Test helpers for recordings: running the writers and damaging their files.
#include "recording/recording_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#include "support/test_node.h"

namespace torvwy::testing {

std::string RunPythonScript(const std::string& script) {
  TempDir dir;
  const auto script_path = dir.path() / "make.py";
  std::ofstream(script_path) << script;
  const std::string command = "/usr/bin/python3 " + script_path.string() + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "can't run python3";
    return {};
  }
  std::string output;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  const int status = ::pclose(pipe);
  EXPECT_EQ(status, 0) << "python3 failed:\n" << output;
  return output;
}

void WriteCutCopy(const std::filesystem::path& path, uint64_t length,
                  const std::filesystem::path& out) {
  std::string bytes = ReadFileBytes(path);
  bytes.resize(std::min<uint64_t>(length, bytes.size()));
  std::ofstream(out, std::ios::binary) << bytes;
}

void WriteFlippedCopy(const std::filesystem::path& path, const std::vector<uint64_t>& offsets,
                      const std::filesystem::path& out) {
  std::string bytes = ReadFileBytes(path);
  for (const uint64_t offset : offsets) {
    if (offset < bytes.size()) bytes[offset] = static_cast<char>(bytes[offset] ^ 0xFF);
  }
  std::ofstream(out, std::ios::binary) << bytes;
}

std::vector<std::filesystem::path> DamagedCopies(const std::filesystem::path& path,
                                                 const std::filesystem::path& dir, int count) {
  const uint64_t size = std::filesystem::file_size(path);
  std::vector<std::filesystem::path> copies;
  const auto next = [&] {
    return dir / (path.stem().string() + "-damaged-" + std::to_string(copies.size()) +
                  path.extension().string());
  };
  for (const uint64_t length : {uint64_t{0}, uint64_t{4}, uint64_t{12}, uint64_t{64}, uint64_t{200},
                                size / 3, size / 2, size - 1}) {
    if (length >= size) continue;
    copies.push_back(next());
    WriteCutCopy(path, length, copies.back());
  }
  std::mt19937_64 random(20261208);
  while (static_cast<int>(copies.size()) < count && size > 0) {
    std::vector<uint64_t> offsets;
    const uint64_t start = random() % size;
    const uint64_t run = 1 + random() % 8;
    for (uint64_t i = 0; i < run; ++i) offsets.push_back(start + i);
    copies.push_back(next());
    WriteFlippedCopy(path, offsets, copies.back());
  }
  return copies;
}

ReadBack ReadAll(recording::RecordingReader& reader, size_t index) {
  ReadBack back;
  back.status = reader.Read(index, [&](std::span<const double> piece) {
    back.values.insert(back.values.end(), piece.begin(), piece.end());
    back.largest_piece = std::max(back.largest_piece, piece.size());
    return core::Ok();
  });
  return back;
}

void ExpectOneLineNaming(const core::Error& error, const std::filesystem::path& path) {
  EXPECT_FALSE(error.detail.empty());
  EXPECT_EQ(error.detail.find('\n'), std::string::npos) << error.detail;
  EXPECT_NE(error.detail.find(path.filename().string()), std::string::npos) << error.detail;
}

void ExpectDamagedCopiesFailInOneLine(
    const std::filesystem::path& source, const std::filesystem::path& dir, int count,
    const std::function<core::Result<recording::RecordingHandle>(const std::filesystem::path&)>&
        open) {
  for (const auto& copy : DamagedCopies(source, dir, count)) {
    SCOPED_TRACE(copy.filename().string());
    auto reader = open(copy);
    if (!reader) {
      ExpectOneLineNaming(reader.error(), copy);
      continue;
    }
    for (size_t index = 0; index < (*reader)->channels().size(); ++index) {
      const ReadBack back = ReadAll(**reader, index);
      if (!back.status) ExpectOneLineNaming(back.status.error(), copy);
    }
  }
}

}  // namespace torvwy::testing
