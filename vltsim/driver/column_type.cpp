#include "vltsim/driver/column_type.h"

#include <sqlext.h>
#include <sqlite3.h>

#include <cctype>
#include <charconv>
#include <string>

#include "vltsim/driver/value_convert.h"

namespace kelvan::vltsim {
namespace {

constexpr long long kInt32Max = 2147483647LL;

struct Declared {
  std::string name;  // upper case, inner blanks collapsed: "DOUBLE PRECISION"
  int precision = -1;
  int scale = -1;
};

int ReadNumber(std::string_view text, size_t& pos) {
  while (pos < text.size() && text[pos] == ' ') ++pos;
  int value = -1;
  auto [ptr, ec] = std::from_chars(text.data() + pos, text.data() + text.size(), value);
  pos = static_cast<size_t>(ptr - text.data());
  return ec == std::errc() ? value : -1;
}

Declared ParseDeclared(std::string_view text) {
  Declared declared;
  size_t paren = text.find('(');
  for (char c : text.substr(0, paren)) {
    bool blank = std::isspace(static_cast<unsigned char>(c)) != 0;
    if (blank && (declared.name.empty() || declared.name.back() == ' ')) continue;
    declared.name += blank ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (!declared.name.empty() && declared.name.back() == ' ') declared.name.pop_back();
  if (paren == std::string_view::npos) return declared;
  size_t pos = paren + 1;
  declared.precision = ReadNumber(text, pos);
  while (pos < text.size() && text[pos] == ' ') ++pos;
  if (pos < text.size() && text[pos] == ',') declared.scale = ReadNumber(text, ++pos);
  return declared;
}

ColumnType Sized(SQLSMALLINT type, const Declared& declared, SQLULEN default_size) {
  SQLULEN size = declared.precision > 0 ? static_cast<SQLULEN>(declared.precision) : default_size;
  return {type, size, 0};
}

ColumnType Exact(SQLSMALLINT type, const Declared& declared) {
  ColumnType column = Sized(type, declared, 18);
  column.digits = static_cast<SQLSMALLINT>(declared.scale > 0 ? declared.scale : 0);
  return column;
}

ColumnType Timestamp(int fraction_digits) {
  if (fraction_digits <= 0) return {SQL_TYPE_TIMESTAMP, 19, 0};
  return {SQL_TYPE_TIMESTAMP, static_cast<SQLULEN>(20 + fraction_digits),
          static_cast<SQLSMALLINT>(fraction_digits)};
}

}  // namespace

ColumnType TypeFromDeclared(std::string_view declared_text) {
  Declared d = ParseDeclared(declared_text);
  const std::string& n = d.name;
  if (n == "TIMESTAMP" || n == "DATETIME") return Timestamp(d.precision);
  if (n == "DATE") return {SQL_TYPE_DATE, 10, 0};
  if (n == "TIME") return {SQL_TYPE_TIME, 8, 0};
  if (n == "INTEGER" || n == "INT") return {SQL_INTEGER, 10, 0};
  if (n == "SMALLINT") return {SQL_SMALLINT, 5, 0};
  if (n == "BIGINT") return {SQL_BIGINT, 19, 0};
  if (n == "FLOAT" || n == "DOUBLE" || n == "DOUBLE PRECISION") {
    return {n == "FLOAT" ? SQLSMALLINT{SQL_FLOAT} : SQLSMALLINT{SQL_DOUBLE}, 15, 0};
  }
  if (n == "REAL") return {SQL_REAL, 7, 0};
  if (n == "DECIMAL" || n == "DEC") return Exact(SQL_DECIMAL, d);
  if (n == "NUMERIC") return Exact(SQL_NUMERIC, d);
  if (n == "CHAR" || n == "CHARACTER") return Sized(SQL_CHAR, d, 1);
  if (n == "VARCHAR" || n == "CHARACTER VARYING") return Sized(SQL_VARCHAR, d, 255);
  if (n == "TEXT" || n == "CLOB") return {SQL_LONGVARCHAR, 65535, 0};
  return {};
}

ColumnType TypeFromValue(int sqlite_type, long long integer, std::string_view text) {
  switch (sqlite_type) {
    case SQLITE_INTEGER:
      if (integer > kInt32Max || integer < -kInt32Max - 1) return {SQL_BIGINT, 19, 0};
      return {SQL_INTEGER, 10, 0};
    case SQLITE_FLOAT:
      return {SQL_DOUBLE, 15, 0};
    case SQLITE_TEXT:
      break;
    default:
      return {};
  }
  auto parts = ParseDateTimeText(text);
  if (!parts) return {};
  if (parts->has_date && parts->has_time) return Timestamp(parts->fraction_digits);
  return parts->has_date ? ColumnType{SQL_TYPE_DATE, 10, 0} : ColumnType{SQL_TYPE_TIME, 8, 0};
}

SQLSMALLINT TypeForVersion(SQLSMALLINT sql_type, int odbc_version) {
  if (odbc_version >= 3) return sql_type;
  switch (sql_type) {
    case SQL_TYPE_TIMESTAMP:
      return SQL_TIMESTAMP;
    case SQL_TYPE_DATE:
      return SQL_DATE;
    case SQL_TYPE_TIME:
      return SQL_TIME;
    default:
      return sql_type;
  }
}

SQLLEN DisplaySize(const ColumnType& type) {
  switch (type.sql_type) {
    case SQL_INTEGER:
      return 11;
    case SQL_SMALLINT:
      return 6;
    case SQL_BIGINT:
      return 20;
    case SQL_REAL:
      return 14;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return 24;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return static_cast<SQLLEN>(type.size) + 2;
    default:
      return static_cast<SQLLEN>(type.size);
  }
}

SQLLEN TransferOctetLength(const ColumnType& type) {
  switch (type.sql_type) {
    case SQL_INTEGER:
    case SQL_REAL:
      return 4;
    case SQL_SMALLINT:
      return 2;
    case SQL_BIGINT:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return 8;
    case SQL_TYPE_DATE:
      return sizeof(DATE_STRUCT);
    case SQL_TYPE_TIME:
      return sizeof(TIME_STRUCT);
    case SQL_TYPE_TIMESTAMP:
      return sizeof(TIMESTAMP_STRUCT);
    default:
      return DisplaySize(type);
  }
}

bool IsDateTimeType(SQLSMALLINT sql_type) {
  return sql_type == SQL_TYPE_DATE || sql_type == SQL_TYPE_TIME || sql_type == SQL_TYPE_TIMESTAMP;
}

bool IsTextType(SQLSMALLINT sql_type) {
  return sql_type == SQL_CHAR || sql_type == SQL_VARCHAR || sql_type == SQL_LONGVARCHAR;
}

SQLSMALLINT VerboseType(SQLSMALLINT sql_type, int odbc_version) {
  if (!IsDateTimeType(sql_type)) return sql_type;
  return odbc_version >= 3 ? SQLSMALLINT{SQL_DATETIME} : TypeForVersion(sql_type, odbc_version);
}

SQLSMALLINT DateTimeSubcode(SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_TYPE_DATE:
      return SQL_CODE_DATE;
    case SQL_TYPE_TIME:
      return SQL_CODE_TIME;
    case SQL_TYPE_TIMESTAMP:
      return SQL_CODE_TIMESTAMP;
    default:
      return 0;
  }
}

const char* TypeName(SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_CHAR:
      return "CHAR";
    case SQL_NUMERIC:
      return "NUMERIC";
    case SQL_DECIMAL:
      return "DECIMAL";
    case SQL_INTEGER:
      return "INTEGER";
    case SQL_SMALLINT:
      return "SMALLINT";
    case SQL_BIGINT:
      return "BIGINT";
    case SQL_FLOAT:
      return "FLOAT";
    case SQL_REAL:
      return "REAL";
    case SQL_DOUBLE:
      return "DOUBLE";
    case SQL_TYPE_DATE:
      return "DATE";
    case SQL_TYPE_TIME:
      return "TIME";
    case SQL_TYPE_TIMESTAMP:
      return "TIMESTAMP";
    case SQL_LONGVARCHAR:
      return "TEXT";
    default:
      return "VARCHAR";
  }
}

}  // namespace kelvan::vltsim
