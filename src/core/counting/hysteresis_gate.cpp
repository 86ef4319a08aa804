// HysteresisGate: what it holds back, and its state carried between processes.
#include "core/counting/hysteresis_gate.h"

#include <algorithm>
#include <limits>

namespace torvwy::core {

std::optional<std::pair<double, double>> HysteresisGate::HeldRaw() const {
  if (next_index_ == 0) return std::nullopt;
  if (direction_ != 0) return std::pair(candidate_.raw, candidate_.raw);
  return std::pair(std::min(high_.raw, low_.raw), std::max(high_.raw, low_.raw));
}

void HysteresisGate::SaveState(CountStateWriter& out) const {
  out.Int(next_index_);
  out.Int(direction_);
  for (const Held* held : {&first_, &high_, &low_}) {
    out.Double(held->raw);
    out.Double(held->eu);
    out.Int(held->index);
  }
  out.Double(candidate_.raw);
  out.Int(candidate_.index);
  out.Double(candidate_eu_);
}

bool HysteresisGate::LoadState(CountStateReader& in) {
  constexpr int64_t kMost = std::numeric_limits<int64_t>::max();
  next_index_ = in.Int(0, kMost);
  direction_ = static_cast<int>(in.Int(-1, 1));
  for (Held* held : {&first_, &high_, &low_}) {
    held->raw = in.Double();
    held->eu = in.Double();
    held->index = in.Int(0, kMost);
  }
  candidate_.raw = in.Double();
  candidate_.index = in.Int(0, kMost);
  candidate_eu_ = in.Double();
  return in.ok();
}

}  // namespace torvwy::core
