// What the exported ODBC entry points (odbc_api*.cpp) share: the handle checks, the noexcept
// boundary every call goes through, and the bodies the narrow and the wide entry points both
// run, text already decoded to UTF-8 and written back in the caller's TextForm.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <mutex>
#include <new>
#include <optional>
#include <string>

#include "platform/basic/raised_error.h"
#include "vltsim/driver/connection.h"
#include "vltsim/driver/environment.h"
#include "vltsim/driver/odbc_text.h"
#include "vltsim/driver/statement.h"

#define VLT_EXPORT extern "C" __attribute__((visibility("default")))

namespace kelvan::vltsim {

template <typename T>
T* As(SQLHANDLE handle, HandleKind kind) {
  auto* base = static_cast<Handle*>(handle);
  if (base == nullptr || base->Kind() != kind) return nullptr;
  return static_cast<T*>(base);
}

inline Environment* Env(SQLHANDLE h) { return As<Environment>(h, HandleKind::kEnvironment); }
inline Connection* Dbc(SQLHANDLE h) { return As<Connection>(h, HandleKind::kConnection); }
inline Statement* Stmt(SQLHANDLE h) { return As<Statement>(h, HandleKind::kStatement); }

Handle* AnyHandle(SQLSMALLINT type, SQLHANDLE h);

[[noreturn]] inline void Fail(const char* state, const char* message) {
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

// The boundary every entry point goes through: takes the handle's lock, clears its
// diagnostics, runs the body and turns any exception into SQL_ERROR plus a record.
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

inline SQLULEN IntegerArgument(SQLPOINTER value) {
  return static_cast<SQLULEN>(reinterpret_cast<std::uintptr_t>(value));
}

// A catalog function's argument; absent for a null pointer.
std::optional<std::string> CatalogText(const SQLCHAR* text, SQLSMALLINT length);
std::optional<std::string> CatalogText(const SQLWCHAR* text, SQLSMALLINT length);

// The bodies shared by each narrow entry point and its wide twin.
SQLRETURN ConnectTo(SQLHDBC dbc, const std::string& server, const std::string& user,
                    const std::string& password);
SQLRETURN DriverConnectTo(SQLHDBC dbc, const std::string& in, SQLPOINTER out, SQLSMALLINT out_max,
                          SQLSMALLINT* out_length, TextForm form);
SQLRETURN AnswerInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT buffer_length,
                     SQLSMALLINT* length, TextForm form);
SQLRETURN TranslateNative(SQLHDBC dbc, const std::optional<std::string>& in, SQLPOINTER out,
                          SQLINTEGER out_max, SQLINTEGER* out_length, TextForm form);
SQLRETURN ExecuteDirect(SQLHSTMT stmt, const std::string& sql);
SQLRETURN PrepareText(SQLHSTMT stmt, const std::string& sql);
SQLRETURN DescribeColumn(SQLHSTMT stmt, SQLUSMALLINT number, SQLPOINTER name,
                         SQLSMALLINT buffer_length, SQLSMALLINT* name_length,
                         SQLSMALLINT* data_type, SQLULEN* column_size, SQLSMALLINT* decimal_digits,
                         SQLSMALLINT* nullable, TextForm form);
SQLRETURN AnswerColumnAttribute(SQLHSTMT stmt, SQLUSMALLINT number, SQLUSMALLINT field,
                                SQLPOINTER text, SQLSMALLINT buffer_length, SQLSMALLINT* length,
                                SQLLEN* numeric, TextForm form);
SQLRETURN NextError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLPOINTER state, SQLINTEGER* native,
                    SQLPOINTER message, SQLSMALLINT buffer_length, SQLSMALLINT* text_length,
                    TextForm form);
SQLRETURN DiagRecordAt(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT number, SQLPOINTER state,
                       SQLINTEGER* native, SQLPOINTER message, SQLSMALLINT buffer_length,
                       SQLSMALLINT* text_length, TextForm form);
SQLRETURN DiagFieldAt(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT number, SQLSMALLINT field,
                      SQLPOINTER info, SQLSMALLINT buffer_length, SQLSMALLINT* length,
                      TextForm form);
// Runs a catalog function's query on the statement.
template <typename MakeQuery>
SQLRETURN RunCatalog(SQLHSTMT stmt, MakeQuery&& make_query) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    statement->ExecCatalog(make_query(*statement));
    return SQL_SUCCESS;
  });
}

}  // namespace kelvan::vltsim
