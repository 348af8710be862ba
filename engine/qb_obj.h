// QbObj, the load engine ("Qobra.QbObj"): its state (trace, destination type, pseudo-index
// counter, destination connection cache), the routines its operations share, and the failure
// convention that every public operation follows. Each operation family lives in a source file
// of its own. One object serves one thread and is never shared.
#pragma once

#include <cstdint>
#include <exception>
#include <map>
#include <string>
#include <string_view>

#include "engine/load_engine.h"
#include "engine/trace_log.h"
#include "platform/basic/raised_error.h"
#include "platform/data/connection.h"

namespace kelvan::engine {

// What the failure convention needs to know of one run of an operation.
class OperationRun {
 public:
  virtual ~OperationRun() = default;
  virtual std::string Name() const = 0;  // e.g. "CopyTable"
  // Prefix of the description built by FormatEngineError, e.g. "Error copying data. ".
  virtual std::string DescriptionPrefix() const = 0;
  // The level-1 line, beginning "Error in " + Name() + ": ".
  virtual std::string FailureLine(const RaisedError& error) const = 0;
  // Closes the source connection and every open destination cursor.
  virtual void Release() noexcept = 0;
};

// The runs that derive SUMMARYHOUR and SIMUL_ACTIVITY describe and trace a failure alike.
class DerivedTableRun : public OperationRun {
 public:
  std::string DescriptionPrefix() const override { return "Error copying data."; }
  std::string FailureLine(const RaisedError& error) const override;  // with NumberedErrorText
};

class QbObj : public LoadEngine {
 public:
  QbObj() = default;
  QbObj(const QbObj&) = delete;
  QbObj& operator=(const QbObj&) = delete;

  // LoadEngine
  std::int16_t CopyTable(const std::string& strServerName, const std::string& strSourceCnn,
                         const std::string& strTableName, DataSource& DataSource,
                         Bool16 MultipleDataSetsPerDay, const std::string& RollupDate) override;
  std::int16_t ClientErrors(const std::string& strServerName, const std::string& strSourceCnn,
                            DataSource& DataSource, const std::string& strSeverity) override;
  std::int16_t ServerErrors(const std::string& strServerName, const std::string& strSourceCnn,
                            DataSource& DataSource, const std::string& strSeverity) override;
  std::int16_t DaysToValue(const std::string& strQuery, const std::string& strStartDate,
                           const std::string& strEndDate, double dValue,
                           DataSource& DataSource) override;
  void SetTrace(std::int16_t Level, const std::string& FileName) override;
  std::optional<std::int16_t> PruneRecords(
      std::int16_t NoOfDays, const std::string& strServerName, const std::string& strSourceCnn,
      const std::string& strTableName, DataSource& DataSource,
      const std::string& DateTimeColumnName,
      std::optional<std::int32_t>& ApproxNumOfRecordsDeletedPerCommit) override;
  std::int16_t Prune2Records(
      std::int16_t NoOfDays, const std::string& strServerName, const std::string& strSourceCnn,
      const std::string& strTableName, DataSource& DataSource,
      const std::string& DateTimeColumnName,
      std::optional<std::int32_t>& ApproxNumOfRecordsDeletedPerCommit) override;
  std::int16_t Forecast2CopyTable(const std::vector<std::string>& strSelectColumns,
                                  const std::vector<std::string>& strFCColumns,
                                  const std::vector<std::string>& strOrderColumns,
                                  const std::vector<std::string>& strForecastTableColumns,
                                  const std::string& strServerName, const std::string& strTableName,
                                  std::int16_t idaysforward, std::int16_t sizeOfSampleSet,
                                  DataSource& DataSource) override;
  std::int16_t PostProcessSummaryTable(const std::string& strServerName,
                                       DataSource& DataSource) override;
  std::int16_t SimultaneousActivityTable(const std::string& strServerName, DataSource& DataSource,
                                         const std::string& RollupDate) override;
  void SetDBType(const std::string& DBType) override;
  OperationCounts LastCallCounts() const override { return counts_; }
  void SetCountCheck(bool on) override { count_check_ = on; }

  // ---- Shared by the operations ------------------------------------------------------------

  TraceLog& trace() { return trace_; }
  void Trace(const std::string& message, std::int16_t level) { trace_.Write(message, level); }
  // The level-3 lines that name what an operation was called for.
  void TraceCallLines(const std::string& server, const std::string& table,
                      const DataSource& data_source);
  const std::string& db_type() const { return db_type_; }

  // Notes the operation's start time (seconds since local midnight) and returns it.
  double MarkOperationStart();
  // The counts of the operation being run; each public operation starts them from nothing.
  OperationCounts& counts() { return counts_; }
  bool count_check() const { return count_check_; }
  double operation_start() const { return operation_start_; }

  // Sets the counter so that the first number handed out is 2.
  void ResetPseudoIndex() { pseudo_index_ = 1; }
  // The next running number. A counter at its limit fails with the convention's own line.
  std::int32_t PseudoIndexNumberGenerator();

  std::string DestinationTimestampLiteral(std::string_view literal) const;

  // The description handed on with a failure: prefix + ":" CR LF + the error's description
  // CR LF + the data-access layer's error list (one "Error Number: n - text" CR per entry, or
  // the error's description CR when the list is empty). Clears the list.
  std::string FormatEngineError(std::string_view prefix, const RaisedError& current) const;

  // Step 1 of opening the destination: client-batch cursors for the type "QDB" exactly, the
  // layer's default otherwise. Done at the start of an operation, before the source opens.
  void ChooseCursorDriver() const;
  // The cached connection for the record's connect string, opened on first use.
  data::Connection& OpenDestinationConnection(const DataSource& data_source);
  // The same connection without the trace lines, for operations that trace their own.
  data::Connection& CachedDestinationConnection(const std::string& connect_string);
  std::size_t cached_connection_count() const { return connections_.size(); }

  // Runs `body` under the failure convention: any failure is traced with run.FailureLine,
  // released with run.Release, and raised again with source "Qobra.QbObj." + name + ":" + its
  // own source.
  template <class Body>
  auto RunOperation(OperationRun& run, Body&& body) -> decltype(body()) {
    try {
      return body();
    } catch (...) {
      throw Fail(run, std::current_exception());
    }
  }

 private:
  RaisedError Fail(OperationRun& run, std::exception_ptr failure);
  // Drops every cached connection when the failure says the connection is gone, else those the
  // driver reports dead.
  void DropLostConnections(bool failure_says_lost) noexcept;

  TraceLog trace_;
  std::string db_type_;  // as given to SetDBType, blanks trimmed
  std::int32_t pseudo_index_ = 0;
  double operation_start_ = 0;  // seconds since local midnight
  OperationCounts counts_;      // of the operation now or last run
  bool count_check_ = false;
  std::map<std::string, data::Connection> connections_;  // key: the destination connect string
};

// "DSN=" + Name + ";UID=" + UserName + ";PWD=" + Password + ";" (values braced where they need
// it): the key of the connection cache.
std::string DestinationConnectString(const DataSource& data_source);

// Registers "Qobra.QbObj" (class QbObj behind LoadEngine, in its caller's apartment).
void RegisterQobraClasses();

}  // namespace kelvan::engine
