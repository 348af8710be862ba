#include "console/core/server_claims.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>
#include <stop_token>
#include <thread>

#include "console/core/console_state.h"
#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"
#include "platform/basic/sql_text.h"
#include "platform/basic/timestamp.h"
#include "platform/component/apartment.h"
#include "platform/data/connection.h"
#include "platform/odbc/connect_string.h"

namespace kelvan::console {
namespace {

constexpr const char* kClaimed = "claimed";
constexpr const char* kDoneState = "done";

// The destination's clock in its own SQL: "now" and "now + seconds". UTC wherever the
// database offers it, so that sessions in different time zones agree.
struct ClockSql {
  std::string now;
  std::string (*later)(long seconds);
};

const ClockSql kPostgresClock{
    "CURRENT_TIMESTAMP",
    [](long s) { return "CURRENT_TIMESTAMP + INTERVAL '" + std::to_string(s) + " seconds'"; }};
const ClockSql kMariaDbClock{"UTC_TIMESTAMP()", [](long s) {
                               return "UTC_TIMESTAMP() + INTERVAL " + std::to_string(s) + " SECOND";
                             }};
const ClockSql kSqliteClock{"datetime('now')", [](long s) {
                              return "datetime('now', '" + std::string(s < 0 ? "" : "+") +
                                     std::to_string(s) + " seconds')";
                            }};
const ClockSql kMsSqlClock{"SYSUTCDATETIME()", [](long s) {
                             return "DATEADD(second, " + std::to_string(s) + ", SYSUTCDATETIME())";
                           }};
const ClockSql kOracleClock{"SYS_EXTRACT_UTC(SYSTIMESTAMP)", [](long s) {
                              return "SYS_EXTRACT_UTC(SYSTIMESTAMP) + NUMTODSINTERVAL(" +
                                     std::to_string(s) + ", 'SECOND')";
                            }};
const ClockSql kAnsiClock{
    "CURRENT_TIMESTAMP",
    [](long s) { return "CURRENT_TIMESTAMP + INTERVAL '" + std::to_string(s) + "' SECOND"; }};

const ClockSql& ClockOf(const std::string& dbms, const std::string& database_type) {
  const auto names = [&](const char* text) { return dbms.find(text) != std::string::npos; };
  if (names("PostgreSQL")) return kPostgresClock;
  if (names("MariaDB") || names("MySQL")) return kMariaDbClock;
  if (names("SQLite")) return kSqliteClock;
  if (names("SQL Server") || database_type == "MS SQL") return kMsSqlClock;
  if (names("Oracle") || database_type == "Oracle") return kOracleClock;
  return kAnsiClock;
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "unknown";
  return name;
}

// Tells this process's claims from those of an earlier process that had the same number.
std::string NewToken() {
  std::random_device random;
  std::uniform_int_distribution<unsigned> digit(0, 15);
  std::string token;
  for (int i = 0; i < 24; ++i) token += "0123456789abcdef"[digit(random)];
  return token;
}

// The claims table through one connection of its own, on a thread of its own (connections are
// used by the thread that opened them); a renewer thread renews the leases every interval.
class DestinationClaims : public ServerClaims {
 public:
  DestinationClaims(const Settings& settings, const ClaimSettings& claims)
      : settings_(settings),
        claims_(claims),
        table_(
            (settings.destination.qualifier.empty() ? "" : settings.destination.qualifier + ".") +
            kClaimsTable),
        host_(HostName()),
        pid_(std::to_string(::getpid())),
        token_(NewToken()),
        apartment_("claims") {
    OnOwnThread([&] {
      if (claims_.force) ForgetDoneServers();
    });
    renewer_ = std::jthread([this](std::stop_token stop) { RenewUntil(stop); });
  }

  ~DestinationClaims() override {
    renewer_.request_stop();
    renewer_.join();
    OnOwnThread([&] { connection_.reset(); });
  }

  ClaimAnswer Claim(const std::string& server, odbc::WorkKey work) override {
    ClaimAnswer answer;
    OnOwnThread([&] { answer = ClaimOnOwnThread(server); });
    if (answer.kind == ClaimAnswer::Kind::kClaimed) {
      std::lock_guard lock(mutex_);
      held_[server] = {work, CurrentClock().SteadySeconds()};
    }
    return answer;
  }

  bool Holds(const std::string& server) override {
    try {
      return RenewOrLose(server);
    } catch (const RaisedError&) {
      return false;  // a claim that cannot be confirmed is not written under
    }
  }

