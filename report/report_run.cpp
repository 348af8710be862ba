#include "report/report_run.h"

#include <algorithm>

#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"
#include "platform/basic/text_lines.h"
#include "platform/data/connection.h"
#include "platform/odbc/connect_string.h"
#include "report/chart_svg.h"
#include "report/report_pages.h"

namespace kelvan::report {
namespace {

std::vector<ServerHistory> ReadHistories(const Destination& destination,
                                         const ReportOptions& options, const Timestamp& since) {
  std::vector<std::string> servers = ReadServers(destination);
  if (!options.server.empty()) std::erase_if(servers, [&](auto& s) { return s != options.server; });
  std::vector<ServerHistory> histories;
  for (const std::string& server : servers) {
    histories.push_back(ReadServerHistory(destination, server, since));
  }
  return histories;
}

std::string ReportHtml(const std::vector<ServerHistory>& histories, const PageContext& context) {
  TrendFitter fitter;
  std::vector<ServerOutlook> outlooks;
  for (const ServerHistory& history : histories) {
    outlooks.push_back(AssessServer(history, fitter, context.sample_days, context.today));
  }
  SortBySoonestFull(outlooks);
  std::string body = FrontPageHtml(outlooks, context);
  StartChartRendering();
  for (size_t i = 0; i < outlooks.size(); ++i) {
    const auto history = std::find_if(histories.begin(), histories.end(),
                                      [&](auto& h) { return h.server == outlooks[i].server; });
    body += ServerPageHtml(*history, outlooks[i], i, context);
  }
  return DocumentHtml(body, context);
}

}  // namespace

ReportOutcome WriteReport(const ReportOptions& options) {
  const PageContext context{CurrentClock().Now(), options.dest_dsn, options.history_days,
                            options.sample_days, options.top_file_spaces};
  // The fits need the sample window even where it reaches further back than the history shown.
  const int days_read = std::max(options.history_days, options.sample_days) + 1;
  const Timestamp since = AddDays(StartOfDay(context.today), -days_read);
  std::vector<ServerHistory> histories;
  try {
    data::Connection connection = data::Connection::Open(
        odbc::DataSourceConnectString(options.dest_dsn, options.dest_uid, options.dest_pwd));
    histories = ReadHistories(Destination{connection, options.qualifier}, options, since);
  } catch (const RaisedError& error) {
    return {1, odbc::HideSecrets(
                   "cannot read the destination " + options.dest_dsn + ": " + error.Description(),
                   {options.dest_pwd})};
  }
  try {
    ReplaceFile(options.out, ReportHtml(histories, context));
  } catch (const RaisedError& error) {
    return {1, "cannot write " + options.out + ": " + error.Description()};
  }
  return {};
}

}  // namespace kelvan::report
