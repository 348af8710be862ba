// Interruption: what may end one running call of a statement early, namely an SQLCancel from
// another thread or the statement's query timeout. Thread-safe: Cancel is called without the
// connection's lock, while the call it ends holds that lock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace kelvan::vltsim {

class Interruption {
 public:
  using Clock = std::chrono::steady_clock;

  // A call starts; `timeout` 0 means it may run for ever. Forgets an earlier cancel.
  void Begin(std::chrono::seconds timeout);
  void End();
  // Ends the running call; without one it does nothing.
  void Cancel();

  // Throws RaisedError HY008 once cancelled, HYT00 once the timeout has passed.
  void ThrowIfDue();
  // Waits for ever, or until the call is interrupted (then throws as ThrowIfDue).
  void WaitUntilDue();
  // Waits `pause` unless interrupted first (then throws as ThrowIfDue).
  void Sleep(std::chrono::milliseconds pause);
  bool IsDue();

 private:
  bool IsDueLocked() const;
  void ThrowIfDueLocked() const;
  void WaitLocked(std::unique_lock<std::mutex>& lock, std::optional<Clock::time_point> until);

  std::mutex mutex_;
  std::condition_variable cancelled_signal_;
  bool running_ = false;
  bool cancelled_ = false;
  std::optional<Clock::time_point> deadline_;  // none without a query timeout
};

// Begins a call on construction and ends it on destruction.
class InterruptibleCall {
 public:
  InterruptibleCall(Interruption& interruption, std::chrono::seconds timeout)
      : interruption_(interruption) {
    interruption_.Begin(timeout);
  }
  ~InterruptibleCall() { interruption_.End(); }
  InterruptibleCall(const InterruptibleCall&) = delete;
  InterruptibleCall& operator=(const InterruptibleCall&) = delete;

 private:
  Interruption& interruption_;
};

}  // namespace kelvan::vltsim
