// The ODBC entry points of libvltodbc.so. Each is one noexcept boundary: it takes the handle's
// lock (all but SQLCancel), clears its diagnostics, runs the work and turns any exception into
// SQL_ERROR plus a diagnostic record. Only these functions are exported (the rest is built
// hidden), and no ...W functions exist: their stubs would make the driver manager lose
// diagnostics.
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <mutex>
#include <new>
#include <variant>

#include "platform/basic/raised_error.h"
#include "vltsim/driver/connection.h"
#include "vltsim/driver/environment.h"
#include "vltsim/driver/metadata.h"
#include "vltsim/driver/odbc_text.h"
#include "vltsim/driver/sql_escapes.h"
#include "vltsim/driver/statement.h"

#define VLT_EXPORT extern "C" __attribute__((visibility("default")))

namespace kelvan::vltsim {
namespace {

template <typename T>
T* As(SQLHANDLE handle, HandleKind kind) {
  auto* base = static_cast<Handle*>(handle);
  if (base == nullptr || base->Kind() != kind) return nullptr;
  return static_cast<T*>(base);
}

Environment* Env(SQLHANDLE h) { return As<Environment>(h, HandleKind::kEnvironment); }
Connection* Dbc(SQLHANDLE h) { return As<Connection>(h, HandleKind::kConnection); }
Statement* Stmt(SQLHANDLE h) { return As<Statement>(h, HandleKind::kStatement); }

Handle* AnyHandle(SQLSMALLINT type, SQLHANDLE h) {
  switch (type) {
    case SQL_HANDLE_ENV:
      return Env(h);
    case SQL_HANDLE_DBC:
      return Dbc(h);
    case SQL_HANDLE_STMT:
      return Stmt(h);
    default:
      return nullptr;
  }
}

[[noreturn]] void Fail(const char* state, const char* message) {
  throw RaisedError(0, "vltodbc", message, state);
}

template <typename Body>
SQLRETURN RunRecording(Diagnostics& diag, Body& body) {
  try {
    return body();
  } catch (const RaisedError& e) {
    diag.Add(e.SqlState().empty() ? "HY000" : e.SqlState(), e.Description(), e.Number());
  } catch (const std::bad_alloc&) {
    diag.Add("HY001", "Memory allocation error");
  } catch (const std::exception& e) {
    diag.Add("HY000", e.what());
  }
  return SQL_ERROR;
}

// The boundary every entry point goes through.
template <typename Body>
SQLRETURN Guarded(Handle* handle, Body&& body) noexcept {
  if (handle == nullptr) return SQL_INVALID_HANDLE;
  try {
    std::lock_guard lock(handle->Lock());
    handle->Diag().Clear();
    SQLRETURN rc = RunRecording(handle->Diag(), body);
    handle->Diag().SetReturnCode(rc);
    return rc;
  } catch (...) {
    return SQL_ERROR;
  }
}

// Reading diagnostics leaves them in place.
template <typename Body>
SQLRETURN Reading(Handle* handle, Body&& body) noexcept {
  if (handle == nullptr) return SQL_INVALID_HANDLE;
  try {
    std::lock_guard lock(handle->Lock());
    return body(handle->Diag());
  } catch (...) {
    return SQL_ERROR;
  }
}

SQLULEN IntegerArgument(SQLPOINTER value) {
  return static_cast<SQLULEN>(reinterpret_cast<std::uintptr_t>(value));
}

SQLRETURN AllocEnvironment(SQLHANDLE* out) noexcept {
  if (out == nullptr) return SQL_ERROR;
  auto* environment = new (std::nothrow) Environment();
  *out = static_cast<Handle*>(environment);
  return environment != nullptr ? SQL_SUCCESS : SQL_ERROR;
}

SQLRETURN AllocConnection(SQLHANDLE env, SQLHANDLE* out) noexcept {
  Environment* environment = Env(env);
  return Guarded(environment, [&]() -> SQLRETURN {
    if (out == nullptr) Fail("HY009", "Invalid use of null pointer");
    *out = static_cast<Handle*>(new Connection(*environment));
    return SQL_SUCCESS;
  });
}

SQLRETURN AllocStatement(SQLHANDLE dbc, SQLHANDLE* out) noexcept {
  Connection* connection = Dbc(dbc);
  return Guarded(connection, [&]() -> SQLRETURN {
    if (out == nullptr) Fail("HY009", "Invalid use of null pointer");
    *out = static_cast<Handle*>(&connection->AddStatement());
    return SQL_SUCCESS;
  });
}

SQLRETURN FreeEnvironment(SQLHANDLE env) noexcept {
  Environment* environment = Env(env);
  SQLRETURN rc = Guarded(environment, [&]() -> SQLRETURN {
    if (environment->HasConnections()) Fail("HY010", "Function sequence error");
    return SQL_SUCCESS;
  });
  // Deleted outside its own lock.
  if (rc == SQL_SUCCESS) delete environment;
  return rc;
}

// The connection's own lock cannot guard its destruction; its environment's does.
SQLRETURN FreeConnection(SQLHANDLE dbc) noexcept {
  Connection* connection = Dbc(dbc);
  if (connection == nullptr) return SQL_INVALID_HANDLE;
  return Guarded(&connection->Env(), [&]() -> SQLRETURN {
    delete connection;
    return SQL_SUCCESS;
  });
}

SQLRETURN FreeStatement(SQLHANDLE stmt) noexcept {
  Statement* statement = Stmt(stmt);
  if (statement == nullptr) return SQL_INVALID_HANDLE;
  Connection& connection = statement->Conn();
  return Guarded(&connection, [&]() -> SQLRETURN {
    connection.RemoveStatement(*statement);
    return SQL_SUCCESS;
  });
}

SQLRETURN WriteInfo(const InfoValue& value, SQLPOINTER target, SQLSMALLINT buffer_length,
                    SQLSMALLINT* length, Diagnostics& diag) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    return OutputTextAs(*text, target, buffer_length, length, diag);
  }
  if (const auto* small = std::get_if<SQLUSMALLINT>(&value)) {
    StoreValue(target, *small);
    if (length != nullptr) *length = sizeof *small;
  } else {
    StoreValue(target, *std::get_if<SQLUINTEGER>(&value));
    if (length != nullptr) *length = sizeof(SQLUINTEGER);
  }
  return SQL_SUCCESS;
}

}  // namespace
}  // namespace kelvan::vltsim

