#include "platform/data/result_set.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "platform/data/internal.h"
#include "platform/data/select_target.h"

namespace kelvan::data {
namespace internal {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

Value ReadValue(const odbc::StatementHandle& stmt, int column, std::int16_t driver_type) {
  auto* observer = ErrorListObserver();
  auto or_null = [](auto value) { return value ? Value(*value) : Value(); };
  switch (driver_type) {
    case 4:
      return or_null(odbc::GetLong(stmt, column, observer));
    case 5:
      return or_null(odbc::GetShort(stmt, column, observer));
    case 7:
      return or_null(odbc::GetFloat(stmt, column, observer));
    case 6:
    case 8:
      return or_null(odbc::GetDouble(stmt, column, observer));
    default:  // dates and times too: as text, so no driver has to convert what it stored
      return or_null(odbc::GetText(stmt, column, observer));
  }
}

}  // namespace

struct CursorState {
  std::shared_ptr<ConnectionState> connection;
  odbc::StatementHandle stmt;
  LockType lock = LockType::kReadOnly;
  std::optional<SelectTarget> target;  // nothing when rows cannot be deleted or added
  std::vector<ColumnInfo> infos;
  std::vector<Column> columns;
  bool closed = false;
  bool at_end = false;
  bool all_deleted = false;       // Delete has removed every selected row
  std::int64_t deleted_rows = 0;  // how many that was
  std::int64_t visited = 0;
  std::vector<Value> row;                              // the current row
  std::vector<std::optional<RaisedError>> row_errors;  // columns that could not be read
  bool adding = false;
  std::vector<std::optional<Value>> new_row;
  std::unique_ptr<RowWriter> writer;

  bool reading = false;  // counted in the connection's reading cursors

  void Describe();
  void FetchRow();
  void StartReading();
  void StopReading() noexcept;
  void RequireUpdatable(const char* action) const;
  void DeleteAll();
  void Release() noexcept;

  const Value& ValueOf(size_t index) const;
  void SetValueOf(size_t index, Value value);
};

void CursorState::Describe() {
  auto* observer = ErrorListObserver();
  int count = odbc::NumResultCols(stmt, observer);
  for (int i = 1; i <= count; ++i) {
    odbc::ColumnDescription d = odbc::DescribeCol(stmt, i, observer);
    infos.push_back({d.name, d.sql_type, ReportedType(d.sql_type), d.size, d.digits, d.type_name});
  }
  columns.reserve(infos.size());
  for (size_t i = 0; i < infos.size(); ++i) {
    auto size = static_cast<std::int32_t>(
        std::min<std::uint64_t>(infos[i].size, std::numeric_limits<std::int32_t>::max()));
    columns.push_back(Column(this, i, infos[i].name, infos[i].reported_type, size));
  }
}

void CursorState::FetchRow() {
  connection->SettleWriters();
  if (infos.empty() || !odbc::Fetch(stmt, ErrorListObserver())) {
    at_end = true;
    StopReading();
    odbc::CloseCursor(stmt);
    return;
  }
  ++visited;
  row.assign(infos.size(), Value());
  row_errors.assign(infos.size(), std::nullopt);
  for (size_t i = 0; i < infos.size(); ++i) {
    // A column that cannot be read fails only when it is asked for.
    try {
      row[i] = ReadValue(stmt, static_cast<int>(i + 1), infos[i].driver_type);
    } catch (const RaisedError& e) {
      row_errors[i] = e;
    }
  }
}

void CursorState::RequireUpdatable(const char* action) const {
  if (lock == LockType::kReadOnly) {
    RaiseLayerError(kErrNotUpdatable,
                    std::string("Cannot ") + action + " in a read-only result set");
  }
  if (!target) {
    RaiseLayerError(kErrNotUpdatable, std::string("Cannot ") + action +
                                          ": the result set is not over a single table");
  }
}

void CursorState::DeleteAll() {
  if (visited != 1) {
    RaiseLayerError(kErrNotUpdatable,
                    "Rows of this result set can only be deleted all together, from its first row");
  }
  connection->FlushWriters();
  odbc::CloseCursor(stmt);
  std::string sql = "DELETE FROM " + target->table;
  if (!target->condition.empty()) sql += " WHERE " + target->condition;
  odbc::StatementHandle deleter = connection->NewStatement();
  auto* observer = ErrorListObserver();
  deleted_rows = odbc::ExecDirect(deleter, sql, observer) ? odbc::RowCount(deleter, observer) : 0;
  all_deleted = true;
}

void CursorState::StartReading() {
  if (lock != LockType::kReadOnly || at_end) return;
  reading = true;
  ++connection->reading_cursors;
}

void CursorState::StopReading() noexcept {
  if (!reading) return;
  reading = false;
  --connection->reading_cursors;
}

void CursorState::Release() noexcept {
  connection->SettleWriters();
  StopReading();
  closed = true;
  adding = false;
  stmt.Free();
}

const Value& CursorState::ValueOf(size_t index) const {
  static const Value kNull;
  if (adding) return new_row[index] ? *new_row[index] : kNull;
  if (closed || at_end || all_deleted) RaiseLayerError(kErrNoCurrentRow, "There is no current row");
  if (row_errors[index]) throw *row_errors[index];
  return row[index];
}

void CursorState::SetValueOf(size_t index, Value value) {
  if (!adding) {
    RaiseLayerError(kErrNotUpdatable, "Values can only be set on a row being added (AddNew)");
  }
  new_row[index] = std::move(value);
}

}  // namespace internal

