// The small text routines that every engine operation shares: SQL quoting, table prefixes,
// connect strings cut before their password, timestamp texts. Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/data_source.h"
#include "platform/basic/raised_error.h"
#include "platform/basic/sql_text.h"

namespace kelvan::engine {

// Raised for a table name or qualifier that is not a plain name.
inline constexpr std::int32_t kErrNotAPlainName = 40302;

// Empty for an empty Qualifier, else Qualifier + ".". Names are pasted into SQL texts, so a
// qualifier of anything but letters, digits and underscores raises kErrNotAPlainName.
std::string TablePrefix(const DataSource& data_source);
// TablePrefix + table, raising kErrNotAPlainName for a table name that is not plain.
std::string PrefixedTableName(const DataSource& data_source, std::string_view table);

// The part of a connect string before the ";" that precedes its password key (PWD or PASSWORD,
// any case); the whole text when it holds no password, and nothing when it starts with one.
std::string CutBeforePassword(std::string_view connect_string);

// `text` with every occurrence of the connect string's password replaced by "****": for driver
// messages, which must never carry a password on.
std::string HidePassword(std::string text, std::string_view connect_string);

// "[number]source - description": how the derived-table operations show a failure.
std::string NumberedErrorText(const RaisedError& error);

// The text cut before its first "." (which drops fractions of a second) and formatted
// "yyyy-mm-dd hh:mm:ss". Raises RaisedError kErrTypeMismatch when it is no date.
std::string FormatTimestampText(std::string_view value);

// "TO_DATE(<literal>,'YYYY-MM-DD HH24:MI:SS')" when the destination type is Oracle (any case),
// otherwise the literal unchanged.
std::string DestinationTimestampLiteral(std::string_view db_type, std::string_view literal);

// A count of seconds as a span in days.
double SecondsToDays(std::int32_t seconds);

// Leading and trailing blanks removed.
std::string TrimBlanks(std::string_view text);

// A number as the trace writes it: shortest general form ("36000.5", "0.00125").
std::string FormatNumber(double value);

}  // namespace kelvan::engine
