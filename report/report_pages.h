// The report's HTML: the front page (every server, the soonest full first), one page per server
// with its charts, and the document that holds them all with its styles inline. Pages are
// <section>s of one file; a server's page shows alone when its anchor is the target.
#pragma once

#include <string>
#include <vector>

#include "report/report_data.h"
#include "report/server_outlook.h"

namespace kelvan::report {

struct PageContext {
  Timestamp today;
  std::string destination;  // the data source's name, never its password
  int history_days = 0;
  int sample_days = 0;
  int top_file_spaces = 0;
};

// Anchor of the server at `position` on the front page: "server-1", "server-2", ...
std::string ServerAnchor(size_t position);

std::string FrontPageHtml(const std::vector<ServerOutlook>& servers, const PageContext& context);
// Renders its charts: StartChartRendering must have run.
std::string ServerPageHtml(const ServerHistory& history, const ServerOutlook& outlook,
                           size_t position, const PageContext& context);
std::string DocumentHtml(const std::string& body, const PageContext& context);

}  // namespace kelvan::report
