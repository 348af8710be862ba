#include "vltsim/driver/statement.h"

#include <sqlext.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/basic/raised_error.h"
#include "vltsim/driver/connection.h"
#include "vltsim/driver/odbc_text.h"
#include "vltsim/driver/row_order.h"
#include "vltsim/driver/sql_escapes.h"

namespace kelvan::vltsim {
namespace {

constexpr const char* kSource = "vltodbc";

[[noreturn]] void Fail(const char* state, const std::string& message, int native = 0) {
  throw RaisedError(native, kSource, message, state);
}

[[noreturn]] void FailFromSqlite(sqlite3* db, int rc) {
  std::string message = sqlite3_errmsg(db);
  int native = sqlite3_extended_errcode(db);
  if (rc == SQLITE_ERROR && message.rfind("no such table", 0) == 0) Fail("42S02", message, native);
  Fail(rc == SQLITE_ERROR ? "42000" : "HY000", message, native);
}

std::string FirstWord(const std::string& sql) {
  size_t begin = sql.find_first_not_of(" \t\r\n(");
  if (begin == std::string::npos) return {};
  size_t end = begin;
  while (end < sql.size() && std::isalpha(static_cast<unsigned char>(sql[end]))) ++end;
  return sql.substr(begin, end - begin);
}

bool IsQuery(const std::string& sql, sqlite3_stmt* stmt) {
  std::string word = FirstWord(sql);
  bool select = strcasecmp(word.c_str(), "SELECT") == 0 || strcasecmp(word.c_str(), "WITH") == 0;
  return select && sqlite3_stmt_readonly(stmt) != 0 && sqlite3_column_count(stmt) > 0;
}

// True when `tail` (what follows the first statement) holds another statement.
bool HasSecondStatement(sqlite3* db, const char* tail) {
  sqlite3_stmt* next = nullptr;
  sqlite3_prepare_v2(db, tail, -1, &next, nullptr);
  bool found = next != nullptr;
  sqlite3_finalize(next);
  return found;
}

AttributeSet StatementAttributes() {
  return AttributeSet({{SQL_ATTR_QUERY_TIMEOUT, 0},
                       {SQL_ATTR_NOSCAN, SQL_NOSCAN_OFF},
                       {SQL_ATTR_ROW_ARRAY_SIZE, 1},
                       {SQL_ATTR_ROW_BIND_TYPE, SQL_BIND_BY_COLUMN},
                       {SQL_ATTR_ROW_BIND_OFFSET_PTR, 0},
                       {SQL_ATTR_ROW_STATUS_PTR, 0},
                       {SQL_ATTR_ROWS_FETCHED_PTR, 0}},
                      {{SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY},
                       {SQL_ATTR_CONCURRENCY, SQL_CONCUR_READ_ONLY},
                       {SQL_ATTR_MAX_ROWS, 0},
                       {SQL_ATTR_MAX_LENGTH, 0},
                       {SQL_ATTR_PARAMSET_SIZE, 1}});
}

// SQLite asks every this many virtual machine steps whether a long query should stop.
constexpr int kProgressSteps = 1000;

int StopWhenDue(void* interruption) {
  return static_cast<Interruption*>(interruption)->IsDue() ? 1 : 0;
}

// One execution or fetch that a cancel or the query timeout may end, inside SQLite too.
class WatchedCall {
 public:
  WatchedCall(sqlite3* db, Interruption& interruption, std::chrono::seconds timeout)
      : db_(db), call_(interruption, timeout) {
    sqlite3_progress_handler(db_, kProgressSteps, &StopWhenDue, &interruption);
  }
  // The statement may be gone when the connection's next statement runs.
  ~WatchedCall() { sqlite3_progress_handler(db_, 0, nullptr, nullptr); }
  WatchedCall(const WatchedCall&) = delete;
  WatchedCall& operator=(const WatchedCall&) = delete;

