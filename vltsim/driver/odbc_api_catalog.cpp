// The entry points of catalog functions (narrow and wide alike), bound columns and parameters,
// and SQLGetFunctions, which must name exactly the functions this library exports.
#include <algorithm>
#include <array>

#include "vltsim/driver/catalog.h"
#include "vltsim/driver/entry_points.h"

namespace kelvan::vltsim {
namespace {

constexpr std::array kImplementedFunctions = {
    SQL_API_SQLALLOCCONNECT,  SQL_API_SQLALLOCENV,       SQL_API_SQLALLOCHANDLE,
    SQL_API_SQLALLOCSTMT,     SQL_API_SQLBINDCOL,        SQL_API_SQLBINDPARAMETER,
    SQL_API_SQLCANCEL,        SQL_API_SQLCLOSECURSOR,    SQL_API_SQLCOLATTRIBUTE,
    SQL_API_SQLCOLUMNS,       SQL_API_SQLCONNECT,        SQL_API_SQLDESCRIBECOL,
    SQL_API_SQLDESCRIBEPARAM, SQL_API_SQLDISCONNECT,     SQL_API_SQLENDTRAN,
    SQL_API_SQLDRIVERCONNECT, SQL_API_SQLERROR,          SQL_API_SQLEXECDIRECT,
    SQL_API_SQLEXECUTE,       SQL_API_SQLFETCH,          SQL_API_SQLFETCHSCROLL,
    SQL_API_SQLFREECONNECT,   SQL_API_SQLFREEENV,        SQL_API_SQLFREEHANDLE,
    SQL_API_SQLFREESTMT,      SQL_API_SQLGETCONNECTATTR, SQL_API_SQLGETDATA,
    SQL_API_SQLGETDIAGFIELD,  SQL_API_SQLGETDIAGREC,     SQL_API_SQLGETENVATTR,
    SQL_API_SQLGETFUNCTIONS,  SQL_API_SQLGETINFO,        SQL_API_SQLGETSTMTATTR,
    SQL_API_SQLGETTYPEINFO,   SQL_API_SQLMORERESULTS,    SQL_API_SQLNATIVESQL,
    SQL_API_SQLNUMPARAMS,     SQL_API_SQLNUMRESULTCOLS,  SQL_API_SQLPREPARE,
    SQL_API_SQLPRIMARYKEYS,   SQL_API_SQLROWCOUNT,       SQL_API_SQLSETCONNECTATTR,
    SQL_API_SQLSETENVATTR,    SQL_API_SQLSETSTMTATTR,    SQL_API_SQLSTATISTICS,
    SQL_API_SQLTABLES,
};

bool Implemented(SQLUSMALLINT function) {
  return std::find(kImplementedFunctions.begin(), kImplementedFunctions.end(), function) !=
         kImplementedFunctions.end();
}

// Both forms of the ODBC 3 bitmap and the ODBC 2 array of 100 flags.
void AnswerFunctions(SQLUSMALLINT function, SQLUSMALLINT* supported) {
  if (function == SQL_API_ODBC3_ALL_FUNCTIONS) {
    std::fill_n(supported, SQL_API_ODBC3_ALL_FUNCTIONS_SIZE, 0);
    for (SQLUSMALLINT id : kImplementedFunctions) supported[id >> 4] |= 1 << (id & 0x000F);
  } else if (function == SQL_API_ALL_FUNCTIONS) {
    for (SQLUSMALLINT id = 0; id < 100; ++id) supported[id] = Implemented(id) ? SQL_TRUE : 0;
  } else {
    *supported = Implemented(function) ? SQL_TRUE : SQL_FALSE;
  }
}

template <typename Char>
SQLRETURN Tables(SQLHSTMT stmt, Char* catalog, SQLSMALLINT catalog_length, Char* schema,
                 SQLSMALLINT schema_length, Char* table, SQLSMALLINT table_length, Char* types,
                 SQLSMALLINT types_length) {
  return RunCatalog(stmt, [&](Statement&) {
    return TablesQuery(CatalogText(catalog, catalog_length), CatalogText(schema, schema_length),
                       CatalogText(table, table_length), CatalogText(types, types_length));
  });
}

template <typename Char>
SQLRETURN Columns(SQLHSTMT stmt, Char* catalog, SQLSMALLINT catalog_length, Char* schema,
                  SQLSMALLINT schema_length, Char* table, SQLSMALLINT table_length, Char* column,
                  SQLSMALLINT column_length) {
  return RunCatalog(stmt, [&](Statement& statement) {
    return ColumnsQuery(CatalogText(catalog, catalog_length), CatalogText(schema, schema_length),
                        CatalogText(table, table_length), CatalogText(column, column_length),
                        statement.OdbcVersion());
  });
}

SQLRETURN TypeInfo(SQLHSTMT stmt, SQLSMALLINT data_type) {
  return RunCatalog(stmt, [&](Statement& statement) {
    return TypeInfoQuery(data_type, statement.OdbcVersion());
  });
}

SQLRETURN PrimaryKeys(SQLHSTMT stmt) {
  return RunCatalog(stmt, [](Statement&) { return PrimaryKeysQuery(); });
}

SQLRETURN Statistics(SQLHSTMT stmt) {
  return RunCatalog(stmt, [](Statement&) { return StatisticsQuery(); });
}

}  // namespace
}  // namespace kelvan::vltsim

using namespace kelvan::vltsim;  // NOLINT: the entry points below are the namespace's face

