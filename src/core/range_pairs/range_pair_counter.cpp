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

void RangePairCounter::PushAll(std::vector<double>& stack, std::span<const double> points,
                               std::vector<double>& pairs) {
  // Room for every point on the stack and for every pair they can close (each takes two points
  // off it), and two more: the writes below run through plain pointers.
  size_t top = stack.size();
  size_t found = pairs.size();
  stack.resize(top + points.size());
  pairs.resize(found + (top + points.size()) / 2 + 2);
  double* s = stack.data();
  double* out = pairs.data();
  for (const double point : points) {
    if (top >= 4) {
      // The first two tests without a branch on the load: whether a point closes a pair is as
      // likely as not, and mostly it closes one at most.
      //
      //   t3 t2 t1 t0 p:  Y = t0 - t1 is paired when |p - t0| >= |Y|; then, with p on top of t2,
      //                   t2 - t3 when |p - t2| >= |t2 - t3|
      const double t0 = s[top - 1];
      const double t1 = s[top - 2];
      const double t2 = s[top - 3];
      const double t3 = s[top - 4];
      const bool first = !(std::fabs(point - t0) < std::fabs(t0 - t1));
      const bool second = first & !(std::fabs(point - t2) < std::fabs(t2 - t3));
      out[found] = t0 - t1;
      out[found + 1] = t2 - t3;
      const size_t closed = static_cast<size_t>(first) + static_cast<size_t>(second);
      found += closed;
      top -= 2 * closed;
      s[top++] = point;
      if (!second) continue;
    } else {
      s[top++] = point;
    }
    while (top >= 3) {
      const double x = std::fabs(s[top - 1] - s[top - 2]);
      const double y = std::fabs(s[top - 2] - s[top - 3]);
      if (x < y) break;
      out[found++] = s[top - 2] - s[top - 3];
      s[top - 3] = s[top - 1];
      top -= 2;
    }
  }
  stack.resize(top);
  pairs.resize(found);
}

void RangePairCounter::Feed(std::span<const double> raw_samples) {
  if (raw_samples.empty()) return;
  if (fed_ == 0) PushAll(stack_, raw_samples.first(1), pairs_);
  finder_.Feed(raw_samples, [this](std::span<double> turning_points, std::span<double>) {
    PushAll(stack_, turning_points, pairs_);
  });
  fed_ += static_cast<int64_t>(raw_samples.size());
  last_sample_ = raw_samples.back();
  if (pairs_.size() >= 1024) {
    // Tallied by their step with a sample table, as peaks are: one increment a pair.
    partitions_.Tally(pairs_, counts_);
    pairs_.clear();
  }
}

RangePairResult RangePairCounter::Finish() const {
  std::vector<double> stack = stack_;
  std::vector<double> pairs = pairs_;
  // The last sample ends the record's last range, unless it is the last point itself.
  if (fed_ >= 2 && last_sample_ != stack.back()) PushAll(stack, {&last_sample_, 1}, pairs);
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
