#include "platform/data/select_target.h"

#include <cctype>
#include <vector>

namespace kelvan::data {
namespace {

// A word outside quotes and parentheses, with its place in the text.
struct Word {
  std::string upper;
  size_t begin;
  size_t end;
};

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '.' ||
         c == '"' || c == '`' || c == '[' || c == ']';
}

// Skips a quoted part starting at `pos` (doubled quotes stay inside); returns the position after
// it, or npos when it never closes.
size_t SkipQuoted(std::string_view sql, size_t pos) {
  char quote = sql[pos];
  for (size_t i = pos + 1; i < sql.size(); ++i) {
    if (sql[i] != quote) continue;
    if (i + 1 < sql.size() && sql[i + 1] == quote) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return std::string_view::npos;
}

// The words outside quotes and parentheses, and every parenthesis; nothing when a quote or a
// parenthesis is left open.
std::optional<std::vector<Word>> TopLevelWords(std::string_view sql) {
  std::vector<Word> words;
  int depth = 0;
  for (size_t i = 0; i < sql.size();) {
    char c = sql[i];
    if (c == '\'') {
      i = SkipQuoted(sql, i);
      if (i == std::string_view::npos) return std::nullopt;
    } else if (c == '(' || c == ')') {
      depth += c == '(' ? 1 : -1;
      if (depth < 0) return std::nullopt;
      words.push_back({std::string(1, c), i, i + 1});
      ++i;
    } else if (IsWordChar(c)) {
      size_t start = i;
      while (i < sql.size() && IsWordChar(sql[i])) {
        if (sql[i] == '"' || sql[i] == '`') {
          i = SkipQuoted(sql, i);
          if (i == std::string_view::npos) return std::nullopt;
        } else {
          ++i;
        }
      }
      std::string upper;
      for (size_t k = start; k < i; ++k) upper += static_cast<char>(std::toupper(sql[k]));
      if (depth == 0) words.push_back({upper, start, i});
    } else {
      if (depth == 0 && !std::isspace(static_cast<unsigned char>(c))) {
        words.push_back({std::string(1, c), i, i + 1});
      }
      ++i;
    }
  }
  if (depth != 0) return std::nullopt;
  return words;
}

bool EndsTheCondition(const std::string& word) {
  for (const char* keyword : {"ORDER", "GROUP", "HAVING", "UNION", "LIMIT", "INTERSECT", "EXCEPT",
                              "OFFSET", "FETCH", "FOR", "WINDOW", "INTO", ";"}) {
    if (word == keyword) return true;
  }
  return false;
}

}  // namespace

std::optional<SelectTarget> ParseSimpleSelect(std::string_view sql) {
  auto words = TopLevelWords(sql);
  if (!words || words->size() < 4 || (*words)[0].upper != "SELECT") return std::nullopt;
  size_t from = 1;
  while (from < words->size() && (*words)[from].upper != "FROM") {
    const std::string& word = (*words)[from].upper;
    if (word == "(" || word == "DISTINCT" || word == "INTO") return std::nullopt;
    ++from;
  }
  if (from == 1 || from + 1 >= words->size()) return std::nullopt;
  const Word& table = (*words)[from + 1];
  if (!IsWordChar(sql[table.begin]) || table.upper == "(") return std::nullopt;
  SelectTarget target{std::string(sql.substr(table.begin, table.end - table.begin)), {}};
  if (from + 2 == words->size()) return target;
  if ((*words)[from + 2].upper != "WHERE" || from + 3 == words->size()) return std::nullopt;
  for (size_t i = from + 3; i < words->size(); ++i) {
    if (EndsTheCondition((*words)[i].upper)) return std::nullopt;
  }
  size_t begin = (*words)[from + 3].begin;
  std::string_view condition = sql.substr(begin);
  while (!condition.empty() && std::isspace(static_cast<unsigned char>(condition.back()))) {
    condition.remove_suffix(1);
  }
  target.condition = std::string(condition);
  return target;
}

}  // namespace kelvan::data
