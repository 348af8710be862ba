// A night of 24 stand-in servers whose answers are slowed (latency, not work) loaded by
// kelvan-batch into PostgreSQL: one loader, -PARALLEL=2, -PARALLEL=4, and two processes with
// -PARALLEL=2 sharing the setup file through the claims table. Wall time of each and its
// speed-up over one loader, pauses between servers included. Appends its table to the results
// file given as argument (else prints it). Exits 1 when a run fails or 4-way is under 3x.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "tests/faults/fault_support.h"

namespace kelvan::bench {
namespace {

namespace fs = std::filesystem;
using faults::BatchResult;

constexpr int kServers = 24;
constexpr const char* kFetchDelayMs = "10";  // per row fetched from each stand-in server

struct Way {
  std::string name;
  int processes;
  std::string parallel;  // the -PARALLEL option; empty for none
};

std::string Fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::vector<std::string> MakeServers() {
  std::vector<std::string> servers;
  for (int i = 0; i < kServers; ++i) {
    servers.push_back("VLT_scale_" + std::to_string(i));
    const fs::path file = faults::CreateVltFile(servers.back(), 500 + i);
    faults::RegisterVltServer(servers.back(), file, {{"FetchDelayMs", kFetchDelayMs}});
  }
  return servers;
}

// Seconds of wall time for the whole night.
double RunNight(const Way& way, const std::vector<std::string>& servers, int index) {
  const std::string tag = "scale" + std::to_string(index);
  const testing::ScratchDatabase db =
      testing::CreateScratchDatabase(testing::Destination::kPostgres, tag);
  testing::ApplyDestinationSchema(db);
  if (way.processes > 1)
    testing::RunSqlScript(db, testing::SourcePath("schema/claims/postgresql.sql"));
  const fs::path dir = testing::OdbcSandbox::Instance().MakeTempDir(tag);
  const fs::path setup = faults::WriteSetup(dir, {.servers = servers}, db);
  std::vector<std::string> options;
  if (!way.parallel.empty()) options.push_back(way.parallel);
  Stopwatch watch;
  std::vector<std::pair<pid_t, fs::path>> runs;
  for (int p = 0; p < way.processes; ++p) {
    const fs::path log = dir / ("run" + std::to_string(p) + ".htm");
    runs.emplace_back(faults::StartBatch(setup, log, options), log);
  }
  for (const auto& [pid, log] : runs) {
    const BatchResult result = faults::WaitBatch(pid, log);
    Check(result.status == 0, way.name + ": every loader ends with status 0");
  }
  const double seconds = watch.Seconds();
  const long rows = std::stol(
      testing::QueryWithClient(db, "SELECT COUNT(DISTINCT EXT_SERVER_NAME) FROM SUMMARY"));
  Check(rows == kServers, way.name + ": every server loaded");
  return seconds;
}

std::string Run() {
  const std::vector<std::string> servers = MakeServers();
  const std::vector<Way> ways = {{"one loader", 1, ""},
                                 {"-PARALLEL=2", 1, "-PARALLEL=2"},
                                 {"-PARALLEL=4", 1, "-PARALLEL=4"},
                                 {"two processes x -PARALLEL=2", 2, "-PARALLEL=2"}};
  std::ostringstream table;
  table << "## Scale-out: " << kServers << " stand-in servers answering " << kFetchDelayMs
        << " ms late per row, into PostgreSQL (kelvan-batch, 5 s pause between a loader's "
           "servers)\n\n| way | wall time s | speed-up |\n|---|---|---|\n";
  double one = 0;
  for (size_t i = 0; i < ways.size(); ++i) {
    const double seconds = RunNight(ways[i], servers, static_cast<int>(i));
    if (i == 0) one = seconds;
    const double speed_up = one / seconds;
    table << "| " << ways[i].name << " | " << Fixed(seconds, 1) << " | " << Fixed(speed_up, 2)
          << " |\n";
    if (ways[i].parallel == "-PARALLEL=4") {
      Check(speed_up >= 3.0, "4-way parallel at least 3x one loader (" + Fixed(speed_up, 2) + ")");
    }
  }
  return table.str();
}

}  // namespace
}  // namespace kelvan::bench

int main(int argc, char** argv) {
  const std::string results = kelvan::bench::Run();
  std::cout << results;
  if (argc > 1) std::ofstream(argv[1], std::ios::app) << "\n" << results;
  return kelvan::bench::AnyCheckFailed() ? 1 : 0;
}
