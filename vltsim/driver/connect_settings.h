// What one connection is told: the connect string's keys, completed by the data source's own
// keys in odbc.ini, including the fault-injection keys that tests use. HangAt=exec makes every
// execution, HangAt=fetch the fetch after HangAfterRows rows (default 0) of every statement,
// wait until SQLCancel (HY008) or the query timeout (HYT00) ends it: a server that stops
// answering; with IgnoreCancel=1 only the query timeout ends it. Thread-safe functions (the
// odbc.ini reader is whatever the caller passes).
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kelvan::vltsim {

struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const;
};
using KeyMap = std::map<std::string, std::string, CaseInsensitiveLess>;

// "KEY=value;KEY={value;with;semicolons};…". Keys are compared without regard to case; the
// first occurrence of a key wins, as the driver manager treats them.
KeyMap ParseConnectString(std::string_view text);

// The connect string SQLDriverConnect hands back: the keys received, without the password,
// so that the application cannot show or log it from there.
std::string CompletedConnectString(const KeyMap& keys);

// Reads one key of a data source from odbc.ini; empty when absent.
using DataSourceReader = std::function<std::string(const std::string& dsn, const char* key)>;

// Where a statement stops answering.
enum class HangAt { kNever, kExec, kFetch };

struct ConnectSettings {
  std::string dsn;
  std::string database;  // path of the SQLite file
  std::string uid;       // the user the connection presents
  std::string driver_odbc_ver = "03.52";
  int fail_exec_n = 0;                  // 1-based execution that fails; 0 = none
  std::optional<int> fail_fetch_after;  // rows a statement returns before the link breaks
  int fetch_delay_ms = 0;
  // After this many rows of a statement the fetch waits, once hold_file + ".held" is written,
  // until hold_file exists: a test acts at a known point of a read, not after a guessed delay.
  std::optional<int> hold_after_rows;
  std::string hold_file;
  bool refuse_connect = false;
  HangAt hang_at = HangAt::kNever;
  int hang_after_rows = 0;     // rows a statement returns before its fetch hangs
  bool ignore_cancel = false;  // SQLCancel succeeds and changes nothing
};

// Resolves the settings and checks the credentials. Throws RaisedError: 28000 when the data
// source names a user or password and the connect string presents another, HY024 for a fault
// key with a value it does not take. No message ever carries a password.
ConnectSettings ResolveSettings(const KeyMap& connect_keys, const DataSourceReader& read_key);

// The reader over the driver manager's odbc.ini (SQLGetPrivateProfileString).
std::string ReadOdbcIniKey(const std::string& dsn, const char* key);

}  // namespace kelvan::vltsim
