// RunRecord: what a run did, for machines (the summary and metrics files, progress): per server
// its result, first error and time, and its worker's record of every table and stage. The run
// driver collects it; plain values.
#pragma once

#include <string>
#include <vector>

#include "platform/basic/timestamp.h"
#include "worker/load_record.h"

namespace kelvan::console {

struct ServerRun {
  enum class Result {
    kLoaded,       // every table and stage loaded
    kGivenUp,      // the load reached its end without some table or stage
    kFailed,       // a stage failed for good, the call failed or was cancelled
    kUnreachable,  // its test connection failed, or no worker could be made for it
    kElsewhere,    // another loader loaded it in the run window (see server_claims.h)
    kNotRun,       // the run stopped before it
  };
  std::string server;
  Result result = Result::kNotRun;
  std::string first_error;  // why it was not loaded whole; empty when it was
  double seconds = 0;       // of its worker's call
  std::vector<worker::StepRecord> steps;
};

struct RunRecord {
  Timestamp started;  // local time
  double seconds = 0;
  std::vector<ServerRun> servers;
};

// "loaded", "given up", "failed", "unreachable", "not run".
const char* ResultName(ServerRun::Result result);
// The server's rows over all its tables and stages.
engine::OperationCounts ServerTotals(const ServerRun& server);
// Whether any incremental copy's count check found a difference.
bool HasCountDifference(const RunRecord& record);

}  // namespace kelvan::console
