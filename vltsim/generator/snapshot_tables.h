// The current state of the simulated server's capacity and configuration tables (every table
// but SUMMARY, EVENTS and ACTLOG). Capacities trend with the days since the history began, with
// a little day-to-day noise, so that daily loads make a history worth forecasting.
// Pure functions; thread-safe.
#pragma once

#include <vector>

#include "vltsim/generator/server_world.h"
#include "vltsim/generator/sim_row.h"

namespace kelvan::vltsim {

// The rows `SELECT * FROM table` shows at `now`, in the world's profile; table must be a
// snapshot table.
std::vector<SimRow> SnapshotRows(const ServerWorld& world, const SourceTable& table, SimTime now);

}  // namespace kelvan::vltsim
