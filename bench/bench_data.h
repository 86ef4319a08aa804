// Benchmark data: large random-walk records made once and kept in the temporary folder.
#pragma once

#include <cstdint>
#include <filesystem>

#include "core/counting/counting_parameters.h"
#include "core/data/sampling_info.h"
#include "core/files/result_file.h"
#include "core/services/progress.h"
#include "core/services/result.h"

namespace torvwy::bench {

struct BenchNode {
  std::filesystem::path sts;
  core::SamplingInfo info;
};

/// A random-walk record of `samples` samples (a multiple of 1024) in format 951 (int16) or 885
/// (float32, the same values), written once to $TMPDIR/torvwy-bench/ and reused.
BenchNode RandomWalkNode(int64_t samples, int32_t format);

/// Counts `node` by `kind` over `parameters` (the whole record) on `threads` workers as every
/// face does: the plan, then the one run.
core::Result<core::AnyResultFile> CountBenchNode(core::CountingKind kind, const BenchNode& node,
                                                 const core::CountingParameters& parameters,
                                                 int64_t threads, core::Progress& progress);

}  // namespace torvwy::bench
