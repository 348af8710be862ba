#include "platform/data/write_behind.h"

#include <pthread.h>

#include <utility>

#include "platform/odbc/cancellation.h"

namespace kelvan::data::internal {

WriteBehind::~WriteBehind() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void WriteBehind::Post(std::function<void()> job) {
  Wait();
  {
    std::lock_guard lock(mutex_);
    // The job is the poster's work: a cancel of the poster's work reaches it too.
    job_ = [job = std::move(job), key = odbc::CurrentWorkKey()] {
      const odbc::ActingFor acting(key);
      job();
    };
    busy_ = true;
  }
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  changed_.notify_all();
}

void WriteBehind::Wait() {
  Settle();
  std::exception_ptr failure;
  std::vector<ErrorEntry> errors;
  {
    std::lock_guard lock(mutex_);
    failure = std::exchange(failure_, nullptr);
    errors = std::move(failure_errors_);
  }
  if (!failure) return;
  DataEngine::ForThisThread().ReplaceErrors(std::move(errors));
  std::rethrow_exception(failure);
}

void WriteBehind::Settle() noexcept {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
}

void WriteBehind::Run() {
  pthread_setname_np(pthread_self(), "kelvan-writer");  // to tell it apart in ps and profiles
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || stopping_; });
    if (!busy_) return;
    std::function<void()> job = std::move(job_);
    lock.unlock();
    std::exception_ptr failure;
    std::vector<ErrorEntry> errors;
    try {
      job();
    } catch (...) {
      failure = std::current_exception();
      errors = DataEngine::ForThisThread().Errors();
    }
    lock.lock();
    failure_ = failure;
    failure_errors_ = std::move(errors);
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace kelvan::data::internal
