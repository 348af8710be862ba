#include "vltsim/driver/row_order.h"

#include <strings.h>

#include <cctype>
#include <cstdint>

#include "vltsim/profile.h"

namespace kelvan::vltsim {
namespace {

constexpr const char* kMixer = "vltsim_row_mix";
constexpr size_t kNone = std::string_view::npos;

// vltsim_row_mix(row number, query key): SplitMix64's finaliser, so that neighbouring rows land
// far apart.
void MixRow(sqlite3_context* context, int, sqlite3_value** args) {
  std::uint64_t z =
      static_cast<std::uint64_t>(sqlite3_value_int64(args[0])) * 0x9E3779B97F4A7C15ULL +
      static_cast<std::uint64_t>(sqlite3_value_int64(args[1]));
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  sqlite3_result_int64(context, static_cast<sqlite3_int64>(z ^ (z >> 31)));
}

bool FileIsRealProfile(sqlite3* db) {
  const std::string sql =
      std::string("SELECT VALUE FROM VLTSIM_STATE WHERE NAME = '") + kProfileSetting + "'";
  sqlite3_stmt* statement = nullptr;
  bool real = false;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    real = value != nullptr && ParseProfile(value) == Profile::kReal;
  }
  sqlite3_finalize(statement);
  return real;
}

// FNV-1a: the same query text always gets the same order.
std::int64_t QueryKey(std::string_view text) {
  std::uint64_t hash = 0xCBF29CE484222325ULL;
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
  return static_cast<std::int64_t>(hash >> 1);
}

bool IsWordCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return std::isalnum(byte) || c == '_' || c == '$' || byte >= 0x80;
}

// Index of the last character of the token that starts at `at`: a quoted text or name, a
// comment, a word or a single character. kNone when it runs to the end unclosed.
size_t TokenEnd(std::string_view sql, size_t at) {
  const char c = sql[at];
  if (c == '\'' || c == '"' || c == '`') return sql.find(c, at + 1);  // '' reads as two texts
  if (c == '[') return sql.find(']', at + 1);
  if (sql.substr(at, 2) == "--") return sql.find('\n', at);
  if (sql.substr(at, 2) == "/*") {
    const size_t close = sql.find("*/", at + 2);
    return close == kNone ? kNone : close + 1;
  }
  size_t end = at;
  while (IsWordCharacter(c) && end + 1 < sql.size() && IsWordCharacter(sql[end + 1])) ++end;
  return end;
}

}  // namespace

bool SetUpRowScrambling(sqlite3* db) {
  if (!FileIsRealProfile(db)) return false;
  return sqlite3_create_function(db, kMixer, 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, MixRow,
                                 nullptr, nullptr) == SQLITE_OK;
}

bool HasOuterOrderBy(std::string_view sql) {
  int depth = 0;
  for (size_t at = 0; at < sql.size(); ++at) {
    const size_t end = TokenEnd(sql, at);
    if (end == kNone) return false;
    const std::string_view token = sql.substr(at, end - at + 1);
    if (token == "(") ++depth;
    if (token == ")") --depth;
    if (depth == 0 && token.size() == 5 && strncasecmp(token.data(), "ORDER", 5) == 0) return true;
    at = end;
  }
  return false;
}

std::optional<std::string> ScrambledQuery(std::string_view select) {
  if (HasOuterOrderBy(select)) return std::nullopt;
  const size_t last = select.find_last_not_of(" \t\r\n;");
  const std::string_view body = select.substr(0, last == kNone ? 0 : last + 1);
  // The line break ends a comment that closes the query.
  return "SELECT * FROM (\n" + std::string(body) + "\n) ORDER BY " + kMixer +
         "(row_number() OVER (), " + std::to_string(QueryKey(body)) + ")";
}

}  // namespace kelvan::vltsim
