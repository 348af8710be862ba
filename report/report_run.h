// One report from start to end: connect to the destination, read every server's history, assess
// it and write the page. Never prints: the outcome says what happened. Main thread only (the
// charts).
#pragma once

#include <string>

#include "report/report_options.h"

namespace kelvan::report {

struct ReportOutcome {
  int status = 0;       // 0 written; 1 the destination could not be read or the page written
  std::string message;  // why not, without the password
};

ReportOutcome WriteReport(const ReportOptions& options);

}  // namespace kelvan::report
