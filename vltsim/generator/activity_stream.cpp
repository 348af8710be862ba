#include "vltsim/generator/activity_stream.h"

#include <cstdio>

#include "vltsim/generator/real_server.h"
#include "vltsim/generator/sim_random.h"

namespace kelvan::vltsim {
namespace {

enum Stream : std::int64_t { kHourStream = 11, kRunStream };

constexpr SimTime kMissedWindow = kSecondsPerHour;

struct ScheduledRun {
  SimTime scheduled = 0;
  bool missed = false;
  SimTime start = 0;
  SimTime end = 0;
  std::int64_t result = 0;  // 0 completed, 4 completed with skipped objects, 12 failed
  std::int64_t examined = 0;
  std::int64_t failed = 0;
  double bytes = 0;
};

ScheduledRun RunOf(const ServerWorld& world, int node_index, std::int64_t day) {
  const NodeInfo& node = world.Nodes()[node_index];
  SimRandom random(world.Params().seed, {kRunStream, node_index, day});
  ScheduledRun run;
  run.scheduled = day * kSecondsPerDay + node.schedule_minute * 60;
  run.missed = node_index > 2 && random.Chance(0.04);
  run.start = run.scheduled + random.Between(5, 300);
  SimTime minutes = node_index == 0     ? random.Between(45, 90)
                    : node.server_class ? random.Between(20, 300)
                                        : random.Between(2, 40);
  run.end = run.start + minutes * 60 + random.Between(0, 59);
  run.examined = random.Between(2000, node.server_class ? 900000 : 120000);
  if (node_index == 1) {
    run.result = 4;  // its nightly run always skips a few files, with messages to show for it
  } else {
    const double draw = random.Unit();
    run.result = draw < 0.05 ? 12 : (draw < 0.15 ? 4 : 0);
  }
  run.failed = run.result == 0 ? 0 : random.Between(1, 40);
  run.bytes = static_cast<double>(minutes * 60) * static_cast<double>(random.Between(1, 80)) *
              1048576.0 / (node.server_class ? 1.0 : 8.0);
  return run;
}

std::string Format(const char* pattern, auto... values) {
  char text[1200];
  std::snprintf(text, sizeof text, pattern, values...);
  return text;
}

std::string BytesText(double bytes) { return Format("%.0f", bytes); }

// Builds one hour's activities and messages.
class HourBuilder {
 public:
  HourBuilder(const ServerWorld& world, std::int64_t hour)
      : world_(world),
        hour_start_(hour * kSecondsPerHour),
        hour_of_day_(static_cast<int>(hour % 24 < 0 ? hour % 24 + 24 : hour % 24)),
        random_(world.Params().seed, {kHourStream, hour}),
        stride_(1000LL * world.Params().scale),
        next_number_(1 + (hour - world.Params().origin / kSecondsPerHour) * stride_) {}

  HourActivity Build() {
    ScheduledSessions();
    AdHocSessions();
    AdminSessions();
    Processes();
    if (hour_of_day_ == 4) DailyHealthMessages();
    return std::move(out_);
  }

 private:
  std::int64_t NextNumber() { return (next_number_++ - 1) % 2147483647 + 1; }

  void Say(SimTime time, std::int64_t msgno, char severity, std::string text,
           std::optional<std::int64_t> session = std::nullopt) {
    Message message;
    message.time = time;
    message.msgno = msgno;
    message.severity = severity;
    message.text = std::move(text);
    message.session = session;
    out_.messages.push_back(std::move(message));
  }

  void ClientSays(const NodeInfo& node, const Activity& session, SimTime time, std::int64_t msgno,
                  char severity, std::string text) {
    Say(time, msgno, severity, std::move(text), session.number);
    Message& message = out_.messages.back();
    message.from_client = true;
    message.node = node.name;
    message.owner = node.platform == "Windows" ? "" : "root";
    message.schedule = session.schedule;
    message.domain = node.domain;
  }

  Activity Session(const NodeInfo& node, const char* kind, SimTime start, SimTime end) {
    Activity session;
    session.start = start;
    session.end = end;
    session.activity = kind;
    session.number = NextNumber();
    session.entity = node.name;
    session.commmeth = random_.Chance(0.9) ? "Tcp/Ip" : "ShMem";
    session.address = node.address + ":" + std::to_string(random_.Between(1500, 65000));
    session.idle = random_.Between(0, 30);
    session.comm_wait = random_.Between(0, 20);
    session.mediaw = random_.Between(0, 5);
    return session;
  }

