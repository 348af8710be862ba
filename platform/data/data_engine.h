// The data-access engine of one thread: its ODBC environment, its error list and its
// cursor-driver choice. Exists once per thread, created on first use; use it only from its
// own thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kelvan::odbc {
class EnvironmentHandle;
}

namespace kelvan::data {

// Error numbers the layer raises on its own (besides kErrItemNotFound and kErrOdbcCall).
inline constexpr std::int32_t kErrNoCurrentRow = 40010;  // at the end, deleted, or closed
inline constexpr std::int32_t kErrNotUpdatable = 40011;  // no row can be deleted or added here

enum class CursorDriver { kDefault, kClientBatch };

// One diagnostic record of a failed call.
struct ErrorEntry {
  std::int32_t number = 0;  // the driver's native error code
  std::string description;  // "SQLSTATE: message"
  std::string sql_state;
  bool operator==(const ErrorEntry&) const = default;
};

class DataEngine {
 public:
  static DataEngine& ForThisThread();

  // The diagnostics of the latest failed call (each failure replaces the list), until cleared.
  const std::vector<ErrorEntry>& Errors() const { return errors_; }
  void ClearErrors() { errors_.clear(); }
  void ReplaceErrors(std::vector<ErrorEntry> errors) { errors_ = std::move(errors); }

  // Read by connections when they open. Every cursor of this layer is a forward-only driver
  // cursor whatever the choice; it is kept so that callers see what they chose.
  void SetCursorDriver(CursorDriver driver) { cursor_driver_ = driver; }
  CursorDriver cursor_driver() const { return cursor_driver_; }

  // The thread's ODBC 2 environment, allocated on first use; connections share it and keep it
  // alive.
  std::shared_ptr<odbc::EnvironmentHandle> Environment();

 private:
  DataEngine() = default;

  std::vector<ErrorEntry> errors_;
  CursorDriver cursor_driver_ = CursorDriver::kDefault;
  std::shared_ptr<odbc::EnvironmentHandle> environment_;
};

}  // namespace kelvan::data
