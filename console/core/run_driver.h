// RunDriver: the console's Go command. Checks that there is something to do, writes the options
// block to the run log, test-connects every server, makes one worker per usable server and calls
// them one after another (or up to SetParallel at once), writing each server's account and the
// closing block with the totals. With claims (server_claims.h) each server is claimed before it
// is loaded, and the servers other loaders did or hold are skipped.
// Threading: the console's one thread; Cancel is called from within the view's event processing.
// In parallel, each worker's call is waited for on a thread of its own.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "console/core/console_state.h"
#include "console/core/console_view.h"
#include "console/core/run_lock.h"
#include "console/core/run_record.h"
#include "console/core/run_worker.h"
#include "console/core/server_claims.h"
#include "platform/basic/raised_error.h"
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
  int elsewhere = 0;  // servers another loader loaded in the run window
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
  // How many servers load at once (1: one after another, as ever).
  void SetParallel(int lanes) { lanes_ = std::max(1, lanes); }
  // Borrowed: the claims every server is taken through; none, the setup file's lock instead.
  void SetClaims(ServerClaims* claims) { claims_ = claims; }
  ServerProgress Progress() const;

 private:
  struct Slot {
    std::string dsn;
    std::string server_value;  // holds the password: show it only through
                               // ServerValueWithoutPassword
    std::shared_ptr<RunWorker> worker;
    size_t record_index = 0;  // its entry in the run record
  };

  // A server whose worker is being called.
  struct ServerWatch {
    std::string dsn;
    odbc::WorkKey work = 0;  // its worker's thread
    double started = 0;      // steady seconds
    std::optional<double> cancelled_at;
    std::string reason;
    bool abandoned = false;
    size_t record_index = 0;  // its entry in the run record
    std::shared_ptr<worker::LoadRecorder> recorder;
  };

  // What a worker's call gave; made on any thread.
  struct WorkerAnswer {
    std::string last_result;             // passwords hidden
    std::optional<RaisedError> failure;  // of the call itself
    std::string given_up;
    ServerRun::Result result = ServerRun::Result::kFailed;
    std::string messages;  // its ErrorMessages
  };

  // A server loading beside others: its worker is called on a thread of its own.
  struct Flight {
    int lane = 0;
    size_t slot = 0;
    ServerWatch watch;
    Timestamp started_at;
    RunArguments arguments;  // its log file is a part file of its own
    WorkerAnswer answer;
    std::atomic<bool> ended = false;
    std::jthread caller;
  };

  // What to load next.
  struct Pick {
    enum class Kind { kServer, kWait, kNone };
    Kind kind = Kind::kNone;
    size_t slot = 0;
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
  void ProcessServersOneByOne();
  void ProcessServersInParallel();
  Pick NextServer();
  bool TakeServer(size_t slot);
  void SkipServer(size_t slot, const ClaimAnswer& answer);
  void RefuseUnclaimed(size_t slot, const RaisedError& error);
  void FenceServer(Slot& slot);
  void FinishClaim(const Slot& slot, odbc::WorkKey work);
  void ProcessServer(size_t index);
  std::string ServerHeaderText(const Slot& slot, std::int32_t thread) const;
  std::string RunLogHeader(const Slot& slot, const Timestamp& started) const;
  ServerWatch WatchFor(const Slot& slot, std::int32_t thread);
  std::string CallWorker(Slot& slot);
  static WorkerAnswer AskToLoad(RunWorker& worker, const RunArguments& arguments,
                                const ServerWatch& watch, bool check_counts,
                                const component::Pump& pump);
  void SettleCall(const Slot& slot, const WorkerAnswer& answer, const ServerWatch& watch);
  void LaunchFlights(std::vector<std::unique_ptr<Flight>>& flights,
                     std::vector<double>& lane_free_at);
  void Launch(std::vector<std::unique_ptr<Flight>>& flights, int lane, size_t index);
  void SettleEndedFlights(std::vector<std::unique_ptr<Flight>>& flights,
                          std::vector<double>& lane_free_at);
  void Settle(Flight& flight);
  void WatchServer(ServerWatch& watch);
  void CancelServer(ServerWatch& watch, const std::string& reason);
  void AbandonServer(ServerWatch& watch);
  void ReportServerResult(const Slot& slot, const std::string& messages);
  void RecordServer(const ServerWatch& watch, ServerRun::Result result,
                    const std::string& first_error);
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
  int lanes_ = 1;
  ServerClaims* claims_ = nullptr;
  std::optional<ServerWatch> watch_;                         // one by one: the server being loaded
  std::vector<std::unique_ptr<Flight>>* flights_ = nullptr;  // in parallel: those loading
  std::shared_ptr<worker::LoadRecorder> recorder_;           // of the server being (or last) loaded
  size_t recorded_server_ = 0;                               // its entry in the run record
  int position_ = 0;                                         // its place among the slots, from 1
  int settled_ = 0;                                          // servers whose call has ended
  double loading_seconds_ = 0;                               // of the calls that ended, summed
  double next_poll_ = 0;  // steady seconds before which servers held elsewhere are not asked
  std::vector<Slot> slots_;
  std::deque<size_t> pending_;  // slots not yet loaded, claimed or skipped
  double start_ = 0;            // the clock's steady seconds when the run began
  RunOutcome outcome_;
};

// Seconds as hours:minutes:seconds, "h:mm:ss".
std::string FormatElapsed(double seconds);

}  // namespace kelvan::console
