// Reading one column of the source's current row in the C type that the destination column's
// type asks for, and converting it to the value that is written. Stateless; the statement
// belongs to the calling thread.
#pragma once

#include <sql.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/data/value.h"

namespace kelvan::engine {

// What reading one source cell gave.
struct SourceCell {
  std::optional<data::Value> value;       // nothing: the column is left unset
  std::optional<std::int64_t> unfitting;  // a whole number too large for the destination column
};

// Nothing is written for a NULL or empty value, a failed SQLGetData, a destination type that
// takes no value, or a whole number the destination column cannot hold (then `unfitting` says
// which). Character values are cut to `destination_size` characters.
SourceCell ReadSourceValue(SQLHSTMT stmt, SQLUSMALLINT column, std::int16_t destination_type,
                           std::int32_t destination_size);

// The column's text as valid UTF-8 (each ill-formed sequence one U+FFFD), read in pieces so
// that no length cuts it; at least `characters` + 1 characters of it when it is that long, so
// callers can tell a text that exceeds their limit. Nothing for NULL, empty or a failed call.
std::optional<std::string> ReadSourceText(SQLHSTMT stmt, SQLUSMALLINT column,
                                          std::size_t characters);

// The column as a 64-bit whole number; nothing for NULL or a failed call.
std::optional<std::int64_t> ReadSourceInteger(SQLHSTMT stmt, SQLUSMALLINT column);

// A whole number as a destination column of `destination_type` takes it: 16- or 32-bit for
// the integer types (nothing when it does not fit), a double for the floating types, its
// decimal text for every other type (64-bit columns are reported as numeric).
std::optional<data::Value> IntegerValueFor(std::int64_t number, std::int16_t destination_type);

}  // namespace kelvan::engine
