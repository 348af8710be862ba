#include "engine/source_value.h"

#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "platform/basic/raised_error.h"
#include "platform/basic/timestamp.h"

namespace kelvan::engine {
namespace {

constexpr SQLLEN kTextBufferLength = 255;

// A fixed-size value counts only when the driver said SQL_SUCCESS and gave a length.
template <class T>
std::optional<data::Value> ReadFixed(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type) {
  T value{};
  SQLLEN indicator = 0;
  SQLRETURN rc = SQLGetData(stmt, column, c_type, &value, sizeof value, &indicator);
  if (rc != SQL_SUCCESS || indicator < 1) return std::nullopt;
  return data::Value(value);
}

// Integers are read wide and checked here: drivers either wrap a value that does not fit the
// destination column or fail the call, and either way the value would change or vanish unseen.
template <class T>
std::optional<data::Value> ReadInteger(SQLHSTMT stmt, SQLUSMALLINT column) {
  SQLBIGINT value = 0;
  SQLLEN indicator = 0;
  SQLRETURN rc = SQLGetData(stmt, column, SQL_C_SBIGINT, &value, sizeof value, &indicator);
  if (rc != SQL_SUCCESS || indicator < 1) return std::nullopt;
  if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max()) {
    throw RaisedError(
        kErrOverflow, "Qobra",
        "Overflow: " + std::to_string(value) + " does not fit the destination column");
  }
  return data::Value(static_cast<T>(value));
}

std::optional<data::Value> ReadText(SQLHSTMT stmt, SQLUSMALLINT column, std::int32_t size) {
  char buffer[kTextBufferLength] = {};
  SQLLEN indicator = 0;
  SQLRETURN rc = SQLGetData(stmt, column, SQL_C_CHAR, buffer, kTextBufferLength, &indicator);
  if ((rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) || indicator < 1) return std::nullopt;
  size_t held = strnlen(buffer, kTextBufferLength);
  size_t length = std::min(
      {held, static_cast<size_t>(indicator), static_cast<size_t>(std::max<std::int32_t>(size, 0))});
  if (length == 0) return std::nullopt;
  return data::Value(std::string(buffer, length));
}

template <class Struct, class Format>
std::optional<data::Value> ReadDateTime(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type,
                                        Format format) {
  Struct value{};
  SQLLEN indicator = 0;
  SQLRETURN rc = SQLGetData(stmt, column, c_type, &value, sizeof value, &indicator);
  if (rc != SQL_SUCCESS || indicator < 1) return std::nullopt;
  return data::Value(format(value));
}

std::string TimestampText(const SQL_TIMESTAMP_STRUCT& v) {
  return FormatTimestamp({v.year, v.month, v.day, v.hour, v.minute, v.second});
}
std::string DateText(const SQL_DATE_STRUCT& v) { return FormatDate({v.year, v.month, v.day}); }
std::string TimeText(const SQL_TIME_STRUCT& v) {
  return FormatTime({1899, 12, 30, v.hour, v.minute, v.second});
}

}  // namespace

std::optional<data::Value> ReadSourceValue(SQLHSTMT stmt, SQLUSMALLINT column,
                                           std::int16_t destination_type,
                                           std::int32_t destination_size) {
  switch (destination_type) {
    case 4:
      return ReadInteger<std::int32_t>(stmt, column);
    case 5:
      return ReadInteger<std::int16_t>(stmt, column);
    case 6:
    case 8:
      return ReadFixed<double>(stmt, column, SQL_C_DOUBLE);
    case 7:
      return ReadFixed<float>(stmt, column, SQL_C_FLOAT);
    case 1:
    case 2:
    case 3:
    case 12:
      return ReadText(stmt, column, destination_size);
    case 11:
      return ReadDateTime<SQL_TIMESTAMP_STRUCT>(stmt, column, SQL_C_TIMESTAMP, TimestampText);
    case 10:
      return ReadDateTime<SQL_TIME_STRUCT>(stmt, column, SQL_C_TIME, TimeText);
    case 9:
      return ReadDateTime<SQL_DATE_STRUCT>(stmt, column, SQL_C_DATE, DateText);
    default:
      return std::nullopt;
  }
}

}  // namespace kelvan::engine
