// The public operations of the load engine, created by class identifier "Qobra.QbObj". The worker
// drives an engine only through this interface, so tests can stand in for it. One object serves
// one thread and is never shared.
//
// Every load operation traps its own failures, writes a level-1 "Error in <Op>: ..." trace line,
// releases its handles and raises RaisedError again: the same number, the source
// "Qobra.QbObj.<Op>:" + the failure's own source, and as description the failure's own when
// its source already holds a ":" (raised by another engine routine), else the operation's prefix
// with the driver's diagnostics. Work that was cancelled (a time limit, an interrupt) fails the
// same way; its refused calls carry kErrWorkCancelled. Every operation keeps its arguments
// unchanged unless it says otherwise, and borrows `DataSource` for the call only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/data_source.h"
#include "engine/operation_counts.h"
#include "platform/basic/bool16.h"

namespace kelvan::engine {

inline constexpr const char* kQbObjClassId = "Qobra.QbObj";

class LoadEngine {
 public:
  virtual ~LoadEngine() = default;

  // 0 copied (also when there were no rows), 2 the server has no such table.
  virtual std::int16_t CopyTable(const std::string& strServerName, const std::string& strSourceCnn,
                                 const std::string& strTableName, DataSource& DataSource,
                                 Bool16 MultipleDataSetsPerDay, const std::string& RollupDate) = 0;
  // 0: the CLIENTERRORS rows of the server's activity log since the newest held were added.
  virtual std::int16_t ClientErrors(const std::string& strServerName,
                                    const std::string& strSourceCnn, DataSource& DataSource,
                                    const std::string& strSeverity) = 0;
  // 0: the same for SERVERERRORS.
  virtual std::int16_t ServerErrors(const std::string& strServerName,
                                    const std::string& strSourceCnn, DataSource& DataSource,
                                    const std::string& strSeverity) = 0;
  // A stub: always 0, raises nothing.
  virtual std::int16_t DaysToValue(const std::string& strQuery, const std::string& strStartDate,
                                   const std::string& strEndDate, double dValue,
                                   DataSource& DataSource) = 0;
  // The trace's level (0 to 3) and file, for every later operation; raises nothing.
  virtual void SetTrace(std::int16_t Level, const std::string& FileName) = 0;
  // The settled batch size is written back into ApproxNumOfRecordsDeletedPerCommit (nullopt:
  // the argument was omitted). The result is 0 when there was nothing to prune, nullopt (an
  // empty value) after a prune.
  virtual std::optional<std::int16_t> PruneRecords(
      std::int16_t NoOfDays, const std::string& strServerName, const std::string& strSourceCnn,
      const std::string& strTableName, DataSource& DataSource,
      const std::string& DateTimeColumnName,
      std::optional<std::int32_t>& ApproxNumOfRecordsDeletedPerCommit) = 0;
  // 0 after pruning the server's snapshots older than NoOfDays (by EXTRACT_DATE day); settles
  // the batch size as PruneRecords does.
  virtual std::int16_t Prune2Records(
      std::int16_t NoOfDays, const std::string& strServerName, const std::string& strSourceCnn,
      const std::string& strTableName, DataSource& DataSource,
      const std::string& DateTimeColumnName,
      std::optional<std::int32_t>& ApproxNumOfRecordsDeletedPerCommit) = 0;
  // 0: the forecast rows of every day not yet forecast were added to strTableName + "_F"; rows
  // the destination refuses are left out and reported ("Insert Record Error").
  virtual std::int16_t Forecast2CopyTable(const std::vector<std::string>& strSelectColumns,
                                          const std::vector<std::string>& strFCColumns,
                                          const std::vector<std::string>& strOrderColumns,
                                          const std::vector<std::string>& strForecastTableColumns,
                                          const std::string& strServerName,
                                          const std::string& strTableName,
                                          std::int16_t idaysforward, std::int16_t sizeOfSampleSet,
                                          DataSource& DataSource) = 0;
  // 0: the server's new SUMMARY rows were sliced into hours in SUMMARYHOUR.
  virtual std::int16_t PostProcessSummaryTable(const std::string& strServerName,
                                               DataSource& DataSource) = 0;
  // 0: the concurrency rows of the rollup day were written to SIMUL_ACTIVITY; INSERTs the
  // destination refuses are ignored, counted and reported.
  virtual std::int16_t SimultaneousActivityTable(const std::string& strServerName,
                                                 DataSource& DataSource,
                                                 const std::string& RollupDate) = 0;
  // The destination's type ("QDB", "Oracle", ...) as given, blanks trimmed; raises nothing.
  virtual void SetDBType(const std::string& DBType) = 0;

  // What the last load operation did to the rows, so far when it failed; each operation starts
  // from nothing. For the run record: no operation's result or trace depends on it.
  virtual OperationCounts LastCallCounts() const = 0;
  // When on, each later incremental copy (SUMMARY, EVENTS) that copied rows counts the window
  // it copied on both sides afterwards (OperationCounts::count_check); raises nothing.
  virtual void SetCountCheck(bool on) = 0;
};

}  // namespace kelvan::engine
