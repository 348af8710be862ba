// The wide (UTF-16) entry points: each decodes its text and runs the body its narrow twin
// runs, writing text back in UTF-16 and counting it as that call's definition says.
#include "vltsim/driver/entry_points.h"

using namespace kelvan::vltsim;  // NOLINT: the entry points below are the namespace's face

VLT_EXPORT SQLRETURN SQL_API SQLConnectW(SQLHDBC dbc, SQLWCHAR* server, SQLSMALLINT server_length,
                                         SQLWCHAR* user, SQLSMALLINT user_length,
                                         SQLWCHAR* password, SQLSMALLINT password_length) {
  return ConnectTo(dbc, InputWideText(server, server_length), InputWideText(user, user_length),
                   InputWideText(password, password_length));
}

VLT_EXPORT SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC dbc, SQLHWND, SQLWCHAR* in,
                                               SQLSMALLINT in_length, SQLWCHAR* out,
                                               SQLSMALLINT out_max, SQLSMALLINT* out_length,
                                               SQLUSMALLINT) {
  return DriverConnectTo(dbc, InputWideText(in, in_length), out, out_max, out_length,
                         TextForm::kWideChars);
}

VLT_EXPORT SQLRETURN SQL_API SQLGetInfoW(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
                                         SQLSMALLINT buffer_length, SQLSMALLINT* length) {
  return AnswerInfo(dbc, type, value, buffer_length, length, TextForm::kWideBytes);
}

VLT_EXPORT SQLRETURN SQL_API SQLNativeSqlW(SQLHDBC dbc, SQLWCHAR* in, SQLINTEGER in_length,
                                           SQLWCHAR* out, SQLINTEGER out_max,
                                           SQLINTEGER* out_length) {
  std::optional<std::string> text;
  if (in != nullptr) text = InputWideText(in, in_length);
  return TranslateNative(dbc, text, out, out_max, out_length, TextForm::kWideChars);
}

VLT_EXPORT SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length) {
  return ExecuteDirect(stmt, InputWideText(text, length));
}

VLT_EXPORT SQLRETURN SQL_API SQLPrepareW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length) {
  return PrepareText(stmt, InputWideText(text, length));
}

VLT_EXPORT SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT stmt, SQLUSMALLINT number, SQLWCHAR* name,
                                             SQLSMALLINT buffer_length, SQLSMALLINT* name_length,
                                             SQLSMALLINT* data_type, SQLULEN* column_size,
                                             SQLSMALLINT* decimal_digits, SQLSMALLINT* nullable) {
  return DescribeColumn(stmt, number, name, buffer_length, name_length, data_type, column_size,
                        decimal_digits, nullable, TextForm::kWideChars);
}

VLT_EXPORT SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT stmt, SQLUSMALLINT number,
                                              SQLUSMALLINT field, SQLPOINTER text,
                                              SQLSMALLINT buffer_length, SQLSMALLINT* length,
                                              SQLLEN* numeric) {
  return AnswerColumnAttribute(stmt, number, field, text, buffer_length, length, numeric,
                               TextForm::kWideBytes);
}

VLT_EXPORT SQLRETURN SQL_API SQLErrorW(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLWCHAR* state,
                                       SQLINTEGER* native, SQLWCHAR* message,
                                       SQLSMALLINT buffer_length, SQLSMALLINT* text_length) {
  return NextError(env, dbc, stmt, state, native, message, buffer_length, text_length,
                   TextForm::kWideChars);
}

VLT_EXPORT SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT number,
                                            SQLWCHAR* state, SQLINTEGER* native, SQLWCHAR* message,
                                            SQLSMALLINT buffer_length, SQLSMALLINT* text_length) {
  return DiagRecordAt(type, h, number, state, native, message, buffer_length, text_length,
                      TextForm::kWideChars);
}

VLT_EXPORT SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT number,
                                              SQLSMALLINT field, SQLPOINTER info,
                                              SQLSMALLINT buffer_length, SQLSMALLINT* length) {
  return DiagFieldAt(type, h, number, field, info, buffer_length, length, TextForm::kWideBytes);
}

// Every attribute the driver knows is an integer: the wide calls are the narrow ones.
VLT_EXPORT SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                                SQLINTEGER length) {
  return SQLSetConnectAttr(dbc, attribute, value, length);
}

VLT_EXPORT SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                                SQLINTEGER buffer_length, SQLINTEGER* length) {
  return SQLGetConnectAttr(dbc, attribute, value, buffer_length, length);
}

VLT_EXPORT SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                             SQLINTEGER length) {
  return SQLSetStmtAttr(stmt, attribute, value, length);
}

VLT_EXPORT SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                             SQLINTEGER buffer_length, SQLINTEGER* length) {
  return SQLGetStmtAttr(stmt, attribute, value, buffer_length, length);
}
