// Progress of a long pass: the interface every pass reports to, and the percentage rule.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/services/result.h"

namespace torvwy::core {

/// Percentage shown for `position` in [lower, upper]: (position - lower) * 100 / (upper - lower)
/// truncated toward zero, reduced modulo 100 unless it is exactly 100; 0 for an empty range.
int ProgressPercent(int64_t position, int64_t lower, int64_t upper);

/// What every long pass reports to and polls; the window, the console and tests implement it.
/// This base class keeps the bar's state; implementations show it in OnChanged().
class Progress {
 public:
  virtual ~Progress() = default;

  void SetRange(int64_t lower, int64_t upper);
  void SetStep(int64_t step) { step_ = step; }
  void SetStatus(std::string_view text);
  void SetPos(int64_t position);
  void StepIt() { SetPos(position_ + step_); }
  /// True once for every cancel request made since the last poll.
  bool CheckCancelButton();
  /// Asks the pass to stop at its next poll (the Cancel button, Ctrl-C).
  void RequestCancel() { cancel_requested_ = true; }

  int64_t lower() const { return lower_; }
  int64_t upper() const { return upper_; }
  int64_t position() const { return position_; }
  int percent() const { return ProgressPercent(position_, lower_, upper_); }
  const std::string& status() const { return status_; }

 protected:
  /// Called after every change of range, position or status.
  virtual void OnChanged() {}
  /// Called at every poll, before the flag is read (a window drains its queue here).
  virtual void OnPoll() {}

 private:
  int64_t lower_ = 0;
  int64_t upper_ = 100;
  int64_t step_ = 10;
  int64_t position_ = 0;
  bool cancel_requested_ = false;
  std::string status_;
};

/// How the detail of every error that ends or refuses a cancelled pass begins.
inline constexpr std::string_view kCancelledPassDetail = "the pass was cancelled; ";

/// The one rule for a cancelled pass: its partial counts may be shown, marked as cancelled, but
/// are never saved, reported, exported or list-exported. Fails with the cancelled message
/// (detail: `what` was not written) for a cancelled pass; succeeds otherwise.
Status RefuseCancelledPass(bool cancelled, std::string_view what);

/// The status lines a counting run shows, handed in by its caller (the core reads no message
/// table and no profile during a pass). An empty caption leaves the status as it is.
struct PassCaptions {
  std::string envelope;  ///< while the record's envelope is built
  std::string counting;  ///< while the blocks are counted
};

/// Shows nothing; for tests and batch use. It can cancel by itself after a number of polls.
class SilentProgress : public Progress {
 public:
  SilentProgress() = default;
  /// Cancel at poll number `poll` (1-based); 0 never.
  explicit SilentProgress(int cancel_at_poll) : cancel_at_poll_(cancel_at_poll) {}
  int polls() const { return polls_; }

 protected:
  void OnPoll() override {
    if (++polls_ == cancel_at_poll_) RequestCancel();
  }

 private:
  int cancel_at_poll_ = 0;
  int polls_ = 0;
};

}  // namespace torvwy::core
