// ELVAN: the worker ("mtELVAN.ELVAN") that runs one VLT server's load. Created by class
// identifier it lives on a thread of its own, where every call on it runs, one at a time; the
// thread's object count and message text (thread_data.h) are shared by the ELVANs on it.
// Threading: use only through its ObjectRef, or on the one thread that made it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/basic/bool16.h"
#include "platform/component/object_ref.h"
#include "worker/data_src.h"
#include "worker/load_record.h"

namespace kelvan::worker {

inline constexpr const char* kElvanClassId = "mtELVAN.ELVAN";

class ELVAN {
 public:
  // Counts the object on its thread; raises RaisedError kErrOverflow when the count is full.
  ELVAN();
  ~ELVAN();

  ELVAN(const ELVAN&) = delete;
  ELVAN& operator=(const ELVAN&) = delete;

  const std::string& DSN() const { return dsn_; }
  void SetDSN(std::string value) { dsn_ = std::move(value); }
  const std::string& ServerValue() const { return server_value_; }
  void SetServerValue(std::string value) { server_value_ = std::move(value); }

  std::int32_t ThreadID() const { return thread_id_; }
  std::int32_t NumberOnThread() const;
  // The message text of this thread's last load that ended well; empty before any.
  std::string ErrorMessages() const;
  // What this worker's last load did without (see LoadOutcome::given_up); empty when it loaded
  // every table and stage. A load that "reached its end" may still have given a table up.
  const std::string& GivenUp() const { return given_up_; }
  // Where the next load records what each table and stage did (none: nowhere); the caller may
  // read it from any thread while the load runs.
  void SetRecorder(std::shared_ptr<LoadRecorder> recorder) { recorder_ = std::move(recorder); }
  // Whether the next loads count each incremental copy's window on both sides (LoadOptions).
  void SetCheckCounts(bool on) { check_counts_ = on; }
  // Asked by the next loads before each stage and table whether to stop (see StageCheck).
  void SetStageCheck(std::function<std::optional<std::string>()> check) {
    stage_check_ = std::move(check);
  }

  // Loads this worker's server. Returns the empty string when the sequence reached its end
  // (its message text is then this thread's ErrorMessages), or the whole message text when a
  // stage failed for good. `Tables` holds the table array in index order (see LoadOptions);
  // the pruning calls settle ApproxRecordsToPrunePerBatch in place. Raises only when a retry
  // text cannot be appended to LogFileName.
  std::string StartELVAN(DataSrc& DatSource, const std::vector<std::string>& Tables,
                         const std::string& LogFileName, std::int16_t TraceLevel,
                         Bool16 PruneRecords, std::int16_t PruneRecordsBeyondDays,
                         const std::string& SeverityString, Bool16 MultipleDataSetsPerDay,
                         const std::string& DatabaseType, std::int16_t ForecastSetupCode,
                         std::int16_t ForecastNumberOfDays, std::int16_t ForecastSizeOfSampleSet,
                         Bool16 GenerateSUMMARYHOURTableData, Bool16 GenerateSIMULACTIVITYTableData,
                         Bool16 ActivateFORECASTINGTableData,
                         std::int32_t& ApproxRecordsToPrunePerBatch, Bool16 LoadErrorTables);

  // A new worker on a new thread of its own; creation failures are raised.
  component::ObjectRef<ELVAN> GetELVANOnNewThread() const;

 private:
  std::string dsn_;
  std::string server_value_;  // holds the password: never reported
  std::string given_up_;
  std::shared_ptr<LoadRecorder> recorder_;
  bool check_counts_ = false;
  std::function<std::optional<std::string>()> stage_check_;
  const std::int32_t thread_id_;
};

}  // namespace kelvan::worker
