#include "report/report_data.h"

#include <algorithm>
#include <optional>

#include "platform/basic/sql_text.h"

namespace kelvan::report {
namespace {

// "WHERE EXT_SERVER_NAME = '<server>' AND <date column> >= '<since>'"
std::string ServerSince(const std::string& server, const std::string& date_column,
                        const std::string& since) {
  return " WHERE EXT_SERVER_NAME = " + SqlTextLiteral(server) + " AND " + date_column +
         " >= " + SqlTextLiteral(since);
}

template <typename RowReader>
void ForEachRow(const Destination& destination, const std::string& sql, RowReader&& read) {
  data::ResultSet rows = destination.connection.OpenResultSet(sql);
  for (; !rows.EndOfData(); rows.MoveNext()) read(rows);
  rows.Close();
}

std::optional<Timestamp> TimeAt(data::ResultSet& rows, int column) {
  return ParseTimestampText(rows.ColumnAt(column).GetValue().ToText());
}

std::optional<double> NumberAt(data::ResultSet& rows, int column) {
  const data::Value& value = rows.ColumnAt(column).GetValue();
  if (value.IsNull()) return std::nullopt;
  return value.ToDouble();
}

// Rows of (EXTRACT_DATE or another time, value) into a series; rows with a NULL are left out.
Series ReadSeries(const Destination& destination, const std::string& sql) {
  Series series;
  ForEachRow(destination, sql, [&series](data::ResultSet& rows) {
    const auto when = TimeAt(rows, 0);
    const auto value = NumberAt(rows, 1);
    if (when && value) series.push_back({*when, *value});
  });
  return series;
}

// Rows of (name columns..., EXTRACT_DATE, value) ordered by name into one series per name.
std::vector<NamedSeries> ReadNamedSeries(const Destination& destination, const std::string& sql,
                                         int name_columns) {
  std::vector<NamedSeries> named;
  ForEachRow(destination, sql, [&](data::ResultSet& rows) {
    std::string name;
    for (int i = 0; i < name_columns; ++i) {
      name += (i ? " " : "") + rows.ColumnAt(i).GetValue().ToText();
    }
    const auto when = TimeAt(rows, name_columns);
    const auto value = NumberAt(rows, name_columns + 1);
    if (!when || !value) return;
    if (named.empty() || named.back().name != name) named.push_back({name, {}});
    named.back().points.push_back({*when, *value});
  });
  return named;
}

Series CountPerSnapshot(const Destination& destination, const std::string& table,
                        const std::string& where) {
  return ReadSeries(destination, "SELECT EXTRACT_DATE, COUNT(*) AS N FROM " +
                                     destination.Table(table) + where +
                                     " GROUP BY EXTRACT_DATE ORDER BY EXTRACT_DATE");
}

void ReadBytesByHour(const Destination& destination, ServerHistory& history,
                     const std::string& since) {
  ForEachRow(destination,
             "SELECT DATE_VALUE, HOUR_VALUE, SUM(BYTES) AS B FROM " +
                 destination.Table("SUMMARYHOUR") +
                 ServerSince(history.server, "DATE_VALUE", since.substr(0, 10)) +
                 " GROUP BY DATE_VALUE, HOUR_VALUE",
             [&history](data::ResultSet& rows) {
               const auto day = TimeAt(rows, 0);
               const auto hour = NumberAt(rows, 1);
               const auto bytes = NumberAt(rows, 2);
               if (!day || !hour || !bytes || *hour < 0 || *hour > 23) return;
               auto& hours = history.bytes_by_hour[FormatDate(*day)];
               hours[static_cast<size_t>(*hour)] += *bytes;
             });
}

void ReadActivityPeaks(const Destination& destination, ServerHistory& history,
                       const std::string& since) {
  ForEachRow(destination,
             "SELECT EXTRACT_DATE, ACTIVITY, MAX(ACTIVITY_COUNT) AS N FROM " +
                 destination.Table("SIMUL_ACTIVITY") +
                 ServerSince(history.server, "EXTRACT_DATE", since) +
                 " GROUP BY EXTRACT_DATE, ACTIVITY ORDER BY EXTRACT_DATE",
             [&history](data::ResultSet& rows) {
               const auto day = TimeAt(rows, 0);
               const auto peak = NumberAt(rows, 2);
               if (!day || !peak) return;
               const bool mount = rows.ColumnAt(1).GetValue().ToText() == "TAPE MOUNT";
               (mount ? history.mount_peaks : history.session_peaks).push_back({*day, *peak});
             });
}

// `origin` ("client", "server") keeps the two tables' message numbers apart.
void ReadErrors(const Destination& destination, const std::string& table, const std::string& origin,
                const std::string& since, ServerHistory& history, DailySeverityCounts& per_day,
                std::map<std::string, MessageCount>& messages) {
  ForEachRow(destination,
             "SELECT DATE_TIME, SEVERITY, MSGNO, MESSAGE FROM " + destination.Table(table) +
                 ServerSince(history.server, "DATE_TIME", since),
             [&](data::ResultSet& rows) {
               const auto when = TimeAt(rows, 0);
               if (!when) return;
               ++per_day[FormatDate(*when)][rows.ColumnAt(1).GetValue().ToText()];
               const std::string number = origin + " " + rows.ColumnAt(2).GetValue().ToText();
               MessageCount& message = messages[number];
               if (message.count++ == 0) {
                 message.message = number + ": " + rows.ColumnAt(3).GetValue().ToText();
               }
             });
}

std::vector<MessageCount> MostFrequent(const std::map<std::string, MessageCount>& messages) {
  std::vector<MessageCount> sorted;
  for (const auto& [number, message] : messages) sorted.push_back(message);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const MessageCount& a, const MessageCount& b) { return a.count > b.count; });
  if (sorted.size() > kFrequentMessages) sorted.resize(kFrequentMessages);
  return sorted;
}

}  // namespace

