#include "console/workers/elvan_workers.h"

#include "platform/component/registry.h"
#include "worker/data_src.h"
#include "worker/elvan.h"

namespace kelvan::console {
namespace {

class ElvanWorker : public RunWorker {
 public:
  explicit ElvanWorker(component::ObjectRef<worker::ELVAN> elvan) : elvan_(std::move(elvan)) {}

  std::int32_t ThreadID() override {
    return elvan_.Call([](worker::ELVAN& e) { return e.ThreadID(); });
  }

  std::string StartELVAN(const RunArguments& a, const component::Pump& pump) override {
    worker::DataSrc destination;
    destination.SetName(a.destination.name);
    destination.SetUserName(a.destination.user_name);
    destination.SetPassword(a.destination.password);
    destination.SetQualifier(a.destination.qualifier);
    // Widened copy: the worker settles it in place, the setting keeps its own value.
    std::int32_t batch = a.approx_records_to_prune_per_batch;
    const worker::LoadOptions& o = a.options;
    return elvan_.CallPumping(
        [&](worker::ELVAN& e) {
          return e.StartELVAN(destination, o.tables, o.log_file_name, o.trace_level,
                              o.prune_records, o.prune_records_beyond_days, o.severity_string,
                              o.multiple_data_sets_per_day, o.database_type, o.forecast_setup_code,
                              o.forecast_number_of_days, o.forecast_size_of_sample_set,
                              o.generate_summary_hour, o.generate_simul_activity,
                              o.activate_forecasting, batch, o.load_error_tables);
        },
        pump);
  }

  std::string ErrorMessages() override {
    return elvan_.Call([](worker::ELVAN& e) { return e.ErrorMessages(); });
  }

  std::string GivenUp() override {
    return elvan_.Call([](worker::ELVAN& e) { return e.GivenUp(); });
  }

  void Observe(std::shared_ptr<worker::LoadRecorder> recorder, bool check_counts) override {
    elvan_.Call([&](worker::ELVAN& e) {
      e.SetRecorder(std::move(recorder));
      e.SetCheckCounts(check_counts);
    });
  }

  void CheckBeforeEachStage(std::function<std::optional<std::string>()> check) override {
    elvan_.Call([&](worker::ELVAN& e) { e.SetStageCheck(std::move(check)); });
  }

 private:
  component::ObjectRef<worker::ELVAN> elvan_;
};

}  // namespace

std::shared_ptr<RunWorker> ElvanWorkerFactory::CreateWorker(const std::string& dsn,
                                                            const std::string& server_value) {
  auto elvan = component::CreateObject<worker::ELVAN>(worker::kElvanClassId);
  elvan.Call([&](worker::ELVAN& e) {
    e.SetDSN(dsn);
    e.SetServerValue(server_value);
  });
  return std::make_shared<ElvanWorker>(std::move(elvan));
}

}  // namespace kelvan::console
