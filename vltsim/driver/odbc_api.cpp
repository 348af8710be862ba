// The narrow ODBC entry points of libvltodbc.so, and the bodies they share with their wide
// twins (odbc_api_wide.cpp). Each is one noexcept boundary: it takes the handle's lock (all
// but SQLCancel), clears its diagnostics, runs the work and turns any exception into
// SQL_ERROR plus a diagnostic record. Only the entry points are exported (the rest is built
// hidden).
#include <variant>

#include "vltsim/driver/entry_points.h"
#include "vltsim/driver/metadata.h"
#include "vltsim/driver/sql_escapes.h"

namespace kelvan::vltsim {
namespace {

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
                    SQLSMALLINT* length, Diagnostics& diag, TextForm form) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    return OutputTextAs(*text, target, buffer_length, length, diag, form);
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

std::optional<std::string> CatalogText(const SQLCHAR* text, SQLSMALLINT length) {
  if (text == nullptr) return std::nullopt;
  return InputText(text, length);
}

std::optional<std::string> CatalogText(const SQLWCHAR* text, SQLSMALLINT length) {
  if (text == nullptr) return std::nullopt;
  return InputWideText(text, length);
}

SQLRETURN ConnectTo(SQLHDBC dbc, const std::string& server, const std::string& user,
                    const std::string& password) {
  Connection* connection = Dbc(dbc);
  return Guarded(connection, [&]() -> SQLRETURN {
    KeyMap keys{{"DSN", server}};
    // Empty credentials leave the data source's own in force.
    if (!user.empty()) keys["UID"] = user;
    if (!password.empty()) keys["PWD"] = password;
    connection->Connect(keys);
    return SQL_SUCCESS;
  });
}

SQLRETURN DriverConnectTo(SQLHDBC dbc, const std::string& in, SQLPOINTER out, SQLSMALLINT out_max,
                          SQLSMALLINT* out_length, TextForm form) {
  Connection* connection = Dbc(dbc);
  return Guarded(connection, [&]() -> SQLRETURN {
    KeyMap keys = ParseConnectString(in);
    connection->Connect(keys);
    return OutputTextAs(CompletedConnectString(keys), out, out_max, out_length, connection->Diag(),
                        form);
  });
}

SQLRETURN AnswerInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT buffer_length,
                     SQLSMALLINT* length, TextForm form) {
  Connection* connection = Dbc(dbc);
  return Guarded(connection, [&]() -> SQLRETURN {
    return WriteInfo(DriverInfo(*connection, type), value, buffer_length, length,
                     connection->Diag(), form);
  });
}

SQLRETURN TranslateNative(SQLHDBC dbc, const std::optional<std::string>& in, SQLPOINTER out,
                          SQLINTEGER out_max, SQLINTEGER* out_length, TextForm form) {
  Connection* connection = Dbc(dbc);
  return Guarded(connection, [&]() -> SQLRETURN {
    if (!in) Fail("HY009", "Invalid use of null pointer");
    connection->CheckLink();
    return OutputTextAs(TranslateEscapes(*in), out, out_max, out_length, connection->Diag(), form);
  });
}

SQLRETURN ExecuteDirect(SQLHSTMT stmt, const std::string& sql) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    statement->ExecDirect(sql);
    return SQL_SUCCESS;
  });
}

SQLRETURN PrepareText(SQLHSTMT stmt, const std::string& sql) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    statement->Prepare(sql);
    return SQL_SUCCESS;
  });
}

SQLRETURN DescribeColumn(SQLHSTMT stmt, SQLUSMALLINT number, SQLPOINTER name,
                         SQLSMALLINT buffer_length, SQLSMALLINT* name_length,
                         SQLSMALLINT* data_type, SQLULEN* column_size, SQLSMALLINT* decimal_digits,
                         SQLSMALLINT* nullable, TextForm form) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    const ColumnInfo& column = statement->Column(number);
    StoreValue(data_type, statement->ReportedType(column));
    StoreValue(column_size, column.type.size);
    StoreValue(decimal_digits, column.type.digits);
    StoreValue<SQLSMALLINT>(nullable, SQL_NULLABLE_UNKNOWN);
    return OutputTextAs(column.name, name, buffer_length, name_length, statement->Diag(), form);
  });
}

SQLRETURN AnswerColumnAttribute(SQLHSTMT stmt, SQLUSMALLINT number, SQLUSMALLINT field,
                                SQLPOINTER text, SQLSMALLINT buffer_length, SQLSMALLINT* length,
                                SQLLEN* numeric, TextForm form) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    ColumnAnswer answer = ColumnAttribute(*statement, number, field);
    if (answer.is_text) {
      return OutputTextAs(answer.text, text, buffer_length, length, statement->Diag(), form);
    }
    StoreValue(numeric, answer.number);
    return SQL_SUCCESS;
  });
}

SQLRETURN NextError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLPOINTER state, SQLINTEGER* native,
                    SQLPOINTER message, SQLSMALLINT buffer_length, SQLSMALLINT* text_length,
                    TextForm form) {
  Handle* handle = stmt != nullptr  ? static_cast<Handle*>(Stmt(stmt))
                   : dbc != nullptr ? static_cast<Handle*>(Dbc(dbc))
                                    : static_cast<Handle*>(Env(env));
  return Reading(handle, [&](Diagnostics& diag) -> SQLRETURN {
    const DiagRecord* record = diag.NextUnread();
    if (record == nullptr) return SQL_NO_DATA;
    return WriteRecord(*record, state, native, message, buffer_length, text_length, form);
  });
}

