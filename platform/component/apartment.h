// Apartment: one thread of its own and a queue of calls. Calls from any thread run on that thread
// one at a time while their caller waits; failures come back to the caller as RaisedError.
// Threading: Execute from any thread; destroy from any thread but the apartment's own.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

namespace kelvan::component {

// Runs on a waiting caller now and then, e.g. to keep a window's event loop turning.
using Pump = std::function<void()>;
inline constexpr std::chrono::milliseconds kPumpInterval{50};

// Number of the RaisedError that replaces any other exception thrown inside a call.
inline constexpr std::int32_t kErrUnexpectedFailure = 40100;

// The operating system's identifier of the calling thread.
std::int32_t CurrentThreadId();

class Apartment {
 public:
  // `name` (the class identifier of the object it hosts) is the source of converted failures.
  explicit Apartment(std::string name);
  ~Apartment();

  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;

  bool IsCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

  // Runs `work` on the apartment's thread and waits for it to end. A RaisedError thrown by `work`
  // is rethrown here; any other exception arrives as a RaisedError numbered
  // kErrUnexpectedFailure. While waiting, `pump` (when set) runs on this thread every `interval`;
  // a pump that throws is not called again and its exception is rethrown once `work` has ended.
  // Called on the apartment's own thread, `work` runs directly and its exceptions pass unchanged.
  void Execute(const std::function<void()>& work, const Pump& pump = {},
               std::chrono::milliseconds interval = kPumpInterval);

 private:
  struct PendingCall;

  void Serve(std::stop_token stop);
  void Settle(PendingCall& call) const;
  void Await(PendingCall& call, const Pump& pump, std::chrono::milliseconds interval);

  const std::string name_;
  std::mutex mutex_;                      // guards queue_ and every PendingCall's outcome
  std::condition_variable_any queue_cv_;  // a call was queued (or the thread must stop)
  std::condition_variable done_cv_;       // some call has ended
  std::deque<PendingCall*> queue_;        // calls live on their waiting callers' stacks
  std::jthread thread_;  // last member: stopped and joined before the queue goes away
};

}  // namespace kelvan::component
