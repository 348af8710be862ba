#include "console/core/settings.h"

#include <algorithm>

namespace kelvan::console {
namespace {

std::string TrimSpaces(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

// Drops the four-character prefix ("DSN=", "UID=", "PWD=") of a connection-string part.
std::string WithoutPrefix(std::string_view part) {
  return std::string(part.substr(std::min<size_t>(4, part.size())));
}

}  // namespace

ServerEntry MakeServerEntry(std::string_view value) {
  ServerEntry entry;
  entry.value = std::string(value);
  const size_t uid = value.find(";UID");
  entry.dsn = WithoutPrefix(value.substr(0, uid));
  if (uid == std::string_view::npos) return entry;
  const std::string_view rest = value.substr(uid + 1);
  const size_t pwd = rest.find(";PWD");
  entry.uid = WithoutPrefix(rest.substr(0, pwd));
  if (pwd != std::string_view::npos) entry.password = WithoutPrefix(rest.substr(pwd + 1));
  return entry;
}

std::string ServerValue(std::string_view dsn, std::string_view uid, std::string_view password) {
  return "DSN=" + std::string(dsn) + ";" + "UID=" + std::string(uid) + ";" +
         "PWD=" + std::string(password);
}

std::string ServerValueWithoutPassword(std::string_view value) {
  return std::string(value.substr(0, value.find(";PWD")));
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
