// The record of one server's load, for machines: per table of the copy and per other stage what
// the engine did to the rows (summed over its calls, retries included), the retries, the
// seconds spent and the first error. The load sequence fills a LoadRecorder as it goes; the
// console hands one to each worker before its call, reads it while the call runs (progress)
// and keeps what it holds at the end. Header only, so that the console's core needs no worker
// library. Threading: LoadRecorder is safe from any thread; StepRecord is a plain value.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "engine/operation_counts.h"

namespace kelvan::worker {

struct StepRecord {
  enum class Kind { kTable, kStage };
  Kind kind = Kind::kStage;
  std::string name;  // the table ("SUMMARY") or the stage ("ClientErrors")
  engine::OperationCounts counts;
  int retries = 0;
  double seconds = 0;       // inside the engine's calls
  std::string first_error;  // "<number> description in [source]", or the worker's line
  bool given_up = false;    // its last error (or a failed result) ended it
};

class LoadRecorder {
 public:
  // Later calls count into this table or stage; entering one again (a restart) carries on.
  void Enter(StepRecord::Kind kind, const std::string& name) {
    std::lock_guard lock(mutex_);
    for (current_ = 0; current_ < steps_.size(); ++current_) {
      if (steps_[current_].kind == kind && steps_[current_].name == name) return;
    }
    steps_.push_back({kind, name, {}, 0, 0, {}, false});
  }
  void AddCall(const engine::OperationCounts& counts, std::chrono::duration<double> spent) {
    std::lock_guard lock(mutex_);
    if (steps_.empty()) return;
    steps_[current_].counts += counts;
    steps_[current_].seconds += spent.count();
  }
  // An error or failed result of the current step; the first one stays.
  void NoteError(const std::string& error, bool given_up) {
    std::lock_guard lock(mutex_);
    if (steps_.empty()) return;
    StepRecord& step = steps_[current_];
    if (step.first_error.empty()) step.first_error = error;
    step.given_up = step.given_up || given_up;
  }
  void NoteRetry() {
    std::lock_guard lock(mutex_);
    if (!steps_.empty()) ++steps_[current_].retries;
  }

  std::vector<StepRecord> Steps() const {
    std::lock_guard lock(mutex_);
    return steps_;
  }
  // The step being loaded, for progress; a default record before the first.
  StepRecord Current() const {
    std::lock_guard lock(mutex_);
    return steps_.empty() ? StepRecord{} : steps_[current_];
  }

 private:
  mutable std::mutex mutex_;
  std::vector<StepRecord> steps_;
  size_t current_ = 0;
};

}  // namespace kelvan::worker
