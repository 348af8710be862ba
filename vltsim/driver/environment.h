// Environment: the driver's environment handle. The driver manager gives all connections of
// one application environment a single driver environment, so every member is guarded: the
// version is atomic and the rest is used under Lock().
#pragma once

#include <atomic>
#include <mutex>

#include "vltsim/driver/attributes.h"
#include "vltsim/driver/diagnostics.h"

namespace kelvan::vltsim {

class Environment : public Handle {
 public:
  Environment();

  std::mutex& Lock() override { return mutex_; }

  // 2 or 3, as the application asked through SQL_ATTR_ODBC_VERSION (2 until told).
  int OdbcVersion() const { return odbc_version_.load(); }
  void SetOdbcVersion(int version) { odbc_version_.store(version >= 3 ? 3 : 2); }

  // Attributes besides the version, used under Lock().
  AttributeSet& Attributes() { return attributes_; }

  void AddConnection() { ++connections_; }
  void RemoveConnection() { --connections_; }
  bool HasConnections() const { return connections_.load() > 0; }

 private:
  std::mutex mutex_;
  AttributeSet attributes_;
  std::atomic<int> odbc_version_{2};
  std::atomic<int> connections_{0};
};

}  // namespace kelvan::vltsim
