#include "worker/forecast_tables.h"

namespace kelvan::worker {

const std::array<ForecastTable, kForecastTableCount>& ForecastTables() {
  static const std::array<ForecastTable, kForecastTableCount> tables = {{
      {0x0001,
       "DB",
       {"EXTRACT_DATE"},
       {"AVAIL_SPACE_MB", "CAPACITY_MB", "MAX_EXTENSION_MB", "MAX_REDUCTION_MB", "PCT_UTILIZED",
        "MAX_PCT_UTILIZED", "PHYSICAL_VOLUMES", "CACHE_HIT_PCT", "CACHE_WAIT_PCT"},
       {"EXTRACT_DATE"},
       {"DAYS_TO_FORECAST"}},
      {0x0002,
       "FILESPACES",
       {"NODE_NAME", "FILESPACE_NAME", "EXTRACT_DATE"},
       {"CAPACITY", "PCT_UTIL"},
       {"NODE_NAME", "FILESPACE_NAME", "EXTRACT_DATE"},
       {"NODE_NAME", "FILESPACE_NAME", "DAYS_TO_FORECAST"}},
      {0x0004,
       "LOG",
       {"EXTRACT_DATE"},
       {"AVAIL_SPACE_MB", "CAPACITY_MB", "MAX_EXTENSION_MB", "MAX_REDUCTION_MB", "PCT_UTILIZED",
        "MAX_PCT_UTILIZED", "PHYSICAL_VOLUMES"},
       {"EXTRACT_DATE"},
       {"DAYS_TO_FORECAST"}},
      {0x0008,
       "STGPOOLS",
       {"STGPOOL_NAME", "EXTRACT_DATE"},
       {"EST_CAPACITY_MB", "PCT_UTILIZED", "PCT_MIGR", "PCT_LOGICAL", "MAXSCRATCH", "MIGR_MB",
        "MIGR_SECONDS"},
       {"STGPOOL_NAME", "EXTRACT_DATE"},
       {"STGPOOL_NAME", "DAYS_TO_FORECAST"}},
      {0x0010,
       "LIBVOLUMES",
       {"LIBRARY_NAME", "STATUS", "EXTRACT_DATE"},
       {"VOLCOUNT"},
       {"LIBRARY_NAME", "STATUS", "EXTRACT_DATE"},
       {"LIBRARY_NAME", "STATUS", "DAYS_TO_FORECAST"}},
      {0x0020, "NODES", {"EXTRACT_DATE"}, {"NODE_COUNT"}, {"EXTRACT_DATE"}, {"DAYS_TO_FORECAST"}},
      // SIMUL_ACTIVITY holds one row per session or tape-mount event (EXT_SERVER_NAME,
      // PSEUDO_INDEX, EXTRACT_DATE, ACTIVITY, ENTITY, SUBACTIVITY, START_STOP, ACTIVITY_TIME and
      // the three counts). The engine groups rows by key only for FILESPACES, OCCUPANCY,
      // STGPOOLS and LIBVOLUMES, so any ACTIVITY or ENTITY key here would label a whole day's
      // single group with its first row's values. The lists therefore name the extraction date
      // alone, as for DB, LOG and NODES: one series per server and day. TM_COUNT is no column of
      // SIMUL_ACTIVITY: the engine counts it, as the day's peak of simultaneous tape mounts. The
      // console never sets this table's bit.
      {0x0040,
       "SIMUL_ACTIVITY",
       {"EXTRACT_DATE"},
       {"TM_COUNT"},
       {"EXTRACT_DATE"},
       {"DAYS_TO_FORECAST"}},
      {0x0080,
       "OCCUPANCY",
       {"NODE_NAME", "TYPE", "FILESPACE_NAME", "STGPOOL_NAME", "EXTRACT_DATE"},
       {"LOGICAL_MB", "PHYSICAL_MB", "NUM_FILES"},
       {"NODE_NAME", "TYPE", "FILESPACE_NAME", "STGPOOL_NAME", "EXTRACT_DATE"},
       // Begins with DAYS_TO_FORECAST, unlike the others.
       {"DAYS_TO_FORECAST", "NODE_NAME", "TYPE", "FILESPACE_NAME", "STGPOOL_NAME"}},
  }};
  return tables;
}

}  // namespace kelvan::worker
