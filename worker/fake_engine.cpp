#include "worker/fake_engine.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "engine/load_engine.h"
#include "platform/basic/raised_error.h"
#include "platform/component/apartment.h"
#include "platform/component/registry.h"

namespace kelvan::worker::testing {
namespace {

EngineScript* current_script = nullptr;

std::string Join(const std::vector<std::string>& items) {
  std::string text = "{";
  for (const auto& item : items) text += (text.size() > 1 ? "," : "") + item;
  return text + "}";
}

std::string BatchText(const std::optional<std::int32_t>& batch) {
  return batch ? std::to_string(*batch) : "none";
}

class FakeEngine : public engine::LoadEngine {
 public:
  explicit FakeEngine(EngineScript& script) : script_(script) { script_.EngineMade(); }
  ~FakeEngine() override { script_.EngineGone(); }

  std::int16_t CopyTable(const std::string& server, const std::string& source,
                         const std::string& table, engine::DataSource& destination, Bool16 multiple,
                         const std::string& rollup) override {
    return Answer("CopyTable " + table, "CopyTable(" + server + "," + source + "," + table + "," +
                                            destination.Name() + "," + std::to_string(multiple) +
                                            "," + rollup + ")");
  }
  std::int16_t ClientErrors(const std::string& server, const std::string& source,
                            engine::DataSource& destination, const std::string& severity) override {
    return ErrorTable("ClientErrors", server, source, destination, severity);
  }
  std::int16_t ServerErrors(const std::string& server, const std::string& source,
                            engine::DataSource& destination, const std::string& severity) override {
    return ErrorTable("ServerErrors", server, source, destination, severity);
  }
  std::int16_t DaysToValue(const std::string&, const std::string&, const std::string&, double,
                           engine::DataSource&) override {
    return Answer("DaysToValue", "DaysToValue()");
  }
  void SetTrace(std::int16_t level, const std::string& file) override {
    Answer("SetTrace", "SetTrace(" + std::to_string(level) + "," + file + ")");
  }
  std::optional<std::int16_t> PruneRecords(std::int16_t days, const std::string& server,
                                           const std::string& source, const std::string& table,
                                           engine::DataSource& destination,
                                           const std::string& column,
                                           std::optional<std::int32_t>& batch) override {
    return Prune("PruneRecords", days, server, source, table, destination, column, batch);
  }
  std::int16_t Prune2Records(std::int16_t days, const std::string& server,
                             const std::string& source, const std::string& table,
                             engine::DataSource& destination, const std::string& column,
                             std::optional<std::int32_t>& batch) override {
    return Prune("Prune2Records", days, server, source, table, destination, column, batch)
        .value_or(0);
  }
  std::int16_t Forecast2CopyTable(const std::vector<std::string>& select,
                                  const std::vector<std::string>& forecast,
                                  const std::vector<std::string>& order,
                                  const std::vector<std::string>& forecast_table,
                                  const std::string& server, const std::string& table,
                                  std::int16_t days, std::int16_t sample,
                                  engine::DataSource& destination) override {
    return Answer("Forecast2CopyTable " + table,
                  "Forecast2CopyTable(" + Join(select) + "," + Join(forecast) + "," + Join(order) +
                      "," + Join(forecast_table) + "," + server + "," + table + "," +
                      std::to_string(days) + "," + std::to_string(sample) + "," +
                      destination.Name() + ")");
  }
  std::int16_t PostProcessSummaryTable(const std::string& server,
                                       engine::DataSource& destination) override {
    return Answer("PostProcessSummaryTable",
                  "PostProcessSummaryTable(" + server + "," + destination.Name() + ")");
  }
  std::int16_t SimultaneousActivityTable(const std::string& server, engine::DataSource& destination,
                                         const std::string& rollup) override {
    return Answer("SimultaneousActivityTable", "SimultaneousActivityTable(" + server + "," +
                                                   destination.Name() + "," + rollup + ")");
  }
  void SetDBType(const std::string& type) override {
    Answer("SetDBType", "SetDBType(" + type + ")");
  }
  engine::OperationCounts LastCallCounts() const override { return script_.LastCounts(); }
  void SetCountCheck(bool on) override { script_.SetCountCheck(on); }

 private:
  std::int16_t Answer(const std::string& key, const std::string& call) {
    return script_.Take(key, call).result.value_or(0);
  }
  std::int16_t ErrorTable(const std::string& operation, const std::string& server,
                          const std::string& source, engine::DataSource& destination,
                          const std::string& severity) {
    return Answer(operation, operation + "(" + server + "," + source + "," + destination.Name() +
                                 "," + severity + ")");
  }
  std::optional<std::int16_t> Prune(const std::string& operation, std::int16_t days,
                                    const std::string& server, const std::string& source,
                                    const std::string& table, engine::DataSource& destination,
                                    const std::string& column, std::optional<std::int32_t>& batch) {
    const std::string call = operation + "(" + std::to_string(days) + "," + server + "," + source +
                             "," + table + "," + destination.Name() + "," + column + "," +
                             BatchText(batch) + ")";
    // Settled before anything can fail, as the engine does.
    script_.Settle(batch);
    return script_.Take(operation + " " + table, call).result;
  }

  EngineScript& script_;
};

}  // namespace

EngineScript::EngineScript() {
  current_script = this;
  component::Registry::Instance().Register<engine::LoadEngine>(
      engine::kQbObjClassId,
      [] {
        current_script->Take("Create", "Create()");
        return std::make_unique<FakeEngine>(*current_script);
      },
      component::ThreadingModel::kCallerApartment);
}

EngineScript::~EngineScript() { current_script = nullptr; }

void EngineScript::Next(const std::string& key, std::vector<Outcome> outcomes) {
  auto& queue = queued_[key];
  queue.insert(queue.end(), outcomes.begin(), outcomes.end());
}

int EngineScript::CallsOf(const std::string& key) const {
  return static_cast<int>(std::count(keys_.begin(), keys_.end(), key));
}

Outcome EngineScript::Take(const std::string& key, const std::string& call) {
  keys_.push_back(key);
  calls_.push_back(call);
  last_thread_ = component::CurrentThreadId();
  Outcome outcome = standing_[key];
  if (auto queue = queued_.find(key); queue != queued_.end() && !queue->second.empty()) {
    outcome = queue->second.front();
    queue->second.pop_front();
  }
  const std::string operation = key.substr(0, key.find(' '));
  last_counts_ = outcome.counts;
  if (outcome.raise) {
    throw RaisedError(40002, "Qobra.QbObj." + operation, "Scripted failure of " + key);
  }
  return outcome;
}

void EngineScript::Settle(std::optional<std::int32_t>& batch) const {
  if (settle_batch_to_) batch = settle_batch_to_;
}

}  // namespace kelvan::worker::testing
