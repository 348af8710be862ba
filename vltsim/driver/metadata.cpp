#include "vltsim/driver/metadata.h"

#include <sqlext.h>
#include <sqlite3.h>

#include <cstdio>

#include "platform/basic/raised_error.h"
#include "vltsim/driver/connection.h"
#include "vltsim/driver/statement.h"

namespace kelvan::vltsim {
namespace {

constexpr const char* kDriverName = "libvltodbc.so";
constexpr const char* kDriverVersion = "01.00.0000";
constexpr const char* kDbmsName = "VLT Emulation";

// SQLite's version in the "##.##.####" form ODBC asks for.
std::string DbmsVersion() {
  int number = sqlite3_libversion_number();
  char text[16];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", number / 1000000 % 100, number / 1000 % 1000,
                number % 1000);
  return text;
}

bool IsNumber(SQLSMALLINT sql_type) { return !IsTextType(sql_type) && !IsDateTimeType(sql_type); }

// A forward-only, read-only cursor that fetches rowsets; no parameter arrays, no async calls.
InfoValue CursorInfo(SQLUSMALLINT info_type) {
  switch (info_type) {
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1:
      return SQLUINTEGER{SQL_CA1_NEXT};
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2:
      return SQLUINTEGER{SQL_CA2_READ_ONLY_CONCURRENCY};
    case SQL_STATIC_CURSOR_ATTRIBUTES1:
    case SQL_STATIC_CURSOR_ATTRIBUTES2:
    case SQL_KEYSET_CURSOR_ATTRIBUTES1:
    case SQL_KEYSET_CURSOR_ATTRIBUTES2:
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES1:
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES2:
    case SQL_POS_OPERATIONS:
    case SQL_LOCK_TYPES:
    case SQL_STATIC_SENSITIVITY:
    case SQL_BOOKMARK_PERSISTENCE:
    case SQL_BATCH_SUPPORT:
      return SQLUINTEGER{0};
    case SQL_FETCH_DIRECTION:
      return SQLUINTEGER{SQL_FD_FETCH_NEXT};
    case SQL_PARAM_ARRAY_ROW_COUNTS:
      return SQLUINTEGER{SQL_PARC_NO_BATCH};
    case SQL_PARAM_ARRAY_SELECTS:
      return SQLUINTEGER{SQL_PAS_NO_SELECT};
    case SQL_ASYNC_MODE:
      return SQLUINTEGER{SQL_AM_NONE};
    default:
      throw RaisedError(0, "vltodbc", "Information type out of range", "HY096");
  }
}

ColumnAnswer Text(std::string text) { return {true, std::move(text), 0}; }
ColumnAnswer Number(SQLLEN number) { return {false, {}, number}; }

// What the catalog functions and queries offer: no catalogs, schemas or procedures; search
// patterns escaped with a backslash.
InfoValue CatalogInfo(SQLUSMALLINT info_type) {
  switch (info_type) {
    case SQL_SEARCH_PATTERN_ESCAPE:
      return std::string("\\");
    case SQL_CATALOG_NAME:
    case SQL_PROCEDURES:
    case SQL_MULT_RESULT_SETS:
    case SQL_NEED_LONG_DATA_LEN:
    case SQL_ORDER_BY_COLUMNS_IN_SELECT:
    case SQL_ROW_UPDATES:
      return std::string("N");
    case SQL_DESCRIBE_PARAMETER:
    case SQL_COLUMN_ALIAS:
    case SQL_LIKE_ESCAPE_CLAUSE:
    case SQL_EXPRESSIONS_IN_ORDERBY:
      return std::string("Y");
    case SQL_CATALOG_NAME_SEPARATOR:
    case SQL_CATALOG_TERM:
    case SQL_SCHEMA_TERM:
    case SQL_PROCEDURE_TERM:
    case SQL_KEYWORDS:
      return std::string();
    case SQL_TABLE_TERM:
      return std::string("table");
    case SQL_MAX_CATALOG_NAME_LEN:
    case SQL_MAX_SCHEMA_NAME_LEN:
    case SQL_MAX_TABLE_NAME_LEN:
      return SQLUSMALLINT{0};
    case SQL_NULL_COLLATION:
      return SQLUSMALLINT{SQL_NC_LOW};
    case SQL_CATALOG_USAGE:
    case SQL_SCHEMA_USAGE:
      return SQLUINTEGER{0};
    default:
      return CursorInfo(info_type);
  }
}

}  // namespace

