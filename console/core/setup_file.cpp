#include "console/core/setup_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include "platform/basic/numeric_text.h"
#include "platform/basic/raised_error.h"
#include "platform/basic/text_lines.h"

namespace kelvan::console {
namespace {

constexpr std::int32_t kErrFileAccess = 75;
constexpr std::int32_t kErrInvalidValue = 380;

const char* BooleanText(Bool16 flag) { return IsSet(flag) ? "True" : "False"; }

class SetupWriter {
 public:
  void Section(std::string_view name) { AppendLine(text_, "[" + std::string(name) + "]"); }
  void Key(std::string_view key, std::string_view value) {
    AppendLine(text_, std::string(key) + ":=" + std::string(value));
  }
  void Key(std::string_view key, int value) { Key(key, std::to_string(value)); }
  void Flag(std::string_view key, Bool16 value) { Key(key, BooleanText(value)); }
  void EndSection() { text_ += "\r\n\r\n"; }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

void WriteServers(SetupWriter& out, const Settings& s) {
  out.Section("SERVER");
  out.Key("TotalNoServers", static_cast<int>(s.servers.size()));
  for (const ServerEntry& entry : s.servers) out.Key("Server", entry.value);
  out.EndSection();
  out.Section("TABLE LIST");
  out.Key("TotalNoTables", s.tables.total_no_tables);
  out.Key("TableArray", s.tables.table_string);
  out.Flag("LoadErrorTables", s.tables.load_error_tables);
  out.EndSection();
  out.Section("DATA SOURCE");
  out.Key("DSN", s.destination.name);
  out.Key("UID", s.destination.user_name);
  out.Key("Password", s.destination.password);
  out.Key("Qualifier", s.destination.qualifier);
  out.EndSection();
}

void WriteOptions(SetupWriter& out, const Settings& s) {
  const AdvancedOptions& a = s.advanced;
  out.Section("ADVANCED SETUP OPTIONS");
  for (size_t i = 0; i < a.severity.size(); ++i) {
    out.Flag(std::string("Severity_") + kSeverityLetters[i], a.severity[i]);
  }
  out.Key("PruneDataBeyondDays", a.prune_data_beyond_days);
  out.Key("DatabaseMaxSizeLimitInNoOfDays", a.database_max_size_limit_in_days);
  out.Key("ApproxRecordsToPrunePerBatch", a.approx_records_to_prune_per_batch);
  out.Key("DatabaseType", a.database_type);
  out.Key("TraceLevel", a.trace_level);
  out.EndSection();
  const PostProcessingOptions& p = s.post_processing;
  out.Section("POST PROCESSING SETUP OPTIONS");
  out.Flag("GenerateSUMMARYHOURTableData", p.generate_summaryhour);
  out.Flag("GenerateSIMULACTIVITYTable", p.generate_simulactivity);
  out.Flag("ActivateForecasting", p.activate_forecasting);
  for (size_t i = 0; i < kForecastTables.size(); ++i) {
    out.Flag(std::string("ForecastTable_") + kForecastTables[i].name, p.forecast_tables[i]);
  }
  out.Key("ForecastNumberOfDays", p.forecast_number_of_days);
  out.Key("ForecastSizeOfSampleSet", p.forecast_size_of_sample_set);
  out.EndSection();
}

[[noreturn]] void RaiseTypeMismatch() {
  throw RaisedError(kErrTypeMismatch, kProgramTitle, "Type mismatch");
}

// The whole text as a number, blanks around it allowed; anything else is a type mismatch.
double StrictNumber(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) RaiseTypeMismatch();
  text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  if (text.front() == '+') text.remove_prefix(1);
  if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text.front())) ||
                        text.front() == '-' || text.front() == '.')) {
    RaiseTypeMismatch();
  }
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) RaiseTypeMismatch();
  return value;
}

// Why a text cannot be a setup file, in words that say how to mend it; nothing when it may be.
std::optional<std::string> Unreadable(std::string_view text) {
  const bool utf16 = text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF") ||
                     (text.size() >= 2 && (text[0] == '\0' || text[1] == '\0'));
  if (utf16) return "the file is UTF-16: save it as UTF-8";
  if (text.find("[SERVER]") == std::string_view::npos &&
      text.find("TotalNoServers:=") == std::string_view::npos) {
    return "no [SERVER] section (is this a setup file?)";
  }
  return std::nullopt;
}

std::int16_t LeadingInteger(std::string_view text) { return RoundToInt16(LeadingNumber(text)); }
std::int16_t WholeInteger(std::string_view text) { return RoundToInt16(StrictNumber(text)); }

