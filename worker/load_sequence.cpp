#include "worker/load_sequence.h"

#include <array>
#include <chrono>
#include <utility>

#include "platform/basic/clock.h"
#include "platform/basic/text_lines.h"
#include "platform/basic/timestamp.h"
#include "platform/component/registry.h"
#include "platform/odbc/cancellation.h"
#include "worker/forecast_tables.h"

namespace kelvan::worker {

enum class LoadSequence::Stage : int {
  kCreateObject,
  kClientErrors,
  kServerErrors,
  kCopyTables,
  kPostProcessSummaryTable,
  kSimultaneousActivityTable,
  kForecastFirst,  // one stage per entry of ForecastTables(), in that order
  kForecastSTGPOOLS = kForecastFirst + 3,
  kForecastLIBVOLUMES = kForecastFirst + 4,
  kGoodExit = kForecastFirst + static_cast<int>(kForecastTableCount),
};

namespace {

constexpr std::array<const char*, 15> kStageNames = {
    "CreateObject",
    "ClientErrors",
    "ServerErrors",
    "CopyTables",
    "PostProcessSummaryTable",
    "SimultaneousActivityTable",
    "ForecastCopyTableDB",
    "ForecastCopyTableFILESPACES",
    "ForecastCopyTableLOG",
    "ForecastCopyTableSTGPOOLS",
    "ForecastCopyTableLIBVOLUMES",
    "ForecastCopyTableNODES",
    "ForecastCopyTableSIMULACTIVITY",
    "ForecastCopyTableOCCUPANCY",
    "GoodExit",
};

static_assert(kStageNames.size() == kForecastTableCount + 7);

constexpr std::int16_t kMaxRetries = 3;

std::string ErrorText(const RaisedError& error) {
  return "<" + std::to_string(error.Number()) + "> " + error.Description() + " in [" +
         error.Source() + "]";
}

}  // namespace

struct LoadSequence::ErrorTable {
  std::int16_t (engine::LoadEngine::*load)(const std::string&, const std::string&,
                                           engine::DataSource&, const std::string&);
  const char* table;
  const char* load_failure;
  const char* prune_failure;
};

template <class F>
auto LoadSequence::CallEngine(F&& operation) {
  return engine_.Call([&](engine::LoadEngine& e) {
    const auto started = std::chrono::steady_clock::now();
    const auto record = [&] {
      last_counts_ = e.LastCallCounts();
      recorder_.AddCall(last_counts_, std::chrono::steady_clock::now() - started);
    };
    try {
      auto result = operation(e);
      record();
      return result;
    } catch (...) {
      record();
      throw;
    }
  });
}

// The engine settles the batch size in the argument it is given, even when it fails afterwards;
// the settled value is kept for every later pruning call and for the caller.
template <class F>
auto LoadSequence::CallPruning(F&& prune) {
  std::optional<std::int32_t> batch = prune_batch_;
  struct KeepSettled {
    const std::optional<std::int32_t>& batch;
    std::int32_t& kept;
    ~KeepSettled() {
      if (batch) kept = *batch;
    }
  } keep{batch, prune_batch_};
  return CallEngine([&](engine::LoadEngine& e) { return prune(e, batch); });
}

LoadSequence::LoadSequence(std::string server_name, std::string server_connection,
                           engine::DataSource& destination, const LoadOptions& options,
                           std::int32_t& prune_batch, LogAppender append_to_log,
                           LoadRecorder& recorder)
    : server_name_(std::move(server_name)),
      server_connection_(std::move(server_connection)),
      destination_(destination),
      options_(options),
      prune_batch_(prune_batch),
      append_to_log_(std::move(append_to_log)),
      recorder_(recorder),
      run_timestamp_(FormatTimestamp(CurrentClock().Now())),
      current_(Stage::kCreateObject) {}

LoadOutcome LoadSequence::Run() {
  Stage running = Stage::kCreateObject;
  while (running != Stage::kGoodExit) {
    try {
      RunStage(running);
      running = NextStage(running);
      current_ = running;
      stage_retries_ = 0;
    } catch (const RaisedError& error) {
      if (!RetryStage(error)) {
        engine_.Reset();
        return {false, text_, given_up_};
      }
      // Usually the stage that failed; the STGPOOLS forecast may have moved the name on.
      running = current_;
    }
  }
  engine_.Reset();
  return {true, text_, given_up_};
}

LoadSequence::Stage LoadSequence::NextStage(Stage done) {
  const auto next = static_cast<Stage>(static_cast<int>(done) + 1);
  if (next == Stage::kForecastFirst && !IsSet(options_.activate_forecasting)) {
    Report("Forecasting not activated.");
    return Stage::kGoodExit;
  }
  return next;
}

void LoadSequence::RunStage(Stage stage) {
  static constexpr ErrorTable kClientErrors{&engine::LoadEngine::ClientErrors, "CLIENTERRORS",
                                            "Client Error Exception Found",
                                            "Error pruning ClientErrors Table"};
  static constexpr ErrorTable kServerErrors{&engine::LoadEngine::ServerErrors, "SERVERERRORS",
                                            "Server Error Exception Found",
                                            "Error pruning ServerErrors Table"};
  switch (stage) {
    case Stage::kCreateObject:
      return CreateEngine();
    case Stage::kClientErrors:
      return LoadErrorTable(kClientErrors);
    case Stage::kServerErrors:
      return LoadErrorTable(kServerErrors);
    case Stage::kCopyTables:
      return CopyTables();
    case Stage::kPostProcessSummaryTable:
      return PostProcessSummary();
    case Stage::kSimultaneousActivityTable:
      return SimultaneousActivity();
    case Stage::kGoodExit:
      return;
    default:
      return Forecast(stage);
  }
}

// Appends the error and either prepares a restart of the current stage (true) or, on the fourth
// error of the stage, the failed end (false).
bool LoadSequence::RetryStage(const RaisedError& error) {
  const std::string name = kStageNames[static_cast<int>(current_)];
  Report(FormatTime(CurrentClock().Now()) + ":mtELVAN " + ErrorText(error));
  if (stage_retries_ == 0) first_error_ = ErrorText(error);
  // Cancelled work (a time limit, an interrupt) is not retried: every call would be refused.
  const std::optional<std::string> cancelled = odbc::WorkCancelReason();
  const bool giving_up = stage_retries_ >= kMaxRetries || cancelled;
  recorder_.NoteError(ErrorText(error), giving_up);
  if (giving_up) {
    Report("LocalErr:  Failed on: " + name);
    GiveUp("stage " + name + ": " + cancelled.value_or(first_error_));
    return false;
  }
  ++stage_retries_;
  recorder_.NoteRetry();
  Report("LocalErr: Retrying " + name + " again.");
  Report("LocalErr: Retry number " + std::to_string(stage_retries_));
  Report("");
  AppendRetryToLog();
  return true;
}

void LoadSequence::CreateEngine() {
  engine_.Reset();  // a restart replaces the engine: never two alive at once
  engine_ = component::CreateObject<engine::LoadEngine>(engine::kQbObjClassId);
  engine_.Call([&](engine::LoadEngine& e) {
    e.SetTrace(options_.trace_level, options_.log_file_name);
    e.SetDBType(options_.database_type);
    e.SetCountCheck(options_.check_counts);
  });
}

void LoadSequence::LoadErrorTable(const ErrorTable& table) {
  if (!IsSet(options_.load_error_tables)) return;
  EnterStage(current_);
  const std::int16_t result = CallEngine([&](engine::LoadEngine& e) {
    return (e.*table.load)(server_name_, server_connection_, destination_,
                           options_.severity_string);
  });
  if (result != 0) ReportGivenUp(table.load_failure);
  Prune(table.table, "DATE_TIME", table.prune_failure);
}

void LoadSequence::PostProcessSummary() {
  if (!IsSet(options_.generate_summary_hour)) return;
  EnterStage(current_);
  const std::int16_t result = CallEngine(
      [&](engine::LoadEngine& e) { return e.PostProcessSummaryTable(server_name_, destination_); });
  if (result != 0) ReportGivenUp("Error post processing summary data.");
  Prune("SUMMARYHOUR", "EXTRACT_DATE", "Error pruning SUMMARYHOUR Table");
}

void LoadSequence::SimultaneousActivity() {
  if (!IsSet(options_.generate_simul_activity)) return;
  EnterStage(current_);
  const std::int16_t result = CallEngine([&](engine::LoadEngine& e) {
    return e.SimultaneousActivityTable(server_name_, destination_, run_timestamp_);
  });
  if (result != 0) ReportGivenUp("Error post processing summary data.");
  Prune("SIMUL_ACTIVITY", "EXTRACT_DATE", "Error pruning SIMUL_ACTIVITY Table");
}

void LoadSequence::Forecast(Stage stage) {
  const ForecastTable& table =
      ForecastTables()[static_cast<int>(stage) - static_cast<int>(Stage::kForecastFirst)];
  const auto code = static_cast<std::uint16_t>(options_.forecast_setup_code);
  if ((code & kForecastingOnBit) == 0 || (code & table.bit) == 0) return;
  EnterStage(stage);
  // A restarted STGPOOLS forecast hands any further error to the LIBVOLUMES stage, so it is not
  // tried a third time.
  if (stage == Stage::kForecastSTGPOOLS && stage_retries_ > 0) {
    current_ = Stage::kForecastLIBVOLUMES;
  }
  const std::int16_t result = CallEngine([&](engine::LoadEngine& e) {
    return e.Forecast2CopyTable(table.select_columns, table.forecast_columns, table.order_columns,
                                table.forecast_table_columns, server_name_, table.source,
                                options_.forecast_number_of_days,
                                options_.forecast_size_of_sample_set, destination_);
  });
  if (result != 0) ReportGivenUp("Error forecasting " + table.source + "_F data.");
  Prune(table.source + "_F", "EXTRACT_DATE", "Error pruning " + table.source + "_F Table");
}

// Resumes at the entry reached: a restart of the stage carries on where the copy was.
void LoadSequence::CopyTables() {
  while (entry_ < options_.tables.size()) {
    const std::string& table = options_.tables[entry_];
    if (!table.empty()) CopyEntryWithRetries(table);
    copy_done_ = false;
    table_retries_ = 0;
    ++entry_;
  }
}

void LoadSequence::CopyEntryWithRetries(const std::string& table) {
  recorder_.Enter(StepRecord::Kind::kTable, table);
  CheckBeforeStep();
  for (;;) {
    try {
      return CopyEntry(table);
    } catch (const RaisedError& error) {
      if (!RetryTable(error)) return;
    }
  }
}

void LoadSequence::CopyEntry(const std::string& table) {
  if (!copy_done_) {
    const std::int16_t result = CallEngine([&](engine::LoadEngine& e) {
      return e.CopyTable(server_name_, server_connection_, table, destination_,
                         options_.multiple_data_sets_per_day, run_timestamp_);
    });
    if (result != 0) {
      Report("Copy Table function exception found.");
      Report("Could not collect data from table " + table + ".");
    } else {
      copy_done_ = true;
      ReportCountDifference(table);
    }
    // 2: the server has no such table, so there is nothing of it to prune.
    if (result == 2) return;
  }
  PruneCopiedTable(table);
}

// Appends the error and either prepares another attempt at the table (true) or gives the table
// up after its fourth error (false); cancelled work is given up at once and its error raised
// again for the stage. Errors raised here go to the stage's own retries.
bool LoadSequence::RetryTable(const RaisedError& error) {
  Report("CopyTableErrorHandler " + ErrorText(error));
  if (table_retries_ == 0) first_error_ = ErrorText(error);
  const std::optional<std::string> cancelled = odbc::WorkCancelReason();
  recorder_.NoteError(ErrorText(error), cancelled || table_retries_ >= kMaxRetries);
  if (cancelled) {
    GiveUp("table " + options_.tables[entry_] + ": " + *cancelled);
    throw error;  // the stage stops too
  }
  if (table_retries_ >= kMaxRetries) {
    GiveUp("table " + options_.tables[entry_] + ": " + first_error_);
    copy_done_ = false;
    return false;
  }
  ++table_retries_;
  recorder_.NoteRetry();
  Report(std::string("CopyTableErrorHandler: Retrying ") + kStageNames[static_cast<int>(current_)] +
         " again.");
  Report("CopyTableErrorHandler: Retry number " + std::to_string(table_retries_));
  Report("");
  AppendRetryToLog();
  return true;
}

void LoadSequence::PruneCopiedTable(const std::string& table) {
  if (!IsSet(options_.prune_records)) return;
  const std::int16_t result = CallPruning([&](engine::LoadEngine& e, auto& batch) {
    return e.Prune2Records(options_.prune_records_beyond_days, server_name_, server_connection_,
                           table, destination_, "EXTRACT_DATE", batch);
  });
  if (result != 0) ReportGivenUp("Error pruning " + table + " Table");
}

void LoadSequence::Prune(const std::string& table, const char* date_column,
                         std::string_view failure) {
  if (!IsSet(options_.prune_records)) return;
  // An empty result is what a prune that deleted rows returns: it counts as success.
  const std::optional<std::int16_t> result = CallPruning([&](engine::LoadEngine& e, auto& batch) {
    return e.PruneRecords(options_.prune_records_beyond_days, server_name_, server_connection_,
                          table, destination_, date_column, batch);
  });
  if (result.value_or(0) != 0) ReportGivenUp(std::string(failure));
}

void LoadSequence::AppendRetryToLog() {
  append_to_log_(options_.log_file_name, text_ + std::string(kCrLf));
}

void LoadSequence::Report(std::string_view line) { AppendLine(text_, line); }

void LoadSequence::ReportGivenUp(const std::string& line) {
  Report(line);
  GiveUp(line);
  recorder_.NoteError(line, true);
}

// Written to the log file at once, so that it follows the copy's own lines there.
void LoadSequence::ReportCountDifference(const std::string& table) {
  const std::optional<engine::CountCheck>& check = last_counts_.count_check;
  if (!check || !check->Differs()) return;
  append_to_log_(options_.log_file_name,
                 "Count check of " + table + " for " + server_name_ + ": the source holds " +
                     std::to_string(check->source_rows) + " rows from " + check->from + " to " +
                     check->to + ", the destination " + std::to_string(check->destination_rows) +
                     "." + std::string(kCrLf));
}

void LoadSequence::EnterStage(Stage stage) {
  recorder_.Enter(StepRecord::Kind::kStage, kStageNames[static_cast<int>(stage)]);
  CheckBeforeStep();
}

// A stop is a cancel of the load's work: the step and the stage give up at once, as for a
// cancelled server, and any database call still made is refused.
void LoadSequence::CheckBeforeStep() {
  if (!stage_check_) return;
  if (const std::optional<std::string> reason = stage_check_()) {
    odbc::CancelWork(odbc::CurrentWorkKey(), *reason);
    throw RaisedError(odbc::kErrWorkCancelled, "mtELVAN.ELVAN", *reason);
  }
}

void LoadSequence::GiveUp(const std::string& what) {
  if (given_up_.empty()) given_up_ = what;
}

}  // namespace kelvan::worker