  void SessionMessages(const NodeInfo& node, const Activity& session) {
    Say(session.start, 406, 'I',
        Format("Session %lld started for node %s (%s) (%s %s).", (long long)session.number,
               node.name.c_str(), node.platform.c_str(), session.commmeth.c_str(),
               session.address.c_str()),
        session.number);
    Say(session.end, 403, 'I',
        Format("Session %lld ended for node %s (%s).", (long long)session.number, node.name.c_str(),
               node.platform.c_str()),
        session.number);
    ClientSays(node, session, session.end, 4952, 'I',
               Format("Total number of objects inspected: %lld", (long long)session.examined));
    ClientSays(node, session, session.end, 4961, 'I',
               "Total number of bytes transferred: " + BytesText(session.bytes.value_or(0)));
  }

  // Skipped files: a path with double quotes in it, and one too long for any 255-byte column.
  void SkippedFileMessages(const NodeInfo& node, const Activity& session) {
    const SimTime at = session.start + (session.end - session.start) / 2;
    ClientSays(node, session, at, 4005, 'E',
               "Error processing \"/data/reports/Q3 \"final\" draft.doc\": access to the "
               "object is denied.");
    std::string path = "/data/archive";
    while (path.size() < 300) path += "/project-" + std::to_string(path.size()) + "-backup-set";
    ClientSays(node, session, at + 1, 4018, 'E',
               "Error processing '" + path + "': the file name is longer than supported.");
    ClientSays(node, session, at + 2, 4037, 'W',
               "File '/var/log/syslog' changed during processing; it was sent again.");
  }

  void ScheduledSessions() {
    const std::int64_t day = DayNumber(hour_start_);
    for (int index : world_.ScheduledInHour(hour_of_day_)) {
      const NodeInfo& node = world_.Nodes()[index];
      const ScheduledRun run = RunOf(world_, index, day);
      if (node.registered > run.scheduled) continue;
      if (run.missed) {
        Say(run.scheduled + kMissedWindow, 2578, 'W',
            Format("Schedule %s in domain %s for node %s has missed its scheduled start up "
                   "window.",
                   node.schedule.c_str(), node.domain.c_str(), node.name.c_str()));
        continue;
      }
      Activity session = Session(node, "BACKUP", run.start, run.end);
      session.schedule = node.schedule;
      session.examined = run.examined;
      session.affected = run.examined / 20;
      session.failed = run.failed;
      session.bytes = run.bytes;
      session.successful = run.result != 12;
      SessionMessages(node, session);
      if (run.failed > 0) SkippedFileMessages(node, session);
      if (run.result == 12) {
        ClientSays(node, session, run.end, 2579, 'E',
                   "Schedule " + node.schedule + " failed. Return code = 12.");
      }
      if (node.server_class && run.bytes > 20.0e9) TapeMount(session, 0, "STGDATA");
      out_.activities.push_back(std::move(session));
    }
  }

  void AdHocSessions() {
    const bool business = hour_of_day_ >= 8 && hour_of_day_ <= 18;
    const std::int64_t mean = world_.Params().scale * (business ? 8 : 2);
    const std::int64_t count = random_.Between(mean / 2, mean + mean / 2);
    // Only nodes registered when the hour began, so that a later, larger node list gives the
    // same sessions for this hour.
    const int candidates = world_.NodesRegisteredBy(hour_start_);
    for (std::int64_t i = 0; i < count && candidates > 0; ++i) {
      const NodeInfo& node = world_.Nodes()[random_.Between(0, candidates - 1)];
      const SimTime start = hour_start_ + random_.Between(0, kSecondsPerHour - 1);
      static const char* kKinds[] = {"BACKUP",  "BACKUP",  "BACKUP",
                                     "RESTORE", "ARCHIVE", "RETRIEVE"};
      const char* kind = kKinds[random_.Between(0, 5)];
      Activity session = Session(node, kind, start, start + random_.Between(5, 2400));
      session.examined = random_.Between(0, 5000);
      session.affected = session.examined / 4;
      // A fifth of the sessions find nothing to send.
      session.bytes =
          random_.Chance(0.2) ? 0.0 : static_cast<double>(random_.Between(1, 4000)) * 1048576.0;
      SessionMessages(node, session);
      if (session.activity == "RESTORE" && random_.Chance(0.3)) TapeMount(session, 0, "STGDATA");
      out_.activities.push_back(std::move(session));
    }
  }

