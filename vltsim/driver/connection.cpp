#include "vltsim/driver/connection.h"

#include <sqlext.h>

#include "platform/basic/raised_error.h"
#include "vltsim/driver/catalog.h"
#include "vltsim/driver/row_order.h"
#include "vltsim/driver/statement.h"

namespace kelvan::vltsim {
namespace {

constexpr const char* kSource = "vltodbc";
// A writer (the generator's `advance`) may hold the file briefly between our reads.
constexpr int kBusyTimeoutMs = 10000;

[[noreturn]] void Fail(const char* state, const std::string& message, int native = 0) {
  throw RaisedError(native, kSource, message, state);
}

AttributeSet ConnectionAttributes() {
  return AttributeSet({{SQL_ATTR_LOGIN_TIMEOUT, 0},
                       {SQL_ATTR_CONNECTION_TIMEOUT, 0},
                       {SQL_ATTR_QUERY_TIMEOUT, 0},
                       {SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_ON}},
                      {{SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_ONLY}});
}

}  // namespace

Connection::Connection(Environment& environment)
    : Handle(HandleKind::kConnection),
      environment_(environment),
      attributes_(ConnectionAttributes()) {
  environment_.AddConnection();
}

Connection::~Connection() {
  Disconnect();
  environment_.RemoveConnection();
}

void Connection::Connect(const KeyMap& keys) {
  if (IsConnected()) Fail("08002", "Connection name in use");
  ConnectSettings settings = ResolveSettings(keys, ReadOdbcIniKey);
  if (settings.refuse_connect) Fail("08001", "The server refused the connection");
  if (settings.database.empty()) Fail("08001", "The data source names no database file");
  Open(settings.database);
  settings_ = std::move(settings);
  executions_ = 0;
  broken_ = false;
}

void Connection::Open(const std::string& path) {
  sqlite3* db = nullptr;
  int rc =
      sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // Opening is lazy: read the schema now so that a file that is no database fails here.
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  }
  if (rc != SQLITE_OK) {
    std::string reason = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close_v2(db);
    Fail("08001", "Cannot open the database file " + path + ": " + reason, rc);
  }
  db_ = db;
  RegisterCatalogFunctions(db);
  scrambles_row_order_ = SetUpRowScrambling(db);
}

void Connection::Disconnect() {
  statements_.clear();
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

Statement& Connection::AddStatement() {
  if (!IsConnected()) Fail("08003", "Connection not open");
  statements_.push_back(std::make_unique<Statement>(*this));
  return *statements_.back();
}

void Connection::RemoveStatement(Statement& statement) {
  statements_.remove_if([&](const auto& owned) { return owned.get() == &statement; });
}

void Connection::BeginExecution() {
  CheckLink();
  ++executions_;
  if (executions_ == settings_.fail_exec_n) {
    Fail("08S01",
         "Communication link failure (injected at execution " + std::to_string(executions_) + ")");
  }
}

void Connection::FailLink() const {
  if (!IsConnected()) Fail("08003", "Connection not open");
  Fail("08S01", "Communication link failure");
}

}  // namespace kelvan::vltsim