 private:
  sqlite3* db_;
  InterruptibleCall call_;
};

// `bytes` in units of `unit` bytes (1 for UTF-8, 2 for UTF-16), from `offset` on.
ValueTransfer TransferText(std::string_view bytes, size_t unit, SQLPOINTER target,
                           SQLLEN buffer_length, SQLLEN* indicator, size_t offset) {
  if (buffer_length < 0) Fail("HY090", "Invalid string or buffer length");
  const std::string_view rest = bytes.substr(std::min(offset, bytes.size()));
  if (indicator != nullptr) *indicator = static_cast<SQLLEN>(rest.size());
  // A null buffer asks for the length alone: nothing is consumed.
  if (target == nullptr) return {nullptr, 0, false};
  const size_t written = CopyTerminated(rest, unit, target, buffer_length);
  const bool complete = written == rest.size() && buffer_length >= static_cast<SQLLEN>(unit);
  return {complete ? nullptr : "01004", static_cast<std::uint32_t>(written), complete};
}

ValueTransfer TransferNull(SQLLEN* indicator) {
  if (indicator == nullptr) Fail("22002", "Indicator variable required but not supplied");
  *indicator = SQL_NULL_DATA;
  return {};
}

// Out of line, so that SQLGetData, which inlines the narrow and fixed paths the loader takes,
// stays small: each call more or register saved costs a measurable share of reading a row.
[[gnu::noinline]] ValueTransfer TransferWide(std::string_view utf8, SQLPOINTER target,
                                             SQLLEN buffer_length, SQLLEN* indicator,
                                             size_t offset) {
  const std::u16string utf16 = Utf16FromUtf8(utf8);
  const std::string_view bytes(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2);
  return TransferText(bytes, 2, target, buffer_length, indicator, offset);
}

[[gnu::always_inline]] inline ValueTransfer TransferFixed(const SourceValue& value,
                                                          SQLSMALLINT c_type, SQLPOINTER target,
                                                          SQLLEN* indicator) {
  if (!IsFixedCType(c_type)) Fail("HY003", "Program type out of range");
  if (target == nullptr) Fail("HY009", "Invalid use of null pointer");
  const FixedResult result = ConvertFixed(value, c_type, target);
  if (indicator != nullptr) *indicator = result.length;
  return {result.fraction_dropped ? "01S07" : nullptr, 0, true};
}

bool IsTextCType(SQLSMALLINT c_type) { return c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR; }

// Writes `value` as `c_type`, text from byte `offset` of it on.
[[gnu::always_inline]] inline ValueTransfer WriteValue(const SourceValue& value, SQLSMALLINT c_type,
                                                       SQLPOINTER target, SQLLEN buffer_length,
                                                       SQLLEN* indicator, size_t offset) {
  if (value.storage == SQLITE_NULL) return TransferNull(indicator);
  if (c_type == SQL_C_CHAR) {
    return TransferText(value.text, 1, target, buffer_length, indicator, offset);
  }
  if (c_type == SQL_C_WCHAR) {
    return TransferWide(value.text, target, buffer_length, indicator, offset);
  }
  return TransferFixed(value, c_type, target, indicator);
}

}  // namespace

Statement::Statement(Connection& connection)
    : Handle(HandleKind::kStatement), connection_(connection), attributes_(StatementAttributes()) {}

Statement::~Statement() { Finalize(); }

std::mutex& Statement::Lock() { return connection_.Lock(); }

void Statement::Finalize() {
  sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  columns_.clear();
  fixed_types_.clear();
  cursor_ = Cursor::kClosed;
}

void Statement::Prepare(const std::string& sql) {
  connection_.CheckLink();
  Compile(TranslateEscapes(sql));
  if (connection_.ScramblesRowOrder()) ScrambleRowOrder();
  DescribeColumns(false);
}

void Statement::Compile(const std::string& text) {
  Finalize();
  sqlite3* db = connection_.Db();
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v2(db, text.c_str(), -1, &stmt_, &tail);
  if (rc != SQLITE_OK) FailFromSqlite(db, rc);
  if (stmt_ == nullptr || !IsQuery(text, stmt_) || HasSecondStatement(db, tail)) {
    Finalize();
    Fail("42000", "The server is read-only: only a single SELECT statement is accepted");
  }
}

// A query that cannot stand as a subquery keeps its natural order.
void Statement::ScrambleRowOrder() {
  const auto scrambled = ScrambledQuery(sqlite3_sql(stmt_));
  if (!scrambled) return;
  sqlite3_stmt* reordered = nullptr;
  if (sqlite3_prepare_v2(connection_.Db(), scrambled->c_str(), -1, &reordered, nullptr) !=
      SQLITE_OK) {
    sqlite3_finalize(reordered);
    return;
  }
  sqlite3_finalize(stmt_);
  stmt_ = reordered;
}

void Statement::Execute() {
  WatchedCall call(connection_.Db(), interruption_, QueryTimeout());
  connection_.BeginExecution();
  if (stmt_ == nullptr) Fail("HY010", "Function sequence error");
  BindParameterValues(stmt_, parameters_);
  Run();
}

void Statement::ExecDirect(const std::string& sql) {
  WatchedCall call(connection_.Db(), interruption_, QueryTimeout());
  connection_.BeginExecution();
  Prepare(sql);
  BindParameterValues(stmt_, parameters_);
  Run();
}

// Not an execution for fault injection: the faults stand for the server's queries.
void Statement::ExecCatalog(const CatalogQuery& query) {
  WatchedCall call(connection_.Db(), interruption_, QueryTimeout());
  connection_.CheckLink();
  Compile(query.sql);
  for (size_t i = 0; i < query.parameters.size(); ++i) {
    const CatalogArgument& value = query.parameters[i];
    const int index = static_cast<int>(i + 1);
    if (value) {
      sqlite3_bind_text(stmt_, index, value->data(), static_cast<int>(value->size()),
                        SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_null(stmt_, index);
    }
  }
  fixed_types_ = query.types;
  Run();
}

void Statement::Run() {
  sqlite3_reset(stmt_);
  cursor_ = Cursor::kClosed;
  rows_fetched_ = 0;
  HangWhenDue(HangAt::kExec);
  bool has_row = Step();
  DescribeColumns(has_row);
  cursor_ = has_row ? Cursor::kFirstRowAhead : Cursor::kNoRowAhead;
}

std::chrono::seconds Statement::QueryTimeout() const {
  return std::chrono::seconds(attributes_.Get(SQL_ATTR_QUERY_TIMEOUT));
}

// The hang the connection was told to play: only a cancel or the query timeout ends it.
void Statement::HangWhenDue(HangAt point) {
  const ConnectSettings& settings = connection_.Settings();
  if (settings.hang_at != point) return;
  if (point == HangAt::kFetch && rows_fetched_ != settings.hang_after_rows) return;
  interruption_.WaitUntilDue();
}

void Statement::Cancel() {
  if (!connection_.Settings().ignore_cancel) interruption_.Cancel();
}

void Statement::Close() {
  if (stmt_ != nullptr) sqlite3_reset(stmt_);
  cursor_ = Cursor::kClosed;
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  if (rc == SQLITE_INTERRUPT) interruption_.ThrowIfDue();
  FailFromSqlite(connection_.Db(), rc);
}

// Computed columns have no declared type; they are typed from the first row when there is
// one (see TypeFromValue), so a max() of timestamps reads back as a timestamp.
void Statement::DescribeColumns(bool row_available) {
  int count = sqlite3_column_count(stmt_);
  columns_.assign(static_cast<size_t>(count), {});
  for (int i = 0; i < count; ++i) {
    ColumnInfo& column = columns_[static_cast<size_t>(i)];
    column.name = sqlite3_column_name(stmt_, i);
    const char* declared = sqlite3_column_decltype(stmt_, i);
    if (static_cast<size_t>(i) < fixed_types_.size()) {
      column.type = fixed_types_[static_cast<size_t>(i)];
    } else if (declared != nullptr && *declared != '\0') {
      column.type = TypeFromDeclared(declared);
    } else if (row_available) {
      int storage = sqlite3_column_type(stmt_, i);
      const char* text = storage == SQLITE_TEXT
                             ? reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i))
                             : "";
      column.type = TypeFromValue(storage, sqlite3_column_int64(stmt_, i), text);
    }
  }
}

