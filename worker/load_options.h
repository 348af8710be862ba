// LoadOptions: the options of a run that every server's load gets unchanged — what the console
// assembles from its settings and StartELVAN hands to the load sequence. Header only, so that
// the console's core can fill it without linking the worker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/basic/bool16.h"

namespace kelvan::worker {

// Flags count as set only when they are -1.
struct LoadOptions {
  // Table names in copy order: element 0 is the caller's element at its lowest index (1, or 0
  // for the single empty element of an empty table list). Empty names are skipped.
  std::vector<std::string> tables;
  std::string log_file_name;  // the engine's trace file; the retry texts are appended to it
  std::int16_t trace_level = 0;
  Bool16 prune_records = kFalse16;
  std::int16_t prune_records_beyond_days = 0;
  std::string severity_string;
  Bool16 multiple_data_sets_per_day = kFalse16;
  std::string database_type;
  std::int16_t forecast_setup_code = 0;
  std::int16_t forecast_number_of_days = 0;
  std::int16_t forecast_size_of_sample_set = 0;
  Bool16 generate_summary_hour = kFalse16;
  Bool16 generate_simul_activity = kFalse16;
  Bool16 activate_forecasting = kFalse16;
  Bool16 load_error_tables = kFalse16;
  // Not one of StartELVAN's arguments (the worker's CheckCounts property): each incremental
  // copy's window is counted on both sides afterwards, a difference written to the log file.
  bool check_counts = false;
};

}  // namespace kelvan::worker
