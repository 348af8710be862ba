// What the simulated server does hour by hour: the activities of its SUMMARY table, the
// messages of its activity log and the daily scheduled events. Each hour (and each node's
// scheduled run of a day) is a pure function of the server and that hour, so any span of
// history can be regenerated exactly; callers keep what falls into the span they write.
// Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vltsim/generator/civil_time.h"
#include "vltsim/generator/server_world.h"

namespace kelvan::vltsim {

// No activity (and no message of one) lasts longer than this after its hour began.
inline constexpr SimTime kMaxActivitySpan = 8 * kSecondsPerHour;

struct Activity {
  SimTime start = 0;
  SimTime end = 0;
  std::string activity;  // "BACKUP", "TAPE MOUNT", "MIGRATION", ...
  std::int64_t number = 0;
  std::string entity;
  std::string commmeth;  // empty for processes and mounts: no communication method
  std::string address;
  std::string schedule;
  std::int64_t examined = 0;
  std::int64_t affected = 0;
  std::int64_t failed = 0;
  std::optional<double> bytes;  // none for tape mounts and expiration
  std::int64_t idle = 0;
  std::int64_t mediaw = 0;
  std::int64_t processes = 1;
  bool successful = true;
  std::string volume;
  std::string drive;
  std::string library;
  std::string last_use;
  std::int64_t comm_wait = 0;
};

struct Message {
  SimTime time = 0;
  std::int64_t msgno = 0;
  char severity = 'I';  // I, W, E, S or D
  std::string text;
  bool from_client = false;
  std::string node;  // client messages only
  std::string owner;
  std::string schedule;
  std::string domain;
  std::optional<std::int64_t> session;
};

struct HourActivity {
  std::vector<Activity> activities;
  std::vector<Message> messages;
};

// Everything that starts in hour `hour` (SimTime / 3600), in the world's profile.
HourActivity GenerateHour(const ServerWorld& world, std::int64_t hour);

// A node's daily scheduled backup as the EVENTS table shows it at `now`.
struct ScheduledEvent {
  SimTime scheduled_start = 0;
  std::optional<SimTime> actual_start;
  std::optional<SimTime> completed;
  std::string status;  // "Pending", "Started", "Completed", "Failed", "Missed"
  std::optional<std::int64_t> result;
  std::string reason;
};
ScheduledEvent EventOf(const ServerWorld& world, int node, std::int64_t day, SimTime now);

}  // namespace kelvan::vltsim
