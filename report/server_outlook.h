// A server's capacity at a glance: the forecast of its database, log, storage pools and file
// spaces, the soonest full first, and the order of servers on the front page. Pure; one thread.
#pragma once

#include <string>
#include <vector>

#include "report/capacity_fit.h"
#include "report/report_data.h"

namespace kelvan::report {

struct Resource {
  std::string kind;  // "database", "log", "storage pool", "file space"
  std::string name;  // the pool or "node file space"; empty for the database and the log
  const Series* series = nullptr;  // into the history it was assessed from
  CapacityForecast forecast;
  std::string Label() const { return name.empty() ? kind : kind + " " + name; }
};

struct ServerOutlook {
  std::string server;
  std::vector<Resource> resources;  // soonest full first; resources.front() is the headline
  const Resource* Headline() const { return resources.empty() ? nullptr : &resources.front(); }
};

// Whether `a` fills before `b`: dated fills by date, then fills beyond the horizon, then not
// growing, then no forecast.
bool FillsSooner(const CapacityForecast& a, const CapacityForecast& b);

ServerOutlook AssessServer(const ServerHistory& history, TrendFitter& fitter, int sample_days,
                           const Timestamp& today);
// Front-page order: by the headline's FillsSooner, then by name; servers without data last.
void SortBySoonestFull(std::vector<ServerOutlook>& servers);

}  // namespace kelvan::report
