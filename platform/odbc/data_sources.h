// The machine's ODBC data sources as the driver manager lists them. Each call allocates an
// environment of its own; safe from any thread.
#pragma once

#include <string>
#include <vector>

namespace kelvan::odbc {

struct DataSourceInfo {
  std::string name;
  std::string description;  // the driver description: the Driver= value of the data source
};

// SQLDataSources with SQL_FETCH_NEXT while it returns SQL_SUCCESS. Empty when no environment can
// be allocated: a machine without data sources and a broken driver manager look alike to callers.
std::vector<DataSourceInfo> ListDataSources() noexcept;

}  // namespace kelvan::odbc
