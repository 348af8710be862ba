// Rows added through a result set, written with multi-row parameterised INSERT statements (or,
// where the database takes them, column arrays). The values of a statement's rows sit in
// parameter buffers that stay bound from one execution to the next, so a row costs copies into
// those buffers and no SQL text, binding or allocation; a full statement executes on a thread of
// its own while the caller fills the next. A column that is NULL when left out is written in
// every row, NULL where unset, so that rows setting different columns still share statements.
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <memory>
#include <utility>

#include "platform/data/internal.h"
#include "platform/data/write_behind.h"

namespace kelvan::data::internal {
namespace {

// A transaction holds one statement, then twice as many as the one before, up to this many: a
// short load is committed at once, a long one pays for a commit every few thousand rows.
constexpr size_t kMaxStatementsPerTransaction = 64;

// The buffer of one parameter marker; what it was last bound with tells when to bind it again.
struct Marker {
  odbc::CType c_type = odbc::CType::kChar;
  std::int16_t i16 = 0;
  std::int32_t i32 = 0;
  float f = 0;
  double d = 0;
  std::string text;
  odbc::Length indicator = odbc::kNullData;

  // The buffer and its type stay as they are, so that no binding changes.
  void SetNull() { indicator = odbc::kNullData; }

  void Set(const Value& value) {
    indicator = 0;
    switch (value.kind()) {
      case Value::Kind::kNull:
        SetNull();
        break;
      case Value::Kind::kInt16:
        c_type = odbc::CType::kShort;
        i16 = static_cast<std::int16_t>(value.ToInt32());
        break;
      case Value::Kind::kInt32:
        c_type = odbc::CType::kLong;
        i32 = value.ToInt32();
        break;
      case Value::Kind::kFloat:
        c_type = odbc::CType::kFloat;
        f = static_cast<float>(value.ToDouble());
        break;
      case Value::Kind::kDouble:
        c_type = odbc::CType::kDouble;
        d = value.ToDouble();
        break;
      case Value::Kind::kText:
        c_type = odbc::CType::kChar;
        text.assign(value.Text());  // reuses the capacity of earlier rows
        indicator = static_cast<odbc::Length>(text.size());
        break;
    }
  }

  void* Buffer() {
    switch (c_type) {
      case odbc::CType::kShort:
        return &i16;
      case odbc::CType::kLong:
        return &i32;
      case odbc::CType::kFloat:
        return &f;
      case odbc::CType::kDouble:
        return &d;
      case odbc::CType::kChar:
        break;
    }
    return text.data();
  }
};

// How a marker was bound: a change of type, of text buffer or a text longer than the size bound
// needs binding again.
struct Binding {
  odbc::CType c_type = odbc::CType::kChar;
  const void* buffer = nullptr;
  std::uint64_t size = 0;

  bool Fits(Marker& marker) const {
    if (buffer == nullptr || marker.c_type != c_type) return false;
    return c_type != odbc::CType::kChar ||
           (marker.Buffer() == buffer && marker.text.size() <= size);
  }
};

// Date and time parameters are bound with their ODBC 2 codes, as the environment is ODBC 2.
std::int16_t BindType(std::int16_t driver_type) {
  return driver_type >= 91 && driver_type <= 93 ? static_cast<std::int16_t>(driver_type - 82)
                                                : driver_type;
}

// A prepared INSERT of rows held in the writer's markers, row after row; `columns[i]` describes
// the markers i, i + columns.size(), ...
class InsertStatement {
 public:
  virtual ~InsertStatement() = default;
  virtual void Execute(std::vector<Marker>& markers, size_t rows,
                       const std::vector<const ColumnInfo*>& columns) = 0;
};

// INSERT ... VALUES (?, ...), (?, ...) of a fixed number of rows, a marker per value.
class MultiRowInsert : public InsertStatement {
 public:
  MultiRowInsert(ConnectionState& connection, const std::string& sql, size_t markers)
      : stmt_(connection.NewStatement()), bindings_(markers) {
    odbc::Prepare(stmt_, sql, ErrorListObserver());
  }

  void Execute(std::vector<Marker>& markers, size_t,
               const std::vector<const ColumnInfo*>& columns) override {
    for (size_t i = 0; i < bindings_.size(); ++i) {
      if (!bindings_[i].Fits(markers[i])) Bind(i, markers[i], *columns[i % columns.size()]);
    }
    odbc::Execute(stmt_, ErrorListObserver());
  }

