#include "engine/unfitting_values.h"

namespace kelvan::engine {

void UnfittingValues::Note(const std::string& column, std::int64_t value) {
  ++count_;
  if (lines_per_column_[column]++ >= kLinesPerColumn) return;
  trace_.Write("Value " + std::to_string(value) + " of column " + column + " in table " + table_ +
                   " does not fit its destination column: left unset",
               1);
}

void UnfittingValues::TraceCount() const {
  if (count_ == 0) return;
  trace_.Write("Left " + std::to_string(count_) + " value(s) unset in " + table_ +
                   " that did not fit their destination columns",
               1);
}

}  // namespace kelvan::engine
