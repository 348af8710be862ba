#include "console/core/run_record.h"

#include <algorithm>

namespace kelvan::console {

const char* ResultName(ServerRun::Result result) {
  switch (result) {
    case ServerRun::Result::kLoaded:
      return "loaded";
    case ServerRun::Result::kGivenUp:
      return "given up";
    case ServerRun::Result::kFailed:
      return "failed";
    case ServerRun::Result::kUnreachable:
      return "unreachable";
    case ServerRun::Result::kElsewhere:
      return "done elsewhere";
    case ServerRun::Result::kNotRun:
      break;
  }
  return "not run";
}

engine::OperationCounts ServerTotals(const ServerRun& server) {
  engine::OperationCounts totals;
  for (const worker::StepRecord& step : server.steps) totals += step.counts;
  totals.count_check.reset();  // a check is of one table, never of a sum
  return totals;
}

bool HasCountDifference(const RunRecord& record) {
  return std::any_of(record.servers.begin(), record.servers.end(), [](const ServerRun& server) {
    return std::any_of(server.steps.begin(), server.steps.end(), [](const auto& step) {
      return step.counts.count_check && step.counts.count_check->Differs();
    });
  });
}

}  // namespace kelvan::console
