#include "engine/source_value.h"

#include <sqlext.h>

#include <limits>
#include <string>

#include "platform/basic/timestamp.h"
#include "platform/basic/utf8_text.h"

namespace kelvan::engine {
namespace {

constexpr SQLLEN kTextPieceLength = 1024;
constexpr std::size_t kMaxUtf8Bytes = 4;

// A number or a time counts only when the driver said SQL_SUCCESS and gave a length: with info,
// it changed the value (a fraction cut, a number rounded). A text piece with info has more to
// come (see ReadSourceText).
template <class T>
std::optional<T> ReadWhole(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type) {
  T value{};
  SQLLEN indicator = 0;
  SQLRETURN rc = SQLGetData(stmt, column, c_type, &value, sizeof value, &indicator);
  if (rc != SQL_SUCCESS || indicator < 1) return std::nullopt;
  return value;
}

template <class T>
std::optional<data::Value> ReadFixed(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type) {
  std::optional<T> value = ReadWhole<T>(stmt, column, c_type);
  if (!value) return std::nullopt;
  return data::Value(*value);
}

SourceCell Cell(std::optional<data::Value> value) { return {std::move(value), std::nullopt}; }

template <class T>
bool Fits(std::int64_t number) {
  return number >= std::numeric_limits<T>::min() && number <= std::numeric_limits<T>::max();
}

// Integers are read wide and checked here: drivers either wrap a value that does not fit the
// destination column or fail the call, and either way the value would change or vanish unseen.
SourceCell ReadInteger(SQLHSTMT stmt, SQLUSMALLINT column, std::int16_t destination_type) {
  std::optional<std::int64_t> number = ReadSourceInteger(stmt, column);
  if (!number) return Cell(std::nullopt);
  std::optional<data::Value> value = IntegerValueFor(*number, destination_type);
  if (!value) return {std::nullopt, number};
  return {std::move(value), std::nullopt};
}

std::optional<data::Value> ReadText(SQLHSTMT stmt, SQLUSMALLINT column, std::int32_t size) {
  if (size < 1) return std::nullopt;
  std::optional<std::string> text = ReadSourceText(stmt, column, static_cast<std::size_t>(size));
  if (!text) return std::nullopt;
  return data::Value(std::string(Utf8Prefix(*text, static_cast<std::size_t>(size))));
}

template <class Struct, class Format>
std::optional<data::Value> ReadDateTime(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type,
                                        Format format) {
  std::optional<Struct> value = ReadWhole<Struct>(stmt, column, c_type);
  if (!value) return std::nullopt;
  return data::Value(format(*value));
}

std::string TimestampText(const SQL_TIMESTAMP_STRUCT& v) {
  return FormatTimestamp({v.year, v.month, v.day, v.hour, v.minute, v.second});
}
std::string DateText(const SQL_DATE_STRUCT& v) { return FormatDate({v.year, v.month, v.day}); }
std::string TimeText(const SQL_TIME_STRUCT& v) {
  return FormatTime({1899, 12, 30, v.hour, v.minute, v.second});
}

}  // namespace

std::optional<std::string> ReadSourceText(SQLHSTMT stmt, SQLUSMALLINT column,
                                          std::size_t characters) {
  const std::size_t enough = kMaxUtf8Bytes * (characters + 1);
  std::string bytes;
  char piece[kTextPieceLength];
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt, column, SQL_C_CHAR, piece, kTextPieceLength, &indicator);
    if (rc == SQL_NO_DATA) break;  // the previous piece was the last
    if ((rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) || indicator == SQL_NULL_DATA) {
      return std::nullopt;
    }
    bool more = indicator == SQL_NO_TOTAL || indicator >= kTextPieceLength;
    bytes.append(piece, more ? kTextPieceLength - 1 : static_cast<std::size_t>(indicator));
    if (!more || bytes.size() >= enough) break;
  }
  if (bytes.empty()) return std::nullopt;
  return ValidUtf8(bytes);
}

std::optional<std::int64_t> ReadSourceInteger(SQLHSTMT stmt, SQLUSMALLINT column) {
  return ReadWhole<SQLBIGINT>(stmt, column, SQL_C_SBIGINT);
}

std::optional<data::Value> IntegerValueFor(std::int64_t number, std::int16_t destination_type) {
  switch (destination_type) {
    case 4:
      if (!Fits<std::int32_t>(number)) return std::nullopt;
      return data::Value(static_cast<std::int32_t>(number));
    case 5:
      if (!Fits<std::int16_t>(number)) return std::nullopt;
      return data::Value(static_cast<std::int16_t>(number));
    case 6:
    case 7:
    case 8:
      return data::Value(static_cast<double>(number));
    default:
      return data::Value(std::to_string(number));
  }
}

SourceCell ReadSourceValue(SQLHSTMT stmt, SQLUSMALLINT column, std::int16_t destination_type,
                           std::int32_t destination_size) {
  switch (destination_type) {
    case 4:
    case 5:
      return ReadInteger(stmt, column, destination_type);
    case 6:
    case 8:
      return Cell(ReadFixed<double>(stmt, column, SQL_C_DOUBLE));
    case 7:
      return Cell(ReadFixed<float>(stmt, column, SQL_C_FLOAT));
    case 1:
    case 2:
    case 3:
    case 12:
      return Cell(ReadText(stmt, column, destination_size));
    case 11:
      return Cell(ReadDateTime<SQL_TIMESTAMP_STRUCT>(stmt, column, SQL_C_TIMESTAMP, TimestampText));
    case 10:
      return Cell(ReadDateTime<SQL_TIME_STRUCT>(stmt, column, SQL_C_TIME, TimeText));
    case 9:
      return Cell(ReadDateTime<SQL_DATE_STRUCT>(stmt, column, SQL_C_DATE, DateText));
    default:
      return Cell(std::nullopt);
  }
}

}  // namespace kelvan::engine
