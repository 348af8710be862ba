#include "tests/support/odbc_sandbox.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <stdexcept>

namespace kelvan::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kOdbcLibDir = KELVAN_ODBC_DRIVER_DIR;

std::string RequiredEnv(const char* name, Destination kind) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    throw std::runtime_error(DestinationName(kind) + " test server is not configured (" + name +
                             " unset): run the tests with `make test`, which starts it");
  }
  return value;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run: " + command);
  std::array<char, 4096> buffer{};
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
  int status = pclose(pipe);
  if (status != 0) throw std::runtime_error("command failed: " + command + "\n" + output);
  return output;
}

std::string PostgresClient(const std::string& database) {
  // The password travels in the environment, never in a command line that an error could show.
  setenv("PGPASSWORD", RequiredEnv("KELVAN_PG_PASSWORD", Destination::kPostgres).c_str(), 1);
  return "psql -X -q -v ON_ERROR_STOP=1 -At -F '\t' -h 127.0.0.1 -p " +
         RequiredEnv("KELVAN_PG_PORT", Destination::kPostgres) + " -U " +
         RequiredEnv("KELVAN_PG_USER", Destination::kPostgres) + " -d " + database;
}

std::string MariaDbClient(const std::string& database) {
  setenv("MYSQL_PWD", RequiredEnv("KELVAN_MARIADB_PASSWORD", Destination::kMariaDb).c_str(), 1);
  return "mariadb --no-defaults -N -B -r --default-character-set=utf8mb4 --protocol=TCP"
         " -h 127.0.0.1 -P " +
         RequiredEnv("KELVAN_MARIADB_PORT", Destination::kMariaDb) + " -u " +
         RequiredEnv("KELVAN_MARIADB_USER", Destination::kMariaDb) +
         (database.empty() ? std::string() : " " + database);
}

std::string ClientCommand(const ScratchDatabase& db) {
  switch (db.kind) {
    case Destination::kSqlite:
      return "sqlite3 -batch -bail -separator '\t' " + ShellQuote(db.database);
    case Destination::kPostgres:
      return PostgresClient(db.database);
    case Destination::kMariaDb:
      return MariaDbClient(db.database);
  }
  return {};
}

std::string UniqueName(const std::string& tag) {
  static int counter = 0;
  std::string name = "k_" + std::to_string(getpid()) + "_" + std::to_string(++counter) + "_";
  for (char c : tag) name += std::isalnum(static_cast<unsigned char>(c)) ? std::tolower(c) : '_';
  return name.substr(0, 60);
}

}  // namespace

std::string DestinationName(Destination kind) {
  switch (kind) {
    case Destination::kSqlite:
      return "SQLite";
    case Destination::kPostgres:
      return "PostgreSQL";
    case Destination::kMariaDb:
      return "MariaDB";
  }
  return "?";
}

OdbcSandbox& OdbcSandbox::Instance() {
  static OdbcSandbox sandbox;
  return sandbox;
}

OdbcSandbox::OdbcSandbox() {
  std::string pattern = (fs::temp_directory_path() / "kelvan-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
  fs::create_directories(dir_ / "home");
  std::ofstream drivers(dir_ / "odbcinst.ini", std::ios::binary);
  drivers << "[" << kSqliteDriver << "]\nDriver=" << kOdbcLibDir << "libsqlite3odbc.so\n\n"
          << "[" << kPostgresDriver << "]\nDriver=" << kOdbcLibDir << "psqlodbca.so\n\n"
          << "[" << kMariaDbDriver << "]\nDriver=" << kOdbcLibDir << "libmaodbc.so\n\n"
          << "[" << kVltDriver << "]\nDriver=" << VltDriverPath().string() << "\n\n";
  drivers.close();
  WriteDataSources();
  setenv("ODBCSYSINI", dir_.c_str(), 1);
  setenv("ODBCINI", (dir_ / "odbc.ini").c_str(), 1);
  setenv("HOME", (dir_ / "home").c_str(), 1);
}

OdbcSandbox::~OdbcSandbox() {
  std::error_code ignored;
  if (std::getenv("KELVAN_KEEP_TEST_FILES") == nullptr) fs::remove_all(dir_, ignored);
}

fs::path OdbcSandbox::MakeTempDir(const std::string& tag) {
  fs::path path = dir_ / ("t" + std::to_string(++temp_dirs_) + "_" + tag);
  fs::create_directories(path);
  return path;
}

void OdbcSandbox::AddDataSource(const std::string& name, const std::string& driver_section,
                                const std::map<std::string, std::string>& keys) {
  auto& entry = data_sources_[name];
  entry = keys;
  entry["Driver"] = driver_section;
  WriteDataSources();
}

void OdbcSandbox::WriteDataSources() {
  fs::path path = dir_ / "odbc.ini";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const auto& [name, keys] : data_sources_) {
      out << "[" << name << "]\n";
      for (const auto& [key, value] : keys) out << key << "=" << value << "\n";
      out << "\n";
    }
  }
  // The driver manager caches ini files by modification time in whole seconds; a rewrite within
  // the same second would go unseen, so every write gets a later time of its own.
  if (ini_stamp_ == 0) ini_stamp_ = std::time(nullptr);
  ++ini_stamp_;
  utimbuf times{ini_stamp_, ini_stamp_};
  utime(path.c_str(), &times);
}

