#include "vltsim/driver/parameters.h"

#include <sqlext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/basic/raised_error.h"
#include "vltsim/driver/odbc_text.h"

namespace kelvan::vltsim {
namespace {

[[noreturn]] void Fail(const char* state, const char* message) {
  throw RaisedError(0, "vltodbc", message, state);
}

template <typename T>
T Read(SQLPOINTER value) {
  T result;
  std::memcpy(&result, value, sizeof result);
  return result;
}

std::string FractionText(SQLUINTEGER fraction_ns) {
  if (fraction_ns == 0) return {};
  char digits[16];
  std::snprintf(digits, sizeof digits, ".%09u", static_cast<unsigned>(fraction_ns));
  std::string text = digits;
  while (text.back() == '0') text.pop_back();
  return text;
}

std::string DateText(int year, int month, int day) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

std::string TimeText(int hour, int minute, int second) {
  char text[40];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", hour, minute, second);
  return text;
}

std::string DateTimeText(SQLSMALLINT c_type, SQLPOINTER value) {
  switch (c_type) {
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE: {
      const auto d = Read<DATE_STRUCT>(value);
      return DateText(d.year, d.month, d.day);
    }
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME: {
      const auto t = Read<TIME_STRUCT>(value);
      return TimeText(t.hour, t.minute, t.second);
    }
    default: {
      const auto ts = Read<TIMESTAMP_STRUCT>(value);
      return DateText(ts.year, ts.month, ts.day) + " " + TimeText(ts.hour, ts.minute, ts.second) +
             FractionText(ts.fraction);
    }
  }
}

// Bytes of a character parameter: the indicator's length, or up to the terminator.
size_t TextBytes(const ParameterBinding& binding, size_t unit) {
  const SQLLEN length = binding.indicator != nullptr ? *binding.indicator : SQL_NTS;
  if (length >= 0) return static_cast<size_t>(length);
  const auto* bytes = static_cast<const char*>(binding.value);
  size_t n = 0;
  while (std::memcmp(bytes + n, "\0\0", unit) != 0) n += unit;
  return n;
}

int BindOne(sqlite3_stmt* stmt, int index, const ParameterBinding& binding) {
  const SQLLEN length = binding.indicator != nullptr ? *binding.indicator : SQL_NTS;
  if (length == SQL_NULL_DATA) return sqlite3_bind_null(stmt, index);
  if (length == SQL_DATA_AT_EXEC || length <= SQL_LEN_DATA_AT_EXEC_OFFSET) {
    Fail("HYC00", "Optional feature not implemented");
  }
  if (binding.value == nullptr) Fail("HY009", "Invalid use of null pointer");
  const SQLPOINTER v = binding.value;
  switch (binding.c_type) {
    case SQL_C_CHAR:
      return sqlite3_bind_text(stmt, index, static_cast<const char*>(v),
                               static_cast<int>(TextBytes(binding, 1)), SQLITE_TRANSIENT);
    case SQL_C_WCHAR: {
      const std::u16string_view wide(static_cast<const char16_t*>(v), TextBytes(binding, 2) / 2);
      const std::string text = Utf8FromUtf16(wide);
      return sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()),
                               SQLITE_TRANSIENT);
    }
    case SQL_C_BINARY: {
      // Binary data has no terminator: without a length the buffer's own size counts.
      const SQLLEN bytes = length >= 0 ? length : binding.buffer_length;
      return sqlite3_bind_blob(stmt, index, v, static_cast<int>(std::max<SQLLEN>(bytes, 0)),
                               SQLITE_TRANSIENT);
    }
    case SQL_C_BIT:
    case SQL_C_UTINYINT:
      return sqlite3_bind_int(stmt, index, Read<unsigned char>(v));
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
      return sqlite3_bind_int(stmt, index, Read<signed char>(v));
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
      return sqlite3_bind_int(stmt, index, Read<SQLSMALLINT>(v));
    case SQL_C_USHORT:
      return sqlite3_bind_int(stmt, index, Read<SQLUSMALLINT>(v));
    case SQL_C_LONG:
    case SQL_C_SLONG:
      return sqlite3_bind_int(stmt, index, Read<SQLINTEGER>(v));
    case SQL_C_ULONG:
      return sqlite3_bind_int64(stmt, index, Read<SQLUINTEGER>(v));
    case SQL_C_SBIGINT:
      return sqlite3_bind_int64(stmt, index, Read<SQLBIGINT>(v));
    case SQL_C_DOUBLE:
      return sqlite3_bind_double(stmt, index, Read<SQLDOUBLE>(v));
    case SQL_C_FLOAT:
      return sqlite3_bind_double(stmt, index, Read<SQLREAL>(v));
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: {
      const std::string text = DateTimeText(binding.c_type, v);
      return sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()),
                               SQLITE_TRANSIENT);
    }
    default:
      Fail("HY003", "Program type out of range");
  }
}

}  // namespace

void BindParameterValues(sqlite3_stmt* stmt, const ParameterBindings& bindings) {
  const int count = sqlite3_bind_parameter_count(stmt);
  for (int index = 1; index <= count; ++index) {
    const auto binding = bindings.find(static_cast<SQLUSMALLINT>(index));
    if (binding == bindings.end()) Fail("07002", "COUNT field incorrect");
    if (BindOne(stmt, index, binding->second) != SQLITE_OK) {
      Fail("HY001", "Memory allocation error");
    }
  }
}

}  // namespace kelvan::vltsim
