#include "vltsim/generator/snapshot_tables.h"

#include <algorithm>
#include <functional>
#include <map>
#include <stdexcept>

#include "vltsim/generator/real_server.h"
#include "vltsim/generator/sim_random.h"

namespace kelvan::vltsim {
namespace {

enum Stream : std::int64_t { kSnapshotStream = 31 };

using Rows = std::vector<SimRow>;

struct Moment {
  const ServerWorld& world;
  const SourceTable& table;
  SimTime now;

  double Days() const {
    return static_cast<double>(now - world.Params().origin) / static_cast<double>(kSecondsPerDay);
  }
  // Day-to-day noise in [-1, 1] of one item, the same for every load of the same day.
  double Noise(std::int64_t item) const {
    SimRandom random(world.Params().seed, {kSnapshotStream, item, DayNumber(now)});
    return random.Unit() * 2.0 - 1.0;
  }
  SimRow Row() const { return SimRow(table); }
  // A recent moment: `hours_back` hours (at most) before now, fixed for the day.
  SimTime Recent(std::int64_t item, std::int64_t hours_back) const {
    SimRandom random(world.Params().seed, {kSnapshotStream, item, DayNumber(now), 1});
    return now - random.Between(60, hours_back * kSecondsPerHour);
  }
};

double Clamp(double value, double low, double high) { return std::max(low, std::min(high, value)); }

Rows Admins(const Moment& m) {
  Rows rows;
  int index = 0;
  for (const std::string& admin : m.world.Admins()) {
    SimRow row = m.Row();
    row.Text("ADMIN_NAME", admin)
        .Time("LASTACC_TIME", m.Recent(100 + index, 72))
        .Time("PWSET_TIME", m.world.Params().origin - (index + 1) * 17 * kSecondsPerDay)
        .Text("CONTACT", admin == "ADMIN" ? "Storage team, ext. 4711" : "")
        .Set("LOCKED", "NO")
        .Set("SYSTEM_PRIV", admin == "ADMIN" ? "YES" : "NO")
        .Set("INVALID_PW_COUNT", index == 3 ? 1 : 0)
        .Time("REG_TIME", m.world.Params().origin - (400 - index * 50) * kSecondsPerDay);
    rows.push_back(std::move(row));
    ++index;
  }
  return rows;
}

// DB and LOG: a used space that grows every day, in a capacity that is extended when it fills.
SimRow SpaceRow(const Moment& m, double base_capacity, double base_used, double growth, int item) {
  const double used = base_used + growth * m.Days() + base_capacity * 0.01 * m.Noise(item);
  double capacity = base_capacity;
  while (used > capacity * 0.9) capacity += base_capacity / 4;
  const double available = capacity * 1.25;
  SimRow row = m.Row();
  row.Set("AVAIL_SPACE_MB", Cell(static_cast<std::int64_t>(available)))
      .Set("CAPACITY_MB", Cell(static_cast<std::int64_t>(capacity)))
      .Set("MAX_EXTENSION_MB", Cell(static_cast<std::int64_t>(available - capacity)))
      .Set("MAX_REDUCTION_MB", Cell(static_cast<std::int64_t>((capacity - used) * 0.8)))
      .Decimal("PCT_UTILIZED", used / capacity * 100.0, 1)
      .Decimal("MAX_PCT_UTILIZED", Clamp(used / capacity * 100.0 + 4.0 + m.Noise(item + 1), 0, 100),
               1)
      .Set("PHYSICAL_VOLUMES", static_cast<int>(capacity / (base_capacity / 4)));
  return row;
}

Rows Db(const Moment& m) {
  const double scale = m.world.Params().scale;
  SimRow row = SpaceRow(m, 40960.0 * scale, 24000.0 * scale, 150.0 * scale, 1);
  const SimTime backup_day = DayNumber(m.now - 9 * kSecondsPerHour) * kSecondsPerDay;
  row.Decimal("CACHE_HIT_PCT", 98.5 + m.Noise(3) * 1.4, 1)
      .Decimal("CACHE_WAIT_PCT", 0.3 + m.Noise(4) * 0.3, 1)
      .Set("BUFFER_REQUESTS", Cell(static_cast<std::int64_t>((m.Days() + 1.0) * 2.5e6 * scale +
                                                             1.0e6 * (m.Noise(5) + 1))))
      .Time("LAST_BACKUP_DATE", backup_day + 9 * kSecondsPerHour + 1800)
      .Set("LAST_CHECK_DATE", Cell(FormatTimestamp(m.now - 4 * kSecondsPerHour).substr(0, 10)))
      .Set("LAST_CHECK_TIME", "04:07:00");
  return {row};
}

Rows Log(const Moment& m) {
  const double scale = m.world.Params().scale;
  SimRow row = SpaceRow(m, 8192.0 * scale, 2000.0 * scale, 20.0 * scale, 11);
  row.Set("LOG_MODE", "ROLLFORWARD")
      .Set("CONSUMPTION_MB", Cell((m.Days() + 3.0) * 5200.0 * scale))
      .Time("LAST_RESET", m.world.Params().origin - 3 * kSecondsPerDay);
  return {row};
}

Rows SpaceVolumes(const Moment& m, const char* folder, const SourceTable& space_table) {
  Moment space{m.world, space_table, m.now};
  const SimRow totals = (space_table.name == "DB" ? Db(space) : Log(space)).front();
  const auto& cells = totals.Cells();
  const auto count = std::get<std::int64_t>(cells[space_table.ColumnIndex("PHYSICAL_VOLUMES")]);
  const auto capacity = std::get<std::int64_t>(cells[space_table.ColumnIndex("CAPACITY_MB")]);
  Rows rows;
  for (std::int64_t v = 1; v <= count; ++v) {
    SimRow row = m.Row();
    const std::int64_t size = capacity / count;
    row.Set("VOLUME_NAME", Cell(std::string(folder) + "/vol" + std::to_string(v) + ".dsm"))
        .Set("COPY_STATUS", "SYNC'D")
        .Set("AVAIL_SPACE_MB", Cell(size + size / 4))
        .Set("ALLOC_SPACE_MB", Cell(size))
        .Set("FREE_SPACE_MB", Cell(size / 4));
    rows.push_back(std::move(row));
  }
  return rows;
}

Rows DevClasses(const Moment& m) {
  struct Class {
    const char* name;
    const char* type;
    const char* library;
    int limit;
    double capacity;
  };
  static const Class kClasses[] = {{"DISK", "DISK", "", 0, 0},
                                   {"LTO_CLASS", "LTO", "LIB_A", 4, 2400000},
                                   {"FILE_CLASS", "FILE", "", 20, 51200}};
  Rows rows;
  for (const Class& c : kClasses) {
    SimRow row = m.Row();
    row.Set("DEVCLASS_NAME", c.name)
        .Set("ACCESS_STRATEGY", c.limit == 4 ? "Sequential" : "Random")
        .Set("STGPOOL_COUNT", c.limit == 4 ? 2 : 1)
        .Set("DEVTYPE", c.type)
        .Set("MOUNTLIMIT", c.limit)
        .Set("MOUNTWAIT", c.limit == 0 ? 0 : 60)
        .Set("MOUNTRETENTION", c.limit == 0 ? 0 : 5)
        .Decimal("EST_CAPACITY_MB", c.capacity, 1)
        .Text("LIBRARY_NAME", c.library)
        .Time("LAST_UPDATE", m.world.Params().origin - 200 * kSecondsPerDay);
    rows.push_back(std::move(row));
  }
  return rows;
}

Rows Drives(const Moment& m) {
  Rows rows;
  int item = 200;
  for (const LibraryInfo& library : m.world.Libraries()) {
    for (const std::string& drive : library.drives) {
      const bool online = m.Noise(++item) > -0.9;
      const bool loaded = online && m.Noise(item + 1000) > 0.2;
      SimRow row = m.Row();
      row.Set("LIBRARY_NAME", Cell(library.name))
          .Set("DRIVE_NAME", Cell(drive))
          .Set("DEVICE_TYPE", "LTO")
          .Set("ONLINE", online ? "YES" : "NO")
          .Set("DRIVE_SERIAL", Cell("SN" + std::to_string(7000000 + item)))
          .Set("DRIVE_STATE", loaded ? "LOADED" : (online ? "EMPTY" : "UNAVAILABLE"))
          .Text("VOLUME_NAME", loaded ? m.world.TapeVolumes()[item % 20 + 2].name : "")
          .Time("LAST_UPDATE", m.world.Params().origin - 100 * kSecondsPerDay);
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

double FilespaceUtil(const Moment& m, const FilespaceInfo& space, std::int64_t item) {
  return Clamp(space.base_pct_util + space.daily_growth * m.Days() + 0.3 * m.Noise(item), 1, 99.9);
}

Rows Filespaces(const Moment& m) {
  Rows rows;
  std::int64_t item = 10000;
  for (const FilespaceInfo& space : m.world.Filespaces()) {
    const NodeInfo& node = m.world.Nodes()[space.node];
    const SimTime last_start = DayNumber(m.now - node.schedule_minute * 60) * kSecondsPerDay +
                               node.schedule_minute * 60 + 120;
    ++item;
    SimRow row = m.Row();
    row.Set("NODE_NAME", Cell(node.name))
        .Set("FILESPACE_NAME", Cell(space.name))
        .Set("FILESPACE_ID", space.id)
        .Set("FILESPACE_TYPE", Cell(space.type))
        .Set("CAPACITY", Cell(space.capacity_mb))
        .Decimal("PCT_UTIL", FilespaceUtil(m, space, item), 1)
        .Time("BACKUP_START", last_start)
        .Time("BACKUP_END", last_start + 1500 + item % 600);
    rows.push_back(std::move(row));
  }
  return rows;
}

Rows Libraries(const Moment& m) {
  Rows rows;
  for (const LibraryInfo& library : m.world.Libraries()) {
    SimRow row = m.Row();
    row.Set("LIBRARY_NAME", Cell(library.name))
        .Set("LIBRARY_TYPE", "SCSI")
        .Set("DEVICE", Cell("/dev/changer/" + library.name))
        .Set("SHARED", library.name == "LIB_A" ? "YES" : "NO")
        .Set("SLOT_COUNT", static_cast<int>(m.world.TapeVolumes().size()))
        .Time("LAST_UPDATE", m.world.Params().origin - 300 * kSecondsPerDay);
    rows.push_back(std::move(row));
  }
  return rows;
}

Rows LibVolumes(const Moment& m) {
  Rows rows;
  for (const TapeVolumeInfo& volume : m.world.TapeVolumes()) {
    const int pool = m.world.VolumePoolAt(volume, m.now);
    SimRow row = m.Row();
    row.Set("LIBRARY_NAME", Cell(m.world.Libraries()[volume.library].name))
        .Set("VOLUME_NAME", Cell(volume.name))
        .Set("STATUS", volume.cleaner ? "Cleaner" : (pool >= 0 ? "Private" : "Scratch"))
        .Text("OWNER", pool >= 0 ? ServerWorld::kServerName : "")
        .Text("LAST_USE", pool < 0 ? "" : (pool == 2 ? "COPYDATA" : "STGDATA"))
        .Set("HOME_ELEMENT", volume.home_element)
        .Set("CLEANINGS_LEFT",
             Cell(volume.cleaner ? Cell(std::int64_t{40 - DayNumber(m.now) % 7}) : Cell()));
    rows.push_back(std::move(row));
  }
  return rows;
}

Rows Nodes(const Moment& m) {
  Rows rows;
  std::int64_t item = 30000;
  for (const NodeInfo& node : m.world.Nodes()) {
    ++item;
    SimRow row = m.Row();
    row.Set("NODE_NAME", Cell(node.name))
        .Set("PLATFORM_NAME", Cell(node.platform))
        .Set("DOMAIN_NAME", Cell(node.domain))
        .Time("PWSET_TIME", node.registered)
        .Set("INVALID_PW_COUNT", 0)
        .Text("CONTACT", node.server_class ? "Server operations" : "")
        .Set("COMPRESSION", node.server_class ? "NO" : "YES")
        .Set("LOCKED", "NO")
        .Time("LASTACC_TIME", std::max(node.registered, m.Recent(item, 30)))
        .Time("REG_TIME", node.registered)
        .Set("CLIENT_VERSION", node.server_class ? "8.1.14" : "8.1.19")
        .Set("TCP_ADDRESS", Cell(node.address));
    rows.push_back(std::move(row));
  }
  return rows;
}

Rows Occupancy(const Moment& m) {
  Rows rows;
  std::int64_t item = 50000;
  for (const FilespaceInfo& space : m.world.Filespaces()) {
    const NodeInfo& node = m.world.Nodes()[space.node];
    const double used = space.capacity_mb * FilespaceUtil(m, space, ++item) / 100.0;
    const char* primary = node.server_class ? "TAPE_POOL" : "DISK_POOL";
    struct Part {
      const char* type;
      const char* pool;
      double share;  // of the file space's used space
    };
    const Part parts[] = {
        {"Bkup", primary, 1.3}, {"Bkup", "COPY_POOL", 1.3}, {"Arch", "ARCHIVE_POOL", 0.2}};
    for (const Part& part : parts) {
      if (part.share < 1.0 && !node.server_class) continue;
      const double logical = used * part.share * (1.0 + 0.01 * m.Noise(item * 3));
      SimRow row = m.Row();
      row.Set("NODE_NAME", Cell(node.name))
          .Set("TYPE", part.type)
          .Set("FILESPACE_NAME", Cell(space.name))
          .Set("STGPOOL_NAME", part.pool)
          .Set("NUM_FILES", Cell(static_cast<std::int64_t>(logical * 9.5)))
          .Decimal("PHYSICAL_MB", logical * 1.04, 2)
          .Decimal("LOGICAL_MB", logical, 2)
          .Set("FILESPACE_ID", space.id);
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

Rows Options(const Moment& m) {
  static const char* kOptions[][2] = {{"COMMTIMEOUT", "3600"},
                                      {"IDLETIMEOUT", "60"},
                                      {"EXPINTERVAL", "24"},
                                      {"MAXSESSIONS", "250"},
                                      {"TCPPORT", "1500"},
                                      {"BUFPOOLSIZE", "524288"},
                                      {"MIRRORWRITE", "SEQUENTIAL"},
                                      {"ACTIVITYLOGRETENTION", "30"},
                                      {"DATEFORMAT", "3"},
                                      {"MESSAGEFORMAT", "1"},
                                      {"VOLUMEHISTORY", "/var/vltsim/volhist.out"},
                                      {"DEVCONFIG", "/var/vltsim/devcnfg.out"}};
  Rows rows;
  for (const auto& option : kOptions) {
    SimRow row = m.Row();
    row.Set("OPTION_NAME", option[0]).Set("OPTION_VALUE", option[1]);
    rows.push_back(std::move(row));
  }
  return rows;
}

Rows StgPools(const Moment& m) {
  Rows rows;
  std::int64_t item = 60000;
  for (const PoolInfo& pool : m.world.Pools()) {
    const double capacity = pool.base_capacity_mb + 0.2 * pool.daily_growth_mb * m.Days();
    const double used =
        capacity * 0.45 + pool.daily_growth_mb * m.Days() + capacity * 0.01 * m.Noise(++item);
    const double pct = Clamp(used / capacity * 100.0, 0, 100);
    const bool disk = !pool.tape && pool.next_pool != "";
    const double migrated = disk ? 0.5 * capacity * (0.2 + 0.05 * m.Noise(item + 1)) : 0;
    SimRow row = m.Row();
    row.Set("STGPOOL_NAME", Cell(pool.name))
        .Set("POOLTYPE", Cell(pool.pool_type))
        .Set("DEVCLASS", Cell(pool.devclass))
        .Decimal("EST_CAPACITY_MB", capacity, 1)
        .Decimal("PCT_UTILIZED", disk ? 20.0 + 8.0 * m.Noise(item + 2) : pct, 1)
        .Decimal("PCT_MIGR", disk ? 15.0 + 6.0 * m.Noise(item + 3) : 0.0, 1)
        .Decimal("PCT_LOGICAL", 99.0 + 0.8 * m.Noise(item + 4), 1)
        .Set("HIGHMIG", disk ? 90 : 100)
        .Set("LOWMIG", disk ? 70 : 90)
        .Set("MAXSCRATCH", pool.tape ? 30 * m.world.Params().scale : 0)
        .Set("NUMSCRATCHUSED", Cell(static_cast<std::int64_t>(pool.tape ? pct / 4 : 0)))
        .Text("NEXTSTGPOOL", pool.next_pool)
        .Decimal("MIGR_MB", migrated, 1)
        .Set("MIGR_SECONDS", Cell(static_cast<std::int64_t>(migrated / 85.0)))
        .Set("RECLAIM", pool.tape ? 60 : 100);
    rows.push_back(std::move(row));
  }
  return rows;
}

Rows Volumes(const Moment& m) {
  Rows rows;
  std::int64_t item = 70000;
  for (const TapeVolumeInfo& volume : m.world.TapeVolumes()) {
    const int pool = m.world.VolumePoolAt(volume, m.now);
    if (pool < 0) continue;
    const double age_days = static_cast<double>(m.now - volume.private_since) / kSecondsPerDay;
    const double filled = Clamp(age_days * 4.0 + 10.0 * m.Noise(++item), 0.5, 100);
    SimRow row = m.Row();
    row.Set("VOLUME_NAME", Cell(volume.name))
        .Set("STGPOOL_NAME", Cell(m.world.Pools()[pool].name))
        .Set("DEVCLASS_NAME", "LTO_CLASS")
        .Decimal("EST_CAPACITY_MB", 2400000.0, 1)
        .Decimal("PCT_UTILIZED", filled, 1)
        .Set("STATUS", filled >= 100 ? "FULL" : "FILLING")
        .Set("ACCESS", item % 97 == 0 ? "READONLY" : "READWRITE")
        .Decimal("PCT_RECLAIM", Clamp(age_days * 0.3, 0, 100), 1)
        .Set("SCRATCH", "YES")
        .Set("ERROR_STATE", "NO")
        .Set("TIMES_MOUNTED", Cell(static_cast<std::int64_t>(age_days * 1.5) + 1))
        .Time("LAST_WRITE_DATE", m.Recent(item, 48))
        .Time("LAST_READ_DATE", m.Recent(item + 1, 96));
    rows.push_back(std::move(row));
  }
  return rows;
}

Rows VolumeUsage(const Moment& m) {
  std::vector<const TapeVolumeInfo*> by_pool[3];
  for (const TapeVolumeInfo& volume : m.world.TapeVolumes()) {
    const int pool = m.world.VolumePoolAt(volume, m.now);
    if (pool == 1 || pool == 2) by_pool[pool].push_back(&volume);
  }
  Rows rows;
  for (const FilespaceInfo& space : m.world.Filespaces()) {
    const NodeInfo& node = m.world.Nodes()[space.node];
    if (!node.server_class) continue;  // desktops stay on disk
    for (int pool : {1, 2}) {
      if (by_pool[pool].empty()) continue;
      const TapeVolumeInfo& volume =
          *by_pool[pool][(space.node * 7 + space.id) % by_pool[pool].size()];
      SimRow row = m.Row();
      row.Set("NODE_NAME", Cell(node.name))
          .Set("COPY_TYPE", "BACKUP")
          .Set("FILESPACE_NAME", Cell(space.name))
          .Set("STGPOOL_NAME", Cell(m.world.Pools()[pool].name))
          .Set("VOLUME_NAME", Cell(volume.name))
          .Set("FILESPACE_ID", space.id);
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

// One full database backup a day at 09:30, from the start of the history on.
Rows VolHistory(const Moment& m) {
  Rows rows;
  const std::int64_t first = DayNumber(m.world.Params().origin);
  for (std::int64_t day = first; day <= DayNumber(m.now); ++day) {
    const SimTime at = day * kSecondsPerDay + 9 * kSecondsPerHour + 1800;
    if (at > m.now) break;
    SimRow row = m.Row();
    row.Time("DATE_TIME", at)
        .Set("VOLUME_TYPE", "BACKUPFULL")
        .Set("BACKUP_SERIES", Cell(day - first + 1))
        .Set("BACKUP_OPERATION", 0)
        .Set("VOLUME_SEQ", 1)
        .Set("DEVCLASS", "LTO_CLASS")
        .Set("VOLUME_NAME", Cell(m.world.TapeVolumes()[2 + (day - first) % 10].name))
        .Text("LOCATION", (m.now - at) > 2 * kSecondsPerDay ? "Vault" : "");
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace

std::vector<SimRow> SnapshotRows(const ServerWorld& world, const SourceTable& table, SimTime now) {
  using Builder = std::function<Rows(const Moment&)>;
  static const std::map<std::string, Builder> kBuilders = {
      {"ADMINS", Admins},
      {"DB", Db},
      {"DBVOLUMES",
       [](const Moment& m) { return SpaceVolumes(m, "/var/vltsim/db", FindSourceTable("DB")); }},
      {"DEVCLASSES", DevClasses},
      {"DRIVES", Drives},
      {"FILESPACES", Filespaces},
      {"LOG", Log},
      {"LOGVOLUMES",
       [](const Moment& m) { return SpaceVolumes(m, "/var/vltsim/log", FindSourceTable("LOG")); }},
      {"NODES", Nodes},
      {"STGPOOLS", StgPools},
      {"VOLUMES", Volumes},
      {"OCCUPANCY", Occupancy},
      {"VOLUMEUSAGE", VolumeUsage},
      {"LIBVOLUMES", LibVolumes},
      {"LIBRARIES", Libraries},
      {"OPTIONS", Options},
      {"VOLHISTORY", VolHistory}};
  const auto builder = kBuilders.find(table.name);
  if (builder == kBuilders.end()) throw std::logic_error(table.name + " is not a snapshot table");
  Rows rows = builder->second(Moment{world, table, now});
  if (world.Params().profile == Profile::kReal) RoughenSnapshot(table, rows);
  return rows;
}

}  // namespace kelvan::vltsim
