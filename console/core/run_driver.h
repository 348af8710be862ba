// RunDriver: the console's Go command. Checks that there is something to do, writes the options
// block to the run log, test-connects every server, makes one worker per usable server and calls
// them one after another, writing each server's account and the closing block with the totals.
// Threading: the console's one thread; Cancel is called from within the view's event processing.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/core/console_state.h"
#include "console/core/console_view.h"
#include "console/core/run_lock.h"
#include "console/core/run_record.h"
#include "console/core/run_worker.h"
#include "platform/odbc/cancellation.h"

namespace kelvan::console {

inline constexpr std::chrono::seconds kPauseBetweenServers{5};

struct RunOutcome {
  enum class Kind {
    kEmptyServerList,  // nothing was run
    kNoUsableServer,   // no server answered its test connection
    kRan,              // at least one server was handed to its worker
    kRunLogFailed,     // the run log could not be written; the run stopped
    kNotStarted,       // another run of the setup file is loading, or its lock failed
  };
  Kind kind = Kind::kRan;
  int servers = 0;    // entries in the server list
  int usable = 0;     // servers that answered and got a worker
  int processed = 0;  // servers whose worker was called
  int completed = 0;  // servers whose worker returned no error
  // "server S: " + what S's worker gave up first (a table, a stage or its call) and why.
  std::vector<std::string> given_up;
  bool cancelled = false;
  std::string last_result;
  RunRecord record;  // every server of the list, in list order
};

// The server whose worker is being called (or was called last), for a progress display.
struct ServerProgress {
  int position = 0;  // among the servers that got a worker, from 1; 0 before the first
  int total = 0;
  std::string server;
  std::vector<worker::StepRecord> steps;  // its tables and stages so far, in order
  double seconds = 0;                     // since its call began
};

// How long a server may load, and how a run ends whose server cannot be stopped.
struct RunLimits {
  std::optional<double> server_seconds;  // from its worker's call; none: no limit
  double cancel_grace_seconds = 15;      // what a cancelled server has to end its call
  // Called once the closing block is written for a server that did not end within the grace
  // (its driver ignores cancels): the program must end without waiting for that worker.
  std::function<void(const RunOutcome&)> abandon;
};

class RunDriver {
 public:
  // Borrows `state`, `view` and `workers` for the driver's lifetime.
  RunDriver(ConsoleState& state, ConsoleView& view, WorkerFactory& workers,
            TestConnector connector = OpenTestConnection);

  RunOutcome Go();
  // Exit during a run: the run stops before its next server; the workers made so far go.
  void Cancel();
  // Cancel, and the server being loaded stops at once: its database calls are cancelled.
  void Interrupt();
  void SetLimits(RunLimits limits) { limits_ = std::move(limits); }
  // Whether each incremental copy's window is counted on both sides afterwards.
  void SetCheckCounts(bool on) { check_counts_ = on; }
  ServerProgress Progress() const;

 private:
  struct Slot {
    std::string dsn;
    std::string server_value;  // holds the password: show it only through
                               // ServerValueWithoutPassword
    std::shared_ptr<RunWorker> worker;
    size_t record_index = 0;  // its entry in the run record
  };

  // The server whose worker is being called.
  struct ServerWatch {
    std::string dsn;
    odbc::WorkKey work = 0;  // its worker's thread
    double started = 0;      // steady seconds
    std::optional<double> cancelled_at;
    std::string reason;
    bool abandoned = false;
  };

  std::optional<RunLock> LockSetupFile();
  void RefuseRun(const std::string& message);
  void Run();
  void Prepare();
  std::string DestinationOdbcVersion();
  void WriteOptionsBlock(const std::string& odbc_version);
  void VerifyServers();
  void VerifyServer(const ServerEntry& entry);
  void ProcessServers();
  void ProcessServer(size_t index);
  std::string CallWorker(Slot& slot, std::int32_t thread);
  void WatchServer();
  void CancelServer(const std::string& reason);
  void AbandonServer();
  void ReportServerResult(const Slot& slot, const std::string& messages);
  void RecordServer(ServerRun::Result result, const std::string& first_error);
  void WriteClosingBlock();
  void Finish();
  void Log(std::string_view text) { AppendLog(state_, view_, text); }
  void ToRunLog(std::string_view text);

  ConsoleState& state_;
  ConsoleView& view_;
  WorkerFactory& workers_;
  TestConnector connector_;
  RunArguments arguments_;
  RunLimits limits_;
  bool check_counts_ = false;
  std::optional<ServerWatch> watch_;
  std::shared_ptr<worker::LoadRecorder> recorder_;  // of the server being (or last) loaded
  size_t recorded_server_ = 0;                      // its entry in the run record
  int position_ = 0;                                // its place among the slots, from 1
  std::vector<Slot> slots_;
  double start_ = 0;  // the clock's steady seconds when the run began
  RunOutcome outcome_;
};

// Seconds as hours:minutes:seconds, "h:mm:ss".
std::string FormatElapsed(double seconds);

}  // namespace kelvan::console
