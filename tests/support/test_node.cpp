// Test helpers: temporary folders and nodes.
#include "support/test_node.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

namespace torvwy::testing {
namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "torvwy-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
}

ScopedHome::ScopedHome() {
  if (const char* old = std::getenv("TORVWY_HOME")) old_ = old;
  ::setenv("TORVWY_HOME", dir_.path().c_str(), 1);
}

ScopedHome::~ScopedHome() {
  if (old_) {
    ::setenv("TORVWY_HOME", old_->c_str(), 1);
  } else {
    ::unsetenv("TORVWY_HOME");
  }
}

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::vector<double> SmallWalk(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> step(-4, 4);
  std::vector<double> x;
  double value = 0.0;
  while (x.size() < n) {
    const int s = step(random);
    value = std::clamp(value + s, -30.0, 30.0);
    for (int r = 0; r < (s == 0 ? 3 : 1) && x.size() < n; ++r) x.push_back(value);
  }
  return x;
}

std::vector<double> PadToHalfBlocks(std::vector<double> values) {
  const double last = values.empty() ? 0.0 : values.back();
  while (values.empty() || values.size() % 512 != 0) values.push_back(last);
  return values;
}

WrittenNode WriteNode(const fs::path& dir, const std::vector<double>& raw_values,
                      const NodeLayout& layout) {
  WrittenNode node;
  const std::string stem = layout.test_name + layout.test_code + "#" + layout.node_name;
  node.tsp = dir / (stem + ".tsp");
  node.sts = dir / (stem + ".sts");
  int32_t length = layout.length_half_blocks;
  if (length == 0) {
    EXPECT_EQ(raw_values.size() % 512, 0u) << "sample count must be a multiple of 512";
    length = static_cast<int32_t>(raw_values.size() / 512);
  }
  std::ofstream out(node.sts, std::ios::binary);
  for (double v : raw_values) {
    switch (layout.format) {
      case 885:
      case 111: {
        const auto f = static_cast<float>(v);
        out.write(reinterpret_cast<const char*>(&f), sizeof f);
        break;
      }
      case 886:
        out.write(reinterpret_cast<const char*>(&v), sizeof v);
        break;
      case 872: {
        const auto i = static_cast<int32_t>(v);
        out.write(reinterpret_cast<const char*>(&i), sizeof i);
        break;
      }
      default: {
        const auto s = static_cast<int16_t>(v);
        out.write(reinterpret_cast<const char*>(&s), sizeof s);
        break;
      }
    }
  }
  out.close();
  std::ofstream tsp(node.tsp, std::ios::binary);
  tsp.precision(17);
  tsp << "[Sampling]\r\nFrequency=" << layout.frequency_hz << "\r\nC1=" << layout.c1
      << "\r\nC2=" << layout.c2 << "\r\nFormat=" << layout.format << "\r\nLength=" << length
      << "\r\nEU=" << layout.eu << "\r\nText1=\r\nText2=\r\nText3=\r\n";
  tsp.close();
  node.info.set_frequency_hz(layout.frequency_hz);
  node.info.set_c1(layout.c1);
  node.info.set_c2(layout.c2);
  node.info.set_format(layout.format);
  node.info.set_length_half_blocks(length);
  node.info.set_eu(layout.eu);
  return node;
}

}  // namespace torvwy::testing
