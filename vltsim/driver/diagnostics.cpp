#include "vltsim/driver/diagnostics.h"

#include <sqlext.h>

#include "vltsim/driver/odbc_text.h"

namespace kelvan::vltsim {
namespace {

SQLRETURN DiagHeaderField(const Diagnostics& diag, SQLSMALLINT field, SQLPOINTER info,
                          SQLSMALLINT buffer_length, SQLSMALLINT* length, TextForm form) {
  Diagnostics scratch;
  switch (field) {
    case SQL_DIAG_NUMBER:
      StoreValue<SQLINTEGER>(info, diag.Count());
      return SQL_SUCCESS;
    case SQL_DIAG_RETURNCODE:
      StoreValue<SQLRETURN>(info, diag.ReturnCode());
      return SQL_SUCCESS;
    case SQL_DIAG_ROW_COUNT:
    case SQL_DIAG_CURSOR_ROW_COUNT:
      StoreValue<SQLLEN>(info, 0);
      return SQL_SUCCESS;
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
      StoreValue<SQLINTEGER>(info, SQL_DIAG_UNKNOWN_STATEMENT);
      return SQL_SUCCESS;
    case SQL_DIAG_DYNAMIC_FUNCTION:
      return OutputTextAs("", info, buffer_length, length, scratch, form);
    default:
      return SQL_ERROR;
  }
}

bool IsHeaderField(SQLSMALLINT field) {
  return field == SQL_DIAG_NUMBER || field == SQL_DIAG_RETURNCODE || field == SQL_DIAG_ROW_COUNT ||
         field == SQL_DIAG_CURSOR_ROW_COUNT || field == SQL_DIAG_DYNAMIC_FUNCTION ||
         field == SQL_DIAG_DYNAMIC_FUNCTION_CODE;
}

// Classes HY and IM, and subclasses beginning with "S" (01S07, 08S01, 42S02), are ODBC's
// own; the rest come from the SQL standard.
constexpr const char* kOdbcOrigin = "ODBC 3.0";
constexpr const char* kIsoOrigin = "ISO 9075";

bool OdbcClass(const std::string& state) {
  return state.rfind("HY", 0) == 0 || state.rfind("IM", 0) == 0;
}

const char* ClassOrigin(const std::string& state) {
  return OdbcClass(state) ? kOdbcOrigin : kIsoOrigin;
}

const char* SubclassOrigin(const std::string& state) {
  bool odbc_subclass = state.size() > 2 && state[2] == 'S';
  return OdbcClass(state) || odbc_subclass ? kOdbcOrigin : kIsoOrigin;
}

SQLRETURN DiagRecordField(const DiagRecord& record, SQLSMALLINT field, SQLPOINTER info,
                          SQLSMALLINT buffer_length, SQLSMALLINT* length, TextForm form) {
  Diagnostics scratch;
  auto text = [&](const std::string& value) {
    return OutputTextAs(value, info, buffer_length, length, scratch, form);
  };
  switch (field) {
    case SQL_DIAG_SQLSTATE:
      return text(record.sql_state);
    case SQL_DIAG_NATIVE:
      StoreValue<SQLINTEGER>(info, record.native_error);
      return SQL_SUCCESS;
    case SQL_DIAG_MESSAGE_TEXT:
      return text(record.message);
    case SQL_DIAG_CLASS_ORIGIN:
      return text(ClassOrigin(record.sql_state));
    case SQL_DIAG_SUBCLASS_ORIGIN:
      return text(SubclassOrigin(record.sql_state));
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME:
      return text("");
    case SQL_DIAG_COLUMN_NUMBER:
      StoreValue<SQLINTEGER>(info, SQL_COLUMN_NUMBER_UNKNOWN);
      return SQL_SUCCESS;
    case SQL_DIAG_ROW_NUMBER:
      StoreValue<SQLLEN>(info, SQL_ROW_NUMBER_UNKNOWN);
      return SQL_SUCCESS;
    default:
      return SQL_ERROR;
  }
}

}  // namespace

void Diagnostics::Add(const std::string& sql_state, const std::string& message,
                      std::int32_t native) {
  records_.push_back({sql_state, native, "[vltodbc]" + message});
}

const DiagRecord* Diagnostics::Record(int number) const {
  if (number < 1 || number > Count()) return nullptr;
  return &records_[number - 1];
}

const DiagRecord* Diagnostics::NextUnread() {
  if (unread_ >= records_.size()) return nullptr;
  return &records_[unread_++];
}

SQLRETURN WriteRecord(const DiagRecord& record, SQLPOINTER state, SQLINTEGER* native,
                      SQLPOINTER message, SQLSMALLINT buffer_length, SQLSMALLINT* text_length,
                      TextForm form) {
  Diagnostics scratch;
  constexpr SQLSMALLINT kStateRoom = 6;
  const TextForm state_form = form == TextForm::kNarrow ? form : TextForm::kWideChars;
  OutputText(record.sql_state, state, kStateRoom, nullptr, scratch, state_form);
  if (native != nullptr) *native = record.native_error;
  return OutputTextAs(record.message, message, buffer_length, text_length, scratch, form);
}

SQLRETURN WriteDiagField(const Diagnostics& diag, SQLSMALLINT number, SQLSMALLINT field,
                         SQLPOINTER info, SQLSMALLINT buffer_length, SQLSMALLINT* length,
                         TextForm form) {
  if (IsHeaderField(field)) return DiagHeaderField(diag, field, info, buffer_length, length, form);
  const DiagRecord* record = diag.Record(number);
  if (record == nullptr) return SQL_NO_DATA;
  return DiagRecordField(*record, field, info, buffer_length, length, form);
}

}  // namespace kelvan::vltsim