  void AdminSessions() {
    const bool business = hour_of_day_ >= 8 && hour_of_day_ <= 18;
    const std::int64_t count = random_.Between(0, world_.Params().scale * (business ? 2 : 1));
    for (std::int64_t i = 0; i < count; ++i) {
      const auto& admins = world_.Admins();
      const std::string& admin = admins[random_.Between(0, admins.size() - 1)];
      Activity session;
      session.start = hour_start_ + random_.Between(0, kSecondsPerHour - 1);
      session.end = session.start + random_.Between(1, 900);
      session.activity = "ADMIN";
      session.number = NextNumber();
      session.entity = admin;
      session.commmeth = "Tcp/Ip";
      session.address = "10.9.0." + std::to_string(random_.Between(2, 40)) + ":" +
                        std::to_string(random_.Between(1500, 65000));
      session.bytes = 0.0;  // administrators move no data
      Say(session.start, 406, 'I',
          Format("Session %lld started for administrator %s (%s %s).", (long long)session.number,
                 admin.c_str(), session.commmeth.c_str(), session.address.c_str()),
          session.number);
      Say(session.start + 1, 2017, 'I', "Administrator " + admin + " issued command: QUERY PROCESS",
          session.number);
      Say(session.end, 403, 'I',
          Format("Session %lld ended for administrator %s.", (long long)session.number,
                 admin.c_str()),
          session.number);
      out_.activities.push_back(std::move(session));
    }
  }

  struct ProcessKind {
    int hour;
    const char* activity;
    const char* entity;
    const char* last_use;  // null: no tape involved
    int tape_library;
  };

  void Processes() {
    static const ProcessKind kKinds[] = {
        {6, "EXPIRATION", "", nullptr, 0},
        {7, "MIGRATION", "DISK_POOL -> TAPE_POOL", "STGDATA", 0},
        {8, "STGPOOL BACKUP", "TAPE_POOL -> COPY_POOL", "COPYDATA", 1},
        {9, "FULL_DBBACKUP", "LTO_CLASS", "DBBACKUP", 0},
        {10, "RECLAMATION", "TAPE_POOL", "STGDATA", 0}};
    for (const ProcessKind& kind : kKinds) {
      if (kind.hour != hour_of_day_) continue;
      const bool once = kind.last_use == nullptr || std::string(kind.activity) == "FULL_DBBACKUP";
      const int count = once ? 1 : world_.Params().scale;
      for (int i = 0; i < count; ++i) Process(kind);
    }
  }

  void Process(const ProcessKind& kind) {
    Activity process;
    process.start = hour_start_ + random_.Between(0, 50 * 60);
    process.end = process.start + random_.Between(120, 3 * kSecondsPerHour);
    process.activity = kind.activity;
    process.number = NextNumber();
    process.entity = kind.entity;
    process.examined = random_.Between(1000, 400000);
    process.affected = process.examined / 3;
    if (kind.last_use != nullptr) {
      process.bytes = static_cast<double>(process.end - process.start) *
                      static_cast<double>(random_.Between(20, 120)) * 1048576.0;
    }
    Say(process.start, 984, 'I',
        Format("Process %lld for %s started in the background.", (long long)process.number,
               kind.activity));
    if (kind.last_use != nullptr) TapeMount(process, kind.tape_library, kind.last_use);
    if (std::string(kind.activity) == "RECLAMATION" && random_.Chance(0.3)) {
      Say(process.start + 5, 1163, 'W',
          Format("Reclamation of a volume was skipped by process %lld: the volume is in use.",
                 (long long)process.number));
    }
    Say(process.end, 986, 'I',
        Format("Process %lld for %s completed: %lld items, %s bytes.", (long long)process.number,
               kind.activity, (long long)process.affected,
               BytesText(process.bytes.value_or(0)).c_str()));
    out_.activities.push_back(std::move(process));
  }

