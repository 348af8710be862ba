// The page against an independent computation from the rows the test puts into a SQLite
// destination, the command's exit statuses, and the page in a real browser.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <regex>
#include <set>

#include "platform/basic/clock.h"
#include "platform/data/connection.h"
#include "report/report_run.h"
#include "tests/support/files.h"
#include "tests/support/odbc_sandbox.h"

namespace kelvan::report {
namespace {

using testing::Destination;
const Timestamp kToday{2026, 6, 15, 12, 0, 0};
constexpr int kSampleDays = 30;

Timestamp Snapshot(int days_back) {
  Timestamp day = AddDays(kToday, -days_back);
  day.hour = 1, day.minute = 30, day.second = 0;
  return day;
}

// One utilisation history the test inserts and then fits on its own.
struct Utilisation {
  std::string server, table, name_columns, names;  // names: the key values as SQL, or ""
  std::vector<std::pair<int, double>> days_back_values;
};

// Centred least squares, written apart from the engine's sums.
struct ExpectedFit {
  std::optional<Timestamp> full;
  double confidence = 0;
};
ExpectedFit FitIndependently(const std::vector<std::pair<int, double>>& points) {
  const Timestamp last = Snapshot(points.back().first);
  std::vector<std::pair<double, double>> xy;
  for (const auto& [back, value] : points) {
    const double x = ToDaySerial(Snapshot(back)) - ToDaySerial(last);
    if (x >= -kSampleDays) xy.emplace_back(x, value);
  }
  ExpectedFit fit;
  if (xy.size() < 3) return fit;  // one snapshot a day: fewer than three days
  double mx = 0, my = 0;
  for (const auto& [x, y] : xy) mx += x, my += y;
  mx /= xy.size(), my /= xy.size();
  double sxy = 0, sxx = 0, syy = 0;
  for (const auto& [x, y] : xy) {
    sxy += (x - mx) * (y - my), sxx += (x - mx) * (x - mx), syy += (y - my) * (y - my);
  }
  if (sxy <= 0 || syy < 1e-9) return fit;  // flat or falling
  const double days_after_last = mx + (100 - my) * sxx / sxy;
  if (days_after_last > 3650) return fit;  // beyond the report's horizon
  fit.confidence = sxy / std::sqrt(sxx * syy);
  fit.full = FromDaySerial(ToDaySerial(last) + days_after_last);
  return fit;
}

std::vector<Utilisation> Histories() {
  std::vector<Utilisation> all;
  auto series = [](int days, auto value) {
    std::vector<std::pair<int, double>> points;
    for (int back = days - 1; back >= 0; --back) points.emplace_back(back, value(days - 1 - back));
    return points;
  };
  all.push_back(
      {"ALPHA", "DB", "", "", series(40, [](int d) { return 30 + 0.5 * d + 2 * std::sin(d); })});
  all.push_back({"ALPHA", "LOG", "", "", series(40, [](int) { return 20.0; })});
  all.push_back({"ALPHA", "STGPOOLS", "STGPOOL_NAME,", "'DISK',",
                 series(60, [](int d) { return 20 + 1.1 * d + 3 * std::sin(d * 0.7); })});
  for (int fs = 0; fs < 7; ++fs) {
    all.push_back({"ALPHA", "FILESPACES", "NODE_NAME,FILESPACE_NAME,",
                   "'N1','/fs" + std::to_string(fs) + "',",
                   series(35, [fs](int d) { return 10 + fs * 5 + 0.1 * (fs + 1) * d; })});
  }
  all.push_back(
      {"BETA", "DB", "", "", series(50, [](int d) { return 10 + 0.3 * d + std::cos(d); })});
  all.push_back({"BETA", "STGPOOLS", "STGPOOL_NAME,", "'TAPE',",
                 series(50, [](int d) { return 80 - 0.2 * d; })});
  all.push_back({"GAMMA", "DB", "", "", series(2, [](int d) { return 40.0 + d; })});
  return all;
}

std::string Column(const std::string& table) {
  return table == "FILESPACES" ? "PCT_UTIL" : "PCT_UTILIZED";
}

class ReportPageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    db_ = new testing::ScratchDatabase(
        testing::CreateScratchDatabase(Destination::kSqlite, "report"));
    testing::ApplyDestinationSchema(*db_);
    data::Connection destination = data::Connection::Open(db_->ConnectString());
    for (const Utilisation& history : Histories()) Insert(destination, history);
    InsertActivity(destination);
  }
  static void TearDownTestSuite() { delete db_; }

