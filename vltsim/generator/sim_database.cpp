#include "vltsim/generator/sim_database.h"

#include <sqlite3.h>

#include "platform/basic/raised_error.h"

namespace kelvan::vltsim {
namespace {

constexpr const char* kSource = "vltsim";
constexpr std::int32_t kErrDatabase = 3146;

}  // namespace

SimDatabase::SimDatabase(const std::filesystem::path& file, Mode mode) : file_(file) {
  const int flags =
      mode == Mode::kBuild ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READWRITE;
  try {
    if (sqlite3_open_v2(file.c_str(), &db_, flags, nullptr) != SQLITE_OK) Fail("cannot open");
    sqlite3_busy_timeout(db_, 30000);
    if (mode == Mode::kBuild) {
      Exec("PRAGMA journal_mode=OFF");
      Exec("PRAGMA synchronous=OFF");
      Exec("PRAGMA cache_size=-131072");
      Exec("CREATE TABLE VLTSIM_STATE (NAME VARCHAR(32), VALUE VARCHAR(64))");
    } else if (QueryText("SELECT count(*) FROM sqlite_master WHERE name = 'VLTSIM_STATE'") != "1") {
      throw RaisedError(kErrDatabase, kSource, file.string() + " was not made by vltsim create");
    }
  } catch (...) {
    sqlite3_close(db_);  // the destructor does not run for a half-made object
    throw;
  }
}

SimDatabase::~SimDatabase() { sqlite3_close(db_); }

void SimDatabase::Fail(const std::string& what) {
  std::string message = what + " " + file_.string();
  if (db_ != nullptr) message += ": " + std::string(sqlite3_errmsg(db_));
  throw RaisedError(kErrDatabase, kSource, message);
}

void SimDatabase::Exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string text = error != nullptr ? error : "unknown error";
    sqlite3_free(error);
    throw RaisedError(kErrDatabase, kSource, "cannot change " + file_.string() + ": " + text);
  }
}

SimDatabase::Inserter::Inserter(SimDatabase& db, const SourceTable& table) : db_(db) {
  std::string sql = "INSERT INTO " + table.name + " VALUES (";
  for (size_t i = 0; i < table.columns.size(); ++i) sql += i ? ",?" : "?";
  sql += ")";
  if (sqlite3_prepare_v2(db_.db_, sql.c_str(), -1, &statement_, nullptr) != SQLITE_OK) {
    db_.Fail("cannot prepare an insert into " + table.name + " of");
  }
}

SimDatabase::Inserter::~Inserter() { sqlite3_finalize(statement_); }

void SimDatabase::Inserter::Insert(const SimRow& row) {
  int index = 1;
  for (const Cell& cell : row.Cells()) {
    if (const auto* number = std::get_if<std::int64_t>(&cell)) {
      sqlite3_bind_int64(statement_, index, *number);
    } else if (const auto* real = std::get_if<double>(&cell)) {
      sqlite3_bind_double(statement_, index, *real);
    } else if (const auto* text = std::get_if<std::string>(&cell)) {
      sqlite3_bind_text(statement_, index, text->data(), static_cast<int>(text->size()),
                        SQLITE_STATIC);  // the row outlives the step below
    } else {
      sqlite3_bind_null(statement_, index);
    }
    ++index;
  }
  const int rc = sqlite3_step(statement_);
  sqlite3_reset(statement_);
  if (rc != SQLITE_DONE) db_.Fail("cannot insert into");
}

std::optional<std::string> SimDatabase::QueryText(const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    Fail("cannot read");
  }
  std::optional<std::string> value;
  const int rc = sqlite3_step(statement);
  if (rc == SQLITE_ROW && sqlite3_column_type(statement, 0) != SQLITE_NULL) {
    value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  }
  sqlite3_finalize(statement);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail("cannot read");
  return value;
}

std::optional<std::string> SimDatabase::State(const std::string& name) {
  return QueryText("SELECT VALUE FROM VLTSIM_STATE WHERE NAME = '" + name + "'");
}

void SimDatabase::SetState(const std::string& name, const std::string& value) {
  Exec("DELETE FROM VLTSIM_STATE WHERE NAME = '" + name + "'");
  Exec("INSERT INTO VLTSIM_STATE VALUES ('" + name + "', '" + value + "')");
}

}  // namespace kelvan::vltsim
