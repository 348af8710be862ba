#include "vltsim/generator/server_world.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "vltsim/generator/real_server.h"
#include "vltsim/generator/sim_random.h"

namespace kelvan::vltsim {
namespace {

// Streams of the random source; one per kind of thing described.
enum Stream : std::int64_t { kNodeStream = 1, kFilespaceStream, kVolumeStream };

constexpr SimTime kNever = std::numeric_limits<SimTime>::max() / 2;

std::string Numbered(const char* prefix, int number, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%0*d", prefix, width, number);
  return text;
}

std::vector<std::string> FilespaceNames(const NodeInfo& node, int count) {
  static const char* kUnix[] = {"/", "/home", "/var", "/data", "/srv/export"};
  static const char* kWindows[] = {"c$", "d$", "e$", "f$", "g$"};
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    names.push_back(node.platform == "Windows" ? "\\\\" + node.name + "\\" + kWindows[i]
                                               : std::string(kUnix[i]));
  }
  return names;
}

}  // namespace

ServerWorld::ServerWorld(const SimParams& params, SimTime until) : params_(params), by_hour_(24) {
  const int initial = 10 * params_.scale;
  for (int index = 0;; ++index) {
    NodeInfo node = MakeNode(index);
    if (node.registered > until) {
      if (index >= initial) break;  // later nodes register later still
      continue;
    }
    nodes_.push_back(std::move(node));
    by_hour_[nodes_.back().schedule_minute / 60].push_back(static_cast<int>(nodes_.size()) - 1);
    AddFilespaces(static_cast<int>(nodes_.size()) - 1);
  }
  const double scale = params_.scale;
  pools_ = {{"DISK_POOL", "PRIMARY", "DISK", "TAPE_POOL", false, 500000.0 * scale, 0.0},
            {"TAPE_POOL", "PRIMARY", "LTO_CLASS", "", true, 4.0e6 * scale, 9000.0 * scale},
            {"COPY_POOL", "COPY", "LTO_CLASS", "", true, 3.5e6 * scale, 8000.0 * scale},
            {"ARCHIVE_POOL", "PRIMARY", "FILE_CLASS", "", false, 800000.0 * scale, 1500.0 * scale}};
  const int extra_drives = std::min(params_.scale - 1, 28);
  for (const char* name : {"LIB_A", "LIB_B"}) {
    LibraryInfo library{name, {}};
    const int drives = (library.name == "LIB_A" ? 4 : 2) + extra_drives;
    for (int d = 1; d <= drives; ++d) {
      library.drives.push_back(Numbered(name[4] == 'A' ? "DRV_A" : "DRV_B", d, 2));
    }
    libraries_.push_back(std::move(library));
  }
  AddVolumes();
  admins_ = {"ADMIN", "OPERATOR", "REPORTER", "HELPDESK"};
}

NodeInfo ServerWorld::MakeNode(int index) const {
  SimRandom random(params_.seed, {kNodeStream, index});
  NodeInfo node;
  const int initial = 10 * params_.scale;
  node.server_class = index < 2 || random.Chance(0.35);
  if (index == 0) {
    node.name = "NIGHTOWL";  // its backup starts at 23:40 and always runs past midnight
  } else if (index == 1) {
    node.name = "FILESRV01";
  } else if (index == 2) {
    node.name = "JOE'S-LAPTOP";
    node.server_class = false;
  } else {
    node.name = Numbered(node.server_class ? "SRV" : "PC", index, 4);
  }
  static const char* kPlatforms[] = {"Linux", "Windows", "macOS", "Solaris"};
  node.platform = index == 2 ? "Windows" : kPlatforms[random.Between(0, node.server_class ? 3 : 2)];
  node.domain = node.server_class ? "DOM_SERVERS" : "DOM_DESKTOPS";
  node.schedule = node.server_class ? "NIGHTLY_INCR" : "DESKTOP_DAILY";
  node.address = "10." + std::to_string(node.server_class ? 1 : 20) + "." +
                 std::to_string(index / 250) + "." + std::to_string(index % 250 + 2);
  if (index == 0) {
    node.schedule_minute = 23 * 60 + 40;
  } else if (node.server_class) {
    node.schedule_minute = static_cast<int>((20 * 60 + random.Between(0, 95) * 5) % 1440);
  } else {
    node.schedule_minute = static_cast<int>(11 * 60 + random.Between(0, 95) * 5);
  }
  if (index < initial) {
    node.registered = params_.origin - random.Between(30, 900) * kSecondsPerDay;
  } else {
    const SimTime interval = 5 * kSecondsPerDay / params_.scale;
    node.registered =
        params_.origin + (index - initial + 1) * interval + random.Between(0, interval / 2);
  }
  if (params_.profile == Profile::kReal) GiveRealLook(node, index);
  return node;
}

void ServerWorld::AddFilespaces(int node_index) {
  const NodeInfo& node = nodes_[node_index];
  SimRandom random(params_.seed, {kFilespaceStream, node_index});
  const int count = node.server_class ? static_cast<int>(random.Between(2, 5))
                                      : static_cast<int>(random.Between(1, 2));
  int id = 1;
  for (const std::string& name : FilespaceNames(node, count)) {
    FilespaceInfo space;
    space.node = node_index;
    space.id = id++;
    space.name = name;
    space.type = node.platform == "Windows" ? "NTFS" : (node.platform == "macOS" ? "APFS" : "EXT4");
    space.capacity_mb = static_cast<double>(random.Between(20, 2000)) * 1024.0;
    space.base_pct_util = static_cast<double>(random.Between(200, 800)) / 10.0;
    space.daily_growth = static_cast<double>(random.Between(-5, 40)) / 100.0;
    filespaces_.push_back(std::move(space));
  }
}

void ServerWorld::AddVolumes() {
  const int per_library = 30 * params_.scale;
  for (int lib = 0; lib < static_cast<int>(libraries_.size()); ++lib) {
    for (int v = 0; v < per_library; ++v) {
      SimRandom random(params_.seed, {kVolumeStream, lib, v});
      TapeVolumeInfo volume;
      volume.library = lib;
      volume.cleaner = v < 2;
      volume.name = volume.cleaner ? Numbered(lib == 0 ? "CLNA" : "CLNB", v + 1, 2) + "L6"
                                   : Numbered(lib == 0 ? "A" : "B", v + 1, 5) + "L6";
      volume.home_element = 1000 + v;
      volume.pool = lib == 1 || random.Chance(0.35) ? 2 : 1;  // COPY_POOL : TAPE_POOL
      const double draw = random.Unit();
      if (volume.cleaner || draw < 0.15) {
        volume.private_since = kNever;
      } else if (draw < 0.65) {
        volume.private_since = params_.origin - random.Between(1, 400) * kSecondsPerDay;
      } else {
        volume.private_since = params_.origin + random.Between(0, 90 * 24) * kSecondsPerHour;
      }
      volumes_.push_back(std::move(volume));
    }
  }
}

int ServerWorld::NodesRegisteredBy(SimTime when) const {
  const auto end = std::partition_point(nodes_.begin(), nodes_.end(), [when](const NodeInfo& node) {
    return node.registered <= when;
  });
  return static_cast<int>(end - nodes_.begin());
}

int ServerWorld::VolumePoolAt(const TapeVolumeInfo& volume, SimTime when) const {
  return volume.private_since <= when ? volume.pool : -1;
}

}  // namespace kelvan::vltsim
