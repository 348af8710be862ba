// Row order as a real server gives it: a file made with the real profile returns the rows of a
// query that asks for no order in an order of its own, the same for the same query text, so
// that nothing can lean on rows coming back as they were written. Stateless; thread-safe.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>

namespace kelvan::vltsim {

// Reads the file's profile and, for the real one, makes the ordering key of ScrambledQuery known
// to `db`. True when queries on `db` are to be scrambled; a file without the generator's
// settings keeps the natural order.
bool SetUpRowScrambling(sqlite3* db);

// True when `sql` orders its outermost result: an ORDER BY outside any parentheses, quotes or
// comments.
bool HasOuterOrderBy(std::string_view sql);

// `select` (one statement, a trailing ";" allowed) wrapped so that its rows come in a scrambled
// order, or nullopt when it orders them itself.
std::optional<std::string> ScrambledQuery(std::string_view select);

}  // namespace kelvan::vltsim
