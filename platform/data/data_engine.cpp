#include "platform/data/data_engine.h"

#include "platform/odbc/handles.h"

namespace kelvan::data {

DataEngine& DataEngine::ForThisThread() {
  thread_local DataEngine engine;
  return engine;
}

std::shared_ptr<odbc::EnvironmentHandle> DataEngine::Environment() {
  if (!environment_) {
    environment_ = std::make_shared<odbc::EnvironmentHandle>(odbc::EnvironmentHandle::Allocate());
  }
  return environment_;
}

}  // namespace kelvan::data
