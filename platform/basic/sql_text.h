// Text pasted into SQL statements as a string literal. Pure functions; thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace kelvan {

// Every single quote doubled, so the text can stand between quotes in an SQL text.
std::string QuoteSqlText(std::string_view text);

// The text as an SQL string literal: between single quotes, its own quotes doubled.
std::string SqlTextLiteral(std::string_view text);

}  // namespace kelvan
