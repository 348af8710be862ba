#include "vltsim/driver/connect_settings.h"

#include <odbcinst.h>
#include <strings.h>

#include <array>
#include <charconv>
#include <mutex>

#include "platform/basic/raised_error.h"

namespace kelvan::vltsim {
namespace {

constexpr const char* kSource = "vltodbc";

std::string Trim(std::string_view text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(" \t");
  return std::string(text.substr(begin, end - begin + 1));
}

// Value starting at `pos`; braces protect semicolons and "}}" stands for "}". Advances `pos`
// past the value's terminating semicolon.
std::string ReadValue(std::string_view text, size_t& pos) {
  size_t start = pos;
  while (start < text.size() && text[start] == ' ') ++start;
  if (start < text.size() && text[start] == '{') {
    std::string value;
    size_t i = start + 1;
    for (; i < text.size(); ++i) {
      if (text[i] != '}') {
        value += text[i];
      } else if (i + 1 < text.size() && text[i + 1] == '}') {
        value += '}';
        ++i;
      } else {
        break;
      }
    }
    size_t semicolon = text.find(';', i);
    pos = semicolon == std::string_view::npos ? text.size() : semicolon + 1;
    return value;
  }
  size_t semicolon = text.find(';', start);
  size_t end = semicolon == std::string_view::npos ? text.size() : semicolon;
  pos = semicolon == std::string_view::npos ? text.size() : semicolon + 1;
  return Trim(text.substr(start, end - start));
}

// Connect string first, then the data source; nullopt when neither has the key.
std::optional<std::string> Lookup(const KeyMap& keys, const std::string& dsn,
                                  const DataSourceReader& read_key, const char* key) {
  if (auto it = keys.find(key); it != keys.end()) return it->second;
  if (dsn.empty()) return std::nullopt;
  std::string value = read_key(dsn, key);
  if (value.empty()) return std::nullopt;
  return value;
}

int NumberKey(const std::optional<std::string>& value, const char* key) {
  int number = 0;
  const char* end = value->data() + value->size();
  auto [ptr, ec] = std::from_chars(value->data(), end, number);
  if (ec != std::errc() || ptr != end || number < 0) {
    throw RaisedError(0, kSource, std::string("Invalid value for the key ") + key, "HY024");
  }
  return number;
}

HangAt HangAtKey(const std::string& value) {
  if (strcasecmp(value.c_str(), "exec") == 0) return HangAt::kExec;
  if (strcasecmp(value.c_str(), "fetch") == 0) return HangAt::kFetch;
  throw RaisedError(0, kSource, "Invalid value for the key HangAt", "HY024");
}

// A data source that names a user or password admits only those; an absent connect-string
// key presents the data source's own value.
void CheckCredential(const KeyMap& keys, const std::string& dsn, const DataSourceReader& read_key,
                     const char* key) {
  std::string expected = dsn.empty() ? std::string() : read_key(dsn, key);
  if (expected.empty()) return;
  auto presented = keys.find(key);
  if (presented == keys.end() || presented->second == expected) return;
  throw RaisedError(0, kSource, "Invalid user name or password", "28000");
}

}  // namespace

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
  return strcasecmp(a.c_str(), b.c_str()) < 0;
}

KeyMap ParseConnectString(std::string_view text) {
  KeyMap keys;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t equals = text.find('=', pos);
    size_t semicolon = text.find(';', pos);
    if (equals == std::string_view::npos ||
        (semicolon != std::string_view::npos && semicolon < equals)) {
      // A fragment without "=" carries nothing.
      if (semicolon == std::string_view::npos) break;
      pos = semicolon + 1;
      continue;
    }
    std::string key = Trim(text.substr(pos, equals - pos));
    pos = equals + 1;
    std::string value = ReadValue(text, pos);
    if (!key.empty()) keys.emplace(key, value);
  }
  return keys;
}

ConnectSettings ResolveSettings(const KeyMap& connect_keys, const DataSourceReader& read_key) {
  ConnectSettings settings;
  if (auto it = connect_keys.find("DSN"); it != connect_keys.end()) settings.dsn = it->second;
  CheckCredential(connect_keys, settings.dsn, read_key, "UID");
  CheckCredential(connect_keys, settings.dsn, read_key, "PWD");
  auto lookup = [&](const char* key) { return Lookup(connect_keys, settings.dsn, read_key, key); };
  settings.database = lookup("DATABASE").value_or("");
  settings.uid = lookup("UID").value_or("");
  if (auto value = lookup("DriverOdbcVer")) settings.driver_odbc_ver = *value;
  if (auto value = lookup("FailExecN")) settings.fail_exec_n = NumberKey(value, "FailExecN");
  if (auto value = lookup("FailFetchAfter")) {
    settings.fail_fetch_after = NumberKey(value, "FailFetchAfter");
  }
  if (auto value = lookup("FetchDelayMs")) {
    settings.fetch_delay_ms = NumberKey(value, "FetchDelayMs");
  }
  if (auto value = lookup("HoldAfterRows")) {
    settings.hold_after_rows = NumberKey(value, "HoldAfterRows");
  }
  settings.hold_file = lookup("HoldFile").value_or("");
  if (auto value = lookup("RefuseConnect")) {
    settings.refuse_connect = NumberKey(value, "RefuseConnect") != 0;
  }
  if (auto value = lookup("HangAt")) settings.hang_at = HangAtKey(*value);
  if (auto value = lookup("HangAfterRows")) {
    settings.hang_after_rows = NumberKey(value, "HangAfterRows");
  }
  if (auto value = lookup("IgnoreCancel")) {
    settings.ignore_cancel = NumberKey(value, "IgnoreCancel") != 0;
  }
  return settings;
}

std::string CompletedConnectString(const KeyMap& keys) {
  std::string out;
  for (const auto& [key, value] : keys) {
    if (strcasecmp(key.c_str(), "PWD") == 0) continue;
    bool braces = value.find_first_of(";{}") != std::string::npos;
    out += key + "=" + (braces ? "{" + value + "}" : value) + ";";
  }
  return out;
}

std::string ReadOdbcIniKey(const std::string& dsn, const char* key) {
  // libodbcinst caches the ini files in process-wide state; connections opened on several
  // threads at once must not read it together.
  static std::mutex ini_mutex;
  std::lock_guard lock(ini_mutex);
  std::array<char, 1024> buffer{};
  int n = SQLGetPrivateProfileString(dsn.c_str(), key, "", buffer.data(),
                                     static_cast<int>(buffer.size()), "ODBC.INI");
  if (n <= 0) return {};
  return std::string(buffer.data());
}

}  // namespace kelvan::vltsim