const ColumnInfo& Statement::Column(SQLUSMALLINT number) const {
  if (number < 1 || number > columns_.size()) Fail("07009", "Invalid descriptor index");
  return columns_[number - 1];
}

SQLSMALLINT Statement::ReportedType(const ColumnInfo& column) const {
  return TypeForVersion(column.type.sql_type, connection_.Env().OdbcVersion());
}

SQLRETURN Statement::SetAttribute(SQLINTEGER attribute, SQLULEN value) {
  SQLRETURN rc = attributes_.Set(attribute, value, Diag());
  rowset_.size = std::max<SQLULEN>(attributes_.Get(SQL_ATTR_ROW_ARRAY_SIZE), 1);
  rowset_.bind_type = attributes_.Get(SQL_ATTR_ROW_BIND_TYPE);
  rowset_.bind_offset =
      reinterpret_cast<const SQLLEN*>(attributes_.Get(SQL_ATTR_ROW_BIND_OFFSET_PTR));
  rowset_.statuses = reinterpret_cast<SQLUSMALLINT*>(attributes_.Get(SQL_ATTR_ROW_STATUS_PTR));
  rowset_.fetched = reinterpret_cast<SQLULEN*>(attributes_.Get(SQL_ATTR_ROWS_FETCHED_PTR));
  return rc;
}

int Statement::OdbcVersion() const { return connection_.Env().OdbcVersion(); }

