// Rows added through a result set, written with multi-row parameterised INSERT statements.
#include <algorithm>
#include <utility>

#include "platform/data/internal.h"

namespace kelvan::data::internal {
namespace {

// psqlodbc loses track of statements beyond about 7,500 parameter markers.
constexpr size_t kMaxParameters = 2000;
constexpr size_t kMaxRowsPerBatch = 100;

// The buffer of one bound value; it must not move between binding and executing.
struct Slot {
  odbc::CType c_type = odbc::CType::kChar;
  std::int16_t i16 = 0;
  std::int32_t i32 = 0;
  float f = 0;
  double d = 0;
  std::string text;
  odbc::Length indicator = 0;

  explicit Slot(const Value& value) {
    switch (value.kind()) {
      case Value::Kind::kNull:
        indicator = odbc::kNullData;
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
        text = value.Text();
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

// Date and time parameters are bound with their ODBC 2 codes, as the environment is ODBC 2.
std::int16_t BindType(std::int16_t driver_type) {
  return driver_type >= 91 && driver_type <= 93 ? static_cast<std::int16_t>(driver_type - 82)
                                                : driver_type;
}

class BatchInsertWriter : public RowWriter {
 public:
  BatchInsertWriter(std::shared_ptr<ConnectionState> connection, std::string table,
                    std::vector<ColumnInfo> columns)
      : connection_(std::move(connection)),
        table_(std::move(table)),
        columns_(std::move(columns)),
        rows_per_batch_(std::clamp<size_t>(kMaxParameters / std::max<size_t>(columns_.size(), 1), 1,
                                           kMaxRowsPerBatch)) {
    connection_->writers.push_back(this);
  }

  ~BatchInsertWriter() override { std::erase(connection_->writers, this); }

  void Add(std::vector<std::optional<Value>> row) override {
    std::vector<bool> mask = MaskOf(row);
    // One statement names one set of columns: the columns left unset keep their defaults.
    if (!pending_.empty() && mask != pending_mask_) Flush();
    pending_mask_ = std::move(mask);
    pending_.push_back(std::move(row));
    if (pending_.size() >= rows_per_batch_) Flush();
  }

  void Flush() override {
    if (pending_.empty()) return;
    std::vector<std::vector<std::optional<Value>>> rows = std::move(pending_);
    pending_.clear();  // a failed batch is raised once and not written again
    Write(rows);
  }

 private:
  std::vector<bool> MaskOf(std::vector<std::optional<Value>>& row) const {
    std::vector<bool> mask(row.size());
    for (size_t i = 0; i < row.size(); ++i) mask[i] = row[i].has_value();
    // A row with nothing set still needs one column to name: NULL into the first.
    if (!row.empty() && std::none_of(mask.begin(), mask.end(), [](bool b) { return b; })) {
      row[0].emplace();
      mask[0] = true;
    }
    return mask;
  }

  std::string InsertText(size_t row_count) const {
    std::string names, markers;
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (!pending_mask_[i]) continue;
      names += (names.empty() ? "" : ", ") + connection_->QuoteIdentifier(columns_[i].name);
      markers += markers.empty() ? "?" : ", ?";
    }
    std::string sql = "INSERT INTO " + table_ + " (" + names + ") VALUES ";
    for (size_t r = 0; r < row_count; ++r) sql += (r == 0 ? "(" : ", (") + markers + ")";
    return sql;
  }

  const odbc::StatementHandle& PreparedFor(size_t row_count) {
    std::string sql = InsertText(row_count);
    if (sql != prepared_sql_) {
      prepared_sql_.clear();
      statement_ = connection_->NewStatement();
      odbc::Prepare(statement_, sql, ErrorListObserver());
      prepared_sql_ = std::move(sql);
    }
    return statement_;
  }

  void Write(const std::vector<std::vector<std::optional<Value>>>& rows) {
    const odbc::StatementHandle& stmt = PreparedFor(rows.size());
    std::vector<Slot> slots;
    slots.reserve(rows.size() * columns_.size());
    int number = 0;
    for (const auto& row : rows) {
      for (size_t i = 0; i < columns_.size(); ++i) {
        if (!pending_mask_[i]) continue;
        Slot& slot = slots.emplace_back(*row[i]);
        Bind(stmt, ++number, columns_[i], slot);
      }
    }
    odbc::Execute(stmt, ErrorListObserver());
  }

  static void Bind(const odbc::StatementHandle& stmt, int number, const ColumnInfo& column,
                   Slot& slot) {
    std::uint64_t size = std::max<std::uint64_t>(column.size, 1);
    if (slot.c_type == odbc::CType::kChar) size = std::max<std::uint64_t>(size, slot.text.size());
    odbc::InputParameter parameter{slot.c_type,    BindType(column.driver_type),
                                   size,           column.digits,
                                   slot.Buffer(),  static_cast<odbc::Length>(slot.text.size()),
                                   &slot.indicator};
    odbc::BindInput(stmt, number, parameter, ErrorListObserver());
  }

  std::shared_ptr<ConnectionState> connection_;
  std::string table_;
  std::vector<ColumnInfo> columns_;
  size_t rows_per_batch_;
  std::vector<std::vector<std::optional<Value>>> pending_;
  std::vector<bool> pending_mask_;
  odbc::StatementHandle statement_;
  std::string prepared_sql_;
};

}  // namespace

std::unique_ptr<RowWriter> MakeBatchInsertWriter(std::shared_ptr<ConnectionState> connection,
                                                 std::string table,
                                                 std::vector<ColumnInfo> columns) {
  return std::make_unique<BatchInsertWriter>(std::move(connection), std::move(table),
                                             std::move(columns));
}

}  // namespace kelvan::data::internal
