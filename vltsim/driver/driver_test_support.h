// Test-side helpers for the driver tests: a plain ODBC client (ODBC 2 or ODBC 3 allocation)
// over the real driver manager, and a builder of source SQLite files. One client per thread.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kelvan::vltsim::testing {

enum class OdbcVersion { kOdbc2, kOdbc3 };

// Outcome of one ODBC call: its return code and the first diagnostic record, as the
// application of that version sees it.
struct Outcome {
  SQLRETURN rc = SQL_SUCCESS;
  std::string state;
  std::string message;
};

class TestClient {
 public:
  // With `shared_env` the client connects in that environment (which must outlive it)
  // instead of allocating its own.
  explicit TestClient(OdbcVersion version, SQLHENV shared_env = SQL_NULL_HENV);
  ~TestClient();
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  Outcome Connect(const std::string& connect_string, std::string* out_string = nullptr);
  // A fresh statement (the previous one is dropped).
  SQLHSTMT Statement();
  Outcome Exec(const std::string& sql);
  // Runs `sql` on the current statement, keeping the attributes set on it.
  Outcome ExecOnStatement(const std::string& sql);
  Outcome Fetch();
  // The state and message left by the last call on the current statement (or connection).
  Outcome Diagnose(SQLRETURN rc);
  // Every row of `sql` as text; NULL reads as "<null>". Fails the test on any error.
  std::vector<std::vector<std::string>> Rows(const std::string& sql);

  SQLHENV env() const { return env_; }
  SQLHDBC dbc() const { return dbc_; }
  SQLHSTMT stmt() const { return stmt_; }

 private:
  void DropStatement();

  OdbcVersion version_;
  bool owns_env_ = true;
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  bool connected_ = false;
};

// Creates (or extends) a SQLite file in WAL mode by running `script`.
void RunSqlite(const std::filesystem::path& file, const std::string& script);

}  // namespace kelvan::vltsim::testing
