#include "platform/basic/raised_error.h"

#include <utility>

namespace kelvan {

RaisedError::RaisedError(std::int32_t number, std::string source, std::string description,
                         std::string sql_state)
    : std::runtime_error(description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      sql_state_(std::move(sql_state)) {}

}  // namespace kelvan
