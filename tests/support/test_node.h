// Test helpers: a temporary folder and a node written from sample values.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/data/sampling_info.h"

namespace torvwy::testing {

/// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

/// Points TORVWY_HOME at a fresh temporary folder while it lives, then restores the old value.
class ScopedHome {
 public:
  ScopedHome();
  ~ScopedHome();
  ScopedHome(const ScopedHome&) = delete;
  ScopedHome& operator=(const ScopedHome&) = delete;
  const std::filesystem::path& path() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::optional<std::string> old_;
};

/// The whole content of a file; empty when it can't be read.
std::string ReadFileBytes(const std::filesystem::path& path);

/// What WriteNode writes.
struct NodeLayout {
  std::string test_name = "abc";
  std::string test_code = "12";
  std::string node_name = "5";
  int32_t format = 886;  ///< float64: raw values stored exactly
  double frequency_hz = 1024.0;
  double c1 = 1.0;
  double c2 = 1.0;
  std::string eu = "MPa";
  /// Record length in half blocks; 0 = samples.size() / 512 (which must then be a multiple).
  int32_t length_half_blocks = 0;
};

/// The written node's files and its sampling record.
struct WrittenNode {
  std::filesystem::path tsp;
  std::filesystem::path sts;
  core::SamplingInfo info;
};

/// Writes "<dir>/<test><code>#<node>.tsp" and ".sts" with `raw_values` encoded in the format
/// (integer formats take the values as the stored integers). Fails the test on an error.
WrittenNode WriteNode(const std::filesystem::path& dir, const std::vector<double>& raw_values,
                      const NodeLayout& layout = {});

/// `values` padded to a whole number of half blocks by repeating its last value (a flat tail
/// adds no turning point).
std::vector<double> PadToHalfBlocks(std::vector<double> values);

/// A random walk of `n` small integers in [-30, 30] (steps -4..4, a step of 0 held for three
/// samples), so that pieces of it start and end on flats.
std::vector<double> SmallWalk(size_t n, uint32_t seed);

}  // namespace torvwy::testing
