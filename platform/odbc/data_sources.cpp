#include "platform/odbc/data_sources.h"

#include <sqlext.h>

#include <new>

#include "platform/basic/raised_error.h"
#include "platform/odbc/handles.h"

namespace kelvan::odbc {
namespace {

constexpr SQLSMALLINT kBufferLength = 1024;

}  // namespace

std::vector<DataSourceInfo> ListDataSources() noexcept {
  std::vector<DataSourceInfo> sources;
  try {
    const EnvironmentHandle environment = EnvironmentHandle::Allocate();
    SQLCHAR name[kBufferLength];
    SQLCHAR description[kBufferLength];
    SQLSMALLINT name_length = 0;
    SQLSMALLINT description_length = 0;
    // SQL_SUCCESS only: a truncated name (SUCCESS_WITH_INFO) would name no data source.
    while (SQLDataSources(environment.get(), SQL_FETCH_NEXT, name, kBufferLength, &name_length,
                          description, kBufferLength, &description_length) == SQL_SUCCESS) {
      sources.push_back(
          {reinterpret_cast<const char*>(name), reinterpret_cast<const char*>(description)});
    }
  } catch (const RaisedError&) {
    return {};
  } catch (const std::bad_alloc&) {
    return {};
  }
  return sources;
}

}  // namespace kelvan::odbc
