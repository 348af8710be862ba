// LoadSequence: one VLT server's load, run once. It creates its own engine object ("Qobra.QbObj")
// and drives it through the fixed stages, collecting a CR LF text of everything that went wrong,
// restarting a stage (or retrying a table of the copy) when the engine raises an error.
// Threading: one object, one thread; the engine object it creates stays on that thread's side.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/data_source.h"
#include "engine/load_engine.h"
#include "platform/basic/bool16.h"
#include "platform/basic/raised_error.h"
#include "platform/component/object_ref.h"
#include "worker/load_options.h"
#include "worker/load_record.h"

namespace kelvan::worker {

struct LoadOutcome {
  bool completed;    // the sequence reached its good end
  std::string text;  // the message text, CR LF lines
  // The first thing the load did without: "table SUMMARY: " or "stage ServerErrors: " and the
  // first error, or the worker's own line for an operation that returned a failure. Empty
  // when every table and stage loaded.
  std::string given_up;
};

// Appends text to a file in one piece; raises RaisedError when it cannot.
using LogAppender = std::function<void(const std::string& path, std::string_view text)>;

// Asked before each stage and each table: why the load must stop there (its database calls are
// then refused as cancelled work), or nothing to go on. Runs on the load's thread.
using StageCheck = std::function<std::optional<std::string>()>;

class LoadSequence {
 public:
  // `server_name` and `server_connection` are the worker's DSN and ServerValue. `prune_batch` is
  // the caller's ApproxRecordsToPrunePerBatch: the engine's pruning settles it in place, and
  // every later pruning call (and the caller) sees the settled value. What each table and stage
  // did goes into `recorder`. Borrows `destination`, `options`, `prune_batch` and `recorder`
  // for the sequence's lifetime.
  LoadSequence(std::string server_name, std::string server_connection,
               engine::DataSource& destination, const LoadOptions& options,
               std::int32_t& prune_batch, LogAppender append_to_log, LoadRecorder& recorder);

  LoadSequence(const LoadSequence&) = delete;
  LoadSequence& operator=(const LoadSequence&) = delete;

  // Runs every stage once. Failures of the engine end up in the outcome; raises only when a
  // retry text (or a count difference) cannot be appended to the log file.
  LoadOutcome Run();
  void SetStageCheck(StageCheck check) { stage_check_ = std::move(check); }

 private:
  enum class Stage : int;
  struct ErrorTable;

  Stage NextStage(Stage done);
  void RunStage(Stage stage);
  bool RetryStage(const RaisedError& error);

  void CreateEngine();
  void LoadErrorTable(const ErrorTable& table);
  void PostProcessSummary();
  void SimultaneousActivity();
  void Forecast(Stage stage);

  void CopyTables();
  void CopyEntryWithRetries(const std::string& table);
  void CopyEntry(const std::string& table);
  bool RetryTable(const RaisedError& error);
  void ReportCountDifference(const std::string& table);

  void Prune(const std::string& table, const char* date_column, std::string_view failure);
  void PruneCopiedTable(const std::string& table);
  void AppendRetryToLog();
  void Report(std::string_view line);
  void ReportGivenUp(const std::string& line);
  void GiveUp(const std::string& what);
  void EnterStage(Stage stage);
  void CheckBeforeStep();

  template <class F>
  auto CallPruning(F&& prune);
  // Calls a load operation and records what it did, whether it fails or not.
  template <class F>
  auto CallEngine(F&& operation);

  const std::string server_name_;
  const std::string server_connection_;  // holds the password: never reported
  engine::DataSource& destination_;
  const LoadOptions& options_;
  std::int32_t& prune_batch_;
  const LogAppender append_to_log_;
  LoadRecorder& recorder_;
  StageCheck stage_check_;
  engine::OperationCounts last_counts_;  // of the last load operation
  const std::string run_timestamp_;      // "yyyy-mm-dd hh:mm:ss" at the start of the load

  component::ObjectRef<engine::LoadEngine> engine_;
  std::string text_;
  std::string given_up_;
  std::string first_error_;  // of the stage or table now being retried
  Stage current_;            // the stage a stage error restarts
  std::int16_t stage_retries_ = 0;
  std::size_t entry_ = 0;   // copy stage: index of the table reached
  bool copy_done_ = false;  // copy stage: that table's copy returned 0
  std::int16_t table_retries_ = 0;
};

}  // namespace kelvan::worker