SQLRETURN DiagRecordAt(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT number, SQLPOINTER state,
                       SQLINTEGER* native, SQLPOINTER message, SQLSMALLINT buffer_length,
                       SQLSMALLINT* text_length, TextForm form) {
  return Reading(AnyHandle(type, h), [&](Diagnostics& diag) -> SQLRETURN {
    if (number < 1 || buffer_length < 0) return SQL_ERROR;
    const DiagRecord* record = diag.Record(number);
    if (record == nullptr) return SQL_NO_DATA;
    return WriteRecord(*record, state, native, message, buffer_length, text_length, form);
  });
}

SQLRETURN DiagFieldAt(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT number, SQLSMALLINT field,
                      SQLPOINTER info, SQLSMALLINT buffer_length, SQLSMALLINT* length,
                      TextForm form) {
  return Reading(AnyHandle(type, h), [&](Diagnostics& diag) -> SQLRETURN {
    return WriteDiagField(diag, number, field, info, buffer_length, length, form);
  });
}

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
    } else if (option == SQL_UNBIND) {
      statement->UnbindColumns();
    } else if (option == SQL_RESET_PARAMS) {
      statement->ResetParameters();
    } else {
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
    return statement->SetAttribute(attribute, IntegerArgument(value));
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
  return ConnectTo(dbc, InputText(server, server_length), InputText(user, user_length),
                   InputText(password, password_length));
}

VLT_EXPORT SQLRETURN SQL_API SQLDriverConnect(SQLHDBC dbc, SQLHWND, SQLCHAR* in,
                                              SQLSMALLINT in_length, SQLCHAR* out,
                                              SQLSMALLINT out_max, SQLSMALLINT* out_length,
                                              SQLUSMALLINT) {
  return DriverConnectTo(dbc, InputText(in, in_length), out, out_max, out_length,
                         TextForm::kNarrow);
}

VLT_EXPORT SQLRETURN SQL_API SQLDisconnect(SQLHDBC dbc) {
  Connection* connection = Dbc(dbc);
  return Guarded(connection, [&]() -> SQLRETURN {
    if (!connection->IsConnected()) Fail("08003", "Connection not open");
    connection->Disconnect();
    return SQL_SUCCESS;
  });
}

// Nothing on a read-only server is ever changed: committing and rolling back both succeed, so
// that clients that turn autocommit off (pyodbc does by default) can end their transactions.
VLT_EXPORT SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle,
                                        SQLSMALLINT completion) {
  Handle* target =
      type == SQL_HANDLE_DBC || type == SQL_HANDLE_ENV ? AnyHandle(type, handle) : nullptr;
  return Guarded(target, [&]() -> SQLRETURN {
    if (completion != SQL_COMMIT && completion != SQL_ROLLBACK) {
      Fail("HY012", "Invalid transaction operation code");
    }
    if (type == SQL_HANDLE_DBC) Dbc(handle)->CheckLink();
    return SQL_SUCCESS;
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
                                        SQLSMALLINT buffer_length, SQLSMALLINT* length) {
  return AnswerInfo(dbc, type, value, buffer_length, length, TextForm::kNarrow);
}

VLT_EXPORT SQLRETURN SQL_API SQLNativeSql(SQLHDBC dbc, SQLCHAR* in, SQLINTEGER in_length,
                                          SQLCHAR* out, SQLINTEGER out_max,
                                          SQLINTEGER* out_length) {
  std::optional<std::string> text;
  if (in != nullptr) text = InputText(in, in_length);
  return TranslateNative(dbc, text, out, out_max, out_length, TextForm::kNarrow);
}

// ---- Statements ----------------------------------------------------------------------------

VLT_EXPORT SQLRETURN SQL_API SQLExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
  return ExecuteDirect(stmt, InputText(text, length));
}

VLT_EXPORT SQLRETURN SQL_API SQLPrepare(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
  return PrepareText(stmt, InputText(text, length));
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
  return DescribeColumn(stmt, number, name, buffer_length, name_length, data_type, column_size,
                        decimal_digits, nullable, TextForm::kNarrow);
}

VLT_EXPORT SQLRETURN SQL_API SQLColAttribute(SQLHSTMT stmt, SQLUSMALLINT number, SQLUSMALLINT field,
                                             SQLPOINTER text, SQLSMALLINT buffer_length,
                                             SQLSMALLINT* length, SQLLEN* numeric) {
  return AnswerColumnAttribute(stmt, number, field, text, buffer_length, length, numeric,
                               TextForm::kNarrow);
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
  return NextError(env, dbc, stmt, state, native, message, buffer_length, text_length,
                   TextForm::kNarrow);
}

VLT_EXPORT SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT number,
                                           SQLCHAR* state, SQLINTEGER* native, SQLCHAR* message,
                                           SQLSMALLINT buffer_length, SQLSMALLINT* text_length) {
  return DiagRecordAt(type, h, number, state, native, message, buffer_length, text_length,
                      TextForm::kNarrow);
}

VLT_EXPORT SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT number,
                                             SQLSMALLINT field, SQLPOINTER info,
                                             SQLSMALLINT buffer_length, SQLSMALLINT* length) {
  return DiagFieldAt(type, h, number, field, info, buffer_length, length, TextForm::kNarrow);
}
