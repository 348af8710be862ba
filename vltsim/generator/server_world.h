// The fixed landscape of one simulated VLT server: its client nodes and their file spaces,
// storage pools, tape libraries, drives and volumes. Everything is a pure function of the seed,
// the scale and the start of the history, so `create` and a later `advance` see the same
// server. Immutable after construction; thread-safe for reading.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vltsim/generator/civil_time.h"
#include "vltsim/profile.h"

namespace kelvan::vltsim {

struct SimParams {
  std::uint64_t seed = 0;
  int scale = 1;       // multiplies nodes, volumes and activity counts
  SimTime origin = 0;  // start of the history the server holds
  Profile profile = Profile::kTidy;
};

struct NodeInfo {
  std::string name;
  std::string platform;
  std::string domain;
  std::string schedule;  // the node's daily scheduled backup
  std::string address;   // "a.b.c.d"
  bool server_class;     // servers back up more, and at night
  int schedule_minute;   // minute of the day the daily backup is scheduled for
  SimTime registered;
};

struct FilespaceInfo {
  int node;  // index into Nodes()
  int id;
  std::string name;
  std::string type;
  double capacity_mb;
  double base_pct_util;
  double daily_growth;  // change of PCT_UTIL per day
};

struct PoolInfo {
  std::string name;
  std::string pool_type;  // "PRIMARY" or "COPY"
  std::string devclass;
  std::string next_pool;
  bool tape;
  double base_capacity_mb;
  double daily_growth_mb;
};

struct TapeVolumeInfo {
  std::string name;
  int library;  // index into Libraries()
  bool cleaner;
  SimTime private_since;  // when it leaves the scratch set; far future while it stays scratch
  int pool;               // index into Pools() once private
  int home_element;
};

struct LibraryInfo {
  std::string name;
  std::vector<std::string> drives;
};

class ServerWorld {
 public:
  // The server as it stands at `until`: only nodes registered by then are listed.
  ServerWorld(const SimParams& params, SimTime until);

  const SimParams& Params() const { return params_; }
  const std::vector<NodeInfo>& Nodes() const { return nodes_; }
  const std::vector<FilespaceInfo>& Filespaces() const { return filespaces_; }
  const std::vector<PoolInfo>& Pools() const { return pools_; }
  const std::vector<LibraryInfo>& Libraries() const { return libraries_; }
  const std::vector<TapeVolumeInfo>& TapeVolumes() const { return volumes_; }
  const std::vector<std::string>& Admins() const { return admins_; }
  // Nodes are listed in order of registration: the first `NodesRegisteredBy(t)` existed at t.
  int NodesRegisteredBy(SimTime when) const;
  // Nodes whose daily backup is scheduled in this hour of the day (0..23).
  const std::vector<int>& ScheduledInHour(int hour) const { return by_hour_[hour]; }
  // The pool a volume belongs to at `when`, or -1 while it is a scratch (or cleaning) volume.
  int VolumePoolAt(const TapeVolumeInfo& volume, SimTime when) const;

  static constexpr const char* kServerName = "VLTSIM01";

 private:
  NodeInfo MakeNode(int index) const;
  void AddFilespaces(int node);
  void AddVolumes();

  SimParams params_;
  std::vector<NodeInfo> nodes_;
  std::vector<FilespaceInfo> filespaces_;
  std::vector<PoolInfo> pools_;
  std::vector<LibraryInfo> libraries_;
  std::vector<TapeVolumeInfo> volumes_;
  std::vector<std::string> admins_;
  std::vector<std::vector<int>> by_hour_;
};

}  // namespace kelvan::vltsim
