// Connect strings read and written as the driver manager reads them, and the one way the
// system hides passwords. Pure functions; thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvan::odbc {

struct ConnectAttribute {
  std::string key;  // as written, blanks around it removed
  std::string value;
  bool operator==(const ConnectAttribute&) const = default;
};

// Entries "key=value" separated by ";": blanks around keys and unbraced values ignored, a value in
// braces may hold
// ";" (a "}" inside doubled). A password written without braces runs on to the next ";" that
// starts another "key=", since stored entries put passwords with ";" there unquoted.
std::vector<ConnectAttribute> ParseConnectString(std::string_view text);

// The value of the first entry of `key` (any case); nothing when there is none.
std::optional<std::string> ConnectValue(const std::vector<ConnectAttribute>& attributes,
                                        std::string_view key);
// Whether a key (blanks around it removed) names a password: PWD or PASSWORD, in any case.
bool IsPasswordKey(std::string_view key);
// PWD or PASSWORD, whichever comes first.
std::optional<std::string> PasswordOf(std::string_view connect_string);

// "key=value;..." with each value in braces when it needs them (";", braces, blanks at its
// ends), so that a driver reads back exactly these values.
std::string BuildConnectString(const std::vector<ConnectAttribute>& attributes);
// The text parsed and built again: what is handed to a driver.
std::string NormalizedConnectString(std::string_view connect_string);
// "DSN=" + dsn + ";UID=" + uid + ";PWD=" + password + ";", values in braces as needed.
std::string DataSourceConnectString(std::string_view dsn, std::string_view uid,
                                    std::string_view password);

// The connect string without its password entries: what may be shown, traced or logged.
std::string WithoutPassword(std::string_view connect_string);

// Every occurrence of each non-empty secret replaced by "****", in one pass over `text`.
std::string HideSecrets(std::string_view text, const std::vector<std::string>& secrets);
// Free text (a driver's or worker's message) with the value of every PWD= or PASSWORD= entry,
// in any case, replaced by "****".
std::string HidePasswordEntries(std::string_view text);

}  // namespace kelvan::odbc
