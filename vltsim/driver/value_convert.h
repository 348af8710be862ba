// Conversion of one SQLite value into the fixed-size ODBC C types of SQLGetData, and the
// reading of date and time texts. Stateless; thread-safe.
#pragma once

#include <sql.h>

#include <optional>
#include <string_view>

namespace kelvan::vltsim {

struct DateTimeParts {
  bool has_date = false;
  bool has_time = false;
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;
  SQLUINTEGER fraction_ns = 0;  // nanoseconds, as TIMESTAMP_STRUCT holds them
  int fraction_digits = 0;
};

// "yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss[.f…]" (a "T" may stand for the blank) or "hh:mm:ss[.f…]",
// blanks around allowed. Impossible dates and times (2024-02-30, 25:00:00) give nullopt.
std::optional<DateTimeParts> ParseDateTimeText(std::string_view text);

// One column value of the current row as SQLite holds it.
struct SourceValue {
  int storage = 0;  // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL
  long long integer = 0;
  double real = 0;
  std::string_view text;  // the value as text (any storage class)
};

// True for the C types ConvertFixed handles.
bool IsFixedCType(SQLSMALLINT c_type);
// The bytes one value of such a type takes.
SQLLEN FixedCTypeSize(SQLSMALLINT c_type);

struct FixedResult {
  SQLLEN length;          // bytes written
  bool fraction_dropped;  // a fractional part was cut off: 01S07
};

// Writes a non-NULL value as `c_type` into `target`. Throws RaisedError with 22018 (text that
// is no number), 22007 (text that is no date/time), 22003 (out of the C type's range) or 07006
// (a number into a date/time type). A time read as a timestamp takes today's date (CurrentClock).
FixedResult ConvertFixed(const SourceValue& value, SQLSMALLINT c_type, void* target);

}  // namespace kelvan::vltsim
