#include "console/core/data_sources.h"

#include <algorithm>
#include <cctype>

#include "console/core/utility_functions.h"

namespace kelvan::console {

std::vector<std::string> OfferedDataSources(const DataSourceLister& lister,
                                            std::span<const std::string_view> markers) {
  std::vector<std::string> names;
  for (const odbc::DataSourceInfo& source : lister()) {
    const bool blank = std::all_of(source.name.begin(), source.name.end(),
                                   [](unsigned char c) { return std::isspace(c) != 0; });
    if (blank) continue;
    const bool marked = std::any_of(markers.begin(), markers.end(), [&](std::string_view marker) {
      return clsUtilityFunctions::inStrCompare(source.description, marker);
    });
    if (marked) names.push_back(source.name);
  }
  return names;
}

}  // namespace kelvan::console
