#include "report/html_text.h"
#include "report/report_pages.h"

namespace kelvan::report {
namespace {

// Pages: the front page alone, or the targeted server's page alone, where the browser knows
// :has(); elsewhere every page shows, one below the other.
constexpr const char* kStyle = R"(<style>
body { font-family: sans-serif; margin: 1.5em auto; max-width: 800px; color: #222; }
h1 { margin-bottom: 0.2em; }
.context, .legend, .nodata, .caption { color: #555; }
table.forecasts { border-collapse: collapse; width: 100%; }
table.forecasts td, table.forecasts th { border-bottom: 1px solid #ddd; padding: 0.3em 0.5em; text-align: left; }
td.days, td.confidence { text-align: right; }
span.mark { display: inline-block; width: 1em; height: 1em; border-radius: 50%; }
td.mark { width: 1em; }
td.mark::before { content: ""; display: inline-block; width: 1em; height: 1em; border-radius: 50%; }
span.red, td.red::before { background: #d62728; }
span.amber, td.amber::before { background: #ff9f1a; }
span.green, td.green::before { background: #2ca02c; }
td.none::before { background: #bbb; }
figure { margin: 0.5em 0; }
figure svg { max-width: 100%; height: auto; }
table.heat { border-collapse: collapse; font-size: 70%; }
table.heat td { width: 1.6em; height: 1.1em; }
table.messages td.count { text-align: right; padding-right: 1em; }
section.server { border-top: 2px solid #888; margin-top: 2em; }
body:not(:has(section.server:target)) section.server { display: none; }
body:has(section.server:target) section { display: none; }
body:has(section.server:target) section.server:target { display: block; border-top: none; }
</style>)";

}  // namespace

std::string DocumentHtml(const std::string& body, const PageContext& context) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<title>Capacity report " +
         Escape(FormatDate(context.today)) + "</title>\n" + kStyle + "\n</head>\n<body>\n" + body +
         "</body>\n</html>\n";
}

}  // namespace kelvan::report
