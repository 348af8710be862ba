// A result set of the destination data-access layer: a forward cursor over the rows of a SELECT,
// standing on its first row when opened, through which rows can be deleted and added.
//
// Deleting and adding work on the SELECT's table and condition, so they need a simple
// "SELECT <columns> FROM <table> [WHERE <condition>]" text and a lock other than read-only:
//  - Delete on the first row removes, with one DELETE statement, every row that the SELECT
//    selects; moving on then steps over those rows as if each had been visited and deleted, so
//    that after "delete, move next" until the end RowCount equals the rows deleted. Deleting a
//    later row alone is not possible (there are no keys to find it by) and raises.
//  - AddNew, setting values, Update adds a row; AddRows adds many, leaving out those rejected. Rows
//  may be held back and written in batches,
//    each committed as one transaction; they are all written before Close returns and before any
//    other statement of the connection runs. A failed batch raises (at Update, at that other
//    statement, or at Close) and none of its rows stay; the batches committed before it do.
// Move-only; used by the thread of its connection.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/basic/raised_error.h"
#include "platform/data/value.h"

namespace kelvan::data {

namespace internal {
struct ConnectionState;
struct CursorState;
}  // namespace internal

// A row given whole to AddRows: a value per column of the result set, in column order; nothing
// for a column left unset.
using NewRow = std::vector<std::optional<Value>>;

// A row that AddRows left out, by its place in the rows given, with the database's failure.
struct RejectedRow {
  size_t index;
  RaisedError error;
};

// Every cursor reads forward only; both kinds allow deleting and adding.
enum class CursorType { kForwardOnly, kDynamic };
// Read-only result sets refuse Delete and AddNew.
enum class LockType { kReadOnly, kPessimistic };
// Statements are always executed directly; the choice is accepted for callers that make it.
enum class Execution { kPrepared, kDirect };

// One column of a result set: its description, and its value in the current row or in the row
// being added. Lives as long as its result set.
class Column {
 public:
  const std::string& Name() const { return name_; }  // as the destination reports it
  size_t Index() const { return index_; }            // its place in a NewRow
  // ODBC 2 type code: 1 char, 2 numeric, 3 decimal, 4 integer, 5 smallint, 6 float, 7 real,
  // 8 double, 9 date, 10 time, 11 timestamp, 12 varchar, -1 long varchar; BIGINT, TINYINT and BIT
  // report 2.
  std::int16_t Type() const { return type_; }
  std::int32_t Size() const { return size_; }  // defined size in characters

  // Integer columns read as 16/32-bit integers, real as float, float and double as double,
  // everything else (dates and times included) as the driver's text; NULL as a null value.
  // Raises kErrNoCurrentRow when there is no current row.
  const Value& GetValue() const;
  // Only while a row is being added (after AddNew); raises kErrNotUpdatable otherwise.
  void SetValue(Value value);

 private:
  friend struct internal::CursorState;
  Column(internal::CursorState* cursor, size_t index, std::string name, std::int16_t type,
         std::int32_t size)
      : cursor_(cursor), index_(index), name_(std::move(name)), type_(type), size_(size) {}

  internal::CursorState* cursor_;
  size_t index_;
  std::string name_;
  std::int16_t type_;
  std::int32_t size_;
};

class ResultSet {
 public:
  ResultSet(ResultSet&&) noexcept;
  ResultSet& operator=(ResultSet&&) noexcept;
  // Closes; a failure to write held-back rows then only reaches the thread's error list, so
  // call Close to learn of it.
  ~ResultSet();

  bool EndOfData() const;  // after the last row (at once for an empty result), or closed
  void MoveNext();         // raises kErrNoCurrentRow at the end
  // Rows the cursor has stood on (a deleted row counts as visited).
  std::int64_t RowCount() const;

  int ColumnCount() const;
  Column& ColumnAt(int index);  // from 0
  // Case-insensitive; raises kErrItemNotFound when the result has no such column.
  Column& ColumnNamed(std::string_view name);
  // Case-insensitive; nullptr when the result has no such column.
  Column* FindColumn(std::string_view name);

  void Delete();
  void AddNew();
  void Update();
  // Adds `rows` in one transaction, after writing the rows added before. When the database
  // rejects it, they are added again one by one, each committed by itself, so that exactly the
  // rows it rejects are left out: those are returned in order, and their failures are not left in
  // the thread's error list. Other failures raise.
  std::vector<RejectedRow> AddRows(std::vector<NewRow>& rows);
  void Close();

 private:
  friend class Connection;
  ResultSet(std::shared_ptr<internal::ConnectionState> connection, std::string_view sql,
            CursorType cursor, LockType lock, Execution execution);
  internal::CursorState& State() const;

  std::unique_ptr<internal::CursorState> state_;
};

// True for the not-found failure of a column lookup.
inline bool IsItemNotFound(const RaisedError& error) { return error.Number() == kErrItemNotFound; }

}  // namespace kelvan::data