void Statement::BindColumn(SQLUSMALLINT number, const ColumnBinding& binding) {
  if (number < 1) Fail("07009", "Invalid descriptor index");
  if (binding.buffer_length < 0) Fail("HY090", "Invalid string or buffer length");
  if (binding.target == nullptr) {
    bindings_.erase(number);
    return;
  }
  bool known = binding.c_type == SQL_C_DEFAULT || binding.c_type == SQL_C_CHAR ||
               binding.c_type == SQL_C_WCHAR || IsFixedCType(binding.c_type);
  if (!known) Fail("HY003", "Program type out of range");
  bindings_[number] = binding;
}

void Statement::BindParameter(SQLUSMALLINT number, const ParameterBinding& binding) {
  if (number < 1) Fail("07009", "Invalid descriptor index");
  parameters_[number] = binding;
}

int Statement::ParameterCount() const {
  if (stmt_ == nullptr) Fail("HY010", "Function sequence error");
  return sqlite3_bind_parameter_count(stmt_);
}

SQLRETURN Statement::Fetch() {
  WatchedCall call(connection_.Db(), interruption_, QueryTimeout());
  connection_.CheckLink();
  if (cursor_ == Cursor::kClosed) Fail("24000", "Invalid cursor state");
  const SQLULEN rowset = rowset_.size;
  SQLUSMALLINT* statuses = rowset_.statuses;
  const int records_before = Diag().Count();
  SQLULEN fetched = 0;
  for (; fetched < rowset && NextRow(); ++fetched) {
    SQLUSMALLINT status = SQL_ROW_SUCCESS;
    try {
      WriteBoundRow(fetched);
    } catch (const RaisedError& e) {
      // One bad value fails the call alone; in a block, only its row.
      if (rowset == 1) throw;
      Diag().Add(e.SqlState(), e.Description(), e.Number());
      status = SQL_ROW_ERROR;
    }
    if (statuses != nullptr) statuses[fetched] = status;
  }
  if (rowset_.fetched != nullptr) *rowset_.fetched = fetched;
  for (SQLULEN row = fetched; statuses != nullptr && row < rowset; ++row) {
    statuses[row] = SQL_ROW_NOROW;
  }
  if (fetched == 0) return SQL_NO_DATA;
  return Diag().Count() > records_before ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

// Moves to the next row: false at the end.
bool Statement::NextRow() {
  if (cursor_ != Cursor::kAtEnd) HangWhenDue(HangAt::kFetch);
  switch (cursor_) {
    case Cursor::kClosed:
    case Cursor::kAtEnd:
      return false;
    case Cursor::kNoRowAhead:
      cursor_ = Cursor::kAtEnd;
      return false;
    case Cursor::kFirstRowAhead:
      BreakLinkWhenDue();
      cursor_ = Cursor::kOnRow;
      break;
    case Cursor::kOnRow:
      BreakLinkWhenDue();
      if (!Step()) {
        cursor_ = Cursor::kAtEnd;
        return false;
      }
      break;
  }
  HoldWhenDue();
  const int delay_ms = connection_.Settings().fetch_delay_ms;
  if (delay_ms > 0) interruption_.Sleep(std::chrono::milliseconds(delay_ms));
  ++rows_fetched_;
  data_column_ = 0;
  return true;
}

void Statement::WriteBoundRow(SQLULEN row) {
  for (const auto& [number, binding] : bindings_) {
    const ColumnInfo& column = Column(number);
    SQLSMALLINT c_type = binding.c_type == SQL_C_DEFAULT ? DefaultCType(column) : binding.c_type;
    const SQLLEN size = IsFixedCType(c_type) ? FixedCTypeSize(c_type) : binding.buffer_length;
    auto* indicator = static_cast<SQLLEN*>(RowAddress(binding.indicator, row, sizeof(SQLLEN)));
    const SourceValue value = CurrentValue(number - 1, IsTextCType(c_type));
    const ValueTransfer transfer = WriteValue(value, c_type, RowAddress(binding.target, row, size),
                                              binding.buffer_length, indicator, 0);
    Warn(transfer.warning);
  }
}

// Column-wise, each column's values lie one after another; row-wise, every row is one
// structure of SQL_ATTR_ROW_BIND_TYPE bytes. The bind offset moves every address alike.
SQLPOINTER Statement::RowAddress(SQLPOINTER base, SQLULEN row, SQLLEN element_size) const {
  if (base == nullptr) return nullptr;
  const SQLULEN stride = rowset_.bind_type == SQL_BIND_BY_COLUMN
                             ? static_cast<SQLULEN>(element_size)
                             : rowset_.bind_type;
  const SQLLEN offset = rowset_.bind_offset != nullptr ? *rowset_.bind_offset : 0;
  return static_cast<char*>(base) + offset + row * stride;
}

// Holds this fetch until the test releases it; a released hold (the file exists) holds no more.
void Statement::HoldWhenDue() {
  const ConnectSettings& settings = connection_.Settings();
  if (!settings.hold_after_rows || rows_fetched_ != *settings.hold_after_rows ||
      settings.hold_file.empty()) {
    return;
  }
  const std::filesystem::path release(settings.hold_file);
  if (std::filesystem::exists(release)) return;
  std::ofstream(settings.hold_file + ".held") << rows_fetched_;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (!std::filesystem::exists(release) && std::chrono::steady_clock::now() < give_up) {
    interruption_.Sleep(std::chrono::milliseconds(20));
  }
}

// A link lost after the configured rows fails this fetch, whether more rows would have come
// or not, and every later call on the connection.
void Statement::BreakLinkWhenDue() {
  const std::optional<int>& limit = connection_.Settings().fail_fetch_after;
  if (!limit || rows_fetched_ < *limit) return;
  connection_.BreakLink();
  Fail("08S01",
       "Communication link failure (injected after " + std::to_string(rows_fetched_) + " rows)");
}

SourceValue Statement::CurrentValue(int index, bool as_text) const {
  SourceValue value;
  value.storage = sqlite3_column_type(stmt_, index);
  if (value.storage == SQLITE_INTEGER) value.integer = sqlite3_column_int64(stmt_, index);
  if (value.storage == SQLITE_FLOAT) value.real = sqlite3_column_double(stmt_, index);
  // A number is turned into text only when text is asked for: that conversion costs more than
  // the rest of the call.
  bool stored_as_text = value.storage == SQLITE_TEXT || value.storage == SQLITE_BLOB;
  if (!as_text && !stored_as_text) return value;
  const unsigned char* text = sqlite3_column_text(stmt_, index);
  int bytes = sqlite3_column_bytes(stmt_, index);
  if (text != nullptr) value.text = std::string_view(reinterpret_cast<const char*>(text), bytes);
  return value;
}

SQLSMALLINT Statement::DefaultCType(const ColumnInfo& column) const {
  switch (column.type.sql_type) {
    case SQL_INTEGER:
      return SQL_C_SLONG;
    case SQL_SMALLINT:
      return SQL_C_SSHORT;
    case SQL_BIGINT:
      return SQL_C_SBIGINT;
    case SQL_REAL:
      return SQL_C_FLOAT;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return SQL_C_DOUBLE;
    case SQL_TYPE_TIMESTAMP:
      return ReportedType(column) == SQL_TIMESTAMP ? SQL_C_TIMESTAMP : SQL_C_TYPE_TIMESTAMP;
    case SQL_TYPE_DATE:
      return ReportedType(column) == SQL_DATE ? SQL_C_DATE : SQL_C_TYPE_DATE;
    case SQL_TYPE_TIME:
      return ReportedType(column) == SQL_TIME ? SQL_C_TIME : SQL_C_TYPE_TIME;
    default:
      return SQL_C_CHAR;
  }
}

SQLRETURN Statement::GetData(SQLUSMALLINT number, SQLSMALLINT c_type, SQLPOINTER target,
                             SQLLEN buffer_length, SQLLEN* indicator) {
  connection_.CheckLink();
  if (cursor_ != Cursor::kOnRow) Fail("24000", "Invalid cursor state");
  if (rowset_.size > 1) Fail("HY109", "Invalid cursor position");
  const ColumnInfo& column = Column(number);
  if (number != data_column_) {
    data_column_ = number;
    data_offset_ = 0;
    data_done_ = false;
  }
  if (data_done_) return SQL_NO_DATA;
  if (c_type == SQL_C_DEFAULT) c_type = DefaultCType(column);
  const SourceValue value = CurrentValue(number - 1, IsTextCType(c_type));
  const ValueTransfer transfer =
      WriteValue(value, c_type, target, buffer_length, indicator, data_offset_);
  data_offset_ += transfer.consumed;
  data_done_ = transfer.complete;
  return Warn(transfer.warning);
}

SQLRETURN Statement::AddWarning(const char* state) {
  Diag().Add(state, std::strcmp(state, "01004") == 0 ? "String data, right truncated"
                                                     : "Fractional truncation");
  return SQL_SUCCESS_WITH_INFO;
}

}  // namespace kelvan::vltsim
