#include "console/core/run_driver.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"
#include "platform/basic/run_log.h"
#include "platform/basic/text_lines.h"
#include "platform/data/connection.h"
#include "platform/odbc/connect_string.h"

namespace kelvan::console {
namespace {

const std::string kBr(kCrLf);
const std::string kCollecting = "Collecting Storage Data " + kBr;
const std::string kCreatingThreads = "Creating Threads " + kBr;

const char* BooleanText(Bool16 flag) { return IsSet(flag) ? "True" : "False"; }

std::string Minutes(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", seconds / 60.0);
  return text;
}

std::string WorkerErrorText(const RaisedError& error) {
  return "formELVAN: Error Number = " + std::to_string(error.Number()) + kBr +
         "formELVAN: Error Source = " + error.Source() + kBr +
         "formELVAN: Error Description = " + odbc::HidePasswordEntries(error.Description()) + kBr;
}

std::string ErrorMessageText(const RaisedError& error) {
  return "Error Number = " + std::to_string(error.Number()) + kBr +
         "Error Source = " + error.Source() + kBr + "Error Description = " + error.Description();
}

std::string DriverAnswerText(const RaisedError& error) {
  std::string answer = odbc::HidePasswordEntries(error.Description());
  if (!error.SqlState().empty() && !answer.starts_with(error.SqlState())) {
    answer = error.SqlState() + ": " + answer;
  }
  return "Driver's answer: " + answer + kBr;
}

// What the worker answers; empty when it cannot answer any more (its call failed).
template <class Ask>
std::string AskWorker(Ask&& ask) {
  try {
    return odbc::HidePasswordEntries(ask());
  } catch (const RaisedError&) {
    return {};
  }
}

std::string AnotherRunText(const std::string& setup_file) {
  return "Another run of the setup file " + setup_file + " is loading its servers (it holds " +
         RunLock::LockFileName(setup_file) +
         "): this run was not started. Start it again when that run has ended.";
}

}  // namespace

RunArguments MakeRunArguments(const Settings& s, const std::string& log_file_name) {
  RunArguments a;
  a.destination = s.destination;
  a.approx_records_to_prune_per_batch = s.advanced.approx_records_to_prune_per_batch;
  worker::LoadOptions& o = a.options;
  o.tables = BuildTableArray(s.tables);
  if (o.tables.empty()) o.tables.emplace_back();
  o.log_file_name = log_file_name;
  o.trace_level = s.advanced.trace_level;
  // The console has no switch for pruning: its prune age is the only setting it offers.
  o.prune_records = kTrue16;
  o.prune_records_beyond_days = s.advanced.prune_data_beyond_days;
  o.severity_string = ConstructSeverityString(s.advanced.severity);
  o.database_type = s.advanced.database_type;
  o.forecast_setup_code = s.forecast_setup_code;
  o.forecast_number_of_days = s.post_processing.forecast_number_of_days;
  o.forecast_size_of_sample_set = s.post_processing.forecast_size_of_sample_set;
  o.generate_summary_hour = s.post_processing.generate_summaryhour;
  o.generate_simul_activity = s.post_processing.generate_simulactivity;
  o.activate_forecasting = s.post_processing.activate_forecasting;
  o.load_error_tables = s.tables.load_error_tables;
  return a;
}

std::string OpenTestConnection(const std::string& connect_string) {
  const data::Connection connection = data::Connection::Open(connect_string);
  return connection.OdbcVersion();
}

std::string FormatElapsed(double seconds) {
  const long total = std::lround(std::max(0.0, seconds));
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  return text;
}

RunDriver::RunDriver(ConsoleState& state, ConsoleView& view, WorkerFactory& workers,
                     TestConnector connector)
    : state_(state), view_(view), workers_(workers), connector_(std::move(connector)) {}

RunOutcome RunDriver::Go() {
  outcome_ = RunOutcome{};
  recorder_.reset();
  position_ = 0;
  settled_ = 0;
  loading_seconds_ = 0;
  next_poll_ = 0;
  // Claims keep loaders apart server by server; the lock keeps whole runs apart.
  const std::optional<RunLock> lock = claims_ ? RunLock() : LockSetupFile();
  if (!lock) return outcome_;
  outcome_.servers = static_cast<int>(state_.settings.servers.size());
  state_.busy = true;
  state_.cancel = false;
  start_ = CurrentClock().SteadySeconds();
  outcome_.record.started = CurrentClock().Now();
  state_.log_text.clear();
  view_.ShowLogText(state_.log_text);
  try {
    Run();
  } catch (const RaisedError& error) {
    // Only the run log's appends raise here; the run cannot go on without its log.
    outcome_.kind = RunOutcome::Kind::kRunLogFailed;
    view_.ShowMessage(ErrorMessageText(error), MessageIcon::kCritical);
  }
  Finish();
  outcome_.record.seconds = SteadySecondsSince(start_);
  return outcome_;
}

// Nothing when the run must not start, the user told why. Settings that were never saved share
// no servers with another run and need no lock.
std::optional<RunLock> RunDriver::LockSetupFile() {
  const std::string& setup_file = state_.setup_file_name;
  std::error_code error;
  if (!std::filesystem::is_regular_file(setup_file, error)) return RunLock();
  try {
    std::optional<RunLock> lock = RunLock::TryAcquire(setup_file);
    if (!lock) RefuseRun(AnotherRunText(setup_file));
    return lock;
  } catch (const RaisedError& failure) {
    RefuseRun(ErrorMessageText(failure));
    return std::nullopt;
  }
}

void RunDriver::RefuseRun(const std::string& message) {
  outcome_.kind = RunOutcome::Kind::kNotStarted;
  view_.ShowMessage(message, MessageIcon::kExclamation);
  try {
    ToRunLog("<PRE>" + kBr + message + kBr + "</PRE>" + kBr);
  } catch (const RaisedError&) {
    // The message has been shown; a run log that cannot take it changes nothing.
  }
  view_.ShowRunning(false);
}

void RunDriver::Run() {
  if (state_.settings.servers.empty()) {
    outcome_.kind = RunOutcome::Kind::kEmptyServerList;
    Log("Error: Empty server list.");
    ToRunLog(state_.log_text + kBr);
    return;
  }
  Prepare();
  WriteOptionsBlock(DestinationOdbcVersion());
  Log("Verifying database connection to all the servers listed in the server list.");
  view_.ShowRunning(true);
  VerifyServers();
  if (outcome_.usable == 0) {
    outcome_.kind = RunOutcome::Kind::kNoUsableServer;
    Log("No servers with correct information available.");
  } else {
    view_.SetStatusLabel(kCollecting);
    ProcessServers();
  }
  WriteClosingBlock();
}

void RunDriver::Prepare() {
  arguments_ = MakeRunArguments(state_.settings, state_.run_log_name);
  slots_.clear();
  slots_.reserve(state_.settings.servers.size());
  view_.SetProgressRange(1, outcome_.servers + 1);
  view_.SetProgressValue(1);
  view_.ShowProgress(true);
  view_.SetStatusLabel(kCreatingThreads);
}

std::string RunDriver::DestinationOdbcVersion() {
  const DestinationRecord& d = state_.settings.destination;
  try {
    return connector_(odbc::DataSourceConnectString(d.name, d.user_name, d.password)).substr(0, 10);
  } catch (const RaisedError&) {
    return "Not available check connection";
  }
}

void RunDriver::WriteOptionsBlock(const std::string& odbc_version) {
  const Settings& s = state_.settings;
  std::string tables;
  for (const std::string& name : BuildTableArray(s.tables)) tables += name + " ";
  std::string block;
  AppendLine(block, "<PRE>");
  AppendLine(block, "Database Type:  " + s.advanced.database_type +
                        "  ODBC Version: " + odbc_version + kBr);
  AppendLine(block, "--------------------------Options------------------------------------" + kBr);
  AppendLine(block, std::string("Load Clienterrors and Servererrors: ") +
                        BooleanText(s.tables.load_error_tables));
  AppendLine(block, "Tables Selected: " + tables);
  AppendLine(block, "Log File: " + state_.run_log_name);
  AppendLine(block, "Trace Level: " + std::to_string(s.advanced.trace_level));
  AppendLine(
      block,
      "Prune Records Older Than: " + std::to_string(s.advanced.prune_data_beyond_days) +
          " Prune Batch Size: " + std::to_string(s.advanced.approx_records_to_prune_per_batch));
  std::string severity = "Severity Selections: ";
  for (size_t i = 0; i < s.advanced.severity.size(); ++i) {
    severity += std::string(i == 0 ? "" : ", ") + kSeverityLetters[i] + "=" +
                BooleanText(s.advanced.severity[i]);
  }
  AppendLine(block, severity);
  const PostProcessingOptions& p = s.post_processing;
  AppendLine(block,
             std::string("Generate SUMMARYHOUR Table: ") + BooleanText(p.generate_summaryhour));
  AppendLine(block, std::string("Generate SIMUL_ACTIVITY Table: ") +
                        BooleanText(p.generate_simulactivity));
  AppendLine(block, std::string("Run Forecasting: ") + BooleanText(p.activate_forecasting));
  if (IsSet(p.activate_forecasting)) {
    AppendLine(block, "  Forecast Days: " + std::to_string(p.forecast_number_of_days) +
                          " Size of Sample: " + std::to_string(p.forecast_size_of_sample_set));
    for (size_t i = 0; i < kForecastTables.size(); ++i) {
      AppendLine(block, std::string("  ") + kForecastTables[i].name +
                            " Table: " + BooleanText(p.forecast_tables[i]));
    }
  }
  AppendLine(block, "---------------------------------------------------------------------" + kBr);
  ToRunLog(block);
}

void RunDriver::VerifyServers() {
  for (const ServerEntry& entry : state_.settings.servers) VerifyServer(entry);
}

void RunDriver::VerifyServer(const ServerEntry& entry) {
  outcome_.record.servers.push_back({entry.dsn, ServerRun::Result::kNotRun, {}, 0, {}});
  ServerRun& recorded = outcome_.record.servers.back();
  std::string version;
  try {
    version = connector_(entry.value).substr(0, 10);
  } catch (const RaisedError& error) {
    recorded.result = ServerRun::Result::kUnreachable;
    recorded.first_error = odbc::HidePasswordEntries(error.Description());
    // A missing data source, a refused password and a server that is down differ only here.
    const std::string answer = DriverAnswerText(error);
    Log(kBr + "Unable to connect to server " + entry.dsn + kBr + answer +
        "Check connection information or server availability." + kBr + "Skipping server " +
        entry.dsn + kBr);
    ToRunLog("Incorrect connection information supplied for server " + entry.dsn + kBr + answer +
             "Skipping server " + entry.dsn + kBr);
    return;
  }
  if (version.substr(0, 5) == "03.01") {
    Log("WARNING: This version of ODBC driver is not intended for use with this tool.  Use it at "
        "your own risk. " +
        kBr);
  }
  Log(kBr + entry.dsn + " uses ODBC driver version: " + version + kBr);
  Slot slot{entry.dsn, entry.value, nullptr, outcome_.record.servers.size() - 1};
  try {
    slot.worker = workers_.CreateWorker(entry.dsn, entry.value);
    view_.SetStatusLabel(kCreatingThreads + std::to_string(slot.worker->ThreadID()));
  } catch (const RaisedError& error) {
    recorded.result = ServerRun::Result::kUnreachable;
    recorded.first_error = "its worker: " + odbc::HidePasswordEntries(error.Description());
    Log(WorkerErrorText(error) + "Skipping server " + entry.dsn + kBr);
    return;
  }
  slots_.push_back(std::move(slot));
  outcome_.usable = static_cast<int>(slots_.size());
  view_.ProcessPendingEvents();
}

void RunDriver::ProcessServers() {
  pending_.clear();
  for (size_t index = 0; index < slots_.size(); ++index) pending_.push_back(index);
  if (lanes_ > 1) {
    ProcessServersInParallel();
  } else {
    ProcessServersOneByOne();
  }
  outcome_.cancelled = state_.cancel && outcome_.processed + outcome_.elsewhere < outcome_.usable;
}

void RunDriver::ProcessServersOneByOne() {
  for (;;) {
    view_.ProcessPendingEvents();
    if (state_.cancel) break;
    const Pick pick = NextServer();
    if (pick.kind == Pick::Kind::kNone) break;
    if (pick.kind == Pick::Kind::kWait) {
      view_.WaitProcessingEvents(claims_->PollInterval());
      continue;
    }
    ProcessServer(pick.slot);
    view_.SetStatusPanel(StatusPanel::kElapsed, FormatElapsed(SteadySecondsSince(start_)));
    view_.SetStatusLabel(kCollecting);
    if (!pending_.empty() && !state_.cancel) view_.WaitProcessingEvents(kPauseBetweenServers);
  }
}

// In list order, the first server this run may load; servers held elsewhere wait for a later
// look, those done elsewhere are skipped.
RunDriver::Pick RunDriver::NextServer() {
  // Every server left was held elsewhere at the last look: no use asking before the next poll.
  if (claims_ && !pending_.empty() && SteadySecondsSince(next_poll_) < 0) {
    return {Pick::Kind::kWait, 0};
  }
  bool held_elsewhere = false;
  for (auto it = pending_.begin(); it != pending_.end();) {
    const size_t slot = *it;
    std::optional<ClaimAnswer> answer;
    if (claims_) {
      try {
        answer = claims_->Claim(slots_[slot].dsn, slots_[slot].worker->ThreadID());
      } catch (const RaisedError& error) {
        it = pending_.erase(it);
        RefuseUnclaimed(slot, error);
        continue;
      }
    }
    if (!answer || answer->kind == ClaimAnswer::Kind::kClaimed) {
      pending_.erase(it);
      return {Pick::Kind::kServer, slot};
    }
    if (answer->kind == ClaimAnswer::Kind::kDone) {
      it = pending_.erase(it);
      SkipServer(slot, *answer);
      continue;
    }
    held_elsewhere = true;
    ++it;
  }
  if (!held_elsewhere) return {};
  next_poll_ = CurrentClock().SteadySeconds() + claims_->PollInterval().count() / 1000.0;
  return {Pick::Kind::kWait, 0};
}

void RunDriver::SkipServer(size_t slot, const ClaimAnswer& answer) {
  const std::string line = "Server " + slots_[slot].dsn +
                           " was loaded in this run window by another loader (" + answer.holder +
                           "): skipped." + kBr;
  Log(line);
  ToRunLog(line);
  outcome_.record.servers[slots_[slot].record_index].result = ServerRun::Result::kElsewhere;
  ++outcome_.elsewhere;
  slots_[slot].worker.reset();
}

// Unclaimed, a server is not loaded: another loader may be loading it.
void RunDriver::RefuseUnclaimed(size_t slot, const RaisedError& error) {
  const std::string why =
      "its claim could not be taken: " + odbc::HidePasswordEntries(error.Description());
  const std::string line = "Server " + slots_[slot].dsn + ": " + why + kBr;
  Log(line);
  ToRunLog(line);
  ServerRun& server = outcome_.record.servers[slots_[slot].record_index];
  server.result = ServerRun::Result::kFailed;
  server.first_error = why;
  outcome_.given_up.push_back("server " + slots_[slot].dsn + ": " + why);
  slots_[slot].worker.reset();
}

// The worker stops before a stage when this loader no longer holds the server's claim.
void RunDriver::FenceServer(Slot& slot) {
  if (!claims_) return;
  slot.worker->CheckBeforeEachStage(
      [claims = claims_, dsn = slot.dsn]() -> std::optional<std::string> {
        if (claims->Holds(dsn)) return std::nullopt;
        return "server " + dsn + ": this loader no longer holds its claim";
      });
}

// Loaded or not, the server is done in the window; a cancelled run hands it to another loader.
void RunDriver::FinishClaim(const Slot& slot, odbc::WorkKey work) {
  if (!claims_) return;
  claims_->Finish(slot.dsn, !state_.cancel);
  // A loss of the claim found after the call ended cancelled its thread's number: no more now.
  odbc::ResumeWork(work);
}

// Up to lanes_ servers load at once, each lane pausing between its own servers. The console's
// thread starts and watches them and writes each server's account whole when its call ends.
void RunDriver::ProcessServersInParallel() {
  std::vector<std::unique_ptr<Flight>> flights;
  std::vector<double> lane_free_at(static_cast<size_t>(lanes_), 0.0);
  flights_ = &flights;
  try {
    for (;;) {
      view_.ProcessPendingEvents();
      SettleEndedFlights(flights, lane_free_at);
      for (const std::unique_ptr<Flight>& flight : flights) WatchServer(flight->watch);
      if (!state_.cancel) LaunchFlights(flights, lane_free_at);
      if (flights.empty() && (state_.cancel || pending_.empty())) break;
      view_.WaitProcessingEvents(component::kPumpInterval);
    }
  } catch (...) {
    // The run cannot go on (its log failed): the servers still loading stop at once.
    for (const std::unique_ptr<Flight>& flight : flights) {
      odbc::CancelWork(flight->watch.work, "the run stopped");
    }
    flights_ = nullptr;
    throw;
  }
  flights_ = nullptr;
}

void RunDriver::LaunchFlights(std::vector<std::unique_ptr<Flight>>& flights,
                              std::vector<double>& lane_free_at) {
  for (int lane = 0; lane < lanes_; ++lane) {
    const bool busy = std::any_of(flights.begin(), flights.end(),
                                  [lane](const auto& flight) { return flight->lane == lane; });
    if (busy || SteadySecondsSince(lane_free_at[static_cast<size_t>(lane)]) < 0) continue;
    const Pick pick = NextServer();
    if (pick.kind != Pick::Kind::kServer) return;
    Launch(flights, lane, pick.slot);
  }
}

void RunDriver::Launch(std::vector<std::unique_ptr<Flight>>& flights, int lane, size_t index) {
  Slot& slot = slots_[index];
  auto flight = std::make_unique<Flight>();
  flight->lane = lane;
  flight->slot = index;
  flight->watch = WatchFor(slot, slot.worker->ThreadID());
  flight->started_at = CurrentClock().Now();
  flight->arguments = arguments_;
  flight->arguments.options.log_file_name =
      RunLogPartName(state_.run_log_name, slot.record_index + 1);
  StartRunLogPart(flight->arguments.options.log_file_name);
  ++outcome_.processed;
  position_ = static_cast<int>(index) + 1;
  view_.SetStatusLabel(kCollecting + slot.dsn);
  FenceServer(slot);
  flight->caller = std::jthread([f = flight.get(), worker = slot.worker, check = check_counts_] {
    f->answer = AskToLoad(*worker, f->arguments, f->watch, check, {});
    f->ended = true;
  });
  flights.push_back(std::move(flight));
}

void RunDriver::SettleEndedFlights(std::vector<std::unique_ptr<Flight>>& flights,
                                   std::vector<double>& lane_free_at) {
  for (auto it = flights.begin(); it != flights.end();) {
    Flight& flight = **it;
    if (!flight.ended) {
      ++it;
      continue;
    }
    flight.caller.join();
    Settle(flight);
    lane_free_at[static_cast<size_t>(flight.lane)] =
        CurrentClock().SteadySeconds() +
        std::chrono::duration<double>(kPauseBetweenServers).count();
    it = flights.erase(it);
  }
}

// The server's account goes into the log text and the run log in one piece each.
void RunDriver::Settle(Flight& flight) {
  Slot& slot = slots_[flight.slot];
  Log(ServerHeaderText(slot, flight.watch.work));
  SettleCall(slot, flight.answer, flight.watch);
  MovePartIntoRunLog(state_.run_log_name, RunLogHeader(slot, flight.started_at),
                     flight.arguments.options.log_file_name);
  ReportServerResult(slot, flight.answer.messages);
  FinishClaim(slot, flight.watch.work);
  view_.ScrollLogToEnd();
  view_.SetProgressValue(++settled_ + 1);
  view_.SetStatusPanel(StatusPanel::kElapsed, FormatElapsed(SteadySecondsSince(start_)));
  slot.worker.reset();
}

void RunDriver::ProcessServer(size_t index) {
  Slot& slot = slots_[index];
  view_.SetStatusPanel(StatusPanel::kPosition,
                       std::to_string(index + 1) + "/" + std::to_string(slots_.size()));
  view_.SetStatusLabel(kCollecting + slot.dsn);
  const std::int32_t thread = slot.worker->ThreadID();
  Log(ServerHeaderText(slot, thread));
  ToRunLog(RunLogHeader(slot, CurrentClock().Now()));
  ++outcome_.processed;
  position_ = static_cast<int>(index) + 1;
  watch_ = WatchFor(slot, thread);
  const std::string messages = CallWorker(slot);
  ReportServerResult(slot, messages);
  FinishClaim(slot, thread);
  view_.ScrollLogToEnd();
  view_.SetProgressValue(static_cast<int>(index) + 2);
  slot.worker.reset();
}

std::string RunDriver::ServerHeaderText(const Slot& slot, std::int32_t thread) const {
  return kBr + "Server = " + slot.dsn + kBr + "DataSource = " + state_.settings.destination.name +
         kBr + "Server values = " + ServerValueWithoutPassword(slot.server_value) + kBr +
         "Thread ID = " + std::to_string(thread) + kBr;
}

std::string RunDriver::RunLogHeader(const Slot& slot, const Timestamp& started) const {
  return kBr + "========================== Log for " +
         ServerValueWithoutPassword(slot.server_value) + kBr + FormatTimestamp(started) + kBr;
}

RunDriver::ServerWatch RunDriver::WatchFor(const Slot& slot, std::int32_t thread) {
  ServerWatch watch;
  watch.dsn = slot.dsn;
  watch.work = thread;
  watch.started = CurrentClock().SteadySeconds();
  watch.record_index = slot.record_index;
  watch.recorder = std::make_shared<worker::LoadRecorder>();
  recorded_server_ = slot.record_index;
  recorder_ = watch.recorder;
  return watch;
}

// Calls StartELVAN and returns the worker's message text; sets the last result.
std::string RunDriver::CallWorker(Slot& slot) {
  // Cancel may release the slot's worker while the call runs: keep it until the call is done.
  const std::shared_ptr<RunWorker> worker = slot.worker;
  FenceServer(slot);
  const WorkerAnswer answer = AskToLoad(*worker, arguments_, *watch_, check_counts_, [this] {
    view_.ProcessPendingEvents();
    if (watch_) WatchServer(*watch_);
  });
  SettleCall(slot, answer, *watch_);
  watch_.reset();
  return answer.messages;
}

RunDriver::WorkerAnswer RunDriver::AskToLoad(RunWorker& worker, const RunArguments& arguments,
                                             const ServerWatch& watch, bool check_counts,
                                             const component::Pump& pump) {
  WorkerAnswer answer;
  try {
    worker.Observe(watch.recorder, check_counts);
    answer.last_result = odbc::HidePasswordEntries(worker.StartELVAN(arguments, pump));
    answer.given_up = AskWorker([&] { return worker.GivenUp(); });
    if (answer.last_result.empty()) {
      answer.result =
          answer.given_up.empty() ? ServerRun::Result::kLoaded : ServerRun::Result::kGivenUp;
    }
  } catch (const RaisedError& error) {
    answer.failure = error;
    answer.given_up = "the worker's call: " + odbc::HidePasswordEntries(error.Description());
  }
  answer.messages = AskWorker([&] { return worker.ErrorMessages(); });
  return answer;
}

void RunDriver::SettleCall(const Slot& slot, const WorkerAnswer& answer, const ServerWatch& watch) {
  outcome_.last_result = answer.last_result;
  if (answer.failure) {
    Log("Error encountered while processing this server." + kBr +
        "Moving to the next server on the list." + kBr);
    outcome_.last_result = WorkerErrorText(*answer.failure);
  }
  if (!answer.given_up.empty()) {
    outcome_.given_up.push_back("server " + slot.dsn + ": " + answer.given_up);
  }
  RecordServer(watch, answer.result, answer.given_up);
  odbc::ResumeWork(watch.work);  // the operating system may give its number to a later thread
}

// Runs while the worker is called; never raises, or it would not run again.
void RunDriver::WatchServer(ServerWatch& watch) {
  if (watch.abandoned) return;
  if (!watch.cancelled_at && limits_.server_seconds &&
      SteadySecondsSince(watch.started) > *limits_.server_seconds) {
    CancelServer(watch, "the server's time limit of " + Minutes(*limits_.server_seconds) +
                            " minutes passed");
  }
  if (!watch.cancelled_at) return;
  // Again and again: a cancel that reaches a statement just before its call starts is lost.
  odbc::CancelWork(watch.work, watch.reason);
  if (SteadySecondsSince(*watch.cancelled_at) > limits_.cancel_grace_seconds) {
    AbandonServer(watch);
  }
}

void RunDriver::CancelServer(ServerWatch& watch, const std::string& reason) {
  if (watch.cancelled_at) return;
  watch.cancelled_at = CurrentClock().SteadySeconds();
  watch.reason = reason;
  odbc::CancelWork(watch.work, reason);
  const std::string line = "Server " + watch.dsn + ": " + reason +
                           "; its database calls in progress were cancelled." + kBr;
  Log(line);
  try {
    ToRunLog(line);
  } catch (const RaisedError&) {
    // The closing block reports the run log's failure.
  }
}

// The worker's thread is left behind: it cannot be joined while its driver holds it.
void RunDriver::AbandonServer(ServerWatch& watch) {
  watch.abandoned = true;
  Log("Server " + watch.dsn + " did not end within " +
      std::to_string(std::lround(limits_.cancel_grace_seconds)) +
      " seconds of the cancel (its driver does not honour cancels): the run ends without "
      "waiting for it." +
      kBr);
  outcome_.given_up.push_back("server " + watch.dsn + ": " + watch.reason);
  RecordServer(watch, ServerRun::Result::kFailed, watch.reason);
  outcome_.record.seconds = SteadySecondsSince(start_);
  outcome_.cancelled = true;
  try {
    WriteClosingBlock();
  } catch (const RaisedError&) {
    outcome_.kind = RunOutcome::Kind::kRunLogFailed;
  }
  if (limits_.abandon) limits_.abandon(outcome_);
}

void RunDriver::RecordServer(const ServerWatch& watch, ServerRun::Result result,
                             const std::string& first_error) {
  ServerRun& server = outcome_.record.servers[watch.record_index];
  server.result = result;
  server.first_error = first_error;
  server.seconds = SteadySecondsSince(watch.started);
  server.steps = watch.recorder->Steps();
  loading_seconds_ += server.seconds;
}

ServerProgress RunDriver::Progress() const {
  ServerProgress progress;
  if (!recorder_) return progress;
  progress.position = position_;
  progress.total = static_cast<int>(slots_.size());
  progress.server = outcome_.record.servers[recorded_server_].server;
  progress.steps = recorder_->Steps();
  progress.seconds = watch_ ? SteadySecondsSince(watch_->started)
                            : outcome_.record.servers[recorded_server_].seconds;
  return progress;
}

void RunDriver::ReportServerResult(const Slot& slot, const std::string& messages) {
  Log(messages);
  if (!outcome_.last_result.empty()) {
    Log("Error processing server " + slot.dsn + kBr + outcome_.last_result + kBr);
  } else {
    ++outcome_.completed;
    Log("Server operations for " + slot.dsn + " successfully completed." + kBr);
  }
}

void RunDriver::WriteClosingBlock() {
  const double elapsed = SteadySecondsSince(start_);
  // Servers loading side by side share the elapsed time: each counts its own.
  const double spent = lanes_ > 1 ? loading_seconds_ : elapsed;
  const double average = outcome_.processed > 0 ? spent / outcome_.processed : 0.0;
  std::string block;
  AppendLine(block, "----------------------------------------");
  AppendLine(block, "Average time per server was " + FormatElapsed(average) + ".");
  AppendLine(block, "Total number of servers processed was " +
                        std::to_string(outcome_.usable - outcome_.elsewhere) + ".");
  AppendLine(block, "----------------Messages from the text box------------------------");
  AppendLine(block, state_.log_text);
  AppendLine(block, "Total processing time minutes:>" + Minutes(elapsed));
  AppendLine(block, "----------------------------End-----------------------------------");
  AppendLine(block, "</PRE>");
  ToRunLog(block);
}

void RunDriver::Finish() {
  for (Slot& slot : slots_) slot.worker.reset();
  view_.ShowRunning(false);
  view_.SetStatusLabel(outcome_.last_result.empty() ? "Processing Complete"
                                                    : "Error Processing Data");
  state_.busy = false;
}

void RunDriver::Cancel() {
  state_.cancel = true;
  for (Slot& slot : slots_) slot.worker.reset();
  state_.busy = false;
}

void RunDriver::Interrupt() {
  Cancel();
  const std::string reason = "the run was interrupted";
  if (watch_) CancelServer(*watch_, reason);
  if (flights_) {
    for (const std::unique_ptr<Flight>& flight : *flights_) CancelServer(flight->watch, reason);
  }
}

void RunDriver::ToRunLog(std::string_view text) { AppendToRunLog(state_.run_log_name, text); }

}  // namespace kelvan::console
