// Reading one column of the source's current row in the C type that the destination column's
// type asks for, and converting it to the value that is written. Stateless; the statement
// belongs to the calling thread.
#pragma once

#include <sql.h>

#include <cstdint>
#include <optional>

#include "platform/data/value.h"

namespace kelvan::engine {

// Nothing when the value is to be left unset: a NULL or empty value, a failed SQLGetData, or a
// destination type that takes no value. Character values are cut to `destination_size`. Raises
// RaisedError kErrOverflow for an integer that does not fit an integer destination column.
std::optional<data::Value> ReadSourceValue(SQLHSTMT stmt, SQLUSMALLINT column,
                                           std::int16_t destination_type,
                                           std::int32_t destination_size);

}  // namespace kelvan::engine
