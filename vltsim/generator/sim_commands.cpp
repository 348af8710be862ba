#include "vltsim/generator/sim_commands.h"

#include <unistd.h>

#include <algorithm>

#include "platform/basic/raised_error.h"
#include "vltsim/generator/activity_stream.h"
#include "vltsim/generator/server_world.h"
#include "vltsim/generator/sim_database.h"
#include "vltsim/generator/snapshot_tables.h"

namespace kelvan::vltsim {
namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kErrBadFile = 3044;

SimRow SummaryRow(const Activity& a) {
  SimRow row(FindSourceTable("SUMMARY"));
  row.Time("START_TIME", a.start)
      .Time("END_TIME", a.end)
      .Text("ACTIVITY", a.activity)
      .Set("NUMBER", Cell(a.number))
      .Text("ENTITY", a.entity)
      .Text("COMMMETH", a.commmeth)
      .Text("ADDRESS", a.address)
      .Text("SCHEDULE_NAME", a.schedule)
      .Set("EXAMINED", Cell(a.examined))
      .Set("AFFECTED", Cell(a.affected))
      .Set("FAILED", Cell(a.failed))
      .Set("BYTES", a.bytes ? Cell(*a.bytes) : Cell())
      .Set("IDLE", Cell(a.idle))
      .Set("MEDIAW", Cell(a.mediaw))
      .Set("PROCESSES", Cell(a.processes))
      .Set("SUCCESSFUL", a.successful ? "YES" : "NO")
      .Text("VOLUME_NAME", a.volume)
      .Text("DRIVE_NAME", a.drive)
      .Text("LIBRARY_NAME", a.library)
      .Text("LAST_USE", a.last_use)
      .Set("COMM_WAIT", Cell(a.comm_wait));
  return row;
}

SimRow ActlogRow(const Message& m) {
  SimRow row(FindSourceTable("ACTLOG"));
  row.Time("DATE_TIME", m.time)
      .Set("MSGNO", Cell(m.msgno))
      .Set("SEVERITY", Cell(std::string(1, m.severity)))
      .Text("MESSAGE", m.text)
      .Set("ORIGINATOR", m.from_client ? "CLIENT" : "SERVER")
      .Text("NODENAME", m.node)
      .Text("OWNERNAME", m.owner)
      .Text("SCHEDNAME", m.schedule)
      .Text("DOMAINNAME", m.domain)
      .Set("SESSID", m.session ? Cell(*m.session) : Cell())
      .Set("SERVERNAME", ServerWorld::kServerName);
  return row;
}

// SUMMARY rows of the activities that ended in (from, to], and the messages logged then.
void WriteHistory(SimDatabase& db, const ServerWorld& world, SimTime from, SimTime to) {
  SimDatabase::Inserter summary(db, FindSourceTable("SUMMARY"));
  SimDatabase::Inserter actlog(db, FindSourceTable("ACTLOG"));
  const std::int64_t origin_hour = world.Params().origin / kSecondsPerHour;
  const std::int64_t first = std::max(origin_hour, (from - kMaxActivitySpan) / kSecondsPerHour);
  for (std::int64_t hour = first; hour * kSecondsPerHour < to; ++hour) {
    const HourActivity slot = GenerateHour(world, hour);
    for (const Activity& activity : slot.activities) {
      if (activity.end > from && activity.end <= to) summary.Insert(SummaryRow(activity));
    }
    for (const Message& message : slot.messages) {
      if (message.time > from && message.time <= to) actlog.Insert(ActlogRow(message));
    }
  }
}

// The scheduled events from `from` on, as they stand at `now`, and those of the coming day.
void WriteEvents(SimDatabase& db, const ServerWorld& world, SimTime from, SimTime now) {
  const SourceTable& table = FindSourceTable("EVENTS");
  SimDatabase::Inserter events(db, table);
  const SimTime until = now + kSecondsPerDay;
  for (std::int64_t day = DayNumber(from); day <= DayNumber(until); ++day) {
    for (int node = 0; node < static_cast<int>(world.Nodes().size()); ++node) {
      const NodeInfo& info = world.Nodes()[node];
      const ScheduledEvent event = EventOf(world, node, day, now);
      if (event.scheduled_start < from || event.scheduled_start >= until ||
          info.registered > event.scheduled_start) {
        continue;
      }
      SimRow row(table);
      row.Time("SCHEDULED_START", event.scheduled_start)
          .Time("ACTUAL_START", event.actual_start)
          .Set("DOMAIN_NAME", Cell(info.domain))
          .Set("SCHEDULE_NAME", Cell(info.schedule))
          .Set("NODE_NAME", Cell(info.name))
          .Set("STATUS", Cell(event.status))
          .Set("RESULT", event.result ? Cell(*event.result) : Cell())
          .Text("REASON", event.reason)
          .Time("COMPLETED", event.completed);
      events.Insert(row);
    }
  }
}

void WriteSnapshots(SimDatabase& db, const ServerWorld& world, SimTime now) {
  for (const SourceTable& table : SourceTables()) {
    if (!table.snapshot) continue;
    db.Exec("DELETE FROM " + table.name);
    SimDatabase::Inserter inserter(db, table);
    for (const SimRow& row : SnapshotRows(world, table, now)) inserter.Insert(row);
  }
}

SimParams LoadParams(SimDatabase& db, const fs::path& file) {
  const auto seed = db.State("SEED");
  const auto scale = db.State("SCALE");
  const auto origin = db.State("ORIGIN");
  const auto profile = ParseProfile(db.State(kProfileSetting).value_or("tidy"));
  if (!seed || !scale || !origin || !ParseTimestamp(*origin) || !profile) {
    throw RaisedError(kErrBadFile, "vltsim", file.string() + " was not made by vltsim create");
  }
  return {std::stoull(*seed), std::stoi(*scale), *ParseTimestamp(*origin), *profile};
}

}  // namespace