  static void Insert(data::Connection& destination, const Utilisation& h) {
    for (const auto& [back, value] : h.days_back_values) {
      destination.Execute("INSERT INTO " + h.table + " (EXT_SERVER_NAME," + h.name_columns +
                          "EXTRACT_DATE," + Column(h.table) + ") VALUES ('" + h.server + "'," +
                          h.names + "'" + FormatTimestamp(Snapshot(back)) + "'," +
                          std::to_string(value) + ")");
    }
  }

  // ALPHA's other tables: one row or a few per day, so that every chart has data.
  static void InsertActivity(data::Connection& d) {
    const auto row = [&d](const char* table, const char* columns, const std::string& values) {
      d.Execute(std::string("INSERT INTO ") + table + " (EXT_SERVER_NAME," + columns +
                ") VALUES ('ALPHA'," + values + ")");
    };
    for (int back = 0; back < 10; ++back) {
      const std::string day = "'" + FormatTimestamp(Snapshot(back)) + "'";
      const std::string date = "'" + FormatDate(Snapshot(back)) + "'";
      row("LIBVOLUMES", "EXTRACT_DATE,STATUS", day + ",'Scratch'");
      row("NODES", "EXTRACT_DATE,NODE_NAME", day + ",'N1'");
      row("DRIVES", "EXTRACT_DATE,DRIVE_NAME", day + ",'D1'");
      row("SUMMARYHOUR", "DATE_VALUE,HOUR_VALUE,BYTES", date + "," + std::to_string(back) + ",5e9");
      const char* activity = "EXTRACT_DATE,ACTIVITY,ACTIVITY_COUNT";
      row("SIMUL_ACTIVITY", activity, date + ",'SESSION'," + std::to_string(back + 2));
      row("SIMUL_ACTIVITY", activity, date + ",'TAPE MOUNT',1");
      // Message 1 on every day, message 2 on every other day.
      const char* error = "DATE_TIME,MSGNO,SEVERITY,MESSAGE";
      row("CLIENTERRORS", error, day + ",1,'E','backup of one file failed'");
      if (back % 2 == 0) row("SERVERERRORS", error, day + ",2,'W','volume two is full'");
    }
  }

  std::string Page(const std::string& server = "", testing::ScratchDatabase* db = nullptr,
                   const std::string& qualifier = "") {
    FixedClock clock(kToday);
    ScopedClock scoped(clock);
    ReportOptions options;
    options.dest_dsn = (db ? db : db_)->dsn;
    options.server = server;
    options.qualifier = qualifier;
    options.sample_days = kSampleDays;
    options.out = (testing::OdbcSandbox::Instance().MakeTempDir("page") / "report.html").string();
    const ReportOutcome outcome = WriteReport(options);
    EXPECT_EQ(outcome.status, 0) << outcome.message;
    last_page_ = options.out;
    return testing::ReadFile(options.out);
  }

  static testing::ScratchDatabase* db_;
  std::string last_page_;
};
testing::ScratchDatabase* ReportPageTest::db_ = nullptr;

struct FrontRow {
  std::string server, what, days, date, confidence, outlook;
};

