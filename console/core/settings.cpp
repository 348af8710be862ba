#include "console/core/settings.h"

#include <algorithm>

#include "platform/odbc/connect_string.h"

namespace kelvan::console {
namespace {

std::string TrimSpaces(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

}  // namespace

// Read as ODBC reads it: the DSN, whatever else the string holds, is the server's name in every
// loaded row, so a password in another shape must never become part of it.
ServerEntry MakeServerEntry(std::string_view value) {
  const std::vector<odbc::ConnectAttribute> parsed = odbc::ParseConnectString(value);
  ServerEntry entry;
  entry.value = std::string(value);
  entry.dsn = odbc::ConnectValue(parsed, "DSN").value_or("");
  entry.uid = odbc::ConnectValue(parsed, "UID").value_or("");
  entry.password = odbc::PasswordOf(value).value_or("");
  return entry;
}

std::string ServerValue(std::string_view dsn, std::string_view uid, std::string_view password) {
  return "DSN=" + std::string(dsn) + ";" + "UID=" + std::string(uid) + ";" +
         "PWD=" + std::string(password);
}

std::string ServerValueWithoutPassword(std::string_view value) {
  return odbc::WithoutPassword(value);
}

std::string ParseItemFromTableString(std::string_view table_string, int n) {
  int item = 1;
  int quotes = 0;
  size_t last_comma = 0;  // 1-based position; 0 before the first comma
  for (size_t pos = 1; pos <= table_string.size(); ++pos) {
    const char c = table_string[pos - 1];
    if (c == '"') {
      if (++quotes == 2 && item == n) {
        const std::string piece = TrimSpaces(table_string.substr(last_comma, pos - last_comma));
        return piece.substr(1, piece.size() - 2);
      }
    } else if (c == ',') {
      quotes = 0;
      last_comma = pos;
      ++item;
    }
  }
  return {};
}

std::string BuildTableString(const std::vector<std::string>& tables) {
  std::string text;
  for (const std::string& name : tables) text += "\"" + name + "\",";
  return text;
}

std::vector<std::string> BuildTableArray(const TableList& tables) {
  std::vector<std::string> names;
  for (int n = 1; n <= tables.total_no_tables; ++n) {
    std::string item = ParseItemFromTableString(tables.table_string, n);
    if (!TrimSpaces(item).empty()) names.push_back(std::move(item));
  }
  return names;
}

void RebuildTableList(TableList& tables) {
  tables.total_no_tables = static_cast<std::int16_t>(BuildTableArray(tables).size());
}

std::string ConstructSeverityString(const std::array<Bool16, 5>& severity) {
  std::string text;
  for (size_t i = 0; i < severity.size(); ++i) {
    if (!IsSet(severity[i])) continue;
    if (!text.empty()) text += " OR ";
    text += std::string("SEVERITY = '") + kSeverityLetters[i] + "'";
  }
  if (text.empty()) {
    text = std::string("SEVERITY <> 'E' AND SEVERITY <> 'I' AND SEVERITY <> 'S' ") +
           "AND SEVERITY <> 'D' AND SEVERITY <> 'W'";
  }
  return text;
}

std::int16_t BuildForecastSetupCode(const PostProcessingOptions& options) {
  int code = 0;
  for (size_t i = 0; i < kForecastTables.size(); ++i) {
    if (IsSet(options.forecast_tables[i])) code += kForecastTables[i].bit;
  }
  if (IsSet(options.activate_forecasting)) code += kForecastActiveBit;
  return static_cast<std::int16_t>(code);
}

void RebuildForecastSetupCode(Settings& settings) {
  settings.forecast_setup_code = BuildForecastSetupCode(settings.post_processing);
}

}  // namespace kelvan::console
