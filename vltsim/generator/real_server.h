// Everything the real profile holds that the tidy one does not, in one place: nodes with
// foreign, overlong, punctuated or mis-encoded names, hours with counts past 32 bits, negative
// waits, idle processes between the sessions and messages in accented or broken text, and
// snapshot counts past 32 bits. Each choice depends only on what it changes (a node's index,
// an hour, a row's position), so `create` and `advance` make the same rows; timestamps are
// never touched. Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <vector>

#include "vltsim/generator/activity_stream.h"
#include "vltsim/generator/server_world.h"
#include "vltsim/generator/sim_row.h"

namespace kelvan::vltsim {

// Gives the odd nodes (indexes ending in 3 or 7) their real-world names, and the first of
// them its domain, schedule and address too.
void GiveRealLook(NodeInfo& node, int index);

// Adds one irregularity to the hour (SimTime / 3600), in a round of six hours so that every
// kind shows four times a day and in any twelve hours.
void RoughenHour(HourActivity& slot, std::int64_t hour);

// Puts counts past 32 bits into every eighth row of the tables that count files.
void RoughenSnapshot(const SourceTable& table, std::vector<SimRow>& rows);

}  // namespace kelvan::vltsim
