#include "console/batch/destination_check.h"

#include <optional>

#include "console/core/server_claims.h"
#include "engine/engine_text.h"
#include "platform/data/connection.h"
#include "platform/odbc/connect_string.h"
#include "worker/data_src.h"
#include "worker/forecast_tables.h"

namespace kelvan::console {
namespace {

const std::vector<std::string> kCopyStamps = {"EXT_SERVER_NAME", "EXTRACT_DATE", "PSEUDO_INDEX"};
const std::vector<std::string> kErrorTableStamps = {"EXT_SERVER_NAME", "PSEUDO_INDEX"};
const std::vector<std::string> kDerivedStamps = {"EXT_SERVER_NAME", "EXTRACT_DATE"};

void AddForecastTables(const Settings& settings, std::vector<WrittenTable>& tables) {
  const auto code = static_cast<std::uint16_t>(settings.forecast_setup_code);
  if (!IsSet(settings.post_processing.activate_forecasting)) return;
  if ((code & worker::kForecastingOnBit) == 0) return;
  for (const worker::ForecastTable& table : worker::ForecastTables()) {
    if ((code & table.bit) != 0) {
      tables.push_back({table.source + "_F", table.forecast_table_columns});
    }
  }
}

worker::DataSrc DestinationOf(const Settings& settings) {
  worker::DataSrc destination;
  destination.SetName(settings.destination.name);
  destination.SetQualifier(settings.destination.qualifier);
  return destination;
}

// Empty when the table is there with every column; else what is missing.
std::string ProblemOf(data::Connection& connection, const worker::DataSrc& destination,
                      const WrittenTable& table) {
  try {
    const std::string name = engine::PrefixedTableName(destination, table.name);
    data::ResultSet result = connection.OpenResultSet("SELECT * FROM " + name + " WHERE 1 = 0");
    std::string missing;
    for (const std::string& column : table.columns) {
      if (result.FindColumn(column) == nullptr) missing += (missing.empty() ? "" : ", ") + column;
    }
    return missing.empty() ? "" : "table " + name + " lacks the column(s) " + missing;
  } catch (const RaisedError& error) {
    return "table " + table.name + " cannot be read (" + error.Description() + ")";
  }
}

// SQLSTATEs and texts of a missing table in the drivers here (odbc-drivers.md).
bool SaysTableIsMissing(const RaisedError& error) {
  const std::string& state = error.SqlState();
  const std::string& text = error.Description();
  return state == "42P01" || state == "42S02" || state == "S0002" ||
         text.find("no such table") != std::string::npos ||
         text.find("does not exist") != std::string::npos ||
         text.find("doesn't exist") != std::string::npos;
}

// A lock held on a table must not hold the check for the statements' usual 10 minutes.
data::Connection OpenDestination(const DestinationRecord& d) {
  return data::Connection::Open(odbc::DataSourceConnectString(d.name, d.user_name, d.password),
                                {.login_timeout_seconds = 15, .query_timeout_seconds = 60});
}

}  // namespace

std::vector<WrittenTable> TablesWritten(const Settings& settings) {
  std::vector<WrittenTable> tables;
  if (IsSet(settings.tables.load_error_tables)) {
    tables.push_back({"CLIENTERRORS", kErrorTableStamps});
    tables.push_back({"SERVERERRORS", kErrorTableStamps});
  }
  for (const std::string& name : BuildTableArray(settings.tables)) {
    tables.push_back({name, kCopyStamps});
  }
  if (IsSet(settings.post_processing.generate_summaryhour)) {
    tables.push_back({"SUMMARYHOUR", kDerivedStamps});
  }
  if (IsSet(settings.post_processing.generate_simulactivity)) {
    tables.push_back({"SIMUL_ACTIVITY", kDerivedStamps});
  }
  AddForecastTables(settings, tables);
  return tables;
}

std::string CheckDestination(const Settings& settings) {
  const DestinationRecord& d = settings.destination;
  std::optional<data::Connection> connection;
  try {
    connection = OpenDestination(d);
  } catch (const RaisedError& error) {
    return "Unable to connect to the destination data source " + d.name + ": " +
           odbc::HidePasswordEntries(error.Description()) +
           ". The data source is defined in odbc.ini; its name, user and password are in the "
           "setup file's [DATA SOURCE] section.";
  }
  std::string problems;
  const worker::DataSrc destination = DestinationOf(settings);
  for (const WrittenTable& table : TablesWritten(settings)) {
    const std::string problem = ProblemOf(*connection, destination, table);
    if (!problem.empty()) problems += (problems.empty() ? "" : "; ") + problem;
  }
  if (problems.empty()) return "";
  return "The destination data source " + d.name + " cannot take this run: " + problems +
         ". Create the tables from the schema files of the installation (schema/), or take the "
         "tables out of the setup file.";
}

ClaimsTableCheck CheckClaimsTable(const Settings& settings) {
  static const WrittenTable kClaims = {
      kClaimsTable,
      {"EXT_SERVER_NAME", "RUN_WINDOW", "CLAIM_STATE", "HOLDER_HOST", "HOLDER_PID", "CLAIM_TOKEN",
       "CLAIMED_AT", "LEASE_EXPIRY", "LEASE_RENEWALS", "FINISHED_AT"}};
  try {
    data::Connection connection = OpenDestination(settings.destination);
    const std::string name = engine::PrefixedTableName(DestinationOf(settings), kClaimsTable);
    try {
      connection.OpenResultSet("SELECT * FROM " + name + " WHERE 1 = 0");
    } catch (const RaisedError& error) {
      if (SaysTableIsMissing(error)) return {};  // no claims
      // Taken for missing, a table that is there would let two loaders load one server.
      return {true, "The claims table " + name + " of the destination data source " +
                        settings.destination.name +
                        " cannot be read: " + odbc::HidePasswordEntries(error.Description())};
    }
    const std::string problem = ProblemOf(connection, DestinationOf(settings), kClaims);
    if (problem.empty()) return {true, ""};
    return {true, "The destination data source " + settings.destination.name +
                      " cannot take this run: " + problem +
                      ". Create the claims table again from the schema files (schema/claims/)."};
  } catch (const RaisedError&) {
    return {};  // CheckDestination has said why the destination cannot be reached
  }
}

}  // namespace kelvan::console