 private:
  void Bind(size_t i, Marker& marker, const ColumnInfo& column) {
    std::uint64_t size = std::max<std::uint64_t>(column.size, 1);
    if (marker.c_type == odbc::CType::kChar) {
      size = std::max<std::uint64_t>(size, marker.text.size());
      // Room for the column's whole size, so that later rows reuse this buffer.
      marker.text.reserve(std::min<std::uint64_t>(size, 4096));
    }
    odbc::InputParameter parameter{marker.c_type,
                                   BindType(column.driver_type),
                                   size,
                                   column.digits,
                                   marker.Buffer(),
                                   static_cast<odbc::Length>(marker.text.capacity()),
                                   &marker.indicator};
    bindings_[i] = {};  // a failed bind leaves the marker to be bound again
    odbc::BindInput(stmt_, static_cast<int>(i + 1), parameter, ErrorListObserver());
    bindings_[i] = {marker.c_type, marker.Buffer(), size};
  }

  odbc::StatementHandle stmt_;
  std::vector<Binding> bindings_;
};

// An element of an array literal: numbers as they are, texts quoted with '"' and '\' escaped.
void AppendArrayElement(std::string& array, const Marker& marker) {
  if (marker.indicator == odbc::kNullData) {
    array += "NULL";
    return;
  }
  char digits[64];
  std::to_chars_result end{digits, {}};
  switch (marker.c_type) {
    case odbc::CType::kShort:
      end = std::to_chars(digits, digits + sizeof digits, marker.i16);
      break;
    case odbc::CType::kLong:
      end = std::to_chars(digits, digits + sizeof digits, marker.i32);
      break;
    case odbc::CType::kFloat:
      end = std::to_chars(digits, digits + sizeof digits, marker.f);
      break;
    case odbc::CType::kDouble:
      end = std::to_chars(digits, digits + sizeof digits, marker.d);
      break;
    case odbc::CType::kChar:
      array += '"';
      for (char c : marker.text) {
        if (c == '"' || c == '\\') array += '\\';
        array += c;
      }
      array += '"';
      return;
  }
  array.append(digits, end.ptr);
}

// INSERT ... SELECT unnest(?::type[]), ...: a text parameter per column carrying that
// column's values of every row as an array literal. Serves any row count.
class ColumnArrayInsert : public InsertStatement {
 public:
  ColumnArrayInsert(ConnectionState& connection, const std::string& sql, size_t columns)
      : stmt_(connection.NewStatement()), arrays_(columns), indicators_(columns) {
    odbc::Prepare(stmt_, sql, ErrorListObserver());
  }

  void Execute(std::vector<Marker>& markers, size_t rows,
               const std::vector<const ColumnInfo*>&) override {
    const size_t columns = arrays_.size();
    for (size_t c = 0; c < columns; ++c) {
      std::string& array = arrays_[c];
      array.assign(1, '{');
      for (size_t r = 0; r < rows; ++r) {
        if (r > 0) array += ',';
        AppendArrayElement(array, markers[r * columns + c]);
      }
      array += '}';
      indicators_[c] = static_cast<odbc::Length>(array.size());
      // Bound afresh each time: the texts move as they grow, and a bind per column is cheap.
      odbc::InputParameter parameter{odbc::CType::kChar, SQL_LONGVARCHAR,    array.size(),   0,
                                     array.data(),       indicators_[c] + 1, &indicators_[c]};
      odbc::BindInput(stmt_, static_cast<int>(c + 1), parameter, ErrorListObserver());
    }
    odbc::Execute(stmt_, ErrorListObserver());
  }

 private:
  odbc::StatementHandle stmt_;
  std::vector<std::string> arrays_;
  std::vector<odbc::Length> indicators_;
};

// A type name that can follow "::" in a cast as it stands.
bool IsPlainTypeName(const std::string& name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ' ';
  });
}

// The markers of a statement's worth of rows and the statements bound to them.
struct Batch {
  std::vector<Marker> markers;  // rows_per_statement_ rows of masked_.size() markers
  std::map<size_t, std::unique_ptr<InsertStatement>> statements;  // by row count
};

