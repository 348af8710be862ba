#include "vltsim/driver/driver_test_support.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <array>

namespace kelvan::vltsim::testing {

TestClient::TestClient(OdbcVersion version, SQLHENV shared_env)
    : version_(version), owns_env_(shared_env == SQL_NULL_HENV), env_(shared_env) {
  if (owns_env_ && version == OdbcVersion::kOdbc2) {
    SQLAllocEnv(&env_);
  } else if (owns_env_) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  }
  SQLAllocConnect(env_, &dbc_);
}

TestClient::~TestClient() {
  DropStatement();
  if (connected_) SQLDisconnect(dbc_);
  SQLFreeConnect(dbc_);
  if (owns_env_) SQLFreeEnv(env_);
}

void TestClient::DropStatement() {
  if (stmt_ != SQL_NULL_HSTMT) SQLFreeStmt(stmt_, SQL_DROP);
  stmt_ = SQL_NULL_HSTMT;
}

Outcome TestClient::Diagnose(SQLRETURN rc) {
  Outcome outcome{rc, "", ""};
  if (rc == SQL_SUCCESS || rc == SQL_NO_DATA) return outcome;
  std::array<SQLCHAR, 6> state{};
  std::array<SQLCHAR, 1024> message{};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLRETURN diag_rc;
  if (version_ == OdbcVersion::kOdbc2) {
    diag_rc = SQLError(env_, dbc_, stmt_, state.data(), &native, message.data(),
                       static_cast<SQLSMALLINT>(message.size()), &length);
  } else {
    SQLSMALLINT type = stmt_ != SQL_NULL_HSTMT ? SQL_HANDLE_STMT : SQL_HANDLE_DBC;
    SQLHANDLE handle = stmt_ != SQL_NULL_HSTMT ? stmt_ : dbc_;
    diag_rc = SQLGetDiagRec(type, handle, 1, state.data(), &native, message.data(),
                            static_cast<SQLSMALLINT>(message.size()), &length);
  }
  if (SQL_SUCCEEDED(diag_rc)) {
    outcome.state = reinterpret_cast<char*>(state.data());
    outcome.message = reinterpret_cast<char*>(message.data());
  }
  return outcome;
}

Outcome TestClient::Connect(const std::string& connect_string, std::string* out_string) {
  std::array<SQLCHAR, 512> out{};
  SQLSMALLINT out_length = 0;
  std::string in = connect_string;
  SQLRETURN rc = SQLDriverConnect(
      dbc_, nullptr, reinterpret_cast<SQLCHAR*>(in.data()), static_cast<SQLSMALLINT>(in.size()),
      out.data(), static_cast<SQLSMALLINT>(out.size()), &out_length, SQL_DRIVER_NOPROMPT);
  connected_ = SQL_SUCCEEDED(rc);
  if (out_string != nullptr) *out_string = reinterpret_cast<char*>(out.data());
  return Diagnose(rc);
}

SQLHSTMT TestClient::Statement() {
  DropStatement();
  SQLRETURN rc = SQLAllocStmt(dbc_, &stmt_);
  EXPECT_EQ(rc, SQL_SUCCESS);
  if (rc != SQL_SUCCESS) stmt_ = SQL_NULL_HSTMT;
  return stmt_;
}

Outcome TestClient::Exec(const std::string& sql) {
  Statement();
  return ExecOnStatement(sql);
}

Outcome TestClient::ExecOnStatement(const std::string& sql) {
  std::string text = sql;
  return Diagnose(SQLExecDirect(stmt_, reinterpret_cast<SQLCHAR*>(text.data()),
                                static_cast<SQLINTEGER>(text.size())));
}

Outcome TestClient::Fetch() { return Diagnose(SQLFetch(stmt_)); }

std::vector<std::vector<std::string>> TestClient::Rows(const std::string& sql) {
  std::vector<std::vector<std::string>> rows;
  Outcome exec = Exec(sql);
  EXPECT_EQ(exec.rc, SQL_SUCCESS) << sql << ": " << exec.state << " " << exec.message;
  SQLSMALLINT columns = 0;
  SQLNumResultCols(stmt_, &columns);
  while (SQLFetch(stmt_) == SQL_SUCCESS) {
    auto& row = rows.emplace_back();
    for (SQLUSMALLINT i = 1; i <= columns; ++i) {
      std::array<char, 512> buffer{};
      SQLLEN indicator = 0;
      SQLGetData(stmt_, i, SQL_C_CHAR, buffer.data(), buffer.size(), &indicator);
      row.emplace_back(indicator == SQL_NULL_DATA ? "<null>" : buffer.data());
    }
  }
  return rows;
}

void RunSqlite(const std::filesystem::path& file, const std::string& script) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  int rc =
      sqlite3_exec(db, ("PRAGMA journal_mode=WAL;" + script).c_str(), nullptr, nullptr, &error);
  EXPECT_EQ(rc, SQLITE_OK) << (error != nullptr ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

}  // namespace kelvan::vltsim::testing
