#include "vltsim/generator/source_tables.h"

#include <stdexcept>

namespace kelvan::vltsim {
namespace {

constexpr const char* kTs = "TIMESTAMP";
constexpr const char* kInt = "INTEGER";
constexpr const char* kSmall = "SMALLINT";
constexpr const char* kPct = "DECIMAL(5,1)";
constexpr const char* kName = "VARCHAR(30)";
constexpr const char* kNode = "VARCHAR(64)";
constexpr const char* kYesNo = "VARCHAR(3)";
constexpr const char* kVolume = "VARCHAR(32)";
constexpr const char* kPath = "VARCHAR(128)";

SourceTable Snapshot(std::string name, std::vector<SourceColumn> columns) {
  return {std::move(name), true, std::move(columns)};
}

SourceTable History(std::string name, std::vector<SourceColumn> columns) {
  return {std::move(name), false, std::move(columns)};
}

std::vector<SourceColumn> SpaceColumns(bool with_cache) {
  std::vector<SourceColumn> columns = {{"AVAIL_SPACE_MB", kInt},    {"CAPACITY_MB", kInt},
                                       {"MAX_EXTENSION_MB", kInt},  {"MAX_REDUCTION_MB", kInt},
                                       {"PCT_UTILIZED", kPct},      {"MAX_PCT_UTILIZED", kPct},
                                       {"PHYSICAL_VOLUMES", kSmall}};
  if (with_cache) {
    columns.insert(columns.end(), {{"CACHE_HIT_PCT", kPct},
                                   {"CACHE_WAIT_PCT", kPct},
                                   {"BUFFER_REQUESTS", kInt},
                                   {"LAST_BACKUP_DATE", kTs},
                                   {"LAST_CHECK_DATE", "DATE"},
                                   {"LAST_CHECK_TIME", "TIME"}});
  } else {
    columns.insert(
        columns.end(),
        {{"LOG_MODE", "VARCHAR(12)"}, {"CONSUMPTION_MB", "DOUBLE"}, {"LAST_RESET", kTs}});
  }
  return columns;
}

std::vector<SourceColumn> VolumeSpaceColumns() {
  return {{"VOLUME_NAME", kPath},
          {"COPY_STATUS", "VARCHAR(12)"},
          {"AVAIL_SPACE_MB", kInt},
          {"ALLOC_SPACE_MB", kInt},
          {"FREE_SPACE_MB", kInt}};
}

std::vector<SourceTable> BuildTables() {
  return {
      Snapshot("ADMINS", {{"ADMIN_NAME", kNode},
                          {"LASTACC_TIME", kTs},
                          {"PWSET_TIME", kTs},
                          {"CONTACT", kPath},
                          {"LOCKED", kYesNo},
                          {"SYSTEM_PRIV", kYesNo},
                          {"INVALID_PW_COUNT", kSmall},
                          {"REG_TIME", kTs}}),
      Snapshot("DB", SpaceColumns(true)),
      Snapshot("DBVOLUMES", VolumeSpaceColumns()),
      Snapshot("DEVCLASSES", {{"DEVCLASS_NAME", kName},
                              {"ACCESS_STRATEGY", "VARCHAR(12)"},
                              {"STGPOOL_COUNT", kSmall},
                              {"DEVTYPE", "VARCHAR(16)"},
                              {"MOUNTLIMIT", kSmall},
                              {"MOUNTWAIT", kSmall},
                              {"MOUNTRETENTION", kSmall},
                              {"EST_CAPACITY_MB", "DECIMAL(12,1)"},
                              {"LIBRARY_NAME", kName},
                              {"LAST_UPDATE", kTs}}),
      Snapshot("DRIVES", {{"LIBRARY_NAME", kName},
                          {"DRIVE_NAME", kName},
                          {"DEVICE_TYPE", "VARCHAR(16)"},
                          {"ONLINE", kYesNo},
                          {"DRIVE_SERIAL", kVolume},
                          {"DRIVE_STATE", "VARCHAR(16)"},
                          {"VOLUME_NAME", kVolume},
                          {"LAST_UPDATE", kTs}}),
      History("EVENTS", {{"SCHEDULED_START", kTs},
                         {"ACTUAL_START", kTs},
                         {"DOMAIN_NAME", kName},
                         {"SCHEDULE_NAME", kName},
                         {"NODE_NAME", kNode},
                         {"STATUS", "VARCHAR(12)"},
                         {"RESULT", kInt},
                         {"REASON", "VARCHAR(255)"},
                         {"COMPLETED", kTs}}),
      Snapshot("FILESPACES", {{"NODE_NAME", kNode},
                              {"FILESPACE_NAME", kPath},
                              {"FILESPACE_ID", kSmall},
                              {"FILESPACE_TYPE", "VARCHAR(16)"},
                              {"CAPACITY", "FLOAT"},
                              {"PCT_UTIL", kPct},
                              {"BACKUP_START", kTs},
                              {"BACKUP_END", kTs}}),
      Snapshot("LOG", SpaceColumns(false)),
      Snapshot("LOGVOLUMES", VolumeSpaceColumns()),
      Snapshot("NODES", {{"NODE_NAME", kNode},
                         {"PLATFORM_NAME", "VARCHAR(16)"},
                         {"DOMAIN_NAME", kName},
                         {"PWSET_TIME", kTs},
                         {"INVALID_PW_COUNT", kSmall},
                         {"CONTACT", kPath},
                         {"COMPRESSION", kYesNo},
                         {"LOCKED", kYesNo},
                         {"LASTACC_TIME", kTs},
                         {"REG_TIME", kTs},
                         {"CLIENT_VERSION", "VARCHAR(16)"},
                         {"TCP_ADDRESS", "VARCHAR(40)"}}),
      Snapshot("STGPOOLS", {{"STGPOOL_NAME", kName},
                            {"POOLTYPE", "VARCHAR(16)"},
                            {"DEVCLASS", kName},
                            {"EST_CAPACITY_MB", "DECIMAL(14,1)"},
                            {"PCT_UTILIZED", kPct},
                            {"PCT_MIGR", kPct},
                            {"PCT_LOGICAL", kPct},
                            {"HIGHMIG", kSmall},
                            {"LOWMIG", kSmall},
                            {"MAXSCRATCH", kInt},
                            {"NUMSCRATCHUSED", kInt},
                            {"NEXTSTGPOOL", kName},
                            {"MIGR_MB", "DECIMAL(14,1)"},
                            {"MIGR_SECONDS", kInt},
                            {"RECLAIM", kSmall}}),
      History("SUMMARY", {{"START_TIME", kTs},      {"END_TIME", kTs},
                          {"ACTIVITY", kName},      {"NUMBER", kInt},
                          {"ENTITY", kNode},        {"COMMMETH", "VARCHAR(8)"},
                          {"ADDRESS", kNode},       {"SCHEDULE_NAME", kName},
                          {"EXAMINED", kInt},       {"AFFECTED", kInt},
                          {"FAILED", kInt},         {"BYTES", "DECIMAL(20,0)"},
                          {"IDLE", kInt},           {"MEDIAW", kInt},
                          {"PROCESSES", kSmall},    {"SUCCESSFUL", kYesNo},
                          {"VOLUME_NAME", kVolume}, {"DRIVE_NAME", kName},
                          {"LIBRARY_NAME", kName},  {"LAST_USE", "VARCHAR(16)"},
                          {"COMM_WAIT", kInt}}),
      Snapshot("VOLUMES", {{"VOLUME_NAME", kVolume},
                           {"STGPOOL_NAME", kName},
                           {"DEVCLASS_NAME", kName},
                           {"EST_CAPACITY_MB", "DECIMAL(12,1)"},
                           {"PCT_UTILIZED", kPct},
                           {"STATUS", "VARCHAR(12)"},
                           {"ACCESS", "VARCHAR(16)"},
                           {"PCT_RECLAIM", kPct},
                           {"SCRATCH", kYesNo},
                           {"ERROR_STATE", kYesNo},
                           {"TIMES_MOUNTED", kInt},
                           {"LAST_WRITE_DATE", kTs},
                           {"LAST_READ_DATE", kTs}}),
      Snapshot("OCCUPANCY", {{"NODE_NAME", kNode},
                             {"TYPE", "VARCHAR(8)"},
                             {"FILESPACE_NAME", kPath},
                             {"STGPOOL_NAME", kName},
                             {"NUM_FILES", kInt},
                             {"PHYSICAL_MB", "DECIMAL(14,2)"},
                             {"LOGICAL_MB", "DECIMAL(14,2)"},
                             {"FILESPACE_ID", kSmall}}),
      Snapshot("VOLUMEUSAGE", {{"NODE_NAME", kNode},
                               {"COPY_TYPE", "VARCHAR(8)"},
                               {"FILESPACE_NAME", kPath},
                               {"STGPOOL_NAME", kName},
                               {"VOLUME_NAME", kVolume},
                               {"FILESPACE_ID", kSmall}}),
      Snapshot("LIBVOLUMES", {{"LIBRARY_NAME", kName},
                              {"VOLUME_NAME", kVolume},
                              {"STATUS", "VARCHAR(12)"},
                              {"OWNER", kNode},
                              {"LAST_USE", "VARCHAR(16)"},
                              {"HOME_ELEMENT", kInt},
                              {"CLEANINGS_LEFT", kSmall}}),
      Snapshot("LIBRARIES", {{"LIBRARY_NAME", kName},
                             {"LIBRARY_TYPE", "VARCHAR(16)"},
                             {"DEVICE", kNode},
                             {"SHARED", kYesNo},
                             {"SLOT_COUNT", kSmall},
                             {"LAST_UPDATE", kTs}}),
      Snapshot("OPTIONS", {{"OPTION_NAME", kNode}, {"OPTION_VALUE", "VARCHAR(255)"}}),
      Snapshot("VOLHISTORY", {{"DATE_TIME", kTs},
                              {"VOLUME_TYPE", "VARCHAR(16)"},
                              {"BACKUP_SERIES", kInt},
                              {"BACKUP_OPERATION", kSmall},
                              {"VOLUME_SEQ", kSmall},
                              {"DEVCLASS", kName},
                              {"VOLUME_NAME", kVolume},
                              {"LOCATION", kNode}}),
      History("ACTLOG", {{"DATE_TIME", kTs},
                         {"MSGNO", kInt},
                         {"SEVERITY", "CHAR(1)"},
                         {"MESSAGE", "VARCHAR(1024)"},
                         {"ORIGINATOR", "VARCHAR(8)"},
                         {"NODENAME", kNode},
                         {"OWNERNAME", kNode},
                         {"SCHEDNAME", kName},
                         {"DOMAINNAME", kName},
                         {"SESSID", kInt},
                         {"SERVERNAME", kNode}}),
  };
}

}  // namespace

int SourceTable::ColumnIndex(std::string_view column) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].name == column) return static_cast<int>(i);
  }
  return -1;
}

const std::vector<SourceTable>& SourceTables() {
  static const std::vector<SourceTable> tables = BuildTables();
  return tables;
}

const SourceTable& FindSourceTable(std::string_view name) {
  for (const SourceTable& table : SourceTables()) {
    if (table.name == name) return table;
  }
  throw std::out_of_range("no source table " + std::string(name));
}

std::string CreateTableSql(const SourceTable& table) {
  std::string sql = "CREATE TABLE " + table.name + " (";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    sql += (i ? ", " : "") + table.columns[i].name + " " + table.columns[i].type;
  }
  return sql + ")";
}

}  // namespace kelvan::vltsim
