// Benchmark data: large random-walk records made once and kept in the temporary folder.
#pragma once

#include <cstdint>
#include <filesystem>

#include "core/data/sampling_info.h"

namespace torvwy::bench {

struct BenchNode {
  std::filesystem::path sts;
  core::SamplingInfo info;
};

/// A random-walk record of `samples` samples (a multiple of 1024) in format 951 (int16) or 885
/// (float32, the same values), written once to $TMPDIR/torvwy-bench/ and reused.
BenchNode RandomWalkNode(int64_t samples, int32_t format);

}  // namespace torvwy::bench
