// The run record in the forms other programs read: a JSON summary, and Prometheus text
// exposition for the node exporter's textfile collector. Both describe every server of the
// list; the caller writes them with ReplaceFile. Stateless.
#pragma once

#include <string>

#include "console/core/run_record.h"

namespace kelvan::console {

// {"started", "seconds", "exit_status", "count_differences", "servers": [{"server", "result",
// "first_error", "seconds", "totals", "tables": [...], "stages": [...]}]}; each table or stage
// {"name", "rows_read", "rows_added", "rows_deleted", "rows_pruned", "values_unset",
// "retries", "seconds", "first_error", "given_up"[, "count_check"]}.
std::string SummaryJson(const RunRecord& record, int exit_status);

// kelvan_last_run_timestamp_seconds, kelvan_run_duration_seconds, kelvan_run_exit_status,
// kelvan_server_up{server}, kelvan_server_duration_seconds{server}, and per table or stage
// {server, stage, table} the rows (kelvan_rows_*_total), values left unset, retries, seconds,
// given up, and the count check's two sides.
std::string MetricsText(const RunRecord& record, int exit_status);

}  // namespace kelvan::console
