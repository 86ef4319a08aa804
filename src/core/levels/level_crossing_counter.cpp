// Level crossing counting: how often the load crosses each of a set of levels, up and down.
#include "core/levels/level_crossing_counter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace torvwy::core {
namespace {

/// 1 / the mean spacing of `sorted`, for FirstAbove.
double InverseSpacing(const std::vector<double>& sorted) {
  const size_t n = sorted.size();
  return n < 2 ? 0.0 : static_cast<double>(n - 1) / (sorted[n - 1] - sorted[0]);
}

/// Index of the first entry of `sorted` above v: a guess from the entries' mean spacing (exact
/// for the evenly spaced partition edges, within a step or two of rounding), corrected against
/// the entries themselves; a binary search where the guess is far off (an uneven level list).
size_t FirstAbove(const std::vector<double>& sorted, double inverse_spacing, double v) {
  const size_t n = sorted.size();
  if (n < 2) return n == 1 && sorted[0] <= v ? 1 : 0;
  const double guess = (v - sorted[0]) * inverse_spacing + 1.0;
  size_t k = !(guess > 0.0) ? 0 : guess >= static_cast<double>(n) ? n : static_cast<size_t>(guess);
  for (int step = 0; step < 3; ++step) {
    if (k < n && sorted[k] <= v) {
      ++k;
    } else if (k > 0 && sorted[k - 1] > v) {
      --k;
    } else {
      return k;
    }
  }
  return static_cast<size_t>(std::upper_bound(sorted.begin(), sorted.end(), v) - sorted.begin());
}

}  // namespace

LevelCrossingCounter::LevelCrossingCounter(CrossingSetup setup) : setup_(std::move(setup)) {
  const size_t n = setup_.levels.size();
  band_low_.resize(n);
  for (size_t i = 0; i < n; ++i) band_low_[i] = setup_.levels[i] - setup_.gate;
  levels_inverse_ = InverseSpacing(setup_.levels);
  band_inverse_ = InverseSpacing(band_low_);
  up_.assign(n, 0);
  down_.assign(n, 0);
  spans_ = setup_.gate == 0.0;
  up_span_.assign(n + 1, 0);
  down_span_.assign(n + 1, 0);
  skip_first_ = !setup_.opens_range;
  side_.assign(n, kUnknown);
  opening_.assign(n, kNone);
}

void LevelCrossingCounter::TurnAbove(size_t i) {
  if (side_[i] == kBelow) ++up_[i];
  if (side_[i] == kUnknown) opening_[i] = kOpensUp;
  side_[i] = kAbove;
}

void LevelCrossingCounter::TurnBelow(size_t i) {
  if (side_[i] == kAbove) ++down_[i];
  if (side_[i] == kUnknown) opening_[i] = kOpensDown;
  side_[i] = kBelow;
}

// Every side changes only where the load passes a level or a band's lower edge t (the tests are
// all v >= t): between the nearest edge at or below v and the nearest above it nothing happens.
void LevelCrossingCounter::FindCell(double v) {
  cell_low_ = -std::numeric_limits<double>::infinity();
  cell_high_ = std::numeric_limits<double>::infinity();
  for (const auto& [edges, inverse] :
       {std::pair{&setup_.levels, levels_inverse_}, std::pair{&band_low_, band_inverse_}}) {
    const size_t k = FirstAbove(*edges, inverse, v);
    if (k > 0) cell_low_ = std::max(cell_low_, (*edges)[k - 1]);
    if (k < edges->size()) cell_high_ = std::min(cell_high_, (*edges)[k]);
  }
}

void LevelCrossingCounter::Feed(std::span<const double> raw_samples) {
  const std::vector<double>& levels = setup_.levels;
  for (const double raw : raw_samples) {
    if (skip_first_) {
      // The sample before the stretch: the stretch before it counts the move from it.
      skip_first_ = false;
      continue;
    }
    ++fed_;
    // A raw value between two raw values already found in the cell converts into the cell too:
    // the conversion, a division by each factor, never reverses the order of two values.
    if (raw >= cell_raw_low_ && raw <= cell_raw_high_) continue;
    const double v = raw / setup_.c2 / setup_.c1;
    if (fed_ == 1) {
      for (size_t i = 0; i < levels.size(); ++i) {
        if (setup_.opens_range) {
          side_[i] = v >= levels[i] ? kAbove : kBelow;
        } else if (v >= levels[i]) {
          TurnAbove(i);
        } else if (v < band_low_[i]) {
          TurnBelow(i);
        }
      }
    } else if (v >= cell_low_ && v < cell_high_) {
      cell_raw_low_ = std::min(cell_raw_low_, raw);
      cell_raw_high_ = std::max(cell_raw_high_, raw);
      continue;
    } else if (spans_) {
      // Every level is on the side of the last value: the levels in (last, v] or (v, last] all
      // cross, one span.
      const bool rise = v > last_;
      const size_t first = FirstAbove(levels, levels_inverse_, rise ? last_ : v);
      const size_t end = FirstAbove(levels, levels_inverse_, rise ? v : last_);
      std::vector<int64_t>& span = rise ? up_span_ : down_span_;
      ++span[first];
      --span[end];
      unsettled_ = true;
    } else if (v > last_) {
      // The levels in (last, v] are reached.
      for (size_t i = FirstAbove(levels, levels_inverse_, last_),
                  end = FirstAbove(levels, levels_inverse_, v);
           i < end; ++i) {
        TurnAbove(i);
      }
    } else {
      // The bands whose lower edge lies in (v, last] are left below.
      for (size_t i = FirstAbove(band_low_, band_inverse_, v),
                  end = FirstAbove(band_low_, band_inverse_, last_);
           i < end; ++i) {
        TurnBelow(i);
      }
    }
    // A new cell: `last_` stands for every value in it (each finds the same levels above it).
    last_ = v;
    FindCell(v);
    cell_raw_low_ = cell_raw_high_ = raw;
  }
}

