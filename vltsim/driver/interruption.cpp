#include "vltsim/driver/interruption.h"

#include <algorithm>

#include "platform/basic/raised_error.h"

namespace kelvan::vltsim {

void Interruption::Begin(std::chrono::seconds timeout) {
  std::lock_guard lock(mutex_);
  running_ = true;
  cancelled_ = false;
  deadline_.reset();
  if (timeout.count() > 0) deadline_ = Clock::now() + timeout;
}

void Interruption::End() {
  std::lock_guard lock(mutex_);
  running_ = false;
  cancelled_ = false;
}

void Interruption::Cancel() {
  {
    std::lock_guard lock(mutex_);
    if (!running_) return;
    cancelled_ = true;
  }
  cancelled_signal_.notify_all();
}

bool Interruption::IsDue() {
  std::lock_guard lock(mutex_);
  return IsDueLocked();
}

void Interruption::ThrowIfDue() {
  std::lock_guard lock(mutex_);
  ThrowIfDueLocked();
}

void Interruption::WaitUntilDue() {
  std::unique_lock lock(mutex_);
  WaitLocked(lock, deadline_);
  ThrowIfDueLocked();
}

void Interruption::Sleep(std::chrono::milliseconds pause) {
  std::unique_lock lock(mutex_);
  Clock::time_point wake = Clock::now() + pause;
  WaitLocked(lock, deadline_ ? std::min(wake, *deadline_) : wake);
  ThrowIfDueLocked();
}

bool Interruption::IsDueLocked() const {
  return cancelled_ || (deadline_ && Clock::now() >= *deadline_);
}

// A cancel wins over a timeout that passed meanwhile: the application asked for it.
void Interruption::ThrowIfDueLocked() const {
  if (cancelled_) throw RaisedError(0, "vltodbc", "Operation canceled", "HY008");
  if (IsDueLocked()) throw RaisedError(0, "vltodbc", "Timeout expired", "HYT00");
}

void Interruption::WaitLocked(std::unique_lock<std::mutex>& lock,
                              std::optional<Clock::time_point> until) {
  auto cancelled = [this] { return cancelled_; };
  if (until) {
    cancelled_signal_.wait_until(lock, *until, cancelled);
  } else {
    cancelled_signal_.wait(lock, cancelled);
  }
}

}  // namespace kelvan::vltsim
