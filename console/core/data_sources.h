// The data sources the console's editors offer: the machine's ODBC data sources whose driver
// description names one of a set of markers (case-sensitive). Pure functions; thread-safe.
#pragma once

#include <array>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/odbc/data_sources.h"

namespace kelvan::console {

// Drivers of VLT servers (under the product's current and earlier names).
inline constexpr std::array<std::string_view, 2> kVltDriverMarkers = {"VLT", "KADU"};
// Drivers of the destination databases.
inline constexpr std::array<std::string_view, 5> kDestinationDriverMarkers = {
    "QDB", "SQL", "Sybase", "ZORANTIX", "Oracle"};

// The machine's data sources; the editors take it as a seam so that tests can stand in for it.
using DataSourceLister = std::function<std::vector<odbc::DataSourceInfo>()>;

// Names of the listed data sources with a non-blank name whose description contains a marker,
// in the lister's order.
std::vector<std::string> OfferedDataSources(const DataSourceLister& lister,
                                            std::span<const std::string_view> markers);

}  // namespace kelvan::console
