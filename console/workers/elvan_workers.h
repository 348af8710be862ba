// The run's workers as the worker server makes them: each an ELVAN created by class identifier
// "mtELVAN.ELVAN" on a thread of its own. RegisterWorkerClasses must have run.
// Threading: create and call from the console's one thread.
#pragma once

#include <memory>
#include <string>

#include "console/core/run_worker.h"

namespace kelvan::console {

class ElvanWorkerFactory : public WorkerFactory {
 public:
  std::shared_ptr<RunWorker> CreateWorker(const std::string& dsn,
                                          const std::string& server_value) override;
};

}  // namespace kelvan::console
