#include "report/html_text.h"
#include "report/report_pages.h"

namespace kelvan::report {
namespace {

std::string Legend(const PageContext& context) {
  return "<p class=\"legend\"><span class=\"mark red\"></span> full within " +
         std::to_string(kRedDays) + " days &nbsp; <span class=\"mark amber\"></span> within " +
         std::to_string(kAmberDays) + " days (or within " + std::to_string(kRedDays) +
         " but uncertain) &nbsp; <span class=\"mark green\"></span> later, or not growing. "
         "Each date is where a least-squares line through the last " +
         std::to_string(context.sample_days) +
         " days of snapshots reaches 100 %; \"uncertain\" when its confidence (the magnitude of "
         "the correlation) is below " +
         Fixed(kMinConfidence, 1) + ".</p>";
}

std::string ServerRow(const ServerOutlook& outlook, size_t position) {
  std::string row = "<tr class=\"server\" data-server=\"" + Escape(outlook.server) +
                    "\"><td class=\"name\"><a href=\"#" + ServerAnchor(position) + "\">" +
                    Escape(outlook.server) + "</a></td>";
  const Resource* headline = outlook.Headline();
  const CapacityForecast none;
  return row +
         ForecastCells(headline ? headline->Label() : "", headline ? headline->forecast : none) +
         "</tr>\n";
}

}  // namespace

std::string ServerAnchor(size_t position) { return "server-" + std::to_string(position + 1); }

std::string FrontPageHtml(const std::vector<ServerOutlook>& servers, const PageContext& context) {
  std::string html = "<section id=\"front\">\n<h1>Capacity report</h1>\n<p class=\"context\">" +
                     Escape(context.destination) + ", " + FormatTimestamp(context.today) + ", " +
                     std::to_string(servers.size()) + " servers, history of " +
                     std::to_string(context.history_days) + " days</p>\n" + Legend(context) + "\n";
  if (servers.empty()) {
    return html +
           "<p class=\"empty\">No server has snapshots in the destination yet.</p>\n"
           "</section>\n";
  }
  html += "<table class=\"forecasts\">\n<tr><th>server</th>" + std::string(kForecastHeadings) +
          "</tr>\n";
  for (size_t i = 0; i < servers.size(); ++i) html += ServerRow(servers[i], i);
  return html + "</table>\n</section>\n";
}

}  // namespace kelvan::report
