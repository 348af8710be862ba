// Text across the ODBC boundary: reading an application's (possibly NTS) input and writing into
// its fixed-size output buffers with the 01004 truncation rule. The narrow entry points carry
// UTF-8, the wide ones UTF-16; inside the driver all text is UTF-8. Stateless; thread-safe.
#pragma once

#include <sql.h>

#include <cstring>
#include <string>
#include <string_view>

#include "vltsim/driver/diagnostics.h"

namespace kelvan::vltsim {

// How a call counts the buffer lengths of its text: the narrow calls in bytes; the wide ones
// in characters (SQLDescribeColW, SQLGetDiagRecW, ...) or in bytes (SQLGetInfoW, ...).
enum class TextForm { kNarrow, kWideChars, kWideBytes };

// The application's text; `length` may be SQL_NTS. A null pointer reads as empty. Wide input
// is counted in characters whatever the call.
std::string InputText(const SQLCHAR* text, SQLINTEGER length);
std::string InputWideText(const SQLWCHAR* text, SQLINTEGER length);

// Unpaired surrogates and bytes that are no UTF-8 become U+FFFD.
std::u16string Utf16FromUtf8(std::string_view text);
std::string Utf8FromUtf16(std::u16string_view text);

// Copies as much of `bytes` as fits into `out` (room for `capacity` bytes) in whole units of
// `unit` (1 or 2) bytes, then a zero unit; returns the bytes of text written. Nothing is written
// when not even the zero unit fits. Inline: every text SQLGetData runs it.
inline size_t CopyTerminated(std::string_view bytes, size_t unit, void* out, SQLLEN capacity) {
  if (capacity < static_cast<SQLLEN>(unit)) return 0;
  const size_t room = (static_cast<size_t>(capacity) / unit - 1) * unit;
  const size_t n = room < bytes.size() ? room : bytes.size();
  auto* target = static_cast<char*>(out);
  std::memcpy(target, bytes.data(), n);
  target[n] = '\0';
  if (unit == 2) target[n + 1] = '\0';
  return n;
}

// Copies `text` into `out` (room for `buffer_length` bytes or characters, as `form` counts,
// the terminator included) and stores the full length in `*length_out` when given. Truncation
// adds 01004 and returns SQL_SUCCESS_WITH_INFO.
SQLRETURN OutputText(std::string_view text, SQLPOINTER out, SQLLEN buffer_length,
                     SQLLEN* length_out, Diagnostics& diag, TextForm form = TextForm::kNarrow);

// Writes a fixed-size answer into the application's buffer, when it gave one.
template <typename T>
void StoreValue(SQLPOINTER target, T value) {
  if (target != nullptr) std::memcpy(target, &value, sizeof value);
}

// The same for the narrower length types of other calls.
template <typename Length>
SQLRETURN OutputTextAs(std::string_view text, SQLPOINTER out, SQLLEN buffer_length,
                       Length* length_out, Diagnostics& diag, TextForm form = TextForm::kNarrow) {
  SQLLEN full = 0;
  SQLRETURN rc = OutputText(text, out, buffer_length, &full, diag, form);
  if (length_out != nullptr) *length_out = static_cast<Length>(full);
  return rc;
}

}  // namespace kelvan::vltsim
