#include "report/server_outlook.h"

#include <algorithm>
#include <tuple>

namespace kelvan::report {
namespace {

// 0 dated fill, 1 beyond the horizon, 2 not growing, 3 no forecast; then the date.
std::tuple<int, double> SortKey(const CapacityForecast& forecast) {
  switch (forecast.outlook) {
    case Outlook::kFills:
      return forecast.full ? std::tuple(0, ToDaySerial(*forecast.full)) : std::tuple(1, 0.0);
    case Outlook::kNotGrowing:
      return {2, 0.0};
    case Outlook::kNoForecast:
      break;
  }
  return {3, 0.0};
}

}  // namespace

bool FillsSooner(const CapacityForecast& a, const CapacityForecast& b) {
  return SortKey(a) < SortKey(b);
}

ServerOutlook AssessServer(const ServerHistory& history, TrendFitter& fitter, int sample_days,
                           const Timestamp& today) {
  ServerOutlook outlook{history.server, {}};
  const auto add = [&](std::string kind, std::string name, const Series& series) {
    outlook.resources.push_back(
        {std::move(kind), std::move(name), &series, fitter.Forecast(series, sample_days, today)});
  };
  add("database", "", history.database);
  add("log", "", history.log);
  for (const NamedSeries& pool : history.pools) add("storage pool", pool.name, pool.points);
  for (const NamedSeries& space : history.spaces) add("file space", space.name, space.points);
  std::stable_sort(
      outlook.resources.begin(), outlook.resources.end(),
      [](const Resource& a, const Resource& b) { return FillsSooner(a.forecast, b.forecast); });
  return outlook;
}

void SortBySoonestFull(std::vector<ServerOutlook>& servers) {
  std::stable_sort(servers.begin(), servers.end(),
                   [](const ServerOutlook& a, const ServerOutlook& b) {
                     const CapacityForecast none;
                     const CapacityForecast& fa = a.Headline() ? a.Headline()->forecast : none;
                     const CapacityForecast& fb = b.Headline() ? b.Headline()->forecast : none;
                     if (FillsSooner(fa, fb)) return true;
                     if (FillsSooner(fb, fa)) return false;
                     return a.server < b.server;
                   });
}

}  // namespace kelvan::report
