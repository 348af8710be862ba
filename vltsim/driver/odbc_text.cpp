#include "vltsim/driver/odbc_text.h"

#include <algorithm>
#include <cstring>

namespace kelvan::vltsim {

std::string InputText(const SQLCHAR* text, SQLINTEGER length) {
  if (text == nullptr) return {};
  const char* chars = reinterpret_cast<const char*>(text);
  if (length == SQL_NTS || length < 0) return std::string(chars);
  return std::string(chars, static_cast<size_t>(length));
}

SQLRETURN OutputText(std::string_view text, SQLCHAR* out, SQLLEN buffer_length, SQLLEN* length_out,
                     Diagnostics& diag) {
  if (length_out != nullptr) *length_out = static_cast<SQLLEN>(text.size());
  // A null buffer asks for the length only.
  if (out == nullptr) return SQL_SUCCESS;
  if (buffer_length <= 0) {
    diag.Add("01004", "String data, right truncated");
    return SQL_SUCCESS_WITH_INFO;
  }
  size_t room = static_cast<size_t>(buffer_length) - 1;
  size_t n = std::min(room, text.size());
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  if (n == text.size()) return SQL_SUCCESS;
  diag.Add("01004", "String data, right truncated");
  return SQL_SUCCESS_WITH_INFO;
}

}  // namespace kelvan::vltsim
