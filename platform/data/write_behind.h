// Runs a writer's statements on a thread of their own, one job at a time, so that the caller
// prepares the next rows while the database takes the last ones.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/data/data_engine.h"

namespace kelvan::data::internal {

class WriteBehind {
 public:
  WriteBehind() = default;
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;
  ~WriteBehind();  // waits for the job in hand; a failure not raised yet is dropped

  // Waits for the job before (raising its failure, `job` then never runs), then hands `job` over.
  void Post(std::function<void()> job);
  // Waits for the job in hand and raises its failure in the calling thread, with the error list
  // the failure left.
  void Wait();
  // Waits for the job in hand; a failure is kept for the next Wait or Post.
  void Settle() noexcept;

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> job_;
  bool busy_ = false;
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::vector<ErrorEntry> failure_errors_;
  std::thread thread_;  // started by the first job
};

}  // namespace kelvan::data::internal
