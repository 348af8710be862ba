// What a run needs from the worker server: a worker per usable server, created by class
// identifier, whose StartELVAN loads that server on the worker's own thread; and a test
// connection that reports the driver's ODBC version. Seams so that tests stand in for both.
// Threading: called from the console's one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/core/settings.h"
#include "platform/basic/bool16.h"
#include "platform/component/apartment.h"
#include "worker/load_options.h"
#include "worker/load_record.h"

namespace kelvan::console {

// The StartELVAN arguments after the worker's own record.
struct RunArguments {
  DestinationRecord destination;
  worker::LoadOptions options;  // its tables are {""} when no table is chosen
  std::int32_t approx_records_to_prune_per_batch = 0;
};

RunArguments MakeRunArguments(const Settings& settings, const std::string& log_file_name);

class RunWorker {
 public:
  virtual ~RunWorker() = default;
  virtual std::int32_t ThreadID() = 0;
  // Empty when the server's load reached its end, else the worker's message text. A failure of
  // the call itself raises RaisedError. `pump` runs on the caller's thread while it waits.
  virtual std::string StartELVAN(const RunArguments& arguments, const component::Pump& pump) = 0;
  virtual std::string ErrorMessages() = 0;
  // The first table or stage the last StartELVAN gave up, with its first error; empty when it
  // loaded everything.
  virtual std::string GivenUp() = 0;
  // Where the next StartELVAN records what each table and stage did, and whether it counts
  // each incremental copy's window on both sides. A worker that keeps no record ignores it.
  virtual void Observe(std::shared_ptr<worker::LoadRecorder> /*recorder*/, bool /*check_counts*/) {}
  // Asked before each stage and table of the next StartELVAN: a reason to stop the server there,
  // or nothing. A worker that cannot stop between stages ignores it.
  virtual void CheckBeforeEachStage(std::function<std::optional<std::string>()> /*check*/) {}
};

class WorkerFactory {
 public:
  virtual ~WorkerFactory() = default;
  // A worker ("mtELVAN.ELVAN") with its DSN and ServerValue set; raises RaisedError on failure.
  virtual std::shared_ptr<RunWorker> CreateWorker(const std::string& dsn,
                                                  const std::string& server_value) = 0;
};

// Opens and closes a connection; returns the driver's ODBC version text. Raises RaisedError when
// it cannot connect (the password is never in the error).
using TestConnector = std::function<std::string(const std::string& connect_string)>;
std::string OpenTestConnection(const std::string& connect_string);

}  // namespace kelvan::console
