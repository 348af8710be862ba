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
  const std::optional<RunLock> lock = LockSetupFile();
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
  for (size_t index = 0; index < slots_.size() && !state_.cancel; ++index) {
    view_.ProcessPendingEvents();
    if (state_.cancel) break;
    ProcessServer(index);
    view_.SetStatusPanel(StatusPanel::kElapsed, FormatElapsed(SteadySecondsSince(start_)));
    view_.SetStatusLabel(kCollecting);
    if (index + 1 < slots_.size() && !state_.cancel) {
      view_.WaitProcessingEvents(kPauseBetweenServers);
    }
  }
  outcome_.cancelled = state_.cancel && outcome_.processed < outcome_.usable;
}

void RunDriver::ProcessServer(size_t index) {
  Slot& slot = slots_[index];
  view_.SetStatusPanel(StatusPanel::kPosition,
                       std::to_string(index + 1) + "/" + std::to_string(slots_.size()));
  view_.SetStatusLabel(kCollecting + slot.dsn);
  const std::string shown_value = ServerValueWithoutPassword(slot.server_value);
  const std::int32_t thread = slot.worker->ThreadID();
  Log(kBr + "Server = " + slot.dsn + kBr + "DataSource = " + state_.settings.destination.name +
      kBr + "Server values = " + shown_value + kBr + "Thread ID = " + std::to_string(thread) + kBr);
  ToRunLog(kBr + "========================== Log for " + shown_value + kBr +
           FormatTimestamp(CurrentClock().Now()) + kBr);
  ++outcome_.processed;
  position_ = static_cast<int>(index) + 1;
  recorded_server_ = slot.record_index;
  recorder_ = std::make_shared<worker::LoadRecorder>();
  const std::string messages = CallWorker(slot, thread);
  ReportServerResult(slot, messages);
  view_.ScrollLogToEnd();
  view_.SetProgressValue(static_cast<int>(index) + 2);
  slot.worker.reset();
}

// Calls StartELVAN and returns the worker's message text; sets the last result.
std::string RunDriver::CallWorker(Slot& slot, std::int32_t thread) {
  // Cancel may release the slot's worker while the call runs: keep it until the call is done.
  const std::shared_ptr<RunWorker> worker = slot.worker;
  watch_.emplace();
  watch_->dsn = slot.dsn;
  watch_->work = thread;
  watch_->started = CurrentClock().SteadySeconds();
  std::string given_up;
  ServerRun::Result result = ServerRun::Result::kFailed;
  try {
    worker->Observe(recorder_, check_counts_);
    outcome_.last_result = odbc::HidePasswordEntries(worker->StartELVAN(arguments_, [this] {
      view_.ProcessPendingEvents();
      WatchServer();
    }));
    given_up = AskWorker([&] { return worker->GivenUp(); });
    if (outcome_.last_result.empty()) {
      result = given_up.empty() ? ServerRun::Result::kLoaded : ServerRun::Result::kGivenUp;
    }
  } catch (const RaisedError& error) {
    Log("Error encountered while processing this server." + kBr +
        "Moving to the next server on the list." + kBr);
    outcome_.last_result = WorkerErrorText(error);
    given_up = "the worker's call: " + odbc::HidePasswordEntries(error.Description());
  }
  if (!given_up.empty()) outcome_.given_up.push_back("server " + slot.dsn + ": " + given_up);
  RecordServer(result, given_up);
  odbc::ResumeWork(thread);  // the operating system may give its number to a later thread
  watch_.reset();
  return AskWorker([&] { return worker->ErrorMessages(); });
}

// Runs while the worker is called; never raises, or it would not run again.
void RunDriver::WatchServer() {
  if (!watch_ || watch_->abandoned) return;
  if (!watch_->cancelled_at && limits_.server_seconds &&
      SteadySecondsSince(watch_->started) > *limits_.server_seconds) {
    CancelServer("the server's time limit of " + Minutes(*limits_.server_seconds) +
                 " minutes passed");
  }
  if (!watch_->cancelled_at) return;
  // Again and again: a cancel that reaches a statement just before its call starts is lost.
  odbc::CancelWork(watch_->work, watch_->reason);
  if (SteadySecondsSince(*watch_->cancelled_at) > limits_.cancel_grace_seconds) AbandonServer();
}

void RunDriver::CancelServer(const std::string& reason) {
  if (!watch_ || watch_->cancelled_at) return;
  watch_->cancelled_at = CurrentClock().SteadySeconds();
  watch_->reason = reason;
  odbc::CancelWork(watch_->work, reason);
  const std::string line = "Server " + watch_->dsn + ": " + reason +
                           "; its database calls in progress were cancelled." + kBr;
  Log(line);
  try {
    ToRunLog(line);
  } catch (const RaisedError&) {
    // The closing block reports the run log's failure.
  }
}

// The worker's thread is left behind: it cannot be joined while its driver holds it.
void RunDriver::AbandonServer() {
  watch_->abandoned = true;
  Log("Server " + watch_->dsn + " did not end within " +
      std::to_string(std::lround(limits_.cancel_grace_seconds)) +
      " seconds of the cancel (its driver does not honour cancels): the run ends without "
      "waiting for it." +
      kBr);
  outcome_.given_up.push_back("server " + watch_->dsn + ": " + watch_->reason);
  RecordServer(ServerRun::Result::kFailed, watch_->reason);
  outcome_.record.seconds = SteadySecondsSince(start_);
  outcome_.cancelled = true;
  try {
    WriteClosingBlock();
  } catch (const RaisedError&) {
    outcome_.kind = RunOutcome::Kind::kRunLogFailed;
  }
  if (limits_.abandon) limits_.abandon(outcome_);
}

void RunDriver::RecordServer(ServerRun::Result result, const std::string& first_error) {
  ServerRun& server = outcome_.record.servers[recorded_server_];
  server.result = result;
  server.first_error = first_error;
  server.seconds = SteadySecondsSince(watch_->started);
  server.steps = recorder_->Steps();
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
  const double average = outcome_.processed > 0 ? elapsed / outcome_.processed : 0.0;
  std::string block;
  AppendLine(block, "----------------------------------------");
  AppendLine(block, "Average time per server was " + FormatElapsed(average) + ".");
  AppendLine(block,
             "Total number of servers processed was " + std::to_string(outcome_.usable) + ".");
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
  CancelServer("the run was interrupted");
}

void RunDriver::ToRunLog(std::string_view text) { AppendToRunLog(state_.run_log_name, text); }

}  // namespace kelvan::console
