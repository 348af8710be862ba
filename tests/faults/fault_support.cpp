#include "tests/faults/fault_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "console/core/settings.h"
#include "console/core/setup_file.h"

namespace kelvan::faults {
namespace {

// The destination names the source's NUMBER column NUMBER_X.
std::string SummaryColumns(const std::string& number_column) {
  return "START_TIME, END_TIME, ACTIVITY, " + number_column +
         ", ENTITY, EXAMINED, BYTES FROM SUMMARY WHERE ";
}

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

}  // namespace

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

bool AwaitFile(const fs::path& path) {
  for (int i = 0; i < 600 && !fs::exists(path); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return fs::exists(path);
}

std::string Shell(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run: " << command;
    return output;
  }
  std::array<char, 65536> buffer{};
  for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
    output.append(buffer.data(), n);
  }
  const int status = ::pclose(pipe);
  EXPECT_EQ(status, 0) << command << "\n" << output;
  return output;
}

fs::path CreateVltFile(const std::string& tag, int seed, int days, int scale,
                       const std::string& profile) {
  const fs::path file = testing::OdbcSandbox::Instance().MakeTempDir("vlt_" + tag) / "server.db";
  Shell(testing::VltsimPath().string() + " create " + file.string() + " --days " +
        std::to_string(days) + " --seed " + std::to_string(seed) + " --scale " +
        std::to_string(scale) + " --profile " + profile + " >/dev/null");
  return file;
}

void RegisterVltServer(const std::string& dsn, const fs::path& file,
                       const std::map<std::string, std::string>& faults) {
  std::map<std::string, std::string> keys = faults;
  keys.insert({{"Database", file.string()}, {"UID", "admin"}, {"PWD", kVltPassword}});
  testing::OdbcSandbox::Instance().AddDataSource(dsn, testing::kVltDriver, keys);
}

std::string SetupText(const SetupOptions& options, const testing::ScratchDatabase& db) {
  console::Settings settings;
  for (const std::string& dsn : options.servers) {
    settings.servers.push_back(
        console::MakeServerEntry(console::ServerValue(dsn, "admin", kVltPassword)));
  }
  settings.tables.table_string = console::BuildTableString(options.tables);
  settings.tables.total_no_tables = static_cast<std::int16_t>(options.tables.size());
  settings.tables.load_error_tables = options.load_error_tables ? kTrue16 : kFalse16;
  settings.destination = {db.dsn, db.uid, db.pwd, ""};
  settings.advanced.trace_level = static_cast<std::int16_t>(options.trace_level);
  settings.post_processing.generate_simulactivity = options.simul_activity ? kTrue16 : kFalse16;
  settings.post_processing.generate_summaryhour = options.summary_hour ? kTrue16 : kFalse16;
  settings.post_processing.activate_forecasting = options.forecasting ? kTrue16 : kFalse16;
  settings.post_processing.forecast_tables.fill(options.forecasting ? kTrue16 : kFalse16);
  console::RebuildForecastSetupCode(settings);
  settings.post_processing.forecast_number_of_days = 30;
  settings.post_processing.forecast_size_of_sample_set = 14;
  return console::SetupFileText(settings);
}

fs::path WriteSetup(const fs::path& dir, const SetupOptions& options,
                    const testing::ScratchDatabase& db, const std::string& name) {
  const fs::path path = dir / name;
  { std::ofstream(path, std::ios::binary | std::ios::trunc) << SetupText(options, db); }
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  return path;
}

pid_t StartBatch(const fs::path& setup, const fs::path& log, const std::vector<std::string>& more) {
  std::vector<std::string> arguments = {KELVAN_BATCH_PATH, "-CONFIG=" + setup.string(),
                                        "-LOG=" + log.string()};
  arguments.insert(arguments.end(), more.begin(), more.end());
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const std::string out = log.string() + ".out";
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, STDOUT_FILENO);
    ::dup2(fd, STDERR_FILENO);
    ::execv(KELVAN_BATCH_PATH, argv.data());
    ::_exit(127);
  }
  return pid;
}

BatchResult WaitBatchWithin(pid_t pid, const fs::path& log, std::chrono::seconds limit) {
  const auto give_up = std::chrono::steady_clock::now() + limit;
  auto ended = [pid] {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
           info.si_pid != 0;
  };
  while (!ended() && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!ended()) {
    ADD_FAILURE() << "kelvan-batch still ran after " << limit.count() << " s: killed";
    ::kill(pid, SIGKILL);
  }
  return WaitBatch(pid, log);
}