  void Finish(const std::string& server, bool done) noexcept override {
    {
      std::lock_guard lock(mutex_);
      if (held_.erase(server) == 0) return;
    }
    try {
      OnOwnThread([&] {
        Execute(done ? "UPDATE " + table_ + " SET CLAIM_STATE = '" + kDoneState +
                           "', FINISHED_AT = " + Clock().now + Mine(server)
                     : "DELETE FROM " + table_ + Mine(server));
      });
    } catch (const RaisedError&) {
      // Not marked: its lease runs out and another loader loads it again, exactly.
    }
  }

  // Often enough that a loader waiting only for others' servers ends soon after they are done.
  std::chrono::milliseconds PollInterval() const override {
    return std::min<std::chrono::milliseconds>(RenewalInterval(claims_.lease),
                                               std::chrono::seconds(5));
  }

 private:
  struct Held {
    odbc::WorkKey work;
    double confirmed;  // steady seconds of the last renewal that found it ours
  };

  void OnOwnThread(const std::function<void()>& work) { apartment_.Execute(work); }

  data::Connection& Connection() {
    if (!connection_) {
      const DestinationRecord& d = settings_.destination;
      connection_ =
          data::Connection::Open(odbc::DataSourceConnectString(d.name, d.user_name, d.password),
                                 {.login_timeout_seconds = 15, .query_timeout_seconds = 60});
      clock_ = &ClockOf(connection_->DbmsName(), settings_.advanced.database_type);
    }
    return *connection_;
  }

  const ClockSql& Clock() {
    Connection();
    return *clock_;
  }

  // A failure drops the connection, so that the next call opens a fresh one.
  std::int64_t Execute(const std::string& sql) {
    try {
      return Connection().Execute(sql);
    } catch (const RaisedError&) {
      connection_.reset();
      throw;
    }
  }

  std::string Key(const std::string& server) const {
    return " WHERE EXT_SERVER_NAME = " + SqlTextLiteral(server) +
           " AND RUN_WINDOW = " + SqlTextLiteral(claims_.window);
  }

  std::string Mine(const std::string& server) const {
    return Key(server) + " AND CLAIM_TOKEN = " + SqlTextLiteral(token_) + " AND CLAIM_STATE = '" +
           kClaimed + "'";
  }

  std::string Lease() { return Clock().later(static_cast<long>(claims_.lease.count())); }

  // Set as a whole by each taker; LEASE_RENEWALS changes on every renewal, so that a driver
  // that counts changed rows rather than matched ones still reports the row.
  std::string HolderAssignments() {
    return "CLAIM_STATE = '" + std::string(kClaimed) + "', HOLDER_HOST = " + SqlTextLiteral(host_) +
           ", HOLDER_PID = " + pid_ + ", CLAIM_TOKEN = " + SqlTextLiteral(token_) +
           ", CLAIMED_AT = " + Clock().now + ", LEASE_EXPIRY = " + Lease() +
           ", LEASE_RENEWALS = 0, FINISHED_AT = NULL";
  }

  // The first insert wins; a row that is there is taken over only when its lease ran out.
  ClaimAnswer ClaimOnOwnThread(const std::string& server) {
    try {
      Execute("INSERT INTO " + table_ +
              " (EXT_SERVER_NAME, RUN_WINDOW, CLAIM_STATE, HOLDER_HOST, HOLDER_PID, CLAIM_TOKEN, "
              "CLAIMED_AT, LEASE_EXPIRY, LEASE_RENEWALS) VALUES (" +
              SqlTextLiteral(server) + ", " + SqlTextLiteral(claims_.window) + ", '" + kClaimed +
              "', " + SqlTextLiteral(host_) + ", " + pid_ + ", " + SqlTextLiteral(token_) + ", " +
              Clock().now + ", " + Lease() + ", 0)");
      return {ClaimAnswer::Kind::kClaimed, {}};
    } catch (const RaisedError& refused) {
      const std::int64_t taken =
          Execute("UPDATE " + table_ + " SET " + HolderAssignments() + Key(server) +
                  " AND CLAIM_STATE = '" + kClaimed + "' AND LEASE_EXPIRY < " + Clock().now);
      if (taken == 1) return {ClaimAnswer::Kind::kClaimed, {}};
      std::optional<ClaimAnswer> there = Existing(server);
      if (!there) throw refused;  // no row: the insert failed for another reason
      return *there;
    }
  }

