// What the report reads from the destination: per server the utilisation snapshots, the counted
// trends, the hourly bytes, the daily peaks of simultaneous activity, the drives and the errors.
// Read-only SELECTs in plain SQL that every destination type takes. Used by one thread.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "platform/basic/timestamp.h"
#include "platform/data/connection.h"

namespace kelvan::report {

struct Point {
  Timestamp when;
  double value = 0;
};
using Series = std::vector<Point>;  // in time order

struct NamedSeries {
  std::string name;
  Series points;
};

struct MessageCount {
  std::string message;  // "client 1234: " or "server 1234: " and the text first seen
  int count = 0;
};

// Errors per day ("yyyy-mm-dd") and severity letter.
using DailySeverityCounts = std::map<std::string, std::map<std::string, int>>;

struct ServerHistory {
  std::string server;
  Series database, log;             // PCT_UTILIZED
  std::vector<NamedSeries> pools;   // STGPOOLS.PCT_UTILIZED by STGPOOL_NAME
  std::vector<NamedSeries> spaces;  // FILESPACES.PCT_UTIL by "NODE_NAME FILESPACE_NAME"
  Series scratch_volumes;           // LIBVOLUMES rows with STATUS 'Scratch' per snapshot
  Series nodes;                     // NODES rows per snapshot
  Series drives;                    // DRIVES rows per snapshot
  std::map<std::string, std::array<double, 24>> bytes_by_hour;  // by day, SUMMARYHOUR
  Series session_peaks, mount_peaks;  // highest ACTIVITY_COUNT per day, SIMUL_ACTIVITY
  DailySeverityCounts client_errors, server_errors;
  std::vector<MessageCount> frequent_messages;  // both error tables, most frequent first
};

// The destination's connection and the qualifier its tables are named with ("" or a plain name).
struct Destination {
  data::Connection& connection;
  std::string qualifier;
  std::string Table(const std::string& name) const {
    return qualifier.empty() ? name : qualifier + "." + name;
  }
};

// Every server named in the snapshot tables, sorted.
std::vector<std::string> ReadServers(const Destination& destination);

// The server's rows from `since` on. Raises RaisedError when a table cannot be read.
ServerHistory ReadServerHistory(const Destination& destination, const std::string& server,
                                const Timestamp& since);

// How many frequent messages are kept per server.
inline constexpr size_t kFrequentMessages = 8;

}  // namespace kelvan::report