// The editor refuses these below one; so does the reader, since a prune age of 0 or less would
// delete every row a server has loaded.
std::int16_t AtLeastOne(std::int16_t number) {
  if (number < 1) {
    throw RaisedError(kErrInvalidValue, kProgramTitle,
                      "Invalid property value: a number greater than 0 is required");
  }
  return number;
}

Bool16 Boolean(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "true") return kTrue16;
  if (lower == "false") return kFalse16;
  return ToBool16(StrictNumber(text) != 0);
}

// Reads one setup text into the settings; each key has its handler.
class SetupReader {
 public:
  explicit SetupReader(Settings& settings)
      : s_(settings), total_servers_(static_cast<int>(settings.servers.size())) {
    AddServerKeys();
    AddTableKeys();
    AddDestinationKeys();
    AddAdvancedKeys();
    AddPostProcessingKeys();
  }

  SetupReadReport Read(std::string_view text) {
    s_.tables = TableList{};
    // Lines end in CR LF, LF or a lone CR (as some editors save).
    for (size_t at = 0; at < text.size();) {
      const size_t end = std::min(text.find_first_of("\r\n", at), text.size());
      ReadLine(std::string(text.substr(at, end - at)));
      at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    FinishServers();
    RebuildForecastSetupCode(s_);
    return std::move(report_);
  }

 private:
  using Handler = std::function<void(std::string_view)>;

  void ReadLine(const std::string& line) {
    // The key ends at the first ":=" so that a value may hold ":=" (a password, say) and still
    // read back as it was written.
    const size_t separator = line.find(":=");
    if (separator == std::string::npos) return;
    const std::string key = line.substr(0, separator);
    const auto handler = handlers_.find(key);
    if (handler == handlers_.end()) return;
    const std::string_view value = std::string_view(line).substr(key.size() + 2);
    try {
      handler->second(value);
    } catch (const RaisedError& error) {
      ReportError(error, key);
      if (key == "DatabaseMaxSizeLimitInNoOfDays")
        s_.advanced.database_max_size_limit_in_days = 9999;
    }
  }

  void ReportError(const RaisedError& error, const std::string& key) {
    const std::string source = error.Source().empty() ? kProgramTitle : error.Source();
    std::string& log = report_.log_text;
    AppendLine(log, "Error in configuration file:");
    log += kCrLf;
    AppendLine(log, "Read Setup From File: Error Number = " + std::to_string(error.Number()));
    AppendLine(log, "Read Setup From File: Error Source = " + source);
    AppendLine(log, "Read Setup From File: Error Description = " + error.Description() +
                        "; error found while reading " + key + " from the configuration file.");
  }

  void FinishServers() {
    if (total_servers_ != servers_seen_) {
      report_.server_count_warning = true;
      if (total_servers_ > servers_seen_) total_servers_ = servers_seen_;
    }
    s_.servers.resize(static_cast<size_t>(std::max(total_servers_, 0)));
  }

  void On(const std::string& key, Handler handler) { handlers_.emplace(key, std::move(handler)); }
  void OnFlag(const std::string& key, Bool16& flag) {
    On(key, [&flag](std::string_view v) { flag = Boolean(v); });
  }
  void OnInteger(const std::string& key, std::int16_t& number) {
    On(key, [&number](std::string_view v) { number = LeadingInteger(v); });
  }
  void OnText(const std::string& key, std::string& text) {
    On(key, [&text](std::string_view v) { text = std::string(v); });
  }

  void AddServerKeys() {
    On("TotalNoServers", [this](std::string_view v) {
      total_servers_ = WholeInteger(v);
      s_.servers.resize(static_cast<size_t>(std::max(total_servers_, 0)));
    });
    On("Server", [this](std::string_view v) {
      if (++servers_seen_ > total_servers_) return;
      const size_t first = v.find_first_not_of(' ');
      const std::string_view trimmed = first == std::string_view::npos
                                           ? std::string_view()
                                           : v.substr(first, v.find_last_not_of(' ') - first + 1);
      s_.servers[static_cast<size_t>(servers_seen_ - 1)] = MakeServerEntry(trimmed);
    });
  }

  void AddTableKeys() {
    TableList& t = s_.tables;
    On("TotalNoTables", [&t](std::string_view v) { t.total_no_tables = WholeInteger(v); });
    On("TableArray", [&t](std::string_view v) {
      t.table_string = std::string(v);
      RebuildTableList(t);
    });
    OnFlag("LoadErrorTables", t.load_error_tables);
  }

  void AddDestinationKeys() {
    OnText("DSN", s_.destination.name);
    OnText("UID", s_.destination.user_name);
    OnText("Password", s_.destination.password);
    OnText("Qualifier", s_.destination.qualifier);
  }

  void AddAdvancedKeys() {
    AdvancedOptions& a = s_.advanced;
    for (size_t i = 0; i < a.severity.size(); ++i) {
      OnFlag(std::string("Severity_") + kSeverityLetters[i], a.severity[i]);
    }
    On("PruneDataBeyondDays",
       [&a](std::string_view v) { a.prune_data_beyond_days = AtLeastOne(LeadingInteger(v)); });
    On("DatabaseMaxSizeLimitInNoOfDays", [&a](std::string_view v) {
      const std::int16_t days = LeadingInteger(v);
      a.database_max_size_limit_in_days = days == 0 ? 9999 : AtLeastOne(days);
    });
    On("ApproxRecordsToPrunePerBatch", [&a](std::string_view v) {
      a.approx_records_to_prune_per_batch =
          v.empty() ? 1000 : AtLeastOne(RoundToInt16(RoundToInt32(StrictNumber(v))));
    });
    OnText("DatabaseType", a.database_type);
    OnInteger("TraceLevel", a.trace_level);
  }

  void AddPostProcessingKeys() {
    PostProcessingOptions& p = s_.post_processing;
    OnFlag("GenerateSUMMARYHOURTableData", p.generate_summaryhour);
    OnFlag("GenerateSIMULACTIVITYTable", p.generate_simulactivity);
    OnFlag("ActivateForecasting", p.activate_forecasting);
    for (size_t i = 0; i < kForecastTables.size(); ++i) {
      OnFlag(std::string("ForecastTable_") + kForecastTables[i].name, p.forecast_tables[i]);
    }
    OnInteger("ForecastNumberOfDays", p.forecast_number_of_days);
    On("ForecastSizeOfSampleSet", [&p](std::string_view v) {
      const std::int16_t days = LeadingInteger(v);
      p.forecast_size_of_sample_set = days <= 0 ? 14 : days;
    });
  }

  Settings& s_;
  int total_servers_;
  int servers_seen_ = 0;
  std::map<std::string, Handler, std::less<>> handlers_;
  SetupReadReport report_;
};

}  // namespace

