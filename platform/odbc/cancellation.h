// Ending another thread's database work: a server that stops answering, an interrupt. Every call
// that waits on a database (connect, execute, fetch) runs inside a CancellableCall. CancelWork
// then cancels the calls in progress under a work key (SQLCancel from the calling thread) and
// makes every later one fail at once, until ResumeWork. A work key is the operating system's
// identifier of the thread doing the work; a thread working for another acts under its key
// (ActingFor), so that one cancel reaches both.
// Threading: every function and class here may be used from any thread.
#pragma once

#include <sql.h>

#include <cstdint>
#include <optional>
#include <string>

namespace kelvan::odbc {

using WorkKey = std::int32_t;

// Number of the RaisedError a call of cancelled work fails with before it starts.
inline constexpr std::int32_t kErrWorkCancelled = 40003;

// The key the calling thread works under.
WorkKey CurrentWorkKey();

// For its lifetime, the calling thread works under `key`.
class ActingFor {
 public:
  explicit ActingFor(WorkKey key);
  ~ActingFor();
  ActingFor(const ActingFor&) = delete;
  ActingFor& operator=(const ActingFor&) = delete;

 private:
  std::optional<WorkKey> before_;
};

// Marks a call in progress on `stmt` (none for a connect, which cannot be cancelled, only
// refused). Raises kErrWorkCancelled, with the reason the work was cancelled, when it is.
class CancellableCall {
 public:
  explicit CancellableCall(SQLHSTMT stmt = SQL_NULL_HSTMT);
  ~CancellableCall();
  CancellableCall(const CancellableCall&) = delete;
  CancellableCall& operator=(const CancellableCall&) = delete;

 private:
  WorkKey key_;
  SQLHSTMT stmt_;
};

// Cancels the calls in progress under `key` and refuses its later ones with `reason`. A cancel
// that reaches a statement just before its driver starts the call is lost: callers repeat it
// until the work has ended. Returns the number of calls it reached.
int CancelWork(WorkKey key, const std::string& reason);
// The work under `key` may run again.
void ResumeWork(WorkKey key);
// Why the calling thread's work was cancelled; nothing when it was not.
std::optional<std::string> WorkCancelReason();

}  // namespace kelvan::odbc
