// What the fault suite shares: stand-in VLT servers with fault keys, setup files, kelvan-batch
// run as a real process, row-by-row comparison of source and destination, and a PostgreSQL
// server of the test's own that it may crash. Used from the test's main thread only.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/odbc_sandbox.h"

namespace kelvan::faults {

namespace fs = std::filesystem;

inline constexpr const char* kVltPassword = "vlt-S3cret-9f2";

// A stand-in VLT server's data file, `days` of history at `scale` times the usual activity;
// `profile` "real" gives the data real servers hold (see `vltsim create`).
fs::path CreateVltFile(const std::string& tag, int seed, int days = 2, int scale = 1,
                       const std::string& profile = "tidy");
// Registers (or re-registers) `dsn` over `file` with the given fault keys (FailExecN, ...).
void RegisterVltServer(const std::string& dsn, const fs::path& file,
                       const std::map<std::string, std::string>& faults = {});

struct SetupOptions {
  std::vector<std::string> servers;  // data source names
  std::vector<std::string> tables = {"SUMMARY"};
  bool load_error_tables = false;
  bool simul_activity = false;
  bool summary_hour = false;
  bool forecasting = false;  // every forecast table
  int trace_level = 1;
};
// The setup file's text for a run into `db`, written by the console's own writer.
std::string SetupText(const SetupOptions& options, const testing::ScratchDatabase& db);
// Writes the setup file with mode 0600 and returns its path.
fs::path WriteSetup(const fs::path& dir, const SetupOptions& options,
                    const testing::ScratchDatabase& db, const std::string& name = "KELVAN.ini");

struct BatchResult {
  int status = -1;  // exit status; -1 when it ended by a signal
  std::string run_log;
  std::string output;  // everything it printed
};
// Starts kelvan-batch with -CONFIG=setup -LOG=dir/log and `more` arguments; its output goes to
// dir/log + ".out".
pid_t StartBatch(const fs::path& setup, const fs::path& log,
                 const std::vector<std::string>& more = {});
BatchResult WaitBatch(pid_t pid, const fs::path& log);
// WaitBatch, but a run still going after `limit` is killed (status -1) and the test fails.
BatchResult WaitBatchWithin(pid_t pid, const fs::path& log, std::chrono::seconds limit);
BatchResult RunBatch(const fs::path& setup, const fs::path& log);

using kelvan::testing::ReadFile;
// Waits for `path` to appear (a held stand-in server's HoldFile + ".held"); false after a minute.
bool AwaitFile(const fs::path& path);
// The lines of `text`, sorted.
std::vector<std::string> SortedLines(const std::string& text);
// Runs a shell command; fails the test when it fails. Returns its standard output.
std::string Shell(const std::string& command);
// Runs one SQL text through a destination's own command-line client; tab-separated rows.
using SqlClient = std::function<std::string(const std::string& sql)>;
SqlClient ClientOf(const testing::ScratchDatabase& db);

// Rows of a source's SUMMARY since yesterday's midnight (what a first load reaches), or of one
// server's rows in the destination's SUMMARY, as sorted tab-separated lines of START_TIME,
// END_TIME, ACTIVITY, NUMBER, ENTITY, EXAMINED and BYTES.
std::vector<std::string> SourceSummaryRows(const fs::path& file);
std::vector<std::string> DestinationSummaryRows(const SqlClient& client, const std::string& server);
// `text` as the inside of an SQL string literal.
std::string SqlText(const std::string& text);
// Rows of a source table.
long SourceCount(const fs::path& file, const std::string& table);
// Rows of `table` whose EXT_SERVER_NAME is `server`.
long CountRows(const SqlClient& client, const std::string& table, const std::string& server);

// A PostgreSQL server in a folder of its own on a free port, which the test may crash.
class PrivatePostgres {
 public:
  PrivatePostgres();  // initdb and start; fails the test when it cannot
  ~PrivatePostgres();
  PrivatePostgres(const PrivatePostgres&) = delete;
  PrivatePostgres& operator=(const PrivatePostgres&) = delete;

  // A fresh database with the destination schema, and its data source.
  testing::ScratchDatabase CreateDatabase(const std::string& tag);
  SqlClient ClientOf(const testing::ScratchDatabase& db) const;
  void Crash();  // the server process dies without a clean shutdown
  void Start();

 private:
  std::string AsOwner(const std::string& command) const;
  fs::path dir_;
  int port_ = 0;
};

}  // namespace kelvan::faults
