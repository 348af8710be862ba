// Connection: one ODBC connection to the stand-in server, i.e. one read-only sqlite3 handle of
// its own, the statements allocated on it and the per-connection fault-injection counters.
// Calls on the connection and on its statements are serialised by Lock(); different
// connections run in parallel.
#pragma once

#include <sqlite3.h>

#include <list>
#include <memory>
#include <mutex>

#include "vltsim/driver/attributes.h"
#include "vltsim/driver/connect_settings.h"
#include "vltsim/driver/diagnostics.h"
#include "vltsim/driver/environment.h"

namespace kelvan::vltsim {

class Statement;

class Connection : public Handle {
 public:
  explicit Connection(Environment& environment);
  ~Connection() override;

  std::mutex& Lock() override { return mutex_; }
  Environment& Env() { return environment_; }

  // Resolves the keys (connect string over data source) and opens the database file. Throws
  // RaisedError: 08002 already connected, 08001 refused or no readable database, 28000 wrong
  // user or password, HY024 a malformed fault key.
  void Connect(const KeyMap& keys);
  // Frees the statements and closes the database.
  void Disconnect();
  bool IsConnected() const { return db_ != nullptr; }
  sqlite3* Db() const { return db_; }
  // True for a file made with the real profile: unordered queries come back scrambled.
  bool ScramblesRowOrder() const { return scrambles_row_order_; }
  const ConnectSettings& Settings() const { return settings_; }

  Statement& AddStatement();
  void RemoveStatement(Statement& statement);

  // Called at every statement execution: fails (08S01) the configured one, or any once the
  // link is broken.
  void BeginExecution();
  // Throws 08003 when not connected, 08S01 once the link is broken. Inline: every
  // SQLGetData checks it.
  void CheckLink() const {
    if (db_ == nullptr || broken_) FailLink();
  }
  // From now on every call on this connection fails as after a lost link.
  void BreakLink() { broken_ = true; }

  // SQLSetConnectAttr/SQLGetConnectAttr.
  AttributeSet& Attributes() { return attributes_; }

 private:
  void Open(const std::string& path);
  [[noreturn]] void FailLink() const;

  Environment& environment_;
  std::mutex mutex_;
  sqlite3* db_ = nullptr;
  bool scrambles_row_order_ = false;
  ConnectSettings settings_;
  int executions_ = 0;   // statement executions since connecting
  bool broken_ = false;  // FailFetchAfter struck
  AttributeSet attributes_;
  std::list<std::unique_ptr<Statement>> statements_;
};

}  // namespace kelvan::vltsim