void CreateServerFile(const CreateOptions& options) {
  const fs::path temporary =
      options.file.string() + ".building-" + std::to_string(static_cast<long>(getpid()));
  fs::remove(temporary);
  try {
    {
      SimDatabase db(temporary, SimDatabase::Mode::kBuild);
      db.Exec("BEGIN");
      for (const SourceTable& table : SourceTables()) db.Exec(CreateTableSql(table));
      const SimParams params{options.seed, options.scale,
                             options.now - options.days * kSecondsPerDay, options.profile};
      // A tidy file stays byte for byte what it was before there were profiles.
      if (params.profile != Profile::kTidy) {
        db.SetState(kProfileSetting, ProfileName(params.profile));
      }
      db.SetState("SEED", std::to_string(params.seed));
      db.SetState("SCALE", std::to_string(params.scale));
      db.SetState("ORIGIN", FormatTimestamp(params.origin));
      db.SetState("NOW", FormatTimestamp(options.now));
      const ServerWorld world(params, options.now);
      WriteHistory(db, world, params.origin, options.now);
      WriteEvents(db, world, params.origin, options.now);
      WriteSnapshots(db, world, options.now);
      // The loader reads SUMMARY and ACTLOG from a time on, and EVENTS likewise.
      db.Exec("CREATE INDEX SUMMARY_END_TIME ON SUMMARY (END_TIME)");
      db.Exec("CREATE INDEX ACTLOG_DATE_TIME ON ACTLOG (DATE_TIME)");
      db.Exec("CREATE INDEX EVENTS_SCHEDULED_START ON EVENTS (SCHEDULED_START)");
      db.Exec("COMMIT");
    }
    fs::rename(temporary, options.file);
  } catch (...) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw;
  }
}

SimTime AdvanceServerFile(const fs::path& file, int hours) {
  if (!fs::is_regular_file(file)) {
    throw RaisedError(kErrBadFile, "vltsim", file.string() + " does not exist");
  }
  SimDatabase db(file, SimDatabase::Mode::kUpdate);
  const SimParams params = LoadParams(db, file);
  const auto now_text = db.State("NOW");
  const std::optional<SimTime> old_now = now_text ? ParseTimestamp(*now_text) : std::nullopt;
  if (!old_now) throw RaisedError(kErrBadFile, "vltsim", file.string() + " has no current time");
  const SimTime now = *old_now + hours * kSecondsPerHour;
  db.Exec("BEGIN IMMEDIATE");
  const ServerWorld world(params, now);
  WriteHistory(db, world, *old_now, now);
  // Events that may have moved on since the last time: redo them from before the oldest one
  // that could still have been pending or running.
  const SimTime redo_from = std::max(params.origin, *old_now - kMaxActivitySpan);
  db.Exec("DELETE FROM EVENTS WHERE SCHEDULED_START >= '" + FormatTimestamp(redo_from) + "'");
  WriteEvents(db, world, redo_from, now);
  WriteSnapshots(db, world, now);
  db.SetState("NOW", FormatTimestamp(now));
  db.Exec("COMMIT");
  return now;
}

}  // namespace kelvan::vltsim
