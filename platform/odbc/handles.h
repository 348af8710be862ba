// Move-only owners of the ODBC 2 environment, connection and statement handles. Each frees its
// handle in its destructor (return codes ignored, never throws); declare them environment,
// connection, statement so that they are freed in the order statement (SQLFreeStmt SQL_DROP),
// connection (SQLDisconnect, SQLFreeConnect), environment (SQLFreeEnv). Callers make the other
// ODBC calls on get() themselves. A handle, like the ODBC handle it owns, is used by one thread
// at a time; a statement must not outlive its connection, nor a connection its environment.
#pragma once

#include <sql.h>

namespace kelvan::odbc {

class EnvironmentHandle {
 public:
  // SQLAllocEnv; raises RaisedError kErrOdbcCall when the driver manager cannot allocate it.
  static EnvironmentHandle Allocate();

  EnvironmentHandle() = default;  // owns nothing
  ~EnvironmentHandle() { Free(); }
  EnvironmentHandle(EnvironmentHandle&& other) noexcept;
  EnvironmentHandle& operator=(EnvironmentHandle&& other) noexcept;
  EnvironmentHandle(const EnvironmentHandle&) = delete;
  EnvironmentHandle& operator=(const EnvironmentHandle&) = delete;

  SQLHENV get() const { return handle_; }
  void Free() noexcept;  // SQLFreeEnv now; the owner then owns nothing

 private:
  SQLHENV handle_ = SQL_NULL_HENV;
};

class ConnectionHandle {
 public:
  // SQLAllocConnect; raises RaisedError with the environment's diagnostics on failure.
  static ConnectionHandle Allocate(const EnvironmentHandle& environment);

  ConnectionHandle() = default;
  ~ConnectionHandle() { Free(); }
  ConnectionHandle(ConnectionHandle&& other) noexcept;
  ConnectionHandle& operator=(ConnectionHandle&& other) noexcept;
  ConnectionHandle(const ConnectionHandle&) = delete;
  ConnectionHandle& operator=(const ConnectionHandle&) = delete;

  SQLHDBC get() const { return handle_; }
  // SQLDisconnect (harmless when never connected) then SQLFreeConnect.
  void Free() noexcept;

 private:
  SQLHDBC handle_ = SQL_NULL_HDBC;
};

class StatementHandle {
 public:
  // SQLAllocStmt; raises RaisedError with the connection's diagnostics on failure.
  static StatementHandle Allocate(const ConnectionHandle& connection);

  StatementHandle() = default;
  ~StatementHandle() { Free(); }
  StatementHandle(StatementHandle&& other) noexcept;
  StatementHandle& operator=(StatementHandle&& other) noexcept;
  StatementHandle(const StatementHandle&) = delete;
  StatementHandle& operator=(const StatementHandle&) = delete;

  SQLHSTMT get() const { return handle_; }
  void Free() noexcept;  // SQLFreeStmt(SQL_DROP)

 private:
  SQLHSTMT handle_ = SQL_NULL_HSTMT;
};

}  // namespace kelvan::odbc
