// Pieces shared by the data layer's connection, result set and row writers; not for callers of
// the layer. Same threading rules as the connection they belong to: one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/data_engine.h"
#include "platform/data/value.h"
#include "platform/odbc/calls.h"
#include "platform/odbc/handles.h"

namespace kelvan::data::internal {

inline constexpr const char* kSource = "KelvanData";

// Records every ODBC failure in the calling thread's error list before it is raised.
odbc::FailureObserver* ErrorListObserver();

[[noreturn]] void RaiseLayerError(std::int32_t number, std::string description);

struct ColumnInfo {
  std::string name;
  std::int16_t driver_type = 0;    // as the driver describes it
  std::int16_t reported_type = 0;  // the ODBC 2 code callers see
  std::uint64_t size = 0;
  std::int16_t digits = 0;
};

// ODBC 3 date/time and Unicode codes become their ODBC 2 and plain equivalents; integral types
// that callers do not convert (BIGINT, TINYINT, BIT) are reported numeric so they travel as text.
std::int16_t ReportedType(std::int16_t driver_type);

// Writes the rows added through one result set. Rows may be held back and written later in
// batches; whatever is held is written by Flush.
class RowWriter {
 public:
  virtual ~RowWriter() = default;
  // One entry per column of the result set; nothing for a column left unset. Raises when a write
  // that this call caused fails; the rows of that write are then dropped, earlier writes stay.
  virtual void Add(std::vector<std::optional<Value>> row) = 0;
  virtual void Flush() = 0;
};

struct ConnectionState;

// Inserts into `table` with multi-row parameterised INSERT statements, each committed by itself.
std::unique_ptr<RowWriter> MakeBatchInsertWriter(std::shared_ptr<ConnectionState> connection,
                                                 std::string table,
                                                 std::vector<ColumnInfo> columns);

struct ConnectionState {
  std::shared_ptr<odbc::EnvironmentHandle> environment;  // freed after the connection
  odbc::ConnectionHandle dbc;
  std::string odbc_version;
  std::string identifier_quote;  // blank when the driver has none
  int query_timeout_seconds = 0;
  CursorDriver cursor_driver = CursorDriver::kDefault;
  std::vector<RowWriter*> writers;  // those of the open result sets, in opening order

  odbc::StatementHandle NewStatement();
  // Writes every row held back, so that the next statement sees them.
  void FlushWriters();
  std::string QuoteIdentifier(std::string_view name) const;
};

}  // namespace kelvan::data::internal