VLT_EXPORT SQLRETURN SQL_API SQLGetFunctions(SQLHDBC dbc, SQLUSMALLINT function,
                                             SQLUSMALLINT* supported) {
  Connection* connection = Dbc(dbc);
  return Guarded(connection, [&]() -> SQLRETURN {
    if (supported == nullptr) Fail("HY009", "Invalid use of null pointer");
    AnswerFunctions(function, supported);
    return SQL_SUCCESS;
  });
}

// ---- Bound columns and parameters ----------------------------------------------------------

VLT_EXPORT SQLRETURN SQL_API SQLBindCol(SQLHSTMT stmt, SQLUSMALLINT number, SQLSMALLINT c_type,
                                        SQLPOINTER target, SQLLEN buffer_length,
                                        SQLLEN* indicator) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    statement->BindColumn(number, {c_type, target, buffer_length, indicator});
    return SQL_SUCCESS;
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLBindParameter(SQLHSTMT stmt, SQLUSMALLINT number,
                                              SQLSMALLINT io_type, SQLSMALLINT c_type,
                                              SQLSMALLINT sql_type, SQLULEN, SQLSMALLINT,
                                              SQLPOINTER value, SQLLEN buffer_length,
                                              SQLLEN* indicator) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    if (io_type != SQL_PARAM_INPUT) Fail("HYC00", "Optional feature not implemented");
    statement->BindParameter(number, {c_type, sql_type, value, buffer_length, indicator});
    return SQL_SUCCESS;
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLNumParams(SQLHSTMT stmt, SQLSMALLINT* count) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    StoreValue(count, static_cast<SQLSMALLINT>(statement->ParameterCount()));
    return SQL_SUCCESS;
  });
}

// SQLite does not type its parameters: every marker is described as a text.
VLT_EXPORT SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT stmt, SQLUSMALLINT number,
                                              SQLSMALLINT* sql_type, SQLULEN* size,
                                              SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    if (number < 1 || number > statement->ParameterCount()) {
      Fail("07009", "Invalid descriptor index");
    }
    const ColumnType text;
    StoreValue(sql_type, text.sql_type);
    StoreValue(size, text.size);
    StoreValue(digits, text.digits);
    StoreValue<SQLSMALLINT>(nullable, SQL_NULLABLE);
    return SQL_SUCCESS;
  });
}

VLT_EXPORT SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN) {
  Statement* statement = Stmt(stmt);
  return Guarded(statement, [&]() -> SQLRETURN {
    if (orientation != SQL_FETCH_NEXT) Fail("HY106", "Fetch type out of range");
    return statement->Fetch();
  });
}

// ---- Catalog functions ---------------------------------------------------------------------

VLT_EXPORT SQLRETURN SQL_API SQLTables(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalog_length,
                                       SQLCHAR* schema, SQLSMALLINT schema_length, SQLCHAR* table,
                                       SQLSMALLINT table_length, SQLCHAR* types,
                                       SQLSMALLINT types_length) {
  return Tables(stmt, catalog, catalog_length, schema, schema_length, table, table_length, types,
                types_length);
}

VLT_EXPORT SQLRETURN SQL_API SQLTablesW(SQLHSTMT stmt, SQLWCHAR* catalog,
                                        SQLSMALLINT catalog_length, SQLWCHAR* schema,
                                        SQLSMALLINT schema_length, SQLWCHAR* table,
                                        SQLSMALLINT table_length, SQLWCHAR* types,
                                        SQLSMALLINT types_length) {
  return Tables(stmt, catalog, catalog_length, schema, schema_length, table, table_length, types,
                types_length);
}

VLT_EXPORT SQLRETURN SQL_API SQLColumns(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalog_length,
                                        SQLCHAR* schema, SQLSMALLINT schema_length, SQLCHAR* table,
                                        SQLSMALLINT table_length, SQLCHAR* column,
                                        SQLSMALLINT column_length) {
  return Columns(stmt, catalog, catalog_length, schema, schema_length, table, table_length, column,
                 column_length);
}

VLT_EXPORT SQLRETURN SQL_API SQLColumnsW(SQLHSTMT stmt, SQLWCHAR* catalog,
                                         SQLSMALLINT catalog_length, SQLWCHAR* schema,
                                         SQLSMALLINT schema_length, SQLWCHAR* table,
                                         SQLSMALLINT table_length, SQLWCHAR* column,
                                         SQLSMALLINT column_length) {
  return Columns(stmt, catalog, catalog_length, schema, schema_length, table, table_length, column,
                 column_length);
}

VLT_EXPORT SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT stmt, SQLSMALLINT data_type) {
  return TypeInfo(stmt, data_type);
}

VLT_EXPORT SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT stmt, SQLSMALLINT data_type) {
  return TypeInfo(stmt, data_type);
}

VLT_EXPORT SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT stmt, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                            SQLSMALLINT, SQLCHAR*, SQLSMALLINT) {
  return PrimaryKeys(stmt);
}

VLT_EXPORT SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT stmt, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                             SQLSMALLINT, SQLWCHAR*, SQLSMALLINT) {
  return PrimaryKeys(stmt);
}

VLT_EXPORT SQLRETURN SQL_API SQLStatistics(SQLHSTMT stmt, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                           SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLUSMALLINT,
                                           SQLUSMALLINT) {
  return Statistics(stmt);
}

VLT_EXPORT SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT stmt, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                            SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLUSMALLINT,
                                            SQLUSMALLINT) {
  return Statistics(stmt);
}