// Rows are filled into one batch while the other is written behind; a failure of that write is
// raised by the next call that hands a batch over or flushes.
class BatchInsertWriter : public RowWriter {
 public:
  BatchInsertWriter(std::shared_ptr<ConnectionState> connection, std::string table,
                    std::vector<ColumnInfo> columns)
      : connection_(std::move(connection)),
        table_(std::move(table)),
        columns_(std::move(columns)),
        transaction_(*connection_) {
    connection_->SettleWriters();  // the catalog is read through the connection
    filled_when_left_out_ = ColumnsFilledWhenLeftOut(*connection_, table_, columns_);
    connection_->writers.push_back(this);
  }

  ~BatchInsertWriter() override {
    // Rows not flushed are dropped, as held rows always are (the slot rolls them back); the
    // result set flushes on Close.
    write_behind_.Settle();
    std::erase(connection_->writers, this);
  }

  void Add(std::vector<std::optional<Value>>& row) override {
    std::vector<bool>& mask = MaskOf(row);
    // One statement names one set of columns, so rows that leave another set of the filled
    // columns out start a statement of their own.
    if (mask != layout_mask_) {
      if (filled_ > 0) HandOver();
      write_behind_.Wait();
      Layout();
    }
    Marker* marker = &batches_[front_].markers[filled_ * masked_.size()];
    for (size_t i = 0; i < row.size(); ++i) {
      if (!mask[i]) continue;
      if (row[i]) {
        marker->Set(*row[i]);
      } else {
        marker->SetNull();
      }
      ++marker;
    }
    if (++filled_ == rows_per_statement_) HandOver();
  }

  void Flush() override {
    connection_->SettleWriters();
    write_behind_.Wait();
    // The last rows are few: written here, not worth a hand-over.
    if (filled_ > 0) Write(batches_[front_], std::exchange(filled_, 0));
    Commit();
  }

  std::vector<RejectedRow> AddAll(std::vector<NewRow>& rows) override {
    Flush();
    size_t stored = 0;  // rows committed before a failure: only in autocommit
    try {
      one_transaction_ = true;
      autocommitted_rows_ = 0;
      for (NewRow& row : rows) Add(row);
      Flush();
      one_transaction_ = false;
      return {};
    } catch (const RaisedError&) {
      one_transaction_ = false;
      stored = autocommitted_rows_;
      Abandon();
    }
    return AddOneByOne(rows, stored);
  }

  void Settle() noexcept override { write_behind_.Settle(); }

 private:
  std::vector<RejectedRow> AddOneByOne(std::vector<NewRow>& rows, size_t from) {
    std::vector<RejectedRow> rejected;
    for (size_t i = from; i < rows.size(); ++i) {
      try {
        Add(rows[i]);
        Flush();
      } catch (const RaisedError& e) {
        rejected.push_back({i, e});
        Abandon();
      }
    }
    DataEngine::ForThisThread().ClearErrors();
    return rejected;
  }

  // After a failed write: the rows held are dropped and the open transaction rolled back.
  void Abandon() noexcept {
    try {
      write_behind_.Wait();
    } catch (const RaisedError&) {
      // The failure that led here is already raised.
    }
    filled_ = 0;
    statements_in_transaction_ = 0;
    transaction_.Rollback();
  }

  // The columns the row's statement names: those set, and those that are NULL when left out.
  std::vector<bool>& MaskOf(std::vector<std::optional<Value>>& row) {
    mask_.resize(row.size());
    for (size_t i = 0; i < row.size(); ++i) {
      mask_[i] = row[i].has_value() || !filled_when_left_out_[i];
    }
    // A row with nothing set still needs one column to name: NULL into the first.
    if (!row.empty() && std::none_of(mask_.begin(), mask_.end(), [](bool b) { return b; })) {
      row[0].emplace();
      mask_[0] = true;
    }
    return mask_;
  }