using namespace kelvan::vltsim;  // NOLINT: the entry points below are the namespace's face

// ---- Handles -------------------------------------------------------------------------------

VLT_EXPORT SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* out) {
  switch (type) {
    case SQL_HANDLE_ENV:
      return AllocEnvironment(out);
    case SQL_HANDLE_DBC:
      return AllocConnection(input, out);
    case SQL_HANDLE_STMT:
      return AllocStatement(input, out);
    default:
      return Guarded(AnyHandle(SQL_HANDLE_DBC, input),
                     []() -> SQLRETURN { Fail("HYC00", "Optional feature not implemented"); });
  }
}

VLT_EXPORT SQLRETURN SQL_API SQLAllocEnv(SQLHENV* out) { return AllocEnvironment(out); }

VLT_EXPORT SQLRETURN SQL_API SQLAllocConnect(SQLHENV env, SQLHDBC* out) {
  return AllocConnection(env, out);
}

VLT_EXPORT SQLRETURN SQL_API SQLAllocStmt(SQLHDBC dbc, SQLHSTMT* out) {
  return AllocStatement(dbc, out);
}

VLT_EXPORT SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  switch (type) {
    case SQL_HANDLE_ENV:
      return FreeEnvironment(handle);
    case SQL_HANDLE_DBC:
      return FreeConnection(handle);
    case SQL_HANDLE_STMT:
      return FreeStatement(handle);
    default:
      return SQL_INVALID_HANDLE;
  }
}

VLT_EXPORT SQLRETURN SQL_API SQLFreeEnv(SQLHENV env) { return FreeEnvironment(env); }

VLT_EXPORT SQLRETURN SQL_API SQLFreeConnect(SQLHDBC dbc) { return FreeConnection(dbc); }

VLT_EXPORT SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT stmt, SQLUSMALLINT option) {
  if (option == SQL_DROP) return FreeStatement(stmt);
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    if (option == SQL_CLOSE) {
      statement->Close();
    } else if (option != SQL_UNBIND && option != SQL_RESET_PARAMS) {
      Fail("HY092", "Invalid attribute/option identifier");
    }
    return SQL_SUCCESS;
  });
}

// ---- Attributes ----------------------------------------------------------------------------