std::string Cell(const std::string& row, const std::string& cls) {
  std::smatch match;
  std::regex_search(row, match, std::regex("<td class=\"" + cls + "[^\"]*\"[^>]*>([^<]*)</td>"));
  return match.size() > 1 ? match[1].str() : "?";
}

std::vector<FrontRow> FrontRows(const std::string& html) {
  std::vector<FrontRow> rows;
  const std::regex row("<tr class=\"server\" data-server=\"([^\"]*)\">(.*?)</tr>");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), row); it != std::sregex_iterator();
       ++it) {
    const std::string cells = (*it)[2].str();
    rows.push_back({(*it)[1].str(), Cell(cells, "what"), Cell(cells, "days"), Cell(cells, "date"),
                    Cell(cells, "confidence"), Cell(cells, "outlook")});
  }
  return rows;
}

// What the front page must say, from the inserted rows alone.
std::vector<FrontRow> ExpectedFrontRows() {
  std::map<std::string, std::pair<ExpectedFit, std::string>> soonest;
  for (const Utilisation& h : Histories()) {
    const ExpectedFit fit = FitIndependently(h.days_back_values);
    auto& best = soonest[h.server];
    if (fit.full && (!best.first.full || *fit.full < *best.first.full)) best = {fit, h.table};
  }
  std::vector<FrontRow> rows;
  for (const auto& [server, best] : soonest) {
    const ExpectedFit& fit = best.first;
    if (!fit.full) continue;
    char confidence[16];
    std::snprintf(confidence, sizeof confidence, "%.2f", fit.confidence);
    rows.push_back({server, best.second,
                    std::to_string(std::max(
                        0, static_cast<int>(std::lround(ToDaySerial(StartOfDay(*fit.full)) -
                                                        ToDaySerial(StartOfDay(kToday)))))),
                    FormatDate(*fit.full), confidence, ""});
  }
  std::sort(rows.begin(), rows.end(), [](auto& a, auto& b) { return a.date < b.date; });
  return rows;
}

TEST_F(ReportPageTest, FrontPageNumbersEqualAnIndependentFitOfTheTables) {
  const std::vector<FrontRow> page = FrontRows(Page());
  const std::vector<FrontRow> expected = ExpectedFrontRows();
  ASSERT_EQ(page.size(), 3u);
  ASSERT_EQ(expected.size(), 2u);  // GAMMA has two snapshots only
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].server);
    EXPECT_EQ(page[i].server, expected[i].server);
    EXPECT_EQ(page[i].days, expected[i].days);
    EXPECT_EQ(page[i].date, expected[i].date);
    EXPECT_EQ(page[i].confidence, expected[i].confidence);
    const std::map<std::string, std::string> kinds = {
        {"DB", "database"}, {"STGPOOLS", "storage pool"}, {"FILESPACES", "file space"}};
    EXPECT_EQ(page[i].what.rfind(kinds.at(expected[i].what), 0), 0u) << page[i].what;
  }
  EXPECT_EQ(page[2].server, "GAMMA");
  EXPECT_EQ(page[2].outlook, "needs at least 3 days of snapshots");
}

struct PageCase {
  std::string name;
  std::string server;     // --server
  std::string qualifier;  // --qualifier ("main" is SQLite's name of the database itself)
  bool empty_destination;
  std::vector<std::string> must_contain;
  int charts;  // <svg elements on the page
};

