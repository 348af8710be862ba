#include "platform/odbc/cancellation.h"

#include <unistd.h>

#include <map>
#include <mutex>

#include "platform/basic/raised_error.h"

namespace kelvan::odbc {
namespace {

thread_local std::optional<WorkKey> acting_for;

// One table for the process: cancels are rare and the calls it guards wait on a database.
struct Registry {
  std::mutex mutex;
  std::multimap<WorkKey, SQLHSTMT> in_progress;
  std::map<WorkKey, std::string> cancelled;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

WorkKey CurrentWorkKey() { return acting_for.value_or(static_cast<WorkKey>(::gettid())); }

ActingFor::ActingFor(WorkKey key) : before_(acting_for) { acting_for = key; }

ActingFor::~ActingFor() { acting_for = before_; }

CancellableCall::CancellableCall(SQLHSTMT stmt) : key_(CurrentWorkKey()), stmt_(stmt) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  if (const auto found = registry.cancelled.find(key_); found != registry.cancelled.end()) {
    throw RaisedError(kErrWorkCancelled, "ODBC", found->second, "HY008");
  }
  if (stmt_ != SQL_NULL_HSTMT) registry.in_progress.emplace(key_, stmt_);
}

CancellableCall::~CancellableCall() {
  if (stmt_ == SQL_NULL_HSTMT) return;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  auto [first, last] = registry.in_progress.equal_range(key_);
  for (auto it = first; it != last; ++it) {
    if (it->second == stmt_) {
      registry.in_progress.erase(it);
      return;
    }
  }
}

// SQLCancel under the lock: the statement cannot be freed before its call has left the table.
int CancelWork(WorkKey key, const std::string& reason) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.cancelled.insert_or_assign(key, reason);
  int reached = 0;
  auto [first, last] = registry.in_progress.equal_range(key);
  for (auto it = first; it != last; ++it, ++reached) SQLCancel(it->second);
  return reached;
}

void ResumeWork(WorkKey key) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.cancelled.erase(key);
}

std::optional<std::string> WorkCancelReason() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  const auto found = registry.cancelled.find(CurrentWorkKey());
  if (found == registry.cancelled.end()) return std::nullopt;
  return found->second;
}

}  // namespace kelvan::odbc
