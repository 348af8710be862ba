// Many servers at once and many loaders on one setup file: -PARALLEL against a run one server
// after another, three kelvan-batch processes sharing twelve slowed servers through the claims
// table, one of them killed while it holds a claim, and the claim itself on each database.
#include <signal.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "console/batch/destination_check.h"
#include "console/core/server_claims.h"
#include "console/core/setup_file.h"
#include "tests/faults/fault_support.h"
#include "tests/support/test_names.h"

namespace kelvan::faults {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using Destination = testing::Destination;

const char* ClaimsSchema(Destination kind) {
  switch (kind) {
    case Destination::kSqlite:
      return "schema/claims/sqlite.sql";
    case Destination::kPostgres:
      return "schema/claims/postgresql.sql";
    case Destination::kMariaDb:
      break;
  }
  return "schema/claims/mariadb.sql";
}

// A destination with the schema (and the claims table when asked) and `count` slowed servers.
struct Site {
  Site(Destination kind, const std::string& tag, int count, bool claims)
      : db(testing::CreateScratchDatabase(kind, tag)),
        client(ClientOf(db)),
        dir(testing::OdbcSandbox::Instance().MakeTempDir(tag)) {
    testing::ApplyDestinationSchema(db);
    if (claims) testing::RunSqlScript(db, testing::SourcePath(ClaimsSchema(kind)));
    for (int i = 0; i < count; ++i) {
      servers.push_back("VLT_" + tag + "_" + std::to_string(i));
      files.push_back(CreateVltFile(servers.back(), 300 + i));
      Slow(i);
    }
    setup = WriteSetup(dir, {.servers = servers}, db);
  }

  // Every fetch waits, so that loads overlap however fast the host is.
  void Slow(int i, std::map<std::string, std::string> more = {}) {
    more["FetchDelayMs"] = "2";
    RegisterVltServer(servers[i], files[i], more);
  }

  void ExpectRowsEqualTheSource() const {
    for (size_t i = 0; i < servers.size(); ++i) {
      const std::vector<std::string> loaded = DestinationSummaryRows(client, servers[i]);
      EXPECT_FALSE(loaded.empty()) << servers[i];
      EXPECT_TRUE(loaded == SourceSummaryRows(files[i]))
          << servers[i] << " differs from its source";
    }
  }

  // Server -> "state pid" of its claim.
  std::map<std::string, std::string> Claims() const {
    std::map<std::string, std::string> claims;
    for (const std::string& line :
         SortedLines(client("SELECT EXT_SERVER_NAME, CLAIM_STATE, HOLDER_PID FROM LOAD_CLAIMS"))) {
      const size_t tab = line.find('\t');
      std::string rest = line.substr(tab + 1);
      rest[rest.find('\t')] = ' ';
      claims[line.substr(0, tab)] = rest;
    }
    return claims;
  }