std::string SetupFileText(const Settings& settings) {
  SetupWriter out;
  WriteServers(out, settings);
  WriteOptions(out, settings);
  return out.Take();
}

namespace {

[[noreturn]] void RaiseWriteError(const std::string& path, int error) {
  throw RaisedError(kErrFileAccess, kProgramTitle,
                    "Path/File access error: " + path + " (" + std::strerror(error) + ")");
}

// All of `text` to `fd`, flushed to disk; false with errno set on any failure.
bool WriteWhole(int fd, const std::string& text) {
  for (size_t written = 0; written < text.size();) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return ::fsync(fd) == 0;
}

}  // namespace

// A new file beside the old one, renamed over it only once complete: a full disk, a crash or a
// mode that cannot be set leaves the old file as it was. Created 0600, it holds passwords.
void WriteSetupToFile(const std::string& path, const Settings& settings) {
  const std::string text = SetupFileText(settings);
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) RaiseWriteError(path, errno);
  const bool written = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && WriteWhole(fd, text);
  const int error = errno;
  if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    const int failure = written ? errno : error;
    ::unlink(temporary.c_str());
    RaiseWriteError(path, failure);
  }
}

SetupReadReport ReadSetupText(std::string_view text, Settings& settings) {
  return SetupReader(settings).Read(text);
}

SetupReadReport ReadSetupFromFile(const std::string& path, Settings& settings) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    throw RaisedError(kErrFileAccess, kProgramTitle, "Path/File access error: " + path);
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const bool missing = ::stat(path.c_str(), &info) != 0 && errno == ENOENT;
    if (missing) throw RaisedError(kErrFileNotFound, kProgramTitle, "File not found: " + path);
    throw RaisedError(kErrFileAccess, kProgramTitle, "Path/File access error: " + path);
  }
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) {
    throw RaisedError(kErrFileAccess, kProgramTitle, "Path/File access error: " + path);
  }
  SetupReadReport report = ReadSetupText(content.str(), settings);
  if (std::optional<std::string> why = Unreadable(content.str())) {
    std::string said;
    AppendLine(said, "Error in configuration file " + path + ": " + *why);
    report.log_text = said + report.log_text;
  }
  return report;
}

}  // namespace kelvan::console