class ReportPageCaseTest : public ReportPageTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(ReportPageCaseTest, PageShowsWhatTheDestinationHolds) {
  const PageCase& c = GetParam();
  std::optional<testing::ScratchDatabase> empty;
  if (c.empty_destination) {
    empty = testing::CreateScratchDatabase(Destination::kSqlite, "empty");
    testing::ApplyDestinationSchema(*empty);
  }
  const std::string html = Page(c.server, empty ? &*empty : nullptr, c.qualifier);
  for (const std::string& piece : c.must_contain)
    EXPECT_NE(html.find(piece), std::string::npos) << piece;
  size_t charts = 0;
  for (size_t at = html.find("<svg"); at != std::string::npos; at = html.find("<svg", at + 1))
    ++charts;
  EXPECT_EQ(charts, static_cast<size_t>(c.charts));
  EXPECT_EQ(html.find("http://"), html.find("http://www.w3.org"));  // nothing fetched
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportPageCaseTest,
    ::testing::Values(
        PageCase{"no_server", "", "", true, {"No server has snapshots in the destination yet."}, 0},
        PageCase{"one_server_without_forecast_in_qualified_tables",
                 "GAMMA",
                 "main",
                 false,
                 {"data-server=\"GAMMA\"", "needs at least 3 days of snapshots",
                  "Scratch volumes left: no rows"},
                 1},
        // Database, log, pool, the top 5 of 7 file spaces, scratch volumes, nodes, peaks and two
        // error charts; 10 days of message 1 and 5 of message 2.
        PageCase{"every_chart_of_a_busy_server",
                 "ALPHA",
                 "",
                 false,
                 {"<td class=\"count\">10</td><td>client 1: backup of one file failed",
                  "<td class=\"count\">5</td><td>server 2: volume two is full",
                  "Bytes per hour of day", "storage pool DISK"},
                 13}),
    [](const auto& info) { return info.param.name; });

// The command itself: bad arguments and an unreachable destination, the password never shown.
struct CommandCase {
  std::string name;
  std::string arguments;
  int status;
  std::string said;
};

class ReportCommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(ReportCommandTest, ExitStatusAndMessage) {
  const CommandCase& c = GetParam();
  const auto out = testing::OdbcSandbox::Instance().MakeTempDir("command") / "stderr.txt";
  const std::string command = "KELVAN_DEST_PWD=TopSecret-42 " KELVAN_REPORT_PATH " " + c.arguments +
                              " 2>" + out.string() + " >/dev/null";
  const int status = std::system(command.c_str());
  const std::string said = testing::ReadFile(out);
  EXPECT_EQ(WEXITSTATUS(status), c.status) << said;
  EXPECT_NE(said.find(c.said), std::string::npos) << said;
  EXPECT_EQ(said.find("TopSecret-42"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportCommandTest,
    ::testing::Values(CommandCase{"bad_number", "--out r.html --dest-dsn X --days -3", 2,
                                  "kelvan-report: --days takes a whole number"},
                      CommandCase{"unknown_option", "--out r.html --pwd TopSecret-42", 2,
                                  "unknown argument --pwd"},
                      CommandCase{"unreachable_destination",
                                  "--out r.html --dest-dsn NO_SUCH_DSN --dest-uid u", 1,
                                  "kelvan-report: cannot read the destination NO_SUCH_DSN"}),
    [](const auto& info) { return info.param.name; });

// Headless chromium draws the front page and a server's page: neither may be one colour.
TEST_F(ReportPageTest, BrowserDrawsTheFrontPageAndAServerPage) {
  if (std::system("command -v chromium >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "chromium is not installed (scripts/install-deps.sh installs it)";
  }
  Page();
  std::vector<QImage> shots;
  for (const std::string anchor : {"", "#server-1"}) {
    SCOPED_TRACE(anchor);
    const std::string png = last_page_ + (anchor.empty() ? "-front" : "-server") + ".png";
    const std::string command =
        "timeout 60 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars "
        "--window-size=900,1200 --screenshot=" +
        png + " 'file://" + last_page_ + anchor + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const QImage image(QString::fromStdString(png));
    ASSERT_FALSE(image.isNull());
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 7) {
      for (int x = 0; x < image.width(); x += 7) colours.insert(image.pixel(x, y));
    }
    EXPECT_GT(colours.size(), 10u);
    shots.push_back(image);
  }
  EXPECT_NE(shots[0], shots[1]);  // the server's page shows instead of the front page
}

}  // namespace
}  // namespace kelvan::report
