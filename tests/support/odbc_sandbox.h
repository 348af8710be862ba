// The ODBC configuration of one test process, and scratch destination databases.
//
// unixODBC keeps the configuration paths it saw first for the life of the process, so the
// sandbox is created once, by the test main, before any ODBC call: a temporary folder with its
// own odbcinst.ini (SQLite3, PostgreSQL, MariaDB and the VLT stand-in driver) and odbc.ini, with
// ODBCSYSINI, ODBCINI and HOME pointing there. /etc is never read. Not thread-safe: use it from
// the test's main thread.
#pragma once

#include <filesystem>
#include <map>
#include <ostream>
#include <string>

namespace kelvan::testing {

inline constexpr const char* kSqliteDriver = "SQLite3";
inline constexpr const char* kPostgresDriver = "PostgreSQL";
inline constexpr const char* kMariaDbDriver = "MariaDB";
inline constexpr const char* kVltDriver = "VLT Emulation Driver";

class OdbcSandbox {
 public:
  static OdbcSandbox& Instance();

  const std::filesystem::path& Dir() const { return dir_; }
  // A fresh empty folder inside the sandbox, removed with it.
  std::filesystem::path MakeTempDir(const std::string& tag);
  // Adds (or replaces) a data source in the sandbox's odbc.ini.
  void AddDataSource(const std::string& name, const std::string& driver_section,
                     const std::map<std::string, std::string>& keys);

  OdbcSandbox(const OdbcSandbox&) = delete;
  OdbcSandbox& operator=(const OdbcSandbox&) = delete;

 private:
  OdbcSandbox();
  ~OdbcSandbox();
  void WriteDataSources();

  std::filesystem::path dir_;
  std::map<std::string, std::map<std::string, std::string>> data_sources_;
  int temp_dirs_ = 0;
  long ini_stamp_ = 0;
};

enum class Destination { kSqlite, kPostgres, kMariaDb };
std::string DestinationName(Destination kind);
// So that test listings name the destination instead of its bytes.
inline void PrintTo(Destination kind, std::ostream* out) { *out << DestinationName(kind); }

// A fresh, empty destination database reached through a data source of the sandbox.
struct ScratchDatabase {
  Destination kind;
  std::string dsn;  // data source name in the sandbox's odbc.ini
  std::string uid;  // user and password for "DSN=...;UID=...;PWD=..."
  std::string pwd;
  std::string database;               // database name, or the file path for SQLite
  std::string ConnectString() const;  // "DSN=" + dsn + ";UID=" + uid + ";PWD=" + pwd + ";"
};

// Creates the database (for PostgreSQL and MariaDB on the servers that `make test` starts;
// fails the calling test when they are not reachable) and registers its data source.
ScratchDatabase CreateScratchDatabase(Destination kind, const std::string& tag);
// Runs an SQL script (such as a schema file) through the database's own command-line client.
void RunSqlScript(const ScratchDatabase& db, const std::filesystem::path& script);
// The destination schema of `kind` in the source tree, e.g. "schema/sqlite.sql".
const char* SchemaFile(Destination kind);
// Creates the destination tables of schema/ in the database (its kind's SchemaFile).
void ApplyDestinationSchema(const ScratchDatabase& db);
// Runs one SQL text through the command-line client and returns its output (tab-separated rows).
std::string QueryWithClient(const ScratchDatabase& db, const std::string& sql);

// Path of a file in the source tree (e.g. "schema/sqlite.sql").
std::filesystem::path SourcePath(const std::string& relative);
// Path of the built stand-in VLT driver and command.
std::filesystem::path VltDriverPath();
std::filesystem::path VltsimPath();

}  // namespace kelvan::testing
