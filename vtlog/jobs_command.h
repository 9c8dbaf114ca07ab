// "vtlog jobs": the runs of a component's logs, listed and counted, with the
// exit code a monitor acts on.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "vtlog/output.h"

struct JobsOptions {
  std::u16string component = u"Orbeck";
  std::u16string file{};  // one file instead of the component's logs
  std::set<std::u16string> jobs{};
  std::optional<std::int64_t> since{};
  std::optional<std::int64_t> until{};
  std::int64_t lostAfterHours = 24;
  OutputFormat format = OutputFormat::Text;
  bool failedOnly = false;
  bool summary = false;  // with JSON: the summary as a last object
};

// A run without an end that started longer ago than this counts as lost.
inline constexpr std::int64_t kDefaultLostAfterHours = 24;

// kExitOk; kExitWarning for failed or lost runs with failedOnly, or for
// lines that could not be read; kExitUnknown when there is nothing to read
// (in error-only mode no log is the healthy state: kExitOk).
int RunJobs(const JobsOptions& options, VtlogOutput& output);
