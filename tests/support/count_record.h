// Test helper: a record counted through the counting plan and the one run, as every face counts.
#pragma once

#include <optional>
#include <variant>

#include "core/data/counting_node.h"
#include "core/data/waveform_reader.h"
#include "core/run/counting_plan.h"
#include "core/run/counting_run.h"

namespace torvwy::testing {

/// What a count of a record is asked besides its kind and parameters.
struct CountOptions {
  core::PassCaptions captions;
  core::RainflowStorage rainflow;
  int threads = 1;
  std::optional<core::ResidueMethod> residue = std::nullopt;
  double gate = 0.0;
};

/// CountOptions of `threads` workers.
inline CountOptions Threads(int threads) {
  CountOptions options;
  options.threads = threads;
  return options;
}

/// Counts `node` by `kind` over `parameters` (their range settled): the plan is checked by
/// PlanCounting, then run, its names carried into the result file.
inline core::Result<core::AnyResultFile> CountNode(core::CountingKind kind,
                                                   const core::CountingNode& node,
                                                   const core::CountingParameters& parameters,
                                                   core::Progress& progress,
                                                   const CountOptions& options = {}) {
  core::CountingPlan asked;
  asked.kind = kind;
  asked.parameters = parameters;
  asked.threads = options.threads;
  asked.rainflow = options.rainflow;
  asked.captions = options.captions;
  asked.residue = options.residue;
  asked.gate = options.gate;
  auto plan = core::PlanCounting(asked);
  if (!plan) return plan.error();
  return core::RunCounting(*plan, node, progress);
}

/// Counts the record `source` of sampling record `info` by `kind` over `parameters` (their range
/// settled, as SettlePlan leaves it): the plan is checked by PlanCounting, then run. Fails as the
/// plan or the run does.
inline core::Result<core::AnyResultFile> CountRecord(core::CountingKind kind,
                                                     const core::SamplingInfo& info,
                                                     const core::SampleSource& source,
                                                     const core::CountingParameters& parameters,
                                                     core::Progress& progress,
                                                     const CountOptions& options = {}) {
  core::CountingNode node;
  node.info = info;
  node.data_file = source.path;
  node.samples = source.supplier;
  node.sample_count = source.sample_count;
  return CountNode(kind, node, parameters, progress, options);
}

/// CountRecord of one method, its result record taken out of the result file.
template <typename File>
core::Result<decltype(File::result)> CountRecordAs(core::CountingKind kind,
                                                   const core::SamplingInfo& info,
                                                   const core::SampleSource& source,
                                                   const core::CountingParameters& parameters,
                                                   core::Progress& progress,
                                                   const CountOptions& options = {}) {
  auto counted = CountRecord(kind, info, source, parameters, progress, options);
  if (!counted) return counted.error();
  return std::get<File>(std::move(*counted)).result;
}

inline auto CountPeaks(const core::SamplingInfo& info, const core::SampleSource& source,
                       const core::CountingParameters& parameters, core::Progress& progress,
                       const CountOptions& options = {}) {
  return CountRecordAs<core::PeakResultFile>(core::CountingKind::kPeak, info, source, parameters,
                                             progress, options);
}
inline auto CountRanges(const core::SamplingInfo& info, const core::SampleSource& source,
                        const core::CountingParameters& parameters, core::Progress& progress,
                        const CountOptions& options = {}) {
  return CountRecordAs<core::RangeResultFile>(core::CountingKind::kRange, info, source, parameters,
                                              progress, options);
}
inline auto CountRainflow(const core::SamplingInfo& info, const core::SampleSource& source,
                          const core::CountingParameters& parameters, core::Progress& progress,
                          const CountOptions& options = {}) {
  return CountRecordAs<core::RainflowResultFile>(core::CountingKind::kRainflow, info, source,
                                                 parameters, progress, options);
}

}  // namespace torvwy::testing
