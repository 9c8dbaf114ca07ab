#include "vtlog/jobs_command.h"

#include <map>

#include "platform/text.h"
#include "vtlog/job_files.h"

namespace {

struct JobCounts {
  std::map<JobOutcome, std::int64_t> outcomes;
  std::int64_t total = 0;
  std::int64_t alerts = 0;
  std::int64_t success() { return outcomes[JobOutcome::Success] + outcomes[JobOutcome::EndOnly]; }
};

void WriteSummary(JobCounts& c, const JobsOptions& options, VtlogOutput& output) {
  if (options.format == OutputFormat::Json && options.summary) {
    std::string json;
    JsonLine summary(json);
    for (const auto& [name, value] : {std::pair{"jobs", c.total},
                                      {"success", c.success()},
                                      {"failed", c.outcomes[JobOutcome::Failed]},
                                      {"running", c.outcomes[JobOutcome::Running]},
                                      {"lost", c.outcomes[JobOutcome::Lost]}}) {
      JsonField(summary, name, value);
    }
    EndJson(summary);
    output.out(json);
    return;
  }
  const std::string text = std::to_string(c.total) + " jobs: " + std::to_string(c.success()) +
                           " success, " + std::to_string(c.outcomes[JobOutcome::Failed]) +
                           " failed, " + std::to_string(c.outcomes[JobOutcome::Running]) +
                           " running, " + std::to_string(c.outcomes[JobOutcome::Lost]) + " lost\n";
  options.format == OutputFormat::Text ? output.out(text) : output.err(text);
}

// The sources to read; empty (after saying why, or that error-only mode
// makes no log the healthy state) when there are none.
JobSources FindSources(const JobsOptions& options, VtlogOutput& output, bool& healthy) {
  JobSources sources;
  if (!options.file.empty()) {
    sources.logs.push_back({options.file, LogFileKind::Live});
    return sources;
  }
  LogSettings settings;
  LoadComponentSettings(options.component, settings);
  sources = ComponentJobSources(settings);
  healthy = sources.empty() && ErrorOnlyLogging(settings);
  if (sources.empty())
    output.err(std::string("vtlog: ") + (healthy ? kErrorOnlyNoLog : MissingLogCause(settings)) +
               "\n");
  ReleaseLogSettings(settings);
  return sources;
}

}  // namespace

int RunJobs(const JobsOptions& options, VtlogOutput& output) {
  bool healthy = false;
  const JobSources sources = FindSources(options, output, healthy);
  JobCounts counts;
  if (sources.empty() && !healthy) return kExitUnknown;
  bool trouble = false;
  const ProblemFn problem = [&](const std::string& message) {
    trouble = true;
    output.err("vtlog: " + message + "\n");
  };
  std::string line;
  if (options.format == OutputFormat::Csv) output.out(JobCsvHeader());
  const JobFn onRun = [&](const PairedJob& run) {
    if (!RunInWindow(run, options.since, options.until)) return;
    ++counts.total;
    ++counts.outcomes[run.outcome];
    counts.alerts += RunFailed(run) ? 1 : 0;
    if (options.failedOnly && !RunFailed(run)) return;
    line.clear();
    AppendJob(line, run, options.format, options.component);
    output.out(line);
  };
  const std::int64_t lostBefore = NowTimeKey() - options.lostAfterHours * 3600000;
  const std::size_t unopened = PairLogJobs(sources, options.jobs, lostBefore, onRun, problem);
  WriteSummary(counts, options, output);
  const std::size_t readable = sources.logs.size() + sources.errorFiles.size();
  if (readable > 0 && unopened == readable && sources.jobFiles.empty()) return kExitUnknown;
  return (options.failedOnly && counts.alerts > 0) || trouble ? kExitWarning : kExitOk;
}
