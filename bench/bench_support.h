// What the engine benchmarks share: a stopwatch, checks that mark the run as failed without
// stopping it, trace lines picked by their start, and query plans read through the
// destination's own client. Main thread only.
#pragma once

#include <chrono>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "engine/engine_test_support.h"
#include "tests/support/odbc_sandbox.h"

namespace kelvan::bench {

class Stopwatch {
 public:
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// A failed check is printed and turns the exit status to 1; the bench carries on measuring.
inline bool& AnyCheckFailed() {
  static bool failed = false;
  return failed;
}
inline void Check(bool ok, const std::string& what) {
  if (ok) return;
  std::cout << "  CHECK FAILED: " << what << "\n";
  AnyCheckFailed() = true;
}

// The trace lines that start with `prefix`, without it.
inline std::vector<std::string> TraceLinesAfter(const std::filesystem::path& trace,
                                                const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : engine::testing::ReadLines(trace)) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line.substr(prefix.size()));
  }
  return found;
}

// The plan the destination chooses for `query`, one step per line.
inline std::string QueryPlan(const testing::ScratchDatabase& db, const std::string& query) {
  bool sqlite = db.kind == testing::Destination::kSqlite;
  return testing::QueryWithClient(db, (sqlite ? "EXPLAIN QUERY PLAN " : "EXPLAIN ") + query);
}

// True when the plan reaches `table` only through an index whose condition bounds
// EXTRACT_DATE or DATE_TIME (so the query reads one server's date range, not the table).
inline bool PlanSeeksDateRange(const testing::ScratchDatabase& db, const std::string& plan,
                               const std::string& table) {
  if (db.kind == testing::Destination::kSqlite) {
    bool scans = plan.find("SCAN " + table) != std::string::npos;
    bool seeks = plan.find("SEARCH " + table + " USING") != std::string::npos &&
                 plan.find("EXT_SERVER_NAME=? AND") != std::string::npos;
    return seeks && !scans;
  }
  std::string::size_type at = plan.find("Index Cond:");
  std::string condition = at == std::string::npos ? "" : plan.substr(at, plan.find('\n', at) - at);
  bool bounded = condition.find("ext_server_name") != std::string::npos &&
                 (condition.find("extract_date") != std::string::npos ||
                  condition.find("date_time") != std::string::npos);
  return bounded && plan.find("Seq Scan") == std::string::npos;
}

inline void PrintIndented(const std::string& text) {
  std::string::size_type start = 0;
  while (start < text.size()) {
    std::string::size_type end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::cout << "    " << text.substr(start, end - start) << "\n";
    start = end + 1;
  }
}

}  // namespace kelvan::bench
