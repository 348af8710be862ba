// The settings of a run as the console holds them (server list, table list, destination,
// advanced and post-processing options) with the values a fresh console starts with, and the
// values derived from them: server entries, the table string and table array, the severity
// string and the forecast setup code. Plain values and pure functions; thread-safe.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/basic/bool16.h"
#include "platform/basic/version.h"

namespace kelvan::console {

inline constexpr const char* kProgramTitle = "KELVAN";
inline constexpr const char* kVersion = kProductVersion;
inline constexpr const char* kBuildText = "(Build 04/03/02)";

// One VLT server: its data source, user, password and the connection string made of them.
struct ServerEntry {
  std::string dsn;
  std::string uid;
  std::string password;
  std::string value;  // "DSN=" + dsn + ";UID=" + uid + ";PWD=" + password
  bool operator==(const ServerEntry&) const = default;
};

// Splits a connection string "DSN=d;UID=u;PWD=p" (keys in any case and order, PASSWORD for PWD,
// values in braces) into an entry; value is kept unchanged.
ServerEntry MakeServerEntry(std::string_view value);
std::string ServerValue(std::string_view dsn, std::string_view uid, std::string_view password);
// The connection string without its password: what the console may show of it.
std::string ServerValueWithoutPassword(std::string_view value);

// The destination data source record.
struct DestinationRecord {
  std::string name;
  std::string user_name;
  std::string password;
  std::string qualifier;  // schema prefix of the destination tables; may be empty
  bool operator==(const DestinationRecord&) const = default;
};

// Severity switches in index order 0 to 4.
inline constexpr std::array<char, 5> kSeverityLetters = {'E', 'I', 'D', 'S', 'W'};

struct AdvancedOptions {
  std::array<Bool16, 5> severity = {kTrue16, kFalse16, kTrue16, kTrue16, kTrue16};
  std::int16_t prune_data_beyond_days = 30;
  std::int16_t database_max_size_limit_in_days = 9999;
  std::int16_t approx_records_to_prune_per_batch = 1000;
  std::string database_type = "Unknown";
  std::int16_t trace_level = 1;
  bool operator==(const AdvancedOptions&) const = default;
};

struct TableList {
  std::string table_string;  // "SUMMARY","EVENTS", ...
  std::int16_t total_no_tables = 0;
  Bool16 load_error_tables = kTrue16;
  bool operator==(const TableList&) const = default;
};

// The forecast tables in the order of their switches, with their bits in the forecast code.
struct ForecastTable {
  const char* name;
  std::int16_t bit;
};
inline constexpr std::array<ForecastTable, 7> kForecastTables = {{{"DB", 0x0001},
                                                                  {"FILESPACES", 0x0002},
                                                                  {"LOG", 0x0004},
                                                                  {"STGPOOLS", 0x0008},
                                                                  {"LIBVOLUMES", 0x0010},
                                                                  {"NODES", 0x0020},
                                                                  {"OCCUPANCY", 0x0080}}};
inline constexpr std::int16_t kForecastActiveBit = 0x0100;

struct PostProcessingOptions {
  Bool16 generate_summaryhour = kFalse16;
  Bool16 generate_simulactivity = kFalse16;
  Bool16 activate_forecasting = kFalse16;
  std::array<Bool16, 7> forecast_tables = {};  // in kForecastTables order
  std::int16_t forecast_number_of_days = 0;
  std::int16_t forecast_size_of_sample_set = 0;
  bool operator==(const PostProcessingOptions&) const = default;
};

struct Settings {
  std::vector<ServerEntry> servers;  // list order; empty when no server is configured
  TableList tables;
  DestinationRecord destination;
  AdvancedOptions advanced;
  PostProcessingOptions post_processing;
  std::int16_t forecast_setup_code = 0;  // as fresh as the last RebuildForecastSetupCode
  bool operator==(const Settings&) const = default;
};

// Item n (from 1) of a table string; empty when there is no such item.
std::string ParseItemFromTableString(std::string_view table_string, int n);
std::string BuildTableString(const std::vector<std::string>& tables);
// Items 1 to total_no_tables, without the empty ones. An empty result stands for the single
// empty element that tells the worker there is no table.
std::vector<std::string> BuildTableArray(const TableList& tables);
// Sets total_no_tables to the number of names the table array holds.
void RebuildTableList(TableList& tables);

std::string ConstructSeverityString(const std::array<Bool16, 5>& severity);
std::int16_t BuildForecastSetupCode(const PostProcessingOptions& options);
void RebuildForecastSetupCode(Settings& settings);

}  // namespace kelvan::console
