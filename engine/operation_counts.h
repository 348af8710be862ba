// What one engine operation did to the rows, for the run record: the engine fills it during a
// call and the worker reads it after the call (LoadEngine::LastCallCounts). Plain value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kelvan::engine {

// The incremental copy's window checked after the copy: the source's rows from the starting
// date to the newest time copied against the destination's rows of the server in that window.
struct CountCheck {
  std::string from;  // "yyyy-mm-dd hh:mm:ss", both ends included
  std::string to;
  std::int64_t source_rows = 0;
  std::int64_t destination_rows = 0;
  bool Differs() const { return source_rows != destination_rows; }
};

struct OperationCounts {
  std::int64_t rows_read = 0;             // fetched from the source (or the destination rows read)
  std::int64_t rows_added = 0;            // written to the destination
  std::int64_t rows_deleted = 0;          // replaced by the overlap before the rows were added
  std::int64_t rows_pruned = 0;           // older than the cut-off, deleted
  std::int64_t values_unset = 0;          // source values the destination column could not hold
  std::optional<CountCheck> count_check;  // only when asked for and rows were copied

  OperationCounts& operator+=(const OperationCounts& other) {
    rows_read += other.rows_read;
    rows_added += other.rows_added;
    rows_deleted += other.rows_deleted;
    rows_pruned += other.rows_pruned;
    values_unset += other.values_unset;
    if (other.count_check) count_check = other.count_check;
    return *this;
  }
};

}  // namespace kelvan::engine
