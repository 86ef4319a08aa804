// Progress bookkeeping and the percentage rule.
#include "core/services/progress.h"

#include <string>

#include "core/services/message_table.h"

namespace torvwy::core {

int ProgressPercent(int64_t position, int64_t lower, int64_t upper) {
  if (upper == lower) return 0;
  const int64_t percent = (position - lower) * 100 / (upper - lower);
  return static_cast<int>(percent == 100 ? 100 : percent % 100);
}

void Progress::SetRange(int64_t lower, int64_t upper) {
  lower_ = lower;
  upper_ = upper;
  position_ = lower;
  OnChanged();
}

void Progress::SetStatus(std::string_view text) {
  status_ = std::string(text);
  OnChanged();
}

void Progress::SetPos(int64_t position) {
  position_ = position;
  OnChanged();
}

bool Progress::CheckCancelButton() {
  OnPoll();
  const bool cancelled = cancel_requested_;
  cancel_requested_ = false;
  return cancelled;
}

Status RefuseCancelledPass(bool cancelled, std::string_view what) {
  if (!cancelled) return Ok();
  return Fail(kMsgCalculationCancelled, std::string(kCancelledPassDetail) +
                                            "its partial counts are not " + std::string(what));
}

}  // namespace torvwy::core
