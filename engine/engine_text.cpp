#include "engine/engine_text.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <sstream>

#include "platform/basic/raised_error.h"
#include "platform/basic/timestamp.h"
#include "platform/odbc/connect_string.h"

namespace kelvan::engine {
namespace {

bool IsPasswordEntry(std::string_view entry) {
  return odbc::IsPasswordKey(TrimBlanks(entry.substr(0, entry.find('='))));
}

// Offset of the first password entry's key, when there is one.
std::optional<size_t> PasswordEntry(std::string_view connect_string) {
  size_t start = 0;
  while (start <= connect_string.size()) {
    size_t end = connect_string.find(';', start);
    if (end == std::string_view::npos) end = connect_string.size();
    if (IsPasswordEntry(connect_string.substr(start, end - start))) return start;
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace

namespace {

void RequirePlainName(std::string_view name, const char* what) {
  bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  });
  if (!plain) {
    throw RaisedError(kErrNotAPlainName, "Qobra",
                      std::string(what) + " \"" + std::string(name) +
                          "\" is not a plain name (letters, digits and underscores only): "
                          "nothing was done with it");
  }
}

}  // namespace

std::string TablePrefix(const DataSource& data_source) {
  std::string qualifier = data_source.Qualifier();
  if (qualifier.empty()) return {};
  RequirePlainName(qualifier, "Qualifier");
  return qualifier + ".";
}

std::string PrefixedTableName(const DataSource& data_source, std::string_view table) {
  RequirePlainName(table, "Table name");
  return TablePrefix(data_source) + std::string(table);
}

std::string CutBeforePassword(std::string_view connect_string) {
  std::optional<size_t> entry = PasswordEntry(connect_string);
  if (!entry) return std::string(connect_string);
  return std::string(connect_string.substr(0, *entry == 0 ? 0 : *entry - 1));
}

std::string HidePassword(std::string text, std::string_view connect_string) {
  std::optional<std::string> password = odbc::PasswordOf(connect_string);
  return password ? odbc::HideSecrets(text, {*password}) : text;
}

std::string NumberedErrorText(const RaisedError& error) {
  return "[" + std::to_string(error.Number()) + "]" + error.Source() + " - " + error.Description();
}

std::string FormatTimestampText(std::string_view value) {
  std::string_view whole = value.substr(0, value.find('.'));
  std::optional<Timestamp> ts = ParseTimestampText(TrimBlanks(whole));
  if (!ts) {
    throw RaisedError(kErrTypeMismatch, "Qobra",
                      "Type mismatch: '" + std::string(value) + "' is not a date and time");
  }
  return FormatTimestamp(*ts);
}

std::string DestinationTimestampLiteral(std::string_view db_type, std::string_view literal) {
  std::string upper(db_type);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (upper == "ORACLE") return "TO_DATE(" + std::string(literal) + ",'YYYY-MM-DD HH24:MI:SS')";
  return std::string(literal);
}

double SecondsToDays(std::int32_t seconds) { return static_cast<double>(seconds) / 86400.0; }

std::string TrimBlanks(std::string_view text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

std::string FormatNumber(double value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

}  // namespace kelvan::engine