  testing::ScratchDatabase db;
  SqlClient client;
  fs::path dir;
  fs::path setup;
  std::vector<std::string> servers;
  std::vector<fs::path> files;
};

// Server -> pid of the loader whose run log holds its account.
std::map<std::string, std::string> LoadedBy(const Site& site,
                                            const std::map<pid_t, BatchResult>& runs) {
  std::map<std::string, std::string> loaded;
  for (const auto& [pid, run] : runs) {
    EXPECT_EQ(run.status, 0) << run.output;
    for (const std::string& server : site.servers) {
      if (run.run_log.find("Log for DSN=" + server + ";") == std::string::npos) continue;
      EXPECT_EQ(loaded.count(server), 0u) << server << " loaded twice";
      loaded[server] = "done " + std::to_string(pid);
    }
  }
  return loaded;
}

class ParallelRunTest : public ::testing::TestWithParam<Destination> {};

TEST_P(ParallelRunTest, FourAtOnceLoadTheRowsOfOneAfterAnother) {
  const std::string tag = "par_" + testing::NameFromText(DestinationName(GetParam()));
  Site one(GetParam(), tag + "1", 3, false);
  Site four(GetParam(), tag + "4", 0, false);
  four.servers = one.servers;
  four.files = one.files;
  // Its trace names the server in every step, so that lines of another server would show.
  four.setup = WriteSetup(four.dir, {.servers = four.servers, .trace_level = 2}, four.db);

  const pid_t serial_pid = StartBatch(one.setup, one.dir / "1.htm");
  const pid_t parallel_pid = StartBatch(four.setup, four.dir / "4.htm", {"-PARALLEL=4"});
  const BatchResult serial = WaitBatch(serial_pid, one.dir / "1.htm");
  const BatchResult parallel = WaitBatch(parallel_pid, four.dir / "4.htm");

  EXPECT_EQ(serial.status, 0) << serial.output;
  EXPECT_EQ(parallel.status, 0) << parallel.output;
  one.ExpectRowsEqualTheSource();
  four.ExpectRowsEqualTheSource();
  for (const std::string& server : one.servers) {
    EXPECT_EQ(DestinationSummaryRows(four.client, server),
              DestinationSummaryRows(one.client, server));
    // Each server's account is one block: its header, then its trace, up to the next header.
    const size_t header = parallel.run_log.find("Log for DSN=" + server + ";");
    ASSERT_NE(header, std::string::npos) << server;
    const size_t next = std::min(parallel.run_log.find("Log for", header + 1),
                                 parallel.run_log.find("Average time per server", header));
    const std::string block = parallel.run_log.substr(header, next - header);
    for (const std::string& other : one.servers) {
      if (other != server) {
        EXPECT_THAT(block, Not(HasSubstr(other))) << server;
      }
    }
  }
  EXPECT_THAT(parallel.run_log, HasSubstr("Total number of servers processed was 3.\r\n"));
  console::Settings settings;
  console::ReadSetupFromFile(four.setup.string(), settings);
  EXPECT_FALSE(console::CheckClaimsTable(settings).present);  // so the setup file's lock
}

INSTANTIATE_TEST_SUITE_P(Destinations, ParallelRunTest,
                         ::testing::Values(Destination::kSqlite, Destination::kPostgres),
                         [](const auto& info) { return DestinationName(info.param); });

TEST(ClaimedRunTest, ThreeLoadersLoadEveryServerOnce) {
  Site site(Destination::kPostgres, "claims3", 12, true);
  std::map<pid_t, BatchResult> runs;
  std::vector<pid_t> pids;
  for (int i = 0; i < 3; ++i) {
    pids.push_back(StartBatch(site.setup, site.dir / ("run" + std::to_string(i) + ".htm"),
                              {"-PARALLEL=2", "-LEASE=60"}));
  }
  for (size_t i = 0; i < pids.size(); ++i) {
    runs[pids[i]] = WaitBatch(pids[i], site.dir / ("run" + std::to_string(i) + ".htm"));
  }

  const std::map<std::string, std::string> loaded = LoadedBy(site, runs);
  EXPECT_EQ(loaded.size(), site.servers.size());
  EXPECT_EQ(site.Claims(), loaded);
  site.ExpectRowsEqualTheSource();
}

TEST(ClaimedRunTest, ServerOfAKilledLoaderIsLoadedByAnotherAfterItsLease) {
  Site site(Destination::kPostgres, "claimkill", 6, true);
  const fs::path hold = site.dir / "release";
  site.Slow(0, {{"HoldAfterRows", "40"}, {"HoldFile", hold.string()}});
  const pid_t killed = StartBatch(site.setup, site.dir / "killed.htm", {"-LEASE=10"});
  ASSERT_TRUE(AwaitFile(hold.string() + ".held"));
  ASSERT_EQ(site.Claims()[site.servers[0]], "claimed " + std::to_string(killed));
  ASSERT_EQ(::kill(killed, SIGKILL), 0);
  EXPECT_EQ(WaitBatch(killed, site.dir / "killed.htm").status, -1);
  site.Slow(0);

  std::map<pid_t, BatchResult> runs;
  const pid_t first = StartBatch(site.setup, site.dir / "a.htm", {"-PARALLEL=2", "-LEASE=10"});
  const pid_t second = StartBatch(site.setup, site.dir / "b.htm", {"-PARALLEL=2", "-LEASE=10"});
  runs[first] = WaitBatch(first, site.dir / "a.htm");
  runs[second] = WaitBatch(second, site.dir / "b.htm");

  const std::map<std::string, std::string> loaded = LoadedBy(site, runs);
  EXPECT_EQ(loaded.size(), site.servers.size());
  EXPECT_EQ(site.Claims(), loaded);
  site.ExpectRowsEqualTheSource();
}

class ClaimTest : public ::testing::TestWithParam<Destination> {};

// Two loaders' claims on one server: held, taken over once the lease is past (the holder's work
// is then cancelled and it no longer holds), done, forced, and given back.
TEST_P(ClaimTest, ClaimIsHeldTakenOverDoneForcedAndGivenBack) {
  using Kind = console::ClaimAnswer::Kind;
  const std::string tag = "claim_" + testing::NameFromText(DestinationName(GetParam()));
  Site site(GetParam(), tag, 0, true);
  console::Settings settings;
  console::ReadSetupFromFile(site.setup.string(), settings);
  const console::ClaimSettings window{"w1", std::chrono::seconds(60), false};
  EXPECT_TRUE(console::CheckClaimsTable(settings).present);
  EXPECT_EQ(console::CheckClaimsTable(settings).problem, "");
  auto first = console::OpenDestinationClaims(settings, window);
  auto second = console::OpenDestinationClaims(settings, window);
  constexpr odbc::WorkKey kFirstWork = 990001;

  EXPECT_EQ(first->Claim("S1", kFirstWork).kind, Kind::kClaimed);
  const console::ClaimAnswer held = second->Claim("S1", 990002);
  EXPECT_EQ(held.kind, Kind::kHeld);
  EXPECT_EQ(held.holder.substr(held.holder.rfind(' ') + 1), std::to_string(::getpid()));
  EXPECT_TRUE(first->Holds("S1"));

  site.client("UPDATE LOAD_CLAIMS SET LEASE_EXPIRY = '2000-01-01 00:00:00'");
  EXPECT_EQ(second->Claim("S1", 990002).kind, Kind::kClaimed);
  EXPECT_FALSE(first->Holds("S1"));
  {
    const odbc::ActingFor acting(kFirstWork);
    EXPECT_TRUE(odbc::WorkCancelReason().has_value());
  }
  odbc::ResumeWork(kFirstWork);

  second->Finish("S1", true);
  EXPECT_EQ(first->Claim("S1", kFirstWork).kind, Kind::kDone);
  settings.servers = {console::MakeServerEntry("DSN=S1;UID=u;PWD=p")};
  auto forced = console::OpenDestinationClaims(settings, {"w1", std::chrono::seconds(60), true});
  EXPECT_EQ(forced->Claim("S1", 990003).kind, Kind::kClaimed);
  EXPECT_EQ(first->Claim("S1", kFirstWork).kind, Kind::kHeld);

  forced->Finish("S1", false);
  EXPECT_EQ(first->Claim("S1", kFirstWork).kind, Kind::kClaimed);
  EXPECT_EQ(second->Claim("S1", 990002).kind, Kind::kHeld);
  auto other_window = console::OpenDestinationClaims(settings, {"w2", std::chrono::seconds(60)});
  EXPECT_EQ(other_window->Claim("S1", 990004).kind, Kind::kClaimed);
}

// Server names are pasted into the claims' SQL: a quote, a backslash (an escape in MariaDB's
// default mode) and non-ASCII text must name one row, apart from a name that differs only after.
TEST_P(ClaimTest, NamesWithQuotesBackslashesAndAccentsAreClaimedAsTheyAre) {
  using Kind = console::ClaimAnswer::Kind;
  const std::string tag = "claimname_" + testing::NameFromText(DestinationName(GetParam()));
  Site site(GetParam(), tag, 0, true);
  console::Settings settings;
  console::ReadSetupFromFile(site.setup.string(), settings);
  const console::ClaimSettings window{"w1", std::chrono::seconds(60), false};
  auto first = console::OpenDestinationClaims(settings, window);
  auto second = console::OpenDestinationClaims(settings, window);
  const std::string name = "VLT_O'Neil\\Süd";
  EXPECT_EQ(first->Claim(name, 990011).kind, Kind::kClaimed);
  EXPECT_EQ(second->Claim(name, 990012).kind, Kind::kHeld);
  EXPECT_EQ(second->Claim(name + "\\", 990012).kind, Kind::kClaimed);
  first->Finish(name, true);
  EXPECT_EQ(second->Claim(name, 990012).kind, Kind::kDone);
}

INSTANTIATE_TEST_SUITE_P(Destinations, ClaimTest,
                         ::testing::Values(Destination::kSqlite, Destination::kPostgres,
                                           Destination::kMariaDb),
                         [](const auto& info) { return DestinationName(info.param); });

}  // namespace
}  // namespace kelvan::faults
