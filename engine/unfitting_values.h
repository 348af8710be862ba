// Whole numbers from a source that did not fit their destination columns and were left unset:
// the load goes on, and what was lost is named in the trace (the first few per column) and
// counted per table. One per operation run; used by the operation's thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "engine/trace_log.h"

namespace kelvan::engine {

class UnfittingValues {
 public:
  UnfittingValues(TraceLog& trace, std::string table) : trace_(trace), table_(std::move(table)) {}

  // Traces at level 1 the table, column and value, up to kLinesPerColumn per column.
  void Note(const std::string& column, std::int64_t value);
  // The level-1 count line of the table; nothing when every value fitted.
  void TraceCount() const;
  std::int64_t count() const { return count_; }

  static constexpr int kLinesPerColumn = 10;  // a column that never fits must not flood the log

 private:
  TraceLog& trace_;
  std::string table_;
  std::map<std::string, int> lines_per_column_;
  std::int64_t count_ = 0;
};

}  // namespace kelvan::engine