std::vector<std::string> ReadServers(const Destination& destination) {
  std::vector<std::string> servers;
  std::string sql;
  for (const char* table : {"DB", "LOG", "STGPOOLS", "FILESPACES"}) {
    sql += (sql.empty() ? "" : " UNION ") +
           ("SELECT EXT_SERVER_NAME FROM " + destination.Table(table));
  }
  ForEachRow(destination, sql, [&servers](data::ResultSet& rows) {
    const data::Value& name = rows.ColumnAt(0).GetValue();
    if (!name.IsNull()) servers.push_back(name.ToText());
  });
  std::sort(servers.begin(), servers.end());
  return servers;
}

ServerHistory ReadServerHistory(const Destination& destination, const std::string& server,
                                const Timestamp& since) {
  ServerHistory history;
  history.server = server;
  const std::string from = FormatTimestamp(since);
  const std::string where = ServerSince(server, "EXTRACT_DATE", from);
  const std::string order = " ORDER BY EXTRACT_DATE";
  history.database = ReadSeries(destination, "SELECT EXTRACT_DATE, PCT_UTILIZED FROM " +
                                                 destination.Table("DB") + where + order);
  history.log = ReadSeries(destination, "SELECT EXTRACT_DATE, PCT_UTILIZED FROM " +
                                            destination.Table("LOG") + where + order);
  history.pools = ReadNamedSeries(destination,
                                  "SELECT STGPOOL_NAME, EXTRACT_DATE, PCT_UTILIZED FROM " +
                                      destination.Table("STGPOOLS") + where +
                                      " ORDER BY STGPOOL_NAME, EXTRACT_DATE",
                                  1);
  history.spaces =
      ReadNamedSeries(destination,
                      "SELECT NODE_NAME, FILESPACE_NAME, EXTRACT_DATE, PCT_UTIL FROM " +
                          destination.Table("FILESPACES") + where +
                          " ORDER BY NODE_NAME, FILESPACE_NAME, EXTRACT_DATE",
                      2);
  history.scratch_volumes =
      CountPerSnapshot(destination, "LIBVOLUMES", where + " AND STATUS = 'Scratch'");
  history.nodes = CountPerSnapshot(destination, "NODES", where);
  history.drives = CountPerSnapshot(destination, "DRIVES", where);
  ReadBytesByHour(destination, history, from);
  ReadActivityPeaks(destination, history, from);
  std::map<std::string, MessageCount> messages;
  ReadErrors(destination, "CLIENTERRORS", "client", from, history, history.client_errors, messages);
  ReadErrors(destination, "SERVERERRORS", "server", from, history, history.server_errors, messages);
  history.frequent_messages = MostFrequent(messages);
  return history;
}

}  // namespace kelvan::report