std::string ScratchDatabase::ConnectString() const {
  return "DSN=" + dsn + ";UID=" + uid + ";PWD=" + pwd + ";";
}

ScratchDatabase CreateScratchDatabase(Destination kind, const std::string& tag) {
  OdbcSandbox& sandbox = OdbcSandbox::Instance();
  ScratchDatabase db{kind, UniqueName(tag), "", "", ""};
  switch (kind) {
    case Destination::kSqlite:
      db.database = (sandbox.MakeTempDir(db.dsn) / "dest.db").string();
      RunCommand("sqlite3 " + ShellQuote(db.database) + " 'PRAGMA journal_mode=WAL;'");
      sandbox.AddDataSource(db.dsn, kSqliteDriver,
                            {{"Database", db.database}, {"StepAPI", "1"}, {"Timeout", "10000"}});
      break;
    case Destination::kPostgres:
      db.database = db.dsn;
      db.uid = RequiredEnv("KELVAN_PG_USER", kind);
      db.pwd = RequiredEnv("KELVAN_PG_PASSWORD", kind);
      // Names hold the process id, which a later process may get again: a database left by an
      // earlier run on the same servers goes first.
      RunCommand(PostgresClient("postgres") + " -c " +
                 ShellQuote("DROP DATABASE IF EXISTS " + db.database) + " -c " +
                 ShellQuote("CREATE DATABASE " + db.database + " TEMPLATE template0"));
      sandbox.AddDataSource(db.dsn, kPostgresDriver,
                            {{"Servername", "127.0.0.1"},
                             {"Port", RequiredEnv("KELVAN_PG_PORT", kind)},
                             {"Database", db.database},
                             // Large results are read in pieces, not held whole in memory.
                             {"UseDeclareFetch", "1"},
                             {"Fetch", "10000"}});
      break;
    case Destination::kMariaDb:
      db.database = db.dsn;
      db.uid = RequiredEnv("KELVAN_MARIADB_USER", kind);
      db.pwd = RequiredEnv("KELVAN_MARIADB_PASSWORD", kind);
      RunCommand(MariaDbClient("") + " -e " +
                 ShellQuote("DROP DATABASE IF EXISTS " + db.database + "; CREATE DATABASE " +
                            db.database + " CHARACTER SET utf8mb4"));
      // Without CHARSET the connector talks latin1 and text beyond it arrives as '?'.
      sandbox.AddDataSource(db.dsn, kMariaDbDriver,
                            {{"Server", "127.0.0.1"},
                             {"Port", RequiredEnv("KELVAN_MARIADB_PORT", kind)},
                             {"Database", db.database},
                             {"CHARSET", "utf8mb4"}});
      break;
  }
  return db;
}

void RunSqlScript(const ScratchDatabase& db, const fs::path& script) {
  RunCommand(ClientCommand(db) + " < " + ShellQuote(script.string()));
}

std::string QueryWithClient(const ScratchDatabase& db, const std::string& sql) {
  std::string flag = db.kind == Destination::kSqlite ? " " : " -e ";
  if (db.kind == Destination::kPostgres) flag = " -c ";
  return RunCommand(ClientCommand(db) + flag + ShellQuote(sql));
}

const char* SchemaFile(Destination kind) {
  switch (kind) {
    case Destination::kSqlite:
      return "schema/sqlite.sql";
    case Destination::kPostgres:
      return "schema/postgresql.sql";
    case Destination::kMariaDb:
      return "schema/mariadb.sql";
  }
  return "";
}

void ApplyDestinationSchema(const ScratchDatabase& db) {
  RunSqlScript(db, SourcePath(SchemaFile(db.kind)));
}

fs::path SourcePath(const std::string& relative) { return fs::path(KELVAN_SOURCE_DIR) / relative; }
fs::path VltDriverPath() { return KELVAN_VLTODBC_PATH; }
fs::path VltsimPath() { return KELVAN_VLTSIM_PATH; }

}  // namespace kelvan::testing