InfoValue DriverInfo(const Connection& connection, SQLUSMALLINT info_type) {
  const ConnectSettings& settings = connection.Settings();
  switch (info_type) {
    case SQL_DRIVER_NAME:
      return std::string(kDriverName);
    case SQL_DRIVER_VER:
      return std::string(kDriverVersion);
    case SQL_DRIVER_ODBC_VER:
      return settings.driver_odbc_ver;
    case SQL_DBMS_NAME:
      return std::string(kDbmsName);
    case SQL_DBMS_VER:
      return DbmsVersion();
    case SQL_DATA_SOURCE_NAME:
      return settings.dsn;
    case SQL_SERVER_NAME:
      return settings.dsn;
    case SQL_DATABASE_NAME:
      return settings.database;
    case SQL_USER_NAME:
      return settings.uid;
    case SQL_DATA_SOURCE_READ_ONLY:
      return std::string("Y");
    case SQL_ACCESSIBLE_TABLES:
      return std::string("Y");
    case SQL_IDENTIFIER_QUOTE_CHAR:
      return std::string("\"");
    case SQL_TXN_CAPABLE:
      return SQLUSMALLINT{SQL_TC_NONE};
    case SQL_CURSOR_COMMIT_BEHAVIOR:
      return SQLUSMALLINT{SQL_CB_PRESERVE};
    case SQL_CURSOR_ROLLBACK_BEHAVIOR:
      return SQLUSMALLINT{SQL_CB_PRESERVE};
    case SQL_MAX_DRIVER_CONNECTIONS:
      return SQLUSMALLINT{0};
    case SQL_MAX_CONCURRENT_ACTIVITIES:
      return SQLUSMALLINT{0};
    case SQL_MAX_COLUMN_NAME_LEN:
      return SQLUSMALLINT{0};
    case SQL_ODBC_SQL_CONFORMANCE:
      return SQLUSMALLINT{SQL_OSC_MINIMUM};
    case SQL_GETDATA_EXTENSIONS:
      return SQLUINTEGER{SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BOUND};
    case SQL_SCROLL_OPTIONS:
      return SQLUINTEGER{SQL_SO_FORWARD_ONLY};
    case SQL_ODBC_INTERFACE_CONFORMANCE:
      return SQLUINTEGER{SQL_OIC_CORE};
    case SQL_DATETIME_LITERALS:
      return SQLUINTEGER{SQL_DL_SQL92_DATE | SQL_DL_SQL92_TIME | SQL_DL_SQL92_TIMESTAMP};
    default:
      return CatalogInfo(info_type);
  }
}

ColumnAnswer ColumnAttribute(const Statement& statement, SQLUSMALLINT number, SQLUSMALLINT field) {
  if (field == SQL_DESC_COUNT || field == SQL_COLUMN_COUNT) return Number(statement.ColumnCount());
  const ColumnInfo& column = statement.Column(number);
  const ColumnType& type = column.type;
  switch (field) {
    case SQL_DESC_NAME:
    case SQL_COLUMN_NAME:
    case SQL_DESC_LABEL:
    case SQL_DESC_BASE_COLUMN_NAME:
      return Text(column.name);
    case SQL_DESC_TYPE_NAME:
    case SQL_DESC_LOCAL_TYPE_NAME:
      return Text(TypeName(type.sql_type));
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_SCHEMA_NAME:
    case SQL_DESC_CATALOG_NAME:
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
      return Text("");
    case SQL_DESC_CONCISE_TYPE:
      return Number(statement.ReportedType(column));
    case SQL_DESC_TYPE:
      return Number(VerboseType(column.type.sql_type, statement.OdbcVersion()));
    case SQL_DESC_LENGTH:
    case SQL_DESC_OCTET_LENGTH:
    case SQL_COLUMN_LENGTH:
    case SQL_DESC_PRECISION:
    case SQL_COLUMN_PRECISION:
      return Number(static_cast<SQLLEN>(type.size));
    case SQL_DESC_SCALE:
    case SQL_COLUMN_SCALE:
      return Number(type.digits);
    case SQL_DESC_DISPLAY_SIZE:
      return Number(DisplaySize(type));
    case SQL_DESC_NULLABLE:
    case SQL_COLUMN_NULLABLE:
      return Number(SQL_NULLABLE_UNKNOWN);
    case SQL_DESC_UNNAMED:
      return Number(SQL_NAMED);
    case SQL_DESC_UNSIGNED:
      return Number(IsNumber(type.sql_type) ? SQL_FALSE : SQL_TRUE);
    case SQL_DESC_UPDATABLE:
      return Number(SQL_ATTR_READONLY);
    case SQL_DESC_SEARCHABLE:
      return Number(SQL_PRED_SEARCHABLE);
    case SQL_DESC_CASE_SENSITIVE:
      return Number(IsTextType(type.sql_type) ? SQL_TRUE : SQL_FALSE);
    case SQL_DESC_AUTO_UNIQUE_VALUE:
    case SQL_DESC_FIXED_PREC_SCALE:
      return Number(SQL_FALSE);
    default:
      throw RaisedError(0, "vltodbc", "Invalid descriptor field identifier", "HY091");
  }
}

}  // namespace kelvan::vltsim