void LevelCrossingCounter::Settle() const {
  if (!unsettled_) return;
  int64_t up = 0, down = 0;
  for (size_t i = 0; i < up_.size(); ++i) {
    up += up_span_[i];
    down += down_span_[i];
    up_[i] += up;
    down_[i] += down;
    up_span_[i] = down_span_[i] = 0;
    side_[i] = last_ >= setup_.levels[i] ? kAbove : kBelow;
  }
  up_span_.back() = down_span_.back() = 0;
  unsettled_ = false;
}

void LevelCrossingCounter::Join(const LevelCrossingCounter& later, bool adjacent) {
  Settle();
  later.Settle();
  if (later.fed_ == 0) return;
  if (!adjacent) {
    for (size_t i = 0; i < up_.size(); ++i) {
      up_[i] += later.up_[i];
      down_[i] += later.down_[i];
    }
    fed_ += later.fed_;
    return;
  }
  if (fed_ == 0) {
    *this = later;
    return;
  }
  for (size_t i = 0; i < up_.size(); ++i) {
    // The later stretch's first crossing of a level, met blind, counts when this stretch left the
    // level on the other side; when this one doesn't know either, it stays open.
    if (later.opening_[i] == kOpensUp) TurnAbove(i);
    if (later.opening_[i] == kOpensDown) TurnBelow(i);
    up_[i] += later.up_[i];
    down_[i] += later.down_[i];
    if (later.side_[i] != kUnknown) side_[i] = later.side_[i];
  }
  fed_ += later.fed_;
  last_ = later.last_;
  cell_low_ = later.cell_low_;
  cell_high_ = later.cell_high_;
  cell_raw_low_ = later.cell_raw_low_;
  cell_raw_high_ = later.cell_raw_high_;
}

void LevelCrossingCounter::SaveState(CountStateWriter& out) const {
  Settle();
  out.Int(fed_);
  out.Double(last_);
  out.Ints(up_);
  out.Ints(down_);
  out.Ints(side_);
  out.Ints(opening_);
}

bool LevelCrossingCounter::LoadState(CountStateReader& in) {
  const auto n = static_cast<int64_t>(setup_.levels.size());
  const int64_t fed = in.Int(0, std::numeric_limits<int64_t>::max());
  const double last = in.Double();
  auto up = in.Ints<int64_t>(n);
  auto down = in.Ints<int64_t>(n);
  const auto side = in.Ints<int64_t>(n);
  const auto opening = in.Ints<int64_t>(n);
  const auto counts_ok = [](const std::vector<int64_t>& c) {
    return std::all_of(c.begin(), c.end(), [](int64_t x) { return x >= 0; });
  };
  const auto at_most = [](const std::vector<int64_t>& f, int64_t most) {
    return std::all_of(f.begin(), f.end(), [most](int64_t x) { return x >= 0 && x <= most; });
  };
  if (!in.ok() || !counts_ok(up) || !counts_ok(down) || !at_most(side, kAbove) ||
      !at_most(opening, kOpensDown) || !std::isfinite(last)) {
    return in.Fail();
  }
  fed_ = fed;
  skip_first_ = skip_first_ && fed == 0;
  last_ = last;
  up_ = std::move(up);
  down_ = std::move(down);
  side_.assign(side.begin(), side.end());
  opening_.assign(opening.begin(), opening.end());
  if (fed_ > 0) FindCell(last_);
  std::fill(up_span_.begin(), up_span_.end(), 0);
  std::fill(down_span_.begin(), down_span_.end(), 0);
  unsettled_ = false;
  // The raw values of the cell are learnt again from the next samples.
  cell_raw_low_ = std::numeric_limits<double>::infinity();
  cell_raw_high_ = -std::numeric_limits<double>::infinity();
  return true;
}

}  // namespace torvwy::core
