// The destination data source record as the engine reads it: the worker's DataSrc objects
// implement it. Plain holder; read by the one thread that runs an operation.
#pragma once

#include <string>

namespace kelvan::engine {

class DataSource {
 public:
  virtual ~DataSource() = default;
  virtual std::string Name() const = 0;       // ODBC data source name of the destination
  virtual std::string UserName() const = 0;
  virtual std::string Password() const = 0;
  virtual std::string Qualifier() const = 0;  // schema prefix of every destination table; may be empty
};

}  // namespace kelvan::engine
