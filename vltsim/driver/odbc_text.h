// Text across the ODBC boundary: reading an application's (possibly NTS) input and writing into
// its fixed-size output buffers with the 01004 truncation rule. Stateless; thread-safe.
#pragma once

#include <sql.h>

#include <cstring>
#include <string>
#include <string_view>

#include "vltsim/driver/diagnostics.h"

namespace kelvan::vltsim {

// The application's text; `length` may be SQL_NTS. A null pointer reads as empty.
std::string InputText(const SQLCHAR* text, SQLINTEGER length);

// Copies `text` into `out` (room for `buffer_length` bytes, NUL included) and stores the full
// length in `*length_out` when given. Truncation adds 01004 and returns SQL_SUCCESS_WITH_INFO.
SQLRETURN OutputText(std::string_view text, SQLCHAR* out, SQLLEN buffer_length, SQLLEN* length_out,
                     Diagnostics& diag);

// Writes a fixed-size answer into the application's buffer, when it gave one.
template <typename T>
void StoreValue(SQLPOINTER target, T value) {
  if (target != nullptr) std::memcpy(target, &value, sizeof value);
}

// The same for the narrower length types of other calls.
template <typename Length>
SQLRETURN OutputTextAs(std::string_view text, SQLPOINTER out, SQLLEN buffer_length,
                       Length* length_out, Diagnostics& diag) {
  SQLLEN full = 0;
  SQLRETURN rc = OutputText(text, static_cast<SQLCHAR*>(out), buffer_length, &full, diag);
  if (length_out != nullptr) *length_out = static_cast<Length>(full);
  return rc;
}

}  // namespace kelvan::vltsim