const Value& Column::GetValue() const { return cursor_->ValueOf(index_); }

void Column::SetValue(Value value) { cursor_->SetValueOf(index_, std::move(value)); }

ResultSet::ResultSet(std::shared_ptr<internal::ConnectionState> connection, std::string_view sql,
                     CursorType, LockType lock, Execution)
    : state_(std::make_unique<internal::CursorState>()) {
  internal::CursorState& s = *state_;
  s.connection = std::move(connection);
  s.lock = lock;
  s.target = ParseSimpleSelect(sql);
  s.stmt = s.connection->NewStatement();
  odbc::ExecDirect(s.stmt, sql, internal::ErrorListObserver());
  s.Describe();
  s.FetchRow();
  s.StartReading();
}

ResultSet::ResultSet(ResultSet&&) noexcept = default;

ResultSet& ResultSet::operator=(ResultSet&& other) noexcept {
  if (this != &other) {
    try {
      if (state_) Close();
    } catch (const RaisedError&) {
      // Already in the thread's error list; a move cannot raise.
    }
    state_ = std::move(other.state_);
  }
  return *this;
}

ResultSet::~ResultSet() {
  try {
    if (state_) Close();
  } catch (const RaisedError&) {
    // Already in the thread's error list; a destructor cannot raise.
  }
}

internal::CursorState& ResultSet::State() const {
  if (!state_ || state_->closed) {
    internal::RaiseLayerError(kErrNoCurrentRow, "The result set is closed");
  }
  return *state_;
}

bool ResultSet::EndOfData() const { return !state_ || state_->closed || state_->at_end; }

void ResultSet::MoveNext() {
  internal::CursorState& s = State();
  s.adding = false;  // moving away abandons a row being added, as it does a current row
  if (s.at_end) internal::RaiseLayerError(kErrNoCurrentRow, "There is no current row");
  if (!s.all_deleted) {
    s.FetchRow();
  } else if (s.visited < s.deleted_rows) {
    ++s.visited;
  } else {
    s.at_end = true;
  }
}

std::int64_t ResultSet::RowCount() const { return State().visited; }

int ResultSet::ColumnCount() const { return static_cast<int>(State().columns.size()); }

Column& ResultSet::ColumnAt(int index) {
  internal::CursorState& s = State();
  if (index < 0 || index >= static_cast<int>(s.columns.size())) {
    throw RaisedError(kErrItemNotFound, internal::kSource,
                      "No column number " + std::to_string(index));
  }
  return s.columns[static_cast<size_t>(index)];
}

Column* ResultSet::FindColumn(std::string_view name) {
  for (Column& column : State().columns) {
    if (internal::SameName(column.Name(), name)) return &column;
  }
  return nullptr;
}

Column& ResultSet::ColumnNamed(std::string_view name) {
  Column* column = FindColumn(name);
  if (column == nullptr) {
    throw RaisedError(kErrItemNotFound, internal::kSource,
                      "Column not found: " + std::string(name));
  }
  return *column;
}

void ResultSet::Delete() {
  internal::CursorState& s = State();
  s.RequireUpdatable("delete");
  s.adding = false;
  if (s.at_end) internal::RaiseLayerError(kErrNoCurrentRow, "There is no current row");
  if (!s.all_deleted) s.DeleteAll();  // a later row of a deleted result set is already gone
}

void ResultSet::AddNew() {
  internal::CursorState& s = State();
  s.RequireUpdatable("add rows");
  if (!s.writer) s.writer = internal::MakeBatchInsertWriter(s.connection, s.target->table, s.infos);
  s.new_row.assign(s.infos.size(), std::nullopt);
  s.adding = true;
}

void ResultSet::Update() {
  internal::CursorState& s = State();
  if (!s.adding) internal::RaiseLayerError(kErrNotUpdatable, "Update without AddNew");
  s.adding = false;
  s.writer->Add(s.new_row);
}

std::vector<RejectedRow> ResultSet::AddRows(std::vector<NewRow>& rows) {
  internal::CursorState& s = State();
  s.RequireUpdatable("add rows");
  s.adding = false;
  for (const NewRow& row : rows) {
    if (row.size() != s.infos.size()) {
      internal::RaiseLayerError(kErrNotUpdatable, "A row to add has not one entry per column");
    }
  }
  if (!s.writer) s.writer = internal::MakeBatchInsertWriter(s.connection, s.target->table, s.infos);
  return s.writer->AddAll(rows);
}

void ResultSet::Close() {
  if (!state_ || state_->closed) return;
  internal::CursorState& s = *state_;
  s.Release();
  std::unique_ptr<internal::RowWriter> writer = std::move(s.writer);
  if (writer) writer->Flush();
}

}  // namespace kelvan::data
