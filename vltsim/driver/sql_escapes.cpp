#include "vltsim/driver/sql_escapes.h"

#include <cctype>
#include <optional>

namespace kelvan::vltsim {
namespace {

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

size_t SkipBlanks(std::string_view sql, size_t pos) {
  while (pos < sql.size() && IsBlank(sql[pos])) ++pos;
  return pos;
}

// End (one past the closing quote) of the quoted text that opens at `pos`; a doubled quote
// stays inside. An unterminated quote runs to the end of the text.
size_t QuotedEnd(std::string_view sql, size_t pos) {
  char quote = sql[pos];
  for (size_t i = pos + 1; i < sql.size(); ++i) {
    if (sql[i] != quote) continue;
    if (i + 1 < sql.size() && sql[i + 1] == quote) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return sql.size();
}

bool IsDateTimeKeyword(std::string_view word) {
  if (word.size() < 1 || word.size() > 2) return false;
  std::string lower;
  for (char c : word) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == "ts" || lower == "d" || lower == "t";
}

struct Escape {
  std::string_view literal;  // the quoted literal, quotes included
  size_t end;                // one past the closing brace
};

// The date/time escape whose "{" stands at `open`, if that is one.
std::optional<Escape> ReadEscape(std::string_view sql, size_t open) {
  size_t pos = SkipBlanks(sql, open + 1);
  size_t word_start = pos;
  while (pos < sql.size() && std::isalpha(static_cast<unsigned char>(sql[pos]))) ++pos;
  if (!IsDateTimeKeyword(sql.substr(word_start, pos - word_start))) return std::nullopt;
  pos = SkipBlanks(sql, pos);
  if (pos >= sql.size() || sql[pos] != '\'') return std::nullopt;
  size_t literal_end = QuotedEnd(sql, pos);
  if (sql[literal_end - 1] != '\'' || literal_end - pos < 2) return std::nullopt;
  size_t close = SkipBlanks(sql, literal_end);
  if (close >= sql.size() || sql[close] != '}') return std::nullopt;
  return Escape{sql.substr(pos, literal_end - pos), close + 1};
}

}  // namespace

std::string TranslateEscapes(std::string_view sql) {
  std::string out;
  out.reserve(sql.size());
  size_t pos = 0;
  while (pos < sql.size()) {
    char c = sql[pos];
    if (c == '\'' || c == '"') {
      size_t end = QuotedEnd(sql, pos);
      out.append(sql.substr(pos, end - pos));
      pos = end;
    } else if (auto escape = c == '{' ? ReadEscape(sql, pos) : std::nullopt) {
      out.append(escape->literal);
      pos = escape->end;
    } else {
      out += c;
      ++pos;
    }
  }
  return out;
}

}  // namespace kelvan::vltsim
