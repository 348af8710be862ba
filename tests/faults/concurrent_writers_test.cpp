// Two servers' workers loading at the same time into one destination and writing one trace
// file at trace level 3: every line whole, and every copy accounted for.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <thread>

#include "engine/qb_obj.h"
#include "platform/component/registry.h"
#include "tests/faults/fault_support.h"
#include "worker/data_src.h"
#include "worker/elvan.h"
#include "worker/worker_classes.h"

namespace kelvan::faults {
namespace {

// Trace messages that begin a line; one found further into a line means two writes met.
constexpr const char* kLineStarts[] = {"===Entering Function ",
                                       "Server Name = ",
                                       "Source Connection = ",
                                       "Data Source = ",
                                       "Running the following query",
                                       "Result set successfully opened",
                                       "SQLExecDirect function call returned",
                                       "Executed SQL Statement Okay.",
                                       "Successfully copied ",
                                       "Added new record(s) to the ",
                                       "Previous message = "};

std::string LoadServer(const std::string& server, worker::DataSrc destination,
                       const std::vector<std::string>& tables, const std::string& trace) {
  auto elvan = component::CreateObject<worker::ELVAN>(worker::kElvanClassId);
  return elvan.Call([&](worker::ELVAN& worker) {
    worker.SetDSN(server);
    worker.SetServerValue("DSN=" + server + ";UID=admin;PWD=" + kVltPassword);
    std::int32_t batch = 1000;
    return worker.StartELVAN(destination, tables, trace, 3, kTrue16, 30, "SEVERITY = 'E'", kFalse16,
                             "Unknown", 0, 30, 14, kFalse16, kFalse16, kFalse16, batch, kFalse16);
  });
}

TEST(ConcurrentWritersTest, TwoWorkersShareOneTraceFileLineByLine) {
  engine::RegisterQobraClasses();
  worker::RegisterWorkerClasses();
  const testing::ScratchDatabase db =
      testing::CreateScratchDatabase(testing::Destination::kPostgres, "concurrent");
  testing::RunSqlScript(db, testing::SourcePath("schema/postgresql.sql"));
  worker::DataSrc destination;
  destination.SetName(db.dsn);
  destination.SetUserName(db.uid);
  destination.SetPassword(db.pwd);
  const std::vector<std::string> servers = {"VLT_conc_a", "VLT_conc_b"};
  const std::vector<std::string> tables = {"SUMMARY", "NODES", "FILESPACES", "VOLUMES",
                                           "OCCUPANCY"};
  for (size_t i = 0; i < servers.size(); ++i) {
    RegisterVltServer(servers[i], CreateVltFile(servers[i], 71 + static_cast<int>(i), 2, 20));
  }
  const fs::path trace = testing::OdbcSandbox::Instance().MakeTempDir("concurrent") / "run.htm";

  std::vector<std::string> results(servers.size());
  {
    std::vector<std::jthread> threads;
    for (size_t i = 0; i < servers.size(); ++i) {
      threads.emplace_back(
          [&, i] { results[i] = LoadServer(servers[i], destination, tables, trace.string()); });
    }
  }
  EXPECT_EQ(results, std::vector<std::string>(servers.size(), ""));

  const std::string text = ReadFile(trace);
  std::multiset<std::string> copied;  // the "Successfully copied" lines, without their time
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    ASSERT_TRUE(!line.empty() && line.back() == '\r') << "line without CR LF: " << line;
    for (const char* start : kLineStarts) {
      const size_t at = line.find(start);
      EXPECT_TRUE(at == std::string::npos || at == 0) << "interleaved line: " << line;
    }
    if (line.starts_with("Successfully copied ")) copied.insert(line.substr(0, line.find(" (")));
  }
  std::multiset<std::string> expected;
  for (const std::string& server : servers) {
    for (const std::string& table : tables) {
      expected.insert("Successfully copied " +
                      std::to_string(CountRows(ClientOf(db), table, server)) + " row(s) to " +
                      table);
    }
  }
  EXPECT_EQ(copied, expected);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::count(text.begin(), text.end(), '\r'));
}

}  // namespace
}  // namespace kelvan::faults
