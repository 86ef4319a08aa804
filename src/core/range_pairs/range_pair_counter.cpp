// Range-pair counting: a range counts as a cycle once a later range at least as large pairs it.
#include "core/range_pairs/range_pair_counter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "core/range/range_counter.h"

namespace torvwy::core {

Result<RangePairCounter> RangePairCounter::Create(const RangePairSetup& setup) {
  auto partitions = PartitionCounter::Create(setup);
  if (!partitions) return partitions.error();
  return RangePairCounter(std::move(*partitions));
}

RangePairCounter::RangePairCounter(PartitionCounter partitions)
    : partitions_(std::move(partitions)), counts_(partitions_.MakeCounts()) {}

void RangePairCounter::Push(std::vector<double>& stack, double point, std::vector<double>& pairs) {
  stack.push_back(point);
  while (stack.size() >= 3) {
    const size_t top = stack.size() - 1;
    const double x = std::fabs(stack[top] - stack[top - 1]);
    const double y = std::fabs(stack[top - 1] - stack[top - 2]);
    if (x < y) break;
    pairs.push_back(stack[top - 1] - stack[top - 2]);
    stack[top - 2] = stack[top];
    stack.resize(top - 1);
  }
}

void RangePairCounter::Feed(std::span<const double> raw_samples) {
  if (raw_samples.empty()) return;
  if (fed_ == 0) Push(stack_, raw_samples[0], pairs_);
  finder_.Feed(raw_samples, [this](std::span<double> turning_points, std::span<double>) {
    for (const double point : turning_points) Push(stack_, point, pairs_);
  });
  fed_ += static_cast<int64_t>(raw_samples.size());
  last_sample_ = raw_samples.back();
  if (pairs_.size() >= 1024) {
    partitions_.CountRaw(pairs_, counts_);
    pairs_.clear();
  }
}

RangePairResult RangePairCounter::Finish() const {
  std::vector<double> stack = stack_;
  std::vector<double> pairs = pairs_;
  // The last sample ends the record's last range, unless it is the last point itself.
  if (fed_ >= 2 && last_sample_ != stack.back()) Push(stack, last_sample_, pairs);
  PartitionCounts counts = counts_.Settled();
  PartitionCounter counter = partitions_;
  counter.CountRaw(pairs, counts);

  RangePairResult result;
  static_cast<RangeCountResult&>(result) = RangeHistograms(partitions_, counts);
  result.left_over_ranges = static_cast<int64_t>(stack.size()) - 1;
  return result;
}

void RangePairCounter::SaveState(CountStateWriter& out) const {
  PartitionCounts counts = counts_.Settled();
  PartitionCounter counter = partitions_;
  std::vector<double> pairs = pairs_;
  counter.CountRaw(pairs, counts);
  out.Int(fed_);
  out.Double(last_sample_);
  finder_.SaveState(out);
  out.Doubles(stack_.data(), stack_.size());
  out.Ints(counts.TwoWay());
  out.Ints(counts.OneWay());
}

bool RangePairCounter::LoadState(CountStateReader& in) {
  const auto n = static_cast<int64_t>(partitions_.partitions());
  const int64_t fed = in.Int(0, std::numeric_limits<int64_t>::max());
  const double last_sample = in.Double();
  TurningPointFinder finder(false);
  if (!finder.LoadState(in)) return in.Fail();
  std::vector<double> stack = in.Doubles();
  const auto two_way = in.Ints<int64_t>(n);
  const auto one_way = in.Ints<int64_t>(n);
  PartitionCounts counts = partitions_.MakeCounts();
  const bool finite =
      std::all_of(stack.begin(), stack.end(), [](double p) { return std::isfinite(p); }) &&
      std::isfinite(last_sample);
  if (!in.ok() || !finite || (fed > 0) != !stack.empty() || !counts.Assign(two_way, one_way)) {
    return in.Fail();
  }
  fed_ = fed;
  last_sample_ = last_sample;
  finder_ = std::move(finder);
  stack_ = std::move(stack);
  counts_ = std::move(counts);
  pairs_.clear();
  return true;
}

}  // namespace torvwy::core
