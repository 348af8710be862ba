// Pieces shared by the data layer's connection, result set and row writers; not for callers of
// the layer. Same threading rules as the connection they belong to: one thread, besides the
// writers' own write-behind threads, which use the connection only while its thread waits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/data_engine.h"
#include "platform/data/result_set.h"
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
  std::string type_name;  // the database's name of the type, when the driver tells it
};

// ODBC 3 date/time and Unicode codes become their ODBC 2 and plain equivalents; integral types
// that callers do not convert (BIGINT, TINYINT, BIT) are reported numeric so they travel as text.
std::int16_t ReportedType(std::int16_t driver_type);

// Writes the rows added through one result set. Rows may be held back and written later in
// batches, each batch committed as one transaction; Flush writes and commits whatever is held.
class RowWriter {
 public:
  virtual ~RowWriter() = default;
  // One entry per column of the result set; nothing for a column left unset (such a row may get a
  // NULL in its first entry). The values are copied. Batches may be written behind, while later
  // rows are added: a failed write is raised by the next Add that hands a batch over, or by
  // Flush. The rows of the failed batch and those held after it are then dropped; the batches
  // committed before stay.
  virtual void Add(std::vector<std::optional<Value>>& row) = 0;
  virtual void Flush() = 0;
  // As ResultSet::AddRows: rows held are written first, as by Flush.
  virtual std::vector<RejectedRow> AddAll(std::vector<NewRow>& rows) = 0;
  // Waits until no write of this writer is under way, raising nothing.
  virtual void Settle() noexcept = 0;
};

// How a database takes batches of rows best. Multi-row INSERTs within its driver's limit on
// parameter markers, up to the row count past which larger statements stop paying; or, with
// `column_arrays`, one array parameter per column unnested by the server.
struct InsertLimits {
  size_t max_parameters = 2000;
  size_t max_rows = 100;
  bool column_arrays = false;
  // Of a multi-row INSERT (column arrays take `max_rows`).
  size_t RowsPerStatement(size_t columns) const;
};
InsertLimits InsertLimitsFor(std::string_view dbms_name);
// Whether the driver ends every open cursor of a connection when a transaction ends (SQLite's).
bool TransactionsEndCursors(std::string_view dbms_name);
// Whether the database reads a backslash in a string literal as an escape (MariaDB's default).
bool ReadsBackslashEscapes(std::string_view dbms_name);

struct ConnectionState;

// For each of `columns` of `table`, whether the server fills it in itself when an INSERT leaves
// it out (a default, or NOT NULL as identities are), as the driver's catalog tells. Any other
// column left out is NULL, as if it were written NULL. All are taken as filled when the catalog
// does not know the table.
std::vector<bool> ColumnsFilledWhenLeftOut(ConnectionState& connection, std::string_view table,
                                           const std::vector<ColumnInfo>& columns);

// Inserts into `table` with multi-row parameterised INSERT statements prepared once, in
// transactions that grow from one statement to many as the rows keep coming.
std::unique_ptr<RowWriter> MakeBatchInsertWriter(std::shared_ptr<ConnectionState> connection,
                                                 std::string table,
                                                 std::vector<ColumnInfo> columns);

class TransactionSlot;

struct ConnectionState {
  std::shared_ptr<odbc::EnvironmentHandle> environment;  // freed after the connection
  odbc::ConnectionHandle dbc;
  std::string odbc_version;
  std::string dbms_name;
  std::string identifier_quote;  // blank when the driver has none
  int query_timeout_seconds = 0;
  CursorDriver cursor_driver = CursorDriver::kDefault;
  InsertLimits insert_limits;
  // When transactions end cursors: while a read-only result set is being read, writers write in
  // autocommit instead.
  bool transactions_end_cursors = false;
  int reading_cursors = 0;                        // read-only result sets not at their end
  std::vector<RowWriter*> writers;                // those of the open result sets, in opening order
  TransactionSlot* transaction_holder = nullptr;  // the slot whose transaction is open

  odbc::StatementHandle NewStatement();
  // Writes every row held back, so that the next statement sees them.
  void FlushWriters();
  // Waits for the writes under way: the connection takes one call at a time.
  void SettleWriters() noexcept;
  std::string QuoteIdentifier(std::string_view name) const;
};

// A writer's share of its connection's one transaction, kept across the writer's calls and its
// write-behind thread. Begin opens the transaction for this slot, committing another slot's
// first, so that a rollback here never drops rows another writer was told are written; on SQLite
// while a result set is being read, Begin leaves the connection in autocommit and the slot holds
// nothing. Commit and Rollback act only when the slot holds the transaction; dropping the slot
// rolls back what it holds and never throws.
class TransactionSlot {
 public:
  explicit TransactionSlot(ConnectionState& connection) : connection_(connection) {}
  ~TransactionSlot() { Rollback(); }
  TransactionSlot(const TransactionSlot&) = delete;
  TransactionSlot& operator=(const TransactionSlot&) = delete;

  void Begin();
  // A commit that fails rolls back, then raises.
  void Commit();
  void Rollback() noexcept;
  bool Held() const { return connection_.transaction_holder == this; }

 private:
  ConnectionState& connection_;
};

}  // namespace kelvan::data::internal
