#include "vltsim/driver/value_convert.h"

#include <sqlext.h>
#include <sqlite3.h>

#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"

namespace kelvan::vltsim {
namespace {

constexpr const char* kSource = "vltodbc";

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

// Exactly `width` digits at `pos`, advancing past them; -1 otherwise.
int Digits(std::string_view text, size_t& pos, size_t width) {
  if (pos + width > text.size()) return -1;
  int value = 0;
  for (size_t i = 0; i < width; ++i) {
    char c = text[pos + i];
    if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    value = value * 10 + (c - '0');
  }
  pos += width;
  return value;
}

bool Expect(std::string_view text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool ReadDate(std::string_view text, size_t& pos, DateTimeParts& parts) {
  parts.year = Digits(text, pos, 4);
  if (parts.year < 1 || !Expect(text, pos, '-')) return false;
  parts.month = Digits(text, pos, 2);
  if (parts.month < 1 || parts.month > 12 || !Expect(text, pos, '-')) return false;
  parts.day = Digits(text, pos, 2);
  parts.has_date = parts.day >= 1 && parts.day <= DaysInMonth(parts.year, parts.month);
  return parts.has_date;
}

bool ReadFraction(std::string_view text, size_t& pos, DateTimeParts& parts) {
  SQLUINTEGER scale = 100000000;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
    if (++parts.fraction_digits > 9) return false;
    parts.fraction_ns += static_cast<SQLUINTEGER>(text[pos++] - '0') * scale;
    scale /= 10;
  }
  return parts.fraction_digits > 0;
}

bool ReadTime(std::string_view text, size_t& pos, DateTimeParts& parts) {
  parts.hour = Digits(text, pos, 2);
  if (parts.hour < 0 || parts.hour > 23 || !Expect(text, pos, ':')) return false;
  parts.minute = Digits(text, pos, 2);
  if (parts.minute < 0 || parts.minute > 59 || !Expect(text, pos, ':')) return false;
  parts.second = Digits(text, pos, 2);
  if (parts.second < 0 || parts.second > 59) return false;
  if (Expect(text, pos, '.') && !ReadFraction(text, pos, parts)) return false;
  parts.has_time = true;
  return true;
}

[[noreturn]] void Fail(const char* state, const std::string& message) {
  throw RaisedError(0, kSource, message, state);
}

struct Number {
  long long integer;
  double real;
  bool is_integer;
};

Number ReadNumber(const SourceValue& value) {
  if (value.storage == SQLITE_INTEGER)
    return {value.integer, static_cast<double>(value.integer), true};
  if (value.storage == SQLITE_FLOAT) return {0, value.real, false};
  std::string_view text = TrimBlanks(value.text);
  const char* end = text.data() + text.size();
  long long integer = 0;
  auto [int_end, int_ec] = std::from_chars(text.data(), end, integer);
  if (int_ec == std::errc() && int_end == end && !text.empty()) {
    return {integer, static_cast<double>(integer), true};
  }
  double real = 0;
  auto [real_end, real_ec] = std::from_chars(text.data(), end, real);
  if (real_ec != std::errc() || real_end != end || text.empty()) {
    Fail("22018", "Invalid character value for cast");
  }
  return {0, real, false};
}

template <typename T>
FixedResult StoreInteger(const Number& number, void* target) {
  constexpr auto kMin = static_cast<double>(std::numeric_limits<T>::min());
  constexpr auto kMax = static_cast<double>(std::numeric_limits<T>::max());
  double whole = number.is_integer ? 0 : std::trunc(number.real);
  bool in_range = number.is_integer
                      ? number.integer >= static_cast<long long>(std::numeric_limits<T>::min()) &&
                            (number.integer < 0 ||
                             static_cast<unsigned long long>(number.integer) <=
                                 static_cast<unsigned long long>(std::numeric_limits<T>::max()))
                      : whole >= kMin && whole < kMax + 1.0;
  if (!in_range) Fail("22003", "Numeric value out of range");
  T result = number.is_integer ? static_cast<T>(number.integer) : static_cast<T>(whole);
  std::memcpy(target, &result, sizeof(T));
  return {static_cast<SQLLEN>(sizeof(T)), !number.is_integer && whole != number.real};
}

template <typename T>
FixedResult StoreReal(const Number& number, void* target) {
  if (std::is_same_v<T, float> && std::fabs(number.real) > FLT_MAX) {
    Fail("22003", "Numeric value out of range");
  }
  T result = static_cast<T>(number.real);
  std::memcpy(target, &result, sizeof(T));
  return {static_cast<SQLLEN>(sizeof(T)), false};
}

DateTimeParts ReadDateTime(const SourceValue& value) {
  if (value.storage != SQLITE_TEXT) Fail("07006", "Restricted data type attribute violation");
  auto parts = ParseDateTimeText(value.text);
  if (!parts) Fail("22007", "Invalid datetime format");
  return *parts;
}

// A time alone takes today's date, as ODBC converts TIME into TIMESTAMP.
void DateTodayWhenMissing(DateTimeParts& parts) {
  if (parts.has_date) return;
  const Timestamp today = CurrentClock().Now();
  parts.year = today.year;
  parts.month = today.month;
  parts.day = today.day;
  parts.has_date = true;
}

FixedResult StoreTimestamp(DateTimeParts parts, void* target) {
  DateTodayWhenMissing(parts);
  TIMESTAMP_STRUCT ts{static_cast<SQLSMALLINT>(parts.year),
                      static_cast<SQLUSMALLINT>(parts.month),
                      static_cast<SQLUSMALLINT>(parts.day),
                      static_cast<SQLUSMALLINT>(parts.hour),
                      static_cast<SQLUSMALLINT>(parts.minute),
                      static_cast<SQLUSMALLINT>(parts.second),
                      parts.fraction_ns};
  std::memcpy(target, &ts, sizeof ts);
  return {static_cast<SQLLEN>(sizeof ts), false};
}

FixedResult StoreDate(const DateTimeParts& parts, void* target) {
  if (!parts.has_date) Fail("22007", "Invalid datetime format");
  DATE_STRUCT date{static_cast<SQLSMALLINT>(parts.year), static_cast<SQLUSMALLINT>(parts.month),
                   static_cast<SQLUSMALLINT>(parts.day)};
  std::memcpy(target, &date, sizeof date);
  bool time_dropped = parts.hour || parts.minute || parts.second || parts.fraction_ns;
  return {static_cast<SQLLEN>(sizeof date), time_dropped};
}

FixedResult StoreTime(const DateTimeParts& parts, void* target) {
  if (!parts.has_time) Fail("22007", "Invalid datetime format");
  TIME_STRUCT time{static_cast<SQLUSMALLINT>(parts.hour), static_cast<SQLUSMALLINT>(parts.minute),
                   static_cast<SQLUSMALLINT>(parts.second)};
  std::memcpy(target, &time, sizeof time);
  return {static_cast<SQLLEN>(sizeof time), parts.fraction_ns != 0};
}

}  // namespace

std::optional<DateTimeParts> ParseDateTimeText(std::string_view text) {
  text = TrimBlanks(text);
  DateTimeParts parts;
  size_t pos = 0;
  bool starts_with_date = text.size() >= 5 && text[4] == '-';
  if (starts_with_date) {
    if (!ReadDate(text, pos, parts)) return std::nullopt;
    if (pos == text.size()) return parts;
    if (text[pos] != ' ' && text[pos] != 'T') return std::nullopt;
    ++pos;
  }
  if (!ReadTime(text, pos, parts) || pos != text.size()) return std::nullopt;
  return parts;
}

bool IsFixedCType(SQLSMALLINT c_type) {
  switch (c_type) {
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
    case SQL_C_SBIGINT:
    case SQL_C_DOUBLE:
    case SQL_C_FLOAT:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME:
      return true;
    default:
      return false;
  }
}

SQLLEN FixedCTypeSize(SQLSMALLINT c_type) {
  switch (c_type) {
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
      return sizeof(SQLSMALLINT);
    case SQL_C_SBIGINT:
    case SQL_C_DOUBLE:
      return 8;
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
      return sizeof(TIMESTAMP_STRUCT);
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
      return sizeof(DATE_STRUCT);
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME:
      return sizeof(TIME_STRUCT);
    default:
      return 4;
  }
}

FixedResult ConvertFixed(const SourceValue& value, SQLSMALLINT c_type, void* target) {
  switch (c_type) {
    case SQL_C_LONG:
    case SQL_C_SLONG:
      return StoreInteger<SQLINTEGER>(ReadNumber(value), target);
    case SQL_C_ULONG:
      return StoreInteger<SQLUINTEGER>(ReadNumber(value), target);
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
      return StoreInteger<SQLSMALLINT>(ReadNumber(value), target);
    case SQL_C_USHORT:
      return StoreInteger<SQLUSMALLINT>(ReadNumber(value), target);
    case SQL_C_SBIGINT:
      return StoreInteger<SQLBIGINT>(ReadNumber(value), target);
    case SQL_C_DOUBLE:
      return StoreReal<SQLDOUBLE>(ReadNumber(value), target);
    case SQL_C_FLOAT:
      return StoreReal<SQLREAL>(ReadNumber(value), target);
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
      return StoreTimestamp(ReadDateTime(value), target);
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
      return StoreDate(ReadDateTime(value), target);
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME:
      return StoreTime(ReadDateTime(value), target);
    default:
      Fail("HY003", "Program type out of range");
  }
}

}  // namespace kelvan::vltsim
