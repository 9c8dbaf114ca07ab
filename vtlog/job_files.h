// Where a component's runs are read from: its log and generations, the
// write-error and name-error files, and in error-only mode the per-job files
// that hold the starts of the jobs running now.
#pragma once

#include <string>
#include <vector>

#include "execlog/log_settings.h"
#include "vtlog/jobs.h"

// The per-job files "<job>_<process id>" of the output directory.
std::vector<std::u16string> JobFiles(const LogSettings& settings);
JobSources ComponentJobSources(const LogSettings& settings);
// Error-only mode ("runtime.output.errcodeonly=1") of an active component
// whose output directory exists: no log only means that no job has failed.
bool ErrorOnlyLogging(const LogSettings& settings);
// The sentence that says so.
inline constexpr char kErrorOnlyNoLog[] =
    "error-only mode (runtime.output.errcodeonly=1): no log, so no job has failed";
