#include "vltsim/driver/catalog.h"

#include <sqlext.h>

#include <cctype>
#include <string_view>

namespace kelvan::vltsim {
namespace {

constexpr const char* kTypeFieldFunction = "vlt_type_field";

// What vlt_type_field(declared_type, field, odbc_version) answers.
enum TypeField {
  kDataType = 1,
  kTypeName,
  kColumnSize,
  kBufferLength,
  kDecimalDigits,
  kRadix,
  kSqlDataType,
  kDateTimeSub,
  kOctetLength
};

bool HasDigits(SQLSMALLINT t) {
  return t == SQL_DECIMAL || t == SQL_NUMERIC || t == SQL_TYPE_TIMESTAMP || t == SQL_INTEGER ||
         t == SQL_SMALLINT || t == SQL_BIGINT;
}

void AnswerTypeField(sqlite3_context* context, const ColumnType& type, int field, int version) {
  const SQLSMALLINT t = type.sql_type;
  switch (field) {
    case kDataType:
      return sqlite3_result_int(context, TypeForVersion(t, version));
    case kTypeName:
      return sqlite3_result_text(context, TypeName(t), -1, SQLITE_STATIC);
    case kColumnSize:
      return sqlite3_result_int64(context, static_cast<sqlite3_int64>(type.size));
    case kBufferLength:
      return sqlite3_result_int64(context, TransferOctetLength(type));
    case kDecimalDigits:
      if (HasDigits(t)) return sqlite3_result_int(context, type.digits);
      break;
    case kRadix:
      if (!IsTextType(t) && !IsDateTimeType(t)) return sqlite3_result_int(context, 10);
      break;
    case kSqlDataType:
      return sqlite3_result_int(context, VerboseType(t, version));
    case kDateTimeSub:
      if (IsDateTimeType(t)) return sqlite3_result_int(context, DateTimeSubcode(t));
      break;
    case kOctetLength:
      if (IsTextType(t)) return sqlite3_result_int64(context, TransferOctetLength(type));
      break;
    default:
      break;
  }
  sqlite3_result_null(context);
}

void TypeFieldFunction(sqlite3_context* context, int, sqlite3_value** args) {
  const auto* declared = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
  const ColumnType type = TypeFromDeclared(declared != nullptr ? declared : "");
  AnswerTypeField(context, type, sqlite3_value_int(args[1]), sqlite3_value_int(args[2]));
}

ColumnType Name() { return {SQL_VARCHAR, 128, 0}; }
ColumnType Small() { return {SQL_SMALLINT, 5, 0}; }
ColumnType Integer() { return {SQL_INTEGER, 10, 0}; }

bool IsEmpty(const CatalogArgument& argument) { return argument && argument->empty(); }
bool IsAll(const CatalogArgument& argument) { return argument && *argument == SQL_ALL_CATALOGS; }

// Tables live in no catalog and no schema: a pattern other than "%" for either matches none.
bool NamesOtherPlace(const CatalogArgument& catalog, const CatalogArgument& schema) {
  return (catalog && !catalog->empty() && !IsAll(catalog)) ||
         (schema && !schema->empty() && !IsAll(schema));
}

std::string Pattern(const CatalogArgument& argument) {
  return argument && !argument->empty() ? *argument : "%";
}

// "'TABLE', VIEW" → {"TABLE", "VIEW"}; empty for no filter.
std::vector<std::string> TableTypes(const CatalogArgument& list) {
  std::vector<std::string> types;
  if (!list || *list == "%") return types;
  std::string current;
  for (char c : *list + ",") {
    if (c == ',') {
      if (!current.empty()) types.push_back(current);
      current.clear();
    } else if (c != '\'' && !std::isspace(static_cast<unsigned char>(c))) {
      current += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  return types;
}

constexpr const char* kUserTables =
    "SELECT NULL AS TABLE_CAT, NULL AS TABLE_SCHEM, name AS TABLE_NAME, "
    "CASE type WHEN 'view' THEN 'VIEW' ELSE 'TABLE' END AS TABLE_TYPE, NULL AS REMARKS "
    "FROM sqlite_master WHERE type IN ('table', 'view') AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'";

CatalogQuery TableTypeList() {
  return {
      "SELECT NULL AS TABLE_CAT, NULL AS TABLE_SCHEM, NULL AS TABLE_NAME, TABLE_TYPE, "
      "NULL AS REMARKS FROM (SELECT 'TABLE' AS TABLE_TYPE UNION ALL SELECT 'VIEW') "
      "ORDER BY TABLE_TYPE",
      {},
      {Name(), Name(), Name(), Name(), Name()}};
}

// A result with the given columns and no rows.
CatalogQuery EmptyResult(const std::vector<std::pair<const char*, ColumnType>>& columns) {
  CatalogQuery query{"SELECT ", {}, {}};
  for (const auto& [name, type] : columns) {
    if (!query.types.empty()) query.sql += ", ";
    query.sql += std::string("NULL AS ") + name;
    query.types.push_back(type);
  }
  query.sql += " WHERE 0";
  return query;
}

struct TypeInfoRow {
  const char* name;
  SQLSMALLINT type;
  long size;
  const char* quote;  // literal prefix and suffix, or nullptr
  const char* create_params;
  bool text;
  int max_scale;  // -1 where scale does not apply
};

constexpr TypeInfoRow kTypes[] = {
    {"BIGINT", SQL_BIGINT, 19, nullptr, nullptr, false, 0},
    {"TEXT", SQL_LONGVARCHAR, 2147483647, "'", nullptr, true, -1},
    {"CHAR", SQL_CHAR, 255, "'", "length", true, -1},
    {"NUMERIC", SQL_NUMERIC, 38, nullptr, "precision,scale", false, 38},
    {"DECIMAL", SQL_DECIMAL, 38, nullptr, "precision,scale", false, 38},
    {"INTEGER", SQL_INTEGER, 10, nullptr, nullptr, false, 0},
    {"SMALLINT", SQL_SMALLINT, 5, nullptr, nullptr, false, 0},
    {"FLOAT", SQL_FLOAT, 15, nullptr, nullptr, false, -1},
    {"REAL", SQL_REAL, 7, nullptr, nullptr, false, -1},
    {"DOUBLE", SQL_DOUBLE, 15, nullptr, nullptr, false, -1},
    {"VARCHAR", SQL_VARCHAR, 65535, "'", "max length", true, -1},
    {"DATE", SQL_TYPE_DATE, 10, "'", nullptr, false, -1},
    {"TIME", SQL_TYPE_TIME, 8, "'", nullptr, false, -1},
    {"TIMESTAMP", SQL_TYPE_TIMESTAMP, 29, "'", nullptr, false, 9},
};

std::string Literal(const char* text) {
  if (text == nullptr) return "NULL";
  std::string literal = "'";
  for (const char* c = text; *c != '\0'; ++c) literal += *c == '\'' ? "''" : std::string(1, *c);
  return literal + "'";
}

std::string Number(long value) { return std::to_string(value); }

std::string OrNull(bool present, long value) { return present ? Number(value) : "NULL"; }

std::string TypeInfoValues(const TypeInfoRow& row, int version) {
  const bool datetime = IsDateTimeType(row.type);
  const bool number = !row.text && !datetime;
  const std::string scale = OrNull(row.max_scale >= 0, row.max_scale);
  return "(" + Literal(row.name) + ", " + Number(TypeForVersion(row.type, version)) + ", " +
         Number(row.size) + ", " + Literal(row.quote) + ", " + Literal(row.quote) + ", " +
         Literal(row.create_params) + ", " + Number(SQL_NULLABLE) + ", " + Number(row.text) + ", " +
         Number(row.text ? SQL_SEARCHABLE : SQL_PRED_BASIC) + ", " + OrNull(number, SQL_FALSE) +
         ", " + Number(SQL_FALSE) + ", " + OrNull(number, SQL_FALSE) + ", " + Literal(row.name) +
         ", " + (row.max_scale >= 0 ? "0" : "NULL") + ", " + scale + ", " +
         Number(VerboseType(row.type, version)) + ", " +
         OrNull(datetime, DateTimeSubcode(row.type)) + ", " + OrNull(number, 10) + ", NULL)";
}

SQLSMALLINT Odbc3Type(SQLSMALLINT type) {
  switch (type) {
    case SQL_DATE:
      return SQL_TYPE_DATE;
    case SQL_TIME:
      return SQL_TYPE_TIME;
    case SQL_TIMESTAMP:
      return SQL_TYPE_TIMESTAMP;
    default:
      return type;
  }
}

}  // namespace

void RegisterCatalogFunctions(sqlite3* db) {
  sqlite3_create_function(db, kTypeFieldFunction, 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          TypeFieldFunction, nullptr, nullptr);
}

CatalogQuery TablesQuery(const CatalogArgument& catalog, const CatalogArgument& schema,
                         const CatalogArgument& table, const CatalogArgument& table_types) {
  const bool nothing_else = IsEmpty(table);
  if (IsAll(table_types) && IsEmpty(catalog) && IsEmpty(schema) && nothing_else) {
    return TableTypeList();
  }
  CatalogQuery query{
      std::string("SELECT * FROM (") + kUserTables + ") WHERE TABLE_NAME LIKE ?1 ESCAPE '\\'",
      {Pattern(table)},
      {Name(), Name(), Name(), Name(), Name()}};
  // The lists of catalogs and of schemas are empty, as is any other place.
  const bool catalog_list = IsAll(catalog) && IsEmpty(schema) && nothing_else;
  const bool schema_list = IsAll(schema) && IsEmpty(catalog) && nothing_else;
  if (catalog_list || schema_list || NamesOtherPlace(catalog, schema)) query.sql += " AND 0";
  const std::vector<std::string> types = TableTypes(table_types);
  if (!types.empty()) {
    query.sql += " AND TABLE_TYPE IN (";
    for (size_t i = 0; i < types.size(); ++i) {
      query.sql += (i == 0 ? "?" : ", ?") + std::to_string(i + 2);
      query.parameters.push_back(types[i]);
    }
    query.sql += ")";
  }
  query.sql += " ORDER BY TABLE_TYPE, TABLE_NAME";
  return query;
}

CatalogQuery ColumnsQuery(const CatalogArgument& catalog, const CatalogArgument& schema,
                          const CatalogArgument& table, const CatalogArgument& column,
                          int odbc_version) {
  auto field = [](TypeField f, const char* name) {
    return std::string("vlt_type_field(c.type, ") + std::to_string(f) + ", ?3) AS " + name + ", ";
  };
  CatalogQuery query;
  query.sql = "SELECT t.TABLE_CAT, t.TABLE_SCHEM, t.TABLE_NAME, c.name AS COLUMN_NAME, " +
              field(kDataType, "DATA_TYPE") + field(kTypeName, "TYPE_NAME") +
              field(kColumnSize, "COLUMN_SIZE") + field(kBufferLength, "BUFFER_LENGTH") +
              field(kDecimalDigits, "DECIMAL_DIGITS") + field(kRadix, "NUM_PREC_RADIX") +
              "CASE WHEN c.\"notnull\" THEN 0 ELSE 1 END AS NULLABLE, NULL AS REMARKS, "
              "c.dflt_value AS COLUMN_DEF, " +
              field(kSqlDataType, "SQL_DATA_TYPE") + field(kDateTimeSub, "SQL_DATETIME_SUB") +
              field(kOctetLength, "CHAR_OCTET_LENGTH") +
              "c.cid + 1 AS ORDINAL_POSITION, "
              "CASE WHEN c.\"notnull\" THEN 'NO' ELSE 'YES' END AS IS_NULLABLE "
              "FROM (" +
              kUserTables +
              ") AS t, pragma_table_info(t.TABLE_NAME) AS c "
              "WHERE t.TABLE_NAME LIKE ?1 ESCAPE '\\' AND c.name LIKE ?2 ESCAPE '\\'" +
              (NamesOtherPlace(catalog, schema) ? " AND 0" : "") + " ORDER BY t.TABLE_NAME, c.cid";
  query.parameters = {Pattern(table), Pattern(column), std::to_string(odbc_version)};
  query.types = {Name(),  Name(),  Name(), Name(), Small(), Name(),  Integer(), Integer(), Small(),
                 Small(), Small(), Name(), Name(), Small(), Small(), Integer(), Integer(), Name()};
  return query;
}

CatalogQuery TypeInfoQuery(SQLSMALLINT data_type, int odbc_version) {
  CatalogQuery query;
  query.sql =
      "WITH t(TYPE_NAME, DATA_TYPE, COLUMN_SIZE, LITERAL_PREFIX, LITERAL_SUFFIX, CREATE_PARAMS, "
      "NULLABLE, CASE_SENSITIVE, SEARCHABLE, UNSIGNED_ATTRIBUTE, FIXED_PREC_SCALE, "
      "AUTO_UNIQUE_VALUE, LOCAL_TYPE_NAME, MINIMUM_SCALE, MAXIMUM_SCALE, SQL_DATA_TYPE, "
      "SQL_DATETIME_SUB, NUM_PREC_RADIX, INTERVAL_PRECISION) AS (VALUES ";
  for (const TypeInfoRow& row : kTypes) {
    if (&row != kTypes) query.sql += ", ";
    query.sql += TypeInfoValues(row, odbc_version);
  }
  query.sql += ") SELECT * FROM t";
  if (data_type != SQL_ALL_TYPES) {
    query.sql +=
        " WHERE DATA_TYPE = " + std::to_string(TypeForVersion(Odbc3Type(data_type), odbc_version));
  }
  query.sql += " ORDER BY DATA_TYPE, TYPE_NAME";
  query.types = {Name(),  Small(), Integer(), Name(),    Name(),  Name(), Small(),
                 Small(), Small(), Small(),   Small(),   Small(), Name(), Small(),
                 Small(), Small(), Small(),   Integer(), Small()};
  return query;
}

CatalogQuery PrimaryKeysQuery() {
  return EmptyResult({{"TABLE_CAT", Name()},
                      {"TABLE_SCHEM", Name()},
                      {"TABLE_NAME", Name()},
                      {"COLUMN_NAME", Name()},
                      {"KEY_SEQ", Small()},
                      {"PK_NAME", Name()}});
}

CatalogQuery StatisticsQuery() {
  return EmptyResult({{"TABLE_CAT", Name()},
                      {"TABLE_SCHEM", Name()},
                      {"TABLE_NAME", Name()},
                      {"NON_UNIQUE", Small()},
                      {"INDEX_QUALIFIER", Name()},
                      {"INDEX_NAME", Name()},
                      {"TYPE", Small()},
                      {"ORDINAL_POSITION", Small()},
                      {"COLUMN_NAME", Name()},
                      {"ASC_OR_DESC", {SQL_CHAR, 1, 0}},
                      {"CARDINALITY", Integer()},
                      {"PAGES", Integer()},
                      {"FILTER_CONDITION", Name()}});
}

}  // namespace kelvan::vltsim
