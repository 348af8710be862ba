#include "vltsim/driver/odbc_text.h"

#include <algorithm>
#include <cstring>

namespace kelvan::vltsim {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The code point starting at `pos`, advancing past it. A malformed sequence gives one
// kReplacement for its longest valid start, as Unicode recommends (and Python decodes).
char32_t NextCodePoint(std::string_view text, size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) return lead;
  const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
  if (lead < 0xC2 || lead > 0xF4) return kReplacement;
  // The second byte's range excludes overlong forms, surrogates and values past U+10FFFF.
  unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  char32_t code = lead & (0x3F >> extra);
  for (int i = 0; i < extra; ++i) {
    const auto next = pos < text.size() ? static_cast<unsigned char>(text[pos]) : 0;
    if (next < low || next > high) return kReplacement;
    code = (code << 6) | (next & 0x3F);
    ++pos;
    low = 0x80;
    high = 0xBF;
  }
  return code;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string InputText(const SQLCHAR* text, SQLINTEGER length) {
  if (text == nullptr) return {};
  const char* chars = reinterpret_cast<const char*>(text);
  if (length == SQL_NTS || length < 0) return std::string(chars);
  return std::string(chars, static_cast<size_t>(length));
}

std::string InputWideText(const SQLWCHAR* text, SQLINTEGER length) {
  if (text == nullptr) return {};
  static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));
  const auto* units = reinterpret_cast<const char16_t*>(text);
  if (length == SQL_NTS || length < 0) return Utf8FromUtf16(std::u16string_view(units));
  return Utf8FromUtf16(std::u16string_view(units, static_cast<size_t>(length)));
}

std::u16string Utf16FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    char32_t code = NextCodePoint(text, pos);
    if (code < 0x10000) {
      out += static_cast<char16_t>(code);
    } else {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    }
  }
  return out;
}

std::string Utf8FromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00));
    } else {
      AppendUtf8(out, IsHighSurrogate(unit) || IsLowSurrogate(unit) ? kReplacement : unit);
    }
  }
  return out;
}

SQLRETURN OutputText(std::string_view text, SQLPOINTER out, SQLLEN buffer_length,
                     SQLLEN* length_out, Diagnostics& diag, TextForm form) {
  std::u16string wide;
  std::string_view bytes = text;
  size_t unit = 1;
  if (form != TextForm::kNarrow) {
    wide = Utf16FromUtf8(text);
    bytes = std::string_view(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    unit = 2;
  }
  const SQLLEN per_count = form == TextForm::kWideChars ? 2 : 1;
  if (length_out != nullptr) *length_out = static_cast<SQLLEN>(bytes.size()) / per_count;
  // A null buffer asks for the length only.
  if (out == nullptr) return SQL_SUCCESS;
  SQLLEN capacity = buffer_length > 0 ? buffer_length * per_count : 0;
  if (capacity < static_cast<SQLLEN>(unit) ||
      CopyTerminated(bytes, unit, out, capacity) != bytes.size()) {
    diag.Add("01004", "String data, right truncated");
    return SQL_SUCCESS_WITH_INFO;
  }
  return SQL_SUCCESS;
}

}  // namespace kelvan::vltsim