  // A tape mount spans the work that needs the tape, with some mount and dismount time around.
  void TapeMount(const Activity& user, int library_index, const char* last_use) {
    const LibraryInfo& library = world_.Libraries()[library_index];
    Activity mount;
    mount.start = user.start - random_.Between(20, 90);
    mount.end = user.end + random_.Between(30, 300);
    mount.activity = "TAPE MOUNT";
    mount.number = NextNumber();
    mount.drive = library.drives[random_.Between(0, library.drives.size() - 1)];
    mount.entity = mount.drive;
    mount.volume = PickVolume(library_index, mount.start);
    mount.library = library.name;
    mount.last_use = last_use;
    Say(mount.start, 8337, 'I',
        "Volume " + mount.volume + " mounted in drive " + mount.drive + " (" + library.name + ").");
    Say(mount.end, 8336, 'I',
        "Volume " + mount.volume + " dismounted from drive " + mount.drive + ".");
    out_.activities.push_back(std::move(mount));
  }

  std::string PickVolume(int library_index, SimTime when) {
    const auto& volumes = world_.TapeVolumes();
    const TapeVolumeInfo* pick = nullptr;
    for (int attempt = 0; attempt < 8; ++attempt) {
      const TapeVolumeInfo& volume = volumes[random_.Between(0, volumes.size() - 1)];
      if (volume.library != library_index || volume.cleaner) continue;
      pick = &volume;
      if (world_.VolumePoolAt(volume, when) >= 0) break;
    }
    return pick != nullptr ? pick->name : world_.TapeVolumes()[2].name;
  }

  // Every severity from both sides, every night: what operators grep the log for.
  void DailyHealthMessages() {
    const SimTime at = hour_start_ + 7 * 60;
    Say(at, 1361, 'I', "Database consistency check started.");
    Say(at + 60, 1362, 'W', "Database space utilization is above 80 percent.");
    Say(at + 120, 1363, 'E', "Volume CLNA01L6 needs cleaning; the cleaning cartridge is expired.");
    Say(at + 180, 1364, 'S',
        "Database page 4711 failed verification and was re-read from "
        "the mirror copy.");
    Say(at + 240, 1365, 'D', "Lock wait on table SUMMARY lasted 2 seconds.");
    const NodeInfo& node = world_.Nodes()[1];
    Activity session;
    session.number = NextNumber();
    session.schedule = node.schedule;
    const char severities[] = {'I', 'W', 'E', 'S', 'D'};
    for (int i = 0; i < 5; ++i) {
      ClientSays(node, session, at + 300 + i, 5100 + i, severities[i],
                 Format("Client health check %d reported severity %c.", i + 1, severities[i]));
    }
  }

  const ServerWorld& world_;
  SimTime hour_start_;
  int hour_of_day_;
  SimRandom random_;
  std::int64_t stride_;
  std::int64_t next_number_;
  HourActivity out_;
};

}  // namespace

HourActivity GenerateHour(const ServerWorld& world, std::int64_t hour) {
  HourActivity slot = HourBuilder(world, hour).Build();
  if (world.Params().profile == Profile::kReal) RoughenHour(slot, hour);
  return slot;
}

ScheduledEvent EventOf(const ServerWorld& world, int node, std::int64_t day, SimTime now) {
  const ScheduledRun run = RunOf(world, node, day);
  ScheduledEvent event;
  event.scheduled_start = run.scheduled;
  event.status = "Pending";
  if (run.missed) {
    if (now >= run.scheduled + kMissedWindow) {
      event.status = "Missed";
      event.reason = "The start-up window elapsed before the node contacted the server.";
    }
    return event;
  }
  if (now < run.start) return event;
  event.actual_start = run.start;
  if (now < run.end) {
    event.status = "Started";
    return event;
  }
  event.completed = run.end;
  event.result = run.result;
  event.status = run.result == 12 ? "Failed" : "Completed";
  if (run.result == 4) event.reason = "Some objects were skipped.";
  if (run.result == 12) event.reason = "The client reported a failure.";
  return event;
}

}  // namespace kelvan::vltsim
