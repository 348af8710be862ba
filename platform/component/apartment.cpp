#include "platform/component/apartment.h"

#include <unistd.h>

#include <cassert>
#include <exception>
#include <optional>
#include <utility>

#include "platform/basic/raised_error.h"

namespace kelvan::component {

struct Apartment::PendingCall {
  explicit PendingCall(const std::function<void()>& w) : work(&w) {}

  const std::function<void()>* work;
  std::optional<RaisedError> error;
  bool done = false;
};

std::int32_t CurrentThreadId() { return static_cast<std::int32_t>(::gettid()); }

Apartment::Apartment(std::string name)
    : name_(std::move(name)), thread_([this](std::stop_token stop) { Serve(stop); }) {}

Apartment::~Apartment() {
  // A thread cannot join itself; callers hold a reference for the length of every call, so
  // the last one is never dropped on this thread.
  assert(!IsCurrent());
}

void Apartment::Execute(const std::function<void()>& work, const Pump& pump,
                        std::chrono::milliseconds interval) {
  if (IsCurrent()) {
    work();
    return;
  }
  PendingCall call(work);
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(&call);
  }
  queue_cv_.notify_one();
  Await(call, pump, interval);
  if (call.error) throw *call.error;
}

void Apartment::Serve(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  while (queue_cv_.wait(lock, stop, [this] { return !queue_.empty(); })) {
    PendingCall* call = queue_.front();
    queue_.pop_front();
    lock.unlock();
    Settle(*call);
    lock.lock();
    // Marked under the lock: once the caller sees it, this thread no longer touches the call.
    call->done = true;
    done_cv_.notify_all();
  }
}

void Apartment::Settle(PendingCall& call) const {
  try {
    (*call.work)();
  } catch (const RaisedError& error) {
    call.error = error;
  } catch (const std::exception& error) {
    call.error = RaisedError(kErrUnexpectedFailure, name_, error.what());
  } catch (...) {
    call.error = RaisedError(kErrUnexpectedFailure, name_, "Unknown failure");
  }
}

void Apartment::Await(PendingCall& call, const Pump& pump, std::chrono::milliseconds interval) {
  std::unique_lock lock(mutex_);
  auto ended = [&call] { return call.done; };
  if (!pump) {
    done_cv_.wait(lock, ended);
    return;
  }
  // The call refers to the caller's stack, so even a failing pump must not end the wait early.
  std::exception_ptr pump_failure;
  while (!done_cv_.wait_for(lock, interval, ended)) {
    if (pump_failure) continue;
    lock.unlock();
    try {
      pump();
    } catch (...) {
      pump_failure = std::current_exception();
    }
    lock.lock();
  }
  if (pump_failure) std::rethrow_exception(pump_failure);
}

}  // namespace kelvan::component
