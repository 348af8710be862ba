// A connection of the destination data-access layer: opened from a connect string without
// prompting, it runs statements and opens result sets. Rows added through its result sets may be
// held back and are written before any other statement of the connection runs. Move-only; used
// by one thread (the one whose DataEngine opened it).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/basic/raised_error.h"
#include "platform/data/data_engine.h"
#include "platform/data/result_set.h"

namespace kelvan::data {

namespace internal {
struct ConnectionState;
}

struct ConnectOptions {
  int login_timeout_seconds = 15;
  int query_timeout_seconds = 600;  // so that a server that stops answering cannot hang a run
};

class Connection {
 public:
  // Opens e.g. "DSN=x;UID=u;PWD=p;". A failure raises RaisedError with the driver's SQLSTATE and
  // message (the password never appears in it) and fills the thread's error list.
  static Connection Open(std::string_view connect_string, const ConnectOptions& options = {});

  Connection(Connection&&) noexcept = default;
  Connection& operator=(Connection&&) noexcept = default;
  ~Connection();

  // SQL_DRIVER_ODBC_VER, e.g. "03.51".
  const std::string& OdbcVersion() const;
  // SQL_DBMS_NAME, e.g. "PostgreSQL"; empty when the driver does not say.
  const std::string& DbmsName() const;
  CursorDriver cursor_driver() const;

  // Runs a SELECT and stands on its first row. See ResultSet for what deleting and adding do.
  ResultSet OpenResultSet(std::string_view sql, CursorType cursor = CursorType::kForwardOnly,
                          LockType lock = LockType::kReadOnly,
                          Execution execution = Execution::kPrepared);

  // Runs a statement that returns no rows, committed by itself; returns the rows it affected
  // (0 for a DELETE that matched nothing).
  std::int64_t Execute(std::string_view sql);
  std::int64_t RowsAffected() const { return rows_affected_; }

  // Whether the driver says the server has gone (the session ended, the link broke).
  bool IsDead() const noexcept;

 private:
  explicit Connection(std::shared_ptr<internal::ConnectionState> state);
  internal::ConnectionState& State() const;

  std::shared_ptr<internal::ConnectionState> state_;
  std::int64_t rows_affected_ = 0;
};

// Whether a failure says the connection is gone: SQLSTATE class 08 (connection exceptions) or
// a server ending the session (57P01 to 57P03: terminated, crashed, starting up).
bool IsConnectionLost(const RaisedError& error);

}  // namespace kelvan::data
