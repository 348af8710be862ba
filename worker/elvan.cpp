#include "worker/elvan.h"

#include "platform/basic/raised_error.h"
#include "platform/basic/run_log.h"
#include "platform/basic/text_lines.h"
#include "platform/component/apartment.h"
#include "platform/component/registry.h"
#include "worker/load_sequence.h"
#include "worker/thread_data.h"

namespace kelvan::worker {

ELVAN::ELVAN() : thread_id_(component::CurrentThreadId()) { AddToThreadObjectCount(1); }

ELVAN::~ELVAN() {
  try {
    AddToThreadObjectCount(-1);
  } catch (const RaisedError&) {
    // A release cannot fail; the count stays where it was.
  }
}

std::int32_t ELVAN::NumberOnThread() const { return ThreadObjectCount(); }

std::string ELVAN::ErrorMessages() const { return ThreadMessageText(); }

std::string ELVAN::StartELVAN(DataSrc& DatSource, const std::vector<std::string>& Tables,
                              const std::string& LogFileName, std::int16_t TraceLevel,
                              Bool16 PruneRecords, std::int16_t PruneRecordsBeyondDays,
                              const std::string& SeverityString, Bool16 MultipleDataSetsPerDay,
                              const std::string& DatabaseType, std::int16_t ForecastSetupCode,
                              std::int16_t ForecastNumberOfDays,
                              std::int16_t ForecastSizeOfSampleSet,
                              Bool16 GenerateSUMMARYHOURTableData,
                              Bool16 GenerateSIMULACTIVITYTableData,
                              Bool16 ActivateFORECASTINGTableData,
                              std::int32_t& ApproxRecordsToPrunePerBatch, Bool16 LoadErrorTables) {
  const LoadOptions options{Tables,
                            LogFileName,
                            TraceLevel,
                            PruneRecords,
                            PruneRecordsBeyondDays,
                            SeverityString,
                            MultipleDataSetsPerDay,
                            DatabaseType,
                            ForecastSetupCode,
                            ForecastNumberOfDays,
                            ForecastSizeOfSampleSet,
                            GenerateSUMMARYHOURTableData,
                            GenerateSIMULACTIVITYTableData,
                            ActivateFORECASTINGTableData,
                            LoadErrorTables,
                            check_counts_};
  LoadRecorder unread;
  LoadSequence sequence(dsn_, server_value_, DatSource, options, ApproxRecordsToPrunePerBatch,
                        AppendToRunLog, recorder_ ? *recorder_ : unread);
  sequence.SetStageCheck(stage_check_);
  LoadOutcome outcome = sequence.Run();
  given_up_ = std::move(outcome.given_up);
  if (!outcome.completed) return std::move(outcome.text);
  SetThreadMessageText(std::move(outcome.text));
  return {};
}

component::ObjectRef<ELVAN> ELVAN::GetELVANOnNewThread() const {
  return component::CreateObject<ELVAN>(kElvanClassId);
}

}  // namespace kelvan::worker