  std::optional<ClaimAnswer> Existing(const std::string& server) {
    data::ResultSet row = Connection().OpenResultSet(
        "SELECT CLAIM_STATE, HOLDER_HOST, HOLDER_PID FROM " + table_ + Key(server));
    if (row.EndOfData()) return std::nullopt;
    const bool done = row.ColumnAt(0).GetValue().ToText() == kDoneState;
    return ClaimAnswer{
        done ? ClaimAnswer::Kind::kDone : ClaimAnswer::Kind::kHeld,
        row.ColumnAt(1).GetValue().ToText() + " " + row.ColumnAt(2).GetValue().ToText()};
  }

  // -FORCE: the window's done servers of this setup file become claims whose lease ran out.
  void ForgetDoneServers() {
    for (const ServerEntry& server : settings_.servers) {
      Execute("UPDATE " + table_ + " SET CLAIM_STATE = '" + kClaimed + "', LEASE_EXPIRY = " +
              Clock().later(-1) + Key(server.dsn) + " AND CLAIM_STATE = '" + kDoneState + "'");
    }
  }

  bool Renew(const std::string& server) {
    const bool ours = Execute("UPDATE " + table_ + " SET LEASE_EXPIRY = " + Lease() +
                              ", LEASE_RENEWALS = LEASE_RENEWALS + 1" + Mine(server)) == 1;
    if (ours) {
      std::lock_guard lock(mutex_);
      if (auto it = held_.find(server); it != held_.end()) {
        it->second.confirmed = CurrentClock().SteadySeconds();
      }
    }
    return ours;
  }

  // The server's work stops: it must not write under a claim it may no longer hold.
  void Lose(const std::string& server, const std::string& why) {
    std::lock_guard lock(mutex_);
    const auto it = held_.find(server);
    if (it == held_.end()) return;
    odbc::CancelWork(it->second.work, "server " + server + ": " + why);
    held_.erase(it);
  }

  void RenewUntil(const std::stop_token& stop) {
    std::mutex wait_mutex;
    std::condition_variable_any wake;
    std::unique_lock wait_lock(wait_mutex);
    while (!wake.wait_for(wait_lock, stop, RenewalInterval(claims_.lease),
                          [&stop] { return stop.stop_requested(); })) {
      RenewAll();
    }
  }

  void RenewAll() {
    std::vector<std::string> servers;
    {
      std::lock_guard lock(mutex_);
      for (const auto& [server, held] : held_) servers.push_back(server);
    }
    for (const std::string& server : servers) {
      try {
        RenewOrLose(server);
      } catch (const RaisedError&) {
        LoseWhenLeaseMayHaveRunOut(server);
      }
    }
  }

  // Renews the lease; a claim found taken stops the server's work. Raises when the destination
  // cannot answer.
  bool RenewOrLose(const std::string& server) {
    bool ours = false;
    OnOwnThread([&] { ours = Renew(server); });
    if (!ours) Lose(server, "its claim was taken by another loader");
    return ours;
  }

  // Renewals fail (the destination is out of reach): the lease may run out unseen and another
  // loader take the server, so the work stops two renewals before that can happen.
  void LoseWhenLeaseMayHaveRunOut(const std::string& server) {
    double confirmed = 0;
    {
      std::lock_guard lock(mutex_);
      const auto it = held_.find(server);
      if (it == held_.end()) return;
      confirmed = it->second.confirmed;
    }
    const double margin = 2 * RenewalInterval(claims_.lease).count() / 1000.0;
    if (SteadySecondsSince(confirmed) > static_cast<double>(claims_.lease.count()) - margin) {
      Lose(server, "its lease could not be renewed");
    }
  }

  const Settings settings_;
  const ClaimSettings claims_;
  const std::string table_;
  const std::string host_;
  const std::string pid_;
  const std::string token_;
  std::optional<data::Connection> connection_;  // the apartment's thread only
  const ClockSql* clock_ = nullptr;             // of connection_'s database
  std::mutex mutex_;                            // guards held_
  std::map<std::string, Held> held_;
  component::Apartment apartment_;
  std::jthread renewer_;  // last: stopped before the rest goes
};

}  // namespace

std::chrono::milliseconds RenewalInterval(std::chrono::seconds lease) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(lease) / 10;
}

std::string DefaultRunWindow() { return FormatTimestamp(CurrentClock().Now()).substr(0, 10); }

std::unique_ptr<ServerClaims> OpenDestinationClaims(const Settings& settings,
                                                    const ClaimSettings& claim_settings) {
  return std::make_unique<DestinationClaims>(settings, claim_settings);
}

}  // namespace kelvan::console
