// A stand-in load engine for the worker's tests: registered as "Qobra.QbObj" while an
// EngineScript lives, it answers every operation as the script says and records each call.
// Threading: engines may run on a worker's thread while the test thread waits for that call;
// read the records only between calls.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/operation_counts.h"

namespace kelvan::worker::testing {

// What one call does: return `result` (no value: 0, or an empty PruneRecords result) or raise
// RaisedError 40002, source "Qobra.QbObj." + operation, description "Scripted failure of " + key;
// either way the engine's LastCallCounts are `counts` afterwards.
struct Outcome {
  std::optional<std::int16_t> result;
  bool raise = false;
  engine::OperationCounts counts;
};
inline Outcome Returns(std::int16_t result) { return {result, false, {}}; }
inline Outcome Raises() { return {std::nullopt, true, {}}; }
inline Outcome Counts(engine::OperationCounts counts) { return {std::nullopt, false, counts}; }

class EngineScript {
 public:
  EngineScript();  // registers the fake engine class; one script at a time
  ~EngineScript();

  EngineScript(const EngineScript&) = delete;
  EngineScript& operator=(const EngineScript&) = delete;

  // Keys: the operation name, followed by " " + table for operations on a table
  // ("CopyTable SUMMARY", "Prune2Records SUMMARY", "PruneRecords CLIENTERRORS",
  // "Forecast2CopyTable DB"); "Create" is the engine's creation.
  void Always(const std::string& key, Outcome outcome) { standing_[key] = outcome; }
  // The next calls of `key` take these outcomes in turn, later ones the standing outcome.
  void Next(const std::string& key, std::vector<Outcome> outcomes);
  // The batch size that every pruning call writes back (none: left as given).
  void SettleBatchTo(std::optional<std::int32_t> batch) { settle_batch_to_ = batch; }

  const std::vector<std::string>& Keys() const { return keys_; }
  // One line per call: the operation and its arguments, e.g. "SetDBType(QDB)".
  const std::vector<std::string>& Calls() const { return calls_; }
  int CallsOf(const std::string& key) const;
  int EnginesCreated() const { return created_; }
  int EnginesAlive() const { return alive_; }
  std::int32_t LastCallThread() const { return last_thread_; }
  // What the engines were last told by SetCountCheck (not recorded among the calls).
  bool CountCheck() const { return count_check_; }

  // Used by the fake engine.
  Outcome Take(const std::string& key, const std::string& call);
  void Settle(std::optional<std::int32_t>& batch) const;
  void EngineMade() { ++created_, ++alive_; }
  void EngineGone() { --alive_; }
  const engine::OperationCounts& LastCounts() const { return last_counts_; }
  void SetCountCheck(bool on) { count_check_ = on; }

 private:
  std::map<std::string, Outcome> standing_;
  std::map<std::string, std::deque<Outcome>> queued_;
  std::optional<std::int32_t> settle_batch_to_;
  std::vector<std::string> keys_;
  std::vector<std::string> calls_;
  int created_ = 0;
  int alive_ = 0;
  std::int32_t last_thread_ = 0;
  engine::OperationCounts last_counts_;
  bool count_check_ = false;
};

}  // namespace kelvan::worker::testing
