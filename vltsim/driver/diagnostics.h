// Diagnostics: the diagnostic records of one ODBC handle, and the handle base every driver
// object shares. States are ODBC 3 ones; the driver manager maps them for ODBC 2 applications.
// Not thread-safe: each handle's records are guarded by that handle's lock (see Handle::Lock).
#pragma once

#include <sql.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace kelvan::vltsim {

enum class TextForm;

struct DiagRecord {
  std::string sql_state;  // five characters
  std::int32_t native_error = 0;
  std::string message;  // already prefixed with the component name
};

class Diagnostics {
 public:
  // Starts a new call: forgets the records and SQLError's read position. Inline: every call
  // through the driver starts with it.
  void Clear() {
    records_.clear();
    unread_ = 0;
    return_code_ = SQL_SUCCESS;
  }
  void Add(const std::string& sql_state, const std::string& message, std::int32_t native = 0);
  int Count() const { return static_cast<int>(records_.size()); }
  // 1-based; nullptr beyond the last record. Reading never consumes a record.
  const DiagRecord* Record(int number) const;
  // SQLError's view: each record once, then nullptr, so its callers' loops end.
  const DiagRecord* NextUnread();
  void SetReturnCode(SQLRETURN rc) { return_code_ = rc; }
  SQLRETURN ReturnCode() const { return return_code_; }

 private:
  std::vector<DiagRecord> records_;
  size_t unread_ = 0;
  SQLRETURN return_code_ = SQL_SUCCESS;
};

// Writes one record the way SQLError and SQLGetDiagRec return it. Truncation shows in the
// return code alone: a record added while reading would keep the reading from ending.
// `form` is how the entry point counts text (see TextForm).
SQLRETURN WriteRecord(const DiagRecord& record, SQLPOINTER state, SQLINTEGER* native,
                      SQLPOINTER message, SQLSMALLINT buffer_length, SQLSMALLINT* text_length,
                      TextForm form);
// One SQLGetDiagField answer: a header field, or a field of record `number` (SQL_NO_DATA
// when there is no such record). SQL_ERROR for an unknown field.
SQLRETURN WriteDiagField(const Diagnostics& diag, SQLSMALLINT number, SQLSMALLINT field,
                         SQLPOINTER info, SQLSMALLINT buffer_length, SQLSMALLINT* length,
                         TextForm form);

enum class HandleKind : std::uint32_t { kEnvironment = 0x564c5445, kConnection, kStatement };

// Base of the environment, connection and statement objects handed out as ODBC handles.
class Handle {
 public:
  explicit Handle(HandleKind kind) : kind_(kind) {}
  virtual ~Handle() = default;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  HandleKind Kind() const { return kind_; }
  Diagnostics& Diag() { return diag_; }
  // The lock that serialises calls on this handle (a statement shares its connection's).
  virtual std::mutex& Lock() = 0;

 private:
  HandleKind kind_;
  Diagnostics diag_;
};

}  // namespace kelvan::vltsim
