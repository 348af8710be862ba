#include "engine/qb_obj.h"

#include <limits>
#include <memory>

#include "engine/engine_text.h"
#include "platform/basic/clock.h"
#include "platform/component/registry.h"
#include "platform/data/connection.h"
#include "platform/data/data_engine.h"
#include "platform/odbc/connect_string.h"

namespace kelvan::engine {
namespace {

constexpr std::int32_t kErrInternal = 51;  // "Internal error"
constexpr char kCr = '\r';
constexpr const char* kCrLf = "\r\n";

RaisedError AsRaisedError(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const RaisedError& e) {
    return e;
  } catch (const std::exception& e) {
    return RaisedError(kErrInternal, "Qobra", e.what());
  } catch (...) {
    return RaisedError(kErrInternal, "Qobra", "Unknown failure");
  }
}

// Whether the layer's error list holds the diagnostics of `current` itself (the layer raises
// them joined by "; "), not of an earlier failure that was caught and passed over.
bool ListDescribes(const std::vector<data::ErrorEntry>& entries, const RaisedError& current) {
  std::string joined;
  for (const data::ErrorEntry& entry : entries) {
    joined += (joined.empty() ? "" : "; ") + entry.description;
  }
  return !joined.empty() && current.Description() == joined;
}

// The generator's own failure convention; it holds nothing to release.
class GeneratorRun : public OperationRun {
 public:
  std::string Name() const override { return "PseudoIndexNumberGenerator"; }
  std::string DescriptionPrefix() const override { return "Error generating PSEUDO_INDEX number"; }
  std::string FailureLine(const RaisedError&) const override {
    return "Error in funtion PseudoIndexNumberGenerator.";
  }
  void Release() noexcept override {}
};

}  // namespace

std::string DerivedTableRun::FailureLine(const RaisedError& error) const {
  return "Error in " + Name() + ": " + NumberedErrorText(error);
}

void QbObj::TraceCallLines(const std::string& server, const std::string& table,
                           const DataSource& data_source) {
  Trace("Server Name = " + server, 3);
  Trace("Table Name = " + table, 3);
  Trace("Data Source = " + data_source.Name(), 3);
}

void QbObj::SetTrace(std::int16_t Level, const std::string& FileName) {
  trace_.Configure(Level, FileName);
}

void QbObj::SetDBType(const std::string& DBType) { db_type_ = TrimBlanks(DBType); }

std::int16_t QbObj::DaysToValue(const std::string&, const std::string&, const std::string&, double,
                                DataSource&) {
  return 0;
}

double QbObj::MarkOperationStart() {
  operation_start_ = CurrentClock().SecondsSinceMidnight();
  return operation_start_;
}

std::int32_t QbObj::PseudoIndexNumberGenerator() {
  GeneratorRun run;
  return RunOperation(run, [this] {
    if (pseudo_index_ == std::numeric_limits<std::int32_t>::max()) {
      throw RaisedError(kErrOverflow, "Qobra", "Overflow");
    }
    return ++pseudo_index_;
  });
}

std::string QbObj::DestinationTimestampLiteral(std::string_view literal) const {
  return engine::DestinationTimestampLiteral(db_type_, literal);
}

std::string QbObj::FormatEngineError(std::string_view prefix, const RaisedError& current) const {
  data::DataEngine& layer = data::DataEngine::ForThisThread();
  std::string list;
  if (ListDescribes(layer.Errors(), current)) {
    for (const data::ErrorEntry& entry : layer.Errors()) {
      list += "Error Number: " + std::to_string(entry.number) + " - " + entry.description + kCr;
    }
  }
  layer.ClearErrors();
  if (list.empty()) list = current.Description() + kCr;
  return std::string(prefix) + ":" + kCrLf + current.Description() + kCrLf + list;
}

void QbObj::ChooseCursorDriver() const {
  data::DataEngine::ForThisThread().SetCursorDriver(
      db_type_ == "QDB" ? data::CursorDriver::kClientBatch : data::CursorDriver::kDefault);
}

data::Connection& QbObj::OpenDestinationConnection(const DataSource& data_source) {
  std::string connect = DestinationConnectString(data_source);
  std::string shown = CutBeforePassword(connect);
  Trace("Opening Connection " + shown, 2);
  data::Connection& connection = CachedDestinationConnection(connect);
  Trace("Connection established to " + shown, 3);
  return connection;
}

data::Connection& QbObj::CachedDestinationConnection(const std::string& connect_string) {
  auto found = connections_.find(connect_string);
  if (found == connections_.end()) {
    found = connections_.emplace(connect_string, data::Connection::Open(connect_string)).first;
  }
  return found->second;
}

// A session the server ended stays dead: kept in the cache it would fail every retry and every
// later stage. The next operation opens a new one.
void QbObj::DropLostConnections(bool failure_says_lost) noexcept {
  std::erase_if(connections_, [failure_says_lost](const auto& cached) {
    return failure_says_lost || cached.second.IsDead();
  });
}

std::string DestinationConnectString(const DataSource& data_source) {
  return odbc::DataSourceConnectString(data_source.Name(), data_source.UserName(),
                                       data_source.Password());
}

RaisedError QbObj::Fail(OperationRun& run, std::exception_ptr failure) {
  RaisedError error = AsRaisedError(failure);
  trace_.WriteQuietly(run.FailureLine(error), 1);
  const bool connection_lost = data::IsConnectionLost(error);
  // Described before the release, so that a cursor that fails to close cannot replace the
  // error list of the failure itself.
  std::string description = error.Source().find(':') != std::string::npos
                                ? error.Description()
                                : FormatEngineError(run.DescriptionPrefix(), error);
  run.Release();
  DropLostConnections(connection_lost);
  return RaisedError(error.Number(), "Qobra.QbObj." + run.Name() + ":" + error.Source(),
                     description, error.SqlState());
}

void RegisterQobraClasses() {
  component::Registry::Instance().Register<LoadEngine>(
      kQbObjClassId, [] { return std::make_unique<QbObj>(); },
      component::ThreadingModel::kCallerApartment);
}

}  // namespace kelvan::engine
