#include "platform/odbc/handles.h"

#include <utility>

#include "platform/odbc/diagnostics.h"

namespace kelvan::odbc {

EnvironmentHandle EnvironmentHandle::Allocate() {
  EnvironmentHandle owner;
  SQLRETURN rc = SQLAllocEnv(&owner.handle_);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
    owner.handle_ = SQL_NULL_HENV;  // nothing to read diagnostics from
    throw OdbcError("SQLAllocEnv", rc, {});
  }
  return owner;
}

EnvironmentHandle::EnvironmentHandle(EnvironmentHandle&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

EnvironmentHandle& EnvironmentHandle::operator=(EnvironmentHandle&& other) noexcept {
  if (this != &other) {
    Free();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

void EnvironmentHandle::Free() noexcept {
  if (handle_ != SQL_NULL_HENV) SQLFreeEnv(std::exchange(handle_, nullptr));
}

ConnectionHandle ConnectionHandle::Allocate(const EnvironmentHandle& environment) {
  ConnectionHandle owner;
  SQLRETURN rc = SQLAllocConnect(environment.get(), &owner.handle_);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) owner.handle_ = SQL_NULL_HDBC;
  Check(rc, Handles{.env = environment.get()}, "SQLAllocConnect");
  return owner;
}

ConnectionHandle::ConnectionHandle(ConnectionHandle&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

ConnectionHandle& ConnectionHandle::operator=(ConnectionHandle&& other) noexcept {
  if (this != &other) {
    Free();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

void ConnectionHandle::Free() noexcept {
  if (handle_ == SQL_NULL_HDBC) return;
  SQLHDBC handle = std::exchange(handle_, nullptr);
  SQLDisconnect(handle);
  SQLFreeConnect(handle);
}

StatementHandle StatementHandle::Allocate(const ConnectionHandle& connection) {
  StatementHandle owner;
  SQLRETURN rc = SQLAllocStmt(connection.get(), &owner.handle_);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) owner.handle_ = SQL_NULL_HSTMT;
  Check(rc, Handles{.dbc = connection.get()}, "SQLAllocStmt");
  return owner;
}

StatementHandle::StatementHandle(StatementHandle&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

StatementHandle& StatementHandle::operator=(StatementHandle&& other) noexcept {
  if (this != &other) {
    Free();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

void StatementHandle::Free() noexcept {
  if (handle_ != SQL_NULL_HSTMT) SQLFreeStmt(std::exchange(handle_, nullptr), SQL_DROP);
}

}  // namespace kelvan::odbc
