#include "engine/engine_test_support.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sstream>
#include <stdexcept>

#include "platform/data/connection.h"

namespace kelvan::engine::testing {
namespace {

std::string TypeFor(Destination kind, const std::string& type) {
  bool maria = kind == Destination::kMariaDb;
  if (type == "TS") return maria ? "DATETIME" : "TIMESTAMP";
  if (type == "INT") return "INTEGER";
  if (type == "DOUBLE") return kind == Destination::kPostgres ? "DOUBLE PRECISION" : "DOUBLE";
  return type;
}

}  // namespace

SourceServer::SourceServer(const std::string& tag)
    : file_(kelvan::testing::OdbcSandbox::Instance().MakeTempDir(tag) / "server.db") {
  static int servers = 0;
  dsn_ = "VLT_" + tag + std::to_string(++servers);
  Exec("PRAGMA journal_mode=WAL");
  connect_ = AddDataSource(dsn_, {});
}

void SourceServer::Exec(const std::string& sql) const {
  sqlite3* db = nullptr;
  if (sqlite3_open(file_.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot open");
  char* message = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  std::string error = message ? message : "";
  sqlite3_free(message);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("source SQL failed: " + error);
}

std::string SourceServer::AddDataSource(const std::string& name,
                                        const std::map<std::string, std::string>& keys) const {
  std::map<std::string, std::string> all = keys;
  all["Database"] = file_.string();
  kelvan::testing::OdbcSandbox::Instance().AddDataSource(name, kelvan::testing::kVltDriver, all);
  return "DSN=" + name + ";UID=vltadmin;PWD=" + kPassword;
}

void CreateDestinationTable(const ScratchDatabase& db, const std::string& table,
                            const std::vector<ColumnDef>& columns) {
  std::string sql = "CREATE TABLE " + table + " (";
  for (const ColumnDef& column : columns) {
    sql += column.name + " " + TypeFor(db.kind, column.type) + ", ";
  }
  sql += "EXT_SERVER_NAME VARCHAR(64), EXTRACT_DATE " + TypeFor(db.kind, "TS") +
         ", PSEUDO_INDEX INTEGER)";
  ExecuteOnDestination(db, sql);
}

void ExecuteOnDestination(const ScratchDatabase& db, const std::string& sql) {
  kelvan::testing::QueryWithClient(db, sql);
}

long long QueryNumber(const ScratchDatabase& db, const std::string& sql) {
  std::string text = kelvan::testing::QueryWithClient(db, sql);
  std::istringstream in(text);
  long long value = 0;
  if (!(in >> value)) ADD_FAILURE() << "not a number: '" << text << "' from " << sql;
  return value;
}

std::vector<std::string> ReadLines(const std::filesystem::path& path) {
  std::string text = ReadFile(path);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::string Repeat(const std::string& text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i) repeated += text;
  return repeated;
}

}  // namespace kelvan::engine::testing
