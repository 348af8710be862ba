#include "platform/basic/sql_text.h"

namespace kelvan {

std::string QuoteSqlText(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size());
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted;
}

std::string SqlTextLiteral(std::string_view text) { return "'" + QuoteSqlText(text) + "'"; }

}  // namespace kelvan