  // Markers and statements for the columns of `mask_`.
  void Layout() {
    layout_mask_ = mask_;
    masked_.clear();
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (mask_[i]) masked_.push_back(&columns_[i]);
    }
    const InsertLimits& limits = connection_->insert_limits;
    column_arrays_ = limits.column_arrays &&
                     std::all_of(masked_.begin(), masked_.end(),
                                 [](const ColumnInfo* c) { return IsPlainTypeName(c->type_name); });
    rows_per_statement_ =
        column_arrays_ ? limits.max_rows : limits.RowsPerStatement(masked_.size());
    for (Batch& batch : batches_) {
      batch.statements.clear();
      batch.markers.assign(rows_per_statement_ * masked_.size(), Marker{});
    }
  }

  std::string InsertText(size_t row_count) const {
    std::string names, markers;
    for (const ColumnInfo* column : masked_) {
      names += (names.empty() ? "" : ", ") + connection_->QuoteIdentifier(column->name);
      if (column_arrays_) {
        markers += (markers.empty() ? "unnest(?::" : ", unnest(?::") + column->type_name + "[])";
      } else {
        markers += markers.empty() ? "?" : ", ?";
      }
    }
    std::string sql = "INSERT INTO " + table_ + " (" + names + ") ";
    // In the select list the arrays are unnested in step, row by row, without the table a
    // FROM-clause unnest builds first.
    if (column_arrays_) return sql + "SELECT " + markers;
    sql += "VALUES ";
    for (size_t r = 0; r < row_count; ++r) sql += (r == 0 ? "(" : ", (") + markers + ")";
    return sql;
  }

  InsertStatement& StatementFor(Batch& batch, size_t row_count) {
    if (column_arrays_) row_count = 0;  // one statement for every count
    auto found = batch.statements.find(row_count);
    if (found != batch.statements.end()) return *found->second;
    // A statement for fewer rows serves one flush; only the last one is kept.
    std::erase_if(batch.statements,
                  [this](const auto& s) { return s.first != rows_per_statement_; });
    std::unique_ptr<InsertStatement> statement;
    if (column_arrays_) {
      statement = std::make_unique<ColumnArrayInsert>(*connection_, InsertText(0), masked_.size());
    } else {
      statement = std::make_unique<MultiRowInsert>(*connection_, InsertText(row_count),
                                                   row_count * masked_.size());
    }
    return *batch.statements.emplace(row_count, std::move(statement)).first->second;
  }

  // The filled batch is written behind while the other one fills. Only one writer of the
  // connection works on it at a time.
  void HandOver() {
    Batch& batch = batches_[front_];
    size_t rows = std::exchange(filled_, 0);
    connection_->SettleWriters();
    write_behind_.Post([this, &batch, rows] { Write(batch, rows); });
    front_ ^= 1;
  }

  // The rows go out in the open transaction, which is committed when it is long enough; a
  // failure rolls the transaction back.
  void Write(Batch& batch, size_t rows) {
    try {
      InsertStatement& statement = StatementFor(batch, rows);
      transaction_.Begin();
      statement.Execute(batch.markers, rows, masked_);
    } catch (const RaisedError&) {
      transaction_.Rollback();
      statements_in_transaction_ = 0;
      throw;
    }
    if (!transaction_.Held()) autocommitted_rows_ += rows;
    if (one_transaction_) return;
    if (++statements_in_transaction_ >= statements_per_transaction_) {
      Commit();
      statements_per_transaction_ =
          std::min(statements_per_transaction_ * 2, kMaxStatementsPerTransaction);
    }
  }

  void Commit() {
    statements_in_transaction_ = 0;
    transaction_.Commit();
  }

  std::shared_ptr<ConnectionState> connection_;
  std::string table_;
  std::vector<ColumnInfo> columns_;
  TransactionSlot transaction_;             // after the connection: rolled back before it goes
  std::vector<bool> filled_when_left_out_;  // by the server: a default, an identity
  std::vector<bool> mask_;                  // of the row being added
  std::vector<bool> layout_mask_;           // of the held rows and the statements
  std::vector<const ColumnInfo*> masked_;
  Batch batches_[2];
  size_t front_ = 0;  // the batch being filled
  bool column_arrays_ = false;
  size_t rows_per_statement_ = 0;
  size_t filled_ = 0;  // rows held in the front batch
  size_t statements_per_transaction_ = 1;
  size_t statements_in_transaction_ = 0;
  bool one_transaction_ = false;   // AddAll's rows: committed by the Flush that ends them
  size_t autocommitted_rows_ = 0;  // of AddAll's, written outside a transaction
  WriteBehind write_behind_;       // last: its thread stops before the batches go
};

}  // namespace

std::unique_ptr<RowWriter> MakeBatchInsertWriter(std::shared_ptr<ConnectionState> connection,
                                                 std::string table,
                                                 std::vector<ColumnInfo> columns) {
  return std::make_unique<BatchInsertWriter>(std::move(connection), std::move(table),
                                             std::move(columns));
}

}  // namespace kelvan::data::internal