BatchResult WaitBatch(pid_t pid, const fs::path& log) {
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  BatchResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.run_log = ReadFile(log);
  result.output = ReadFile(log.string() + ".out");
  return result;
}

BatchResult RunBatch(const fs::path& setup, const fs::path& log) {
  return WaitBatch(StartBatch(setup, log), log);
}

SqlClient ClientOf(const testing::ScratchDatabase& db) {
  return [db](const std::string& sql) { return testing::QueryWithClient(db, sql); };
}

std::string SqlText(const std::string& text) {
  std::string quoted;
  for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted;
}

std::vector<std::string> SourceSummaryRows(const fs::path& file) {
  return SortedLines(Shell("sqlite3 -separator \"$(printf '\\t')\" " + file.string() +
                           " \"SELECT " + SummaryColumns("NUMBER") +
                           "END_TIME >= date('now', 'localtime', '-1 day')\""));
}

std::vector<std::string> DestinationSummaryRows(const SqlClient& client,
                                                const std::string& server) {
  return SortedLines(client("SELECT " + SummaryColumns("NUMBER_X") + "EXT_SERVER_NAME = '" +
                            SqlText(server) + "'"));
}

long SourceCount(const fs::path& file, const std::string& table) {
  return std::atol(
      Shell("sqlite3 " + file.string() + " 'SELECT COUNT(*) FROM " + table + "'").c_str());
}

long CountRows(const SqlClient& client, const std::string& table, const std::string& server) {
  return std::atol(
      client("SELECT COUNT(*) FROM " + table + " WHERE EXT_SERVER_NAME = '" + SqlText(server) + "'")
          .c_str());
}

PrivatePostgres::PrivatePostgres() : port_(FreePort()) {
  std::string pattern = "/tmp/kelvan-faults-pg-XXXXXX";
  dir_ = ::mkdtemp(pattern.data());
  if (::geteuid() == 0) Shell("chown postgres:postgres " + dir_.string());
  Shell(AsOwner("initdb -D " + dir_.string() + "/data -U postgres --auth=trust -E UTF8 " +
                "--locale=C.UTF-8 >" + dir_.string() + "/initdb.log 2>&1"));
  Start();
}

PrivatePostgres::~PrivatePostgres() {
  std::system(
      AsOwner("pg_ctl -D " + dir_.string() + "/data -m immediate -w stop >/dev/null 2>&1").c_str());
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

std::string PrivatePostgres::AsOwner(const std::string& command) const {
  const std::string bin = "$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)/";
  const std::string run = ::geteuid() == 0 ? "runuser -u postgres -- " : "";
  return run + bin + command;
}

void PrivatePostgres::Start() {
  Shell(AsOwner("pg_ctl -D " + dir_.string() + "/data -l " + dir_.string() +
                "/server.log -w -t 60 -o \"-p " + std::to_string(port_) +
                " -c listen_addresses=127.0.0.1 -k " + dir_.string() +
                " -c fsync=off\" start >/dev/null"));
}

void PrivatePostgres::Crash() {
  // Immediate mode: every server process quits at once, without a checkpoint, as after a kill.
  Shell(AsOwner("pg_ctl -D " + dir_.string() + "/data -m immediate -w stop >/dev/null"));
}

testing::ScratchDatabase PrivatePostgres::CreateDatabase(const std::string& tag) {
  const std::string name = "faults_" + tag;
  testing::ScratchDatabase db{testing::Destination::kPostgres, "PGPRIV_" + tag, "postgres",
                              "pg-Priv4te-77", name};
  const std::string client =
      "psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p " + std::to_string(port_) + " -U postgres ";
  Shell(client + "-d postgres -c 'CREATE DATABASE " + name + " TEMPLATE template0' >/dev/null");
  Shell(client + "-d " + name + " -f " + testing::SourcePath("schema/postgresql.sql").string() +
        " >/dev/null");
  testing::OdbcSandbox::Instance().AddDataSource(
      db.dsn, testing::kPostgresDriver,
      {{"Servername", "127.0.0.1"}, {"Port", std::to_string(port_)}, {"Database", name}});
  return db;
}

SqlClient PrivatePostgres::ClientOf(const testing::ScratchDatabase& db) const {
  const std::string client = "psql -X -q -At -F \"$(printf '\\t')\" -h 127.0.0.1 -p " +
                             std::to_string(port_) + " -U postgres -d " + db.database + " -c ";
  return [client](const std::string& sql) { return Shell(client + "\"" + sql + "\""); };
}

}  // namespace kelvan::faults