VLT_EXPORT SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                                           SQLINTEGER) {
  Environment* environment = Env(env);
  return Guarded(environment, [&]() -> SQLRETURN {
    if (attribute != SQL_ATTR_ODBC_VERSION) {
      return environment->Attributes().Set(attribute, IntegerArgument(value), environment->Diag());
    }
    environment->SetOdbcVersion(static_cast<int>(IntegerArgument(value)));
    return SQL_SUCCESS;
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                                           SQLINTEGER, SQLINTEGER* length) {
  Environment* environment = Env(env);
  return Guarded(environment, [&]() -> SQLRETURN {
    SQLULEN answer =
        attribute == SQL_ATTR_ODBC_VERSION
            ? static_cast<SQLULEN>(environment->OdbcVersion() >= 3 ? SQL_OV_ODBC3 : SQL_OV_ODBC2)
            : environment->Attributes().Get(attribute);
    StoreValue<SQLUINTEGER>(value, static_cast<SQLUINTEGER>(answer));
    if (length != nullptr) *length = sizeof(SQLUINTEGER);
    return SQL_SUCCESS;
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                               SQLINTEGER) {
  Connection* connection = Dbc(dbc);
  return Guarded(connection, [&]() -> SQLRETURN {
    return connection->Attributes().Set(attribute, IntegerArgument(value), connection->Diag());
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                               SQLINTEGER, SQLINTEGER* length) {
  Connection* connection = Dbc(dbc);
  return Guarded(connection, [&]() -> SQLRETURN {
    StoreValue<SQLUINTEGER>(value,
                            static_cast<SQLUINTEGER>(connection->Attributes().Get(attribute)));
    if (length != nullptr) *length = sizeof(SQLUINTEGER);
    return SQL_SUCCESS;
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                            SQLINTEGER) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    return statement->Attributes().Set(attribute, IntegerArgument(value), statement->Diag());
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                            SQLINTEGER, SQLINTEGER* length) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    StoreValue<SQLULEN>(value, statement->Attributes().Get(attribute));
    if (length != nullptr) *length = sizeof(SQLULEN);
    return SQL_SUCCESS;
  });
}

// ---- Connecting ----------------------------------------------------------------------------

VLT_EXPORT SQLRETURN SQL_API SQLConnect(SQLHDBC dbc, SQLCHAR* server, SQLSMALLINT server_length,
                                        SQLCHAR* user, SQLSMALLINT user_length, SQLCHAR* password,
                                        SQLSMALLINT password_length) {
  Connection* connection = Dbc(dbc);
  return Guarded(connection, [&]() -> SQLRETURN {
    KeyMap keys{{"DSN", InputText(server, server_length)}};
    std::string uid = InputText(user, user_length);
    std::string pwd = InputText(password, password_length);
    // Empty credentials leave the data source's own in force.
    if (!uid.empty()) keys["UID"] = uid;
    if (!pwd.empty()) keys["PWD"] = pwd;
    connection->Connect(keys);
    return SQL_SUCCESS;
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLDriverConnect(SQLHDBC dbc, SQLHWND, SQLCHAR* in,
                                              SQLSMALLINT in_length, SQLCHAR* out,
                                              SQLSMALLINT out_max, SQLSMALLINT* out_length,
                                              SQLUSMALLINT) {
  Connection* connection = Dbc(dbc);
  return Guarded(connection, [&]() -> SQLRETURN {
    KeyMap keys = ParseConnectString(InputText(in, in_length));
    connection->Connect(keys);
    return OutputTextAs(CompletedConnectString(keys), out, out_max, out_length, connection->Diag());
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLDisconnect(SQLHDBC dbc) {
  Connection* connection = Dbc(dbc);
  return Guarded(connection, [&]() -> SQLRETURN {
    if (!connection->IsConnected()) Fail("08003", "Connection not open");
    connection->Disconnect();
    return SQL_SUCCESS;
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
                                        SQLSMALLINT buffer_length, SQLSMALLINT* length) {
  Connection* connection = Dbc(dbc);
  return Guarded(connection, [&]() -> SQLRETURN {
    return WriteInfo(DriverInfo(*connection, type), value, buffer_length, length,
                     connection->Diag());
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLNativeSql(SQLHDBC dbc, SQLCHAR* in, SQLINTEGER in_length,
                                          SQLCHAR* out, SQLINTEGER out_max,
                                          SQLINTEGER* out_length) {
  Connection* connection = Dbc(dbc);
  return Guarded(connection, [&]() -> SQLRETURN {
    if (in == nullptr) Fail("HY009", "Invalid use of null pointer");
    connection->CheckLink();
    std::string native = TranslateEscapes(InputText(in, in_length));
    return OutputTextAs(native, out, out_max, out_length, connection->Diag());
  });
}

// ---- Statements ----------------------------------------------------------------------------

VLT_EXPORT SQLRETURN SQL_API SQLExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    statement->ExecDirect(InputText(text, length));
    return SQL_SUCCESS;
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLPrepare(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    statement->Prepare(InputText(text, length));
    return SQL_SUCCESS;
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLExecute(SQLHSTMT stmt) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    statement->Execute();
    return SQL_SUCCESS;
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT stmt, SQLSMALLINT* count) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    StoreValue<SQLSMALLINT>(count, static_cast<SQLSMALLINT>(statement->ColumnCount()));
    return SQL_SUCCESS;
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT stmt, SQLUSMALLINT number, SQLCHAR* name,
                                            SQLSMALLINT buffer_length, SQLSMALLINT* name_length,
                                            SQLSMALLINT* data_type, SQLULEN* column_size,
                                            SQLSMALLINT* decimal_digits, SQLSMALLINT* nullable) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    const ColumnInfo& column = statement->Column(number);
    StoreValue(data_type, statement->ReportedType(column));
    StoreValue(column_size, column.type.size);
    StoreValue(decimal_digits, column.type.digits);
    StoreValue<SQLSMALLINT>(nullable, SQL_NULLABLE_UNKNOWN);
    return OutputTextAs(column.name, name, buffer_length, name_length, statement->Diag());
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLColAttribute(SQLHSTMT stmt, SQLUSMALLINT number, SQLUSMALLINT field,
                                             SQLPOINTER text, SQLSMALLINT buffer_length,
                                             SQLSMALLINT* length, SQLLEN* numeric) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    ColumnAnswer answer = ColumnAttribute(*statement, number, field);
    if (answer.is_text) {
      return OutputTextAs(answer.text, text, buffer_length, length, statement->Diag());
    }
    StoreValue(numeric, answer.number);
    return SQL_SUCCESS;
  });
}

// A SELECT's row count is not known before the end: -1, as ODBC allows.
VLT_EXPORT SQLRETURN SQL_API SQLRowCount(SQLHSTMT stmt, SQLLEN* count) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    StoreValue<SQLLEN>(count, -1);
    return SQL_SUCCESS;
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLFetch(SQLHSTMT stmt) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN { return statement->Fetch(); });
}

VLT_EXPORT SQLRETURN SQL_API SQLGetData(SQLHSTMT stmt, SQLUSMALLINT number, SQLSMALLINT c_type,
                                        SQLPOINTER target, SQLLEN buffer_length,
                                        SQLLEN* indicator) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    return statement->GetData(number, c_type, target, buffer_length, indicator);
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLMoreResults(SQLHSTMT stmt) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, []() -> SQLRETURN { return SQL_NO_DATA; });
}

// Not under the connection's lock: the execution or fetch it ends holds that lock. It leaves
// the statement's diagnostics alone for the same reason.
VLT_EXPORT SQLRETURN SQL_API SQLCancel(SQLHSTMT stmt) {
  Statement* statement = Stmt(stmt);
  if (statement == nullptr) return SQL_INVALID_HANDLE;
  try {
    statement->Cancel();
    return SQL_SUCCESS;
  } catch (...) {
    return SQL_ERROR;
  }
}

VLT_EXPORT SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT stmt) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    statement->Close();
    return SQL_SUCCESS;
  });
}

// ---- Diagnostics ---------------------------------------------------------------------------

VLT_EXPORT SQLRETURN SQL_API SQLError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* state,
                                      SQLINTEGER* native, SQLCHAR* message,
                                      SQLSMALLINT buffer_length, SQLSMALLINT* text_length) {
  Handle* handle = stmt != nullptr  ? static_cast<Handle*>(Stmt(stmt))
                   : dbc != nullptr ? static_cast<Handle*>(Dbc(dbc))
                                    : static_cast<Handle*>(Env(env));
  return Reading(handle, [&](Diagnostics& diag) -> SQLRETURN {
    const DiagRecord* record = diag.NextUnread();
    if (record == nullptr) return SQL_NO_DATA;
    return WriteRecord(*record, state, native, message, buffer_length, text_length);
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT number,
                                           SQLCHAR* state, SQLINTEGER* native, SQLCHAR* message,
                                           SQLSMALLINT buffer_length, SQLSMALLINT* text_length) {
  return Reading(AnyHandle(type, h), [&](Diagnostics& diag) -> SQLRETURN {
    if (number < 1 || buffer_length < 0) return SQL_ERROR;
    const DiagRecord* record = diag.Record(number);
    if (record == nullptr) return SQL_NO_DATA;
    return WriteRecord(*record, state, native, message, buffer_length, text_length);
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT number,
                                             SQLSMALLINT field, SQLPOINTER info,
                                             SQLSMALLINT buffer_length, SQLSMALLINT* length) {
  return Reading(AnyHandle(type, h), [&](Diagnostics& diag) -> SQLRETURN {
    return WriteDiagField(diag, number, field, info, buffer_length, length);
  });
}
