// Start and end records of the execution log paired into job runs. The
// pairing is streamed: a run is handed out as soon as its end record arrives,
// and only the runs still without an end are kept, so a log of any size costs
// memory in proportion to the jobs left open, not to the records read.
#pragma once

#include <climits>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "vtlog/log_read.h"

// Running and Lost are both a start without an end: Lost when a later start
// of the same job identifier shows that the run is over, or when it started
// longer ago than the pairing's limit (hung, or killed); Running otherwise,
// which is no failure.
enum class JobOutcome { Success, Failed, Running, Lost, EndOnly };

// Where a record was read: the log (or a rotated generation), a write-error
// or name-error file, which holds the records that missed it, or the per-job
// file "<job>_<process id>" that holds a running job's start in error-only
// mode.
enum class RecordOrigin { Log, ErrorFile, JobFile };

struct PairedJob {
  std::u16string job;
  bool hasStart = false;
  bool hasEnd = false;
  ExecRecord start;
  ExecRecord end;
  JobOutcome outcome = JobOutcome::Running;
  // No end and no later start of its identifier: the run may still be going
  // on, so it reaches into every time window from its start to now.
  bool open = false;
};

using JobFn = std::function<void(const PairedJob& run)>;

struct OpenJob {
  PairedJob run;
  std::uint64_t order = 0;  // of its start among all starts read
  bool laterStart = false;  // a later start of the same identifier was read
  // Its start is a 1284 of an error file, which may as well have been the
  // end of a run whose start is gone.
  bool startMayBeEnd = false;
  bool fromJobFile = false;  // the start was read from a per-job file
};

struct JobPairing {
  using OpenMap = std::map<std::u16string, std::vector<OpenJob>>;
  JobFn onRun;  // receives every run once, when it is settled
  // A run without an end whose start is earlier than this (RecordTimeKey)
  // is lost.
  std::int64_t lostBefore = INT64_MIN;
  // Per job identifier, the runs still without an end, oldest first.
  OpenMap open;
  std::uint64_t starts = 0;
  // Settled runs and emptied identifiers, kept for the next ones to reuse:
  // a million jobs cost no allocation each. Never more than were open at once.
  std::vector<OpenJob> spareRuns;
  std::vector<OpenMap::node_type> spareIdentifiers;
};

// Start records (101) open a run; any other record ends the newest open run
// of its job identifier, with success for 102 and failure otherwise, and
// hands it out; an end without an open run stands alone (its start was
// pruned or never written) and is handed out at once. In an error file a
// 1284 stands for a start or an end record that could not be written: it
// ends an open run, and otherwise opens one, which becomes a lone end again
// when nothing ends it. A log's start equal to the one a per-job file gave
// (error-only mode copies that line into the log before a failure's end) is
// the same start, not a second run.
void AddJobRecord(JobPairing& pairing, const ExecRecord& record,
                  RecordOrigin origin = RecordOrigin::Log);
// Settles and hands out the runs still open, in the order of their starts.
void FinishJobPairing(JobPairing& pairing);

// The runs of the logs in files (oldest first), with the records of the
// write-error and name-error files and the starts of the per-job files paired
// in by time, so that a job whose end missed the log ends there. jobs empty:
// every job. Only the runs still open are held, however large the logs.
struct JobSources {
  std::vector<LogFileRef> logs;          // generations oldest first, then the live log
  std::vector<LogFileRef> errorFiles;    // write-error and name-error files
  std::vector<std::u16string> jobFiles;  // per-job files "<job>_<process id>"
  bool empty() const { return logs.empty() && errorFiles.empty() && jobFiles.empty(); }
  std::size_t size() const { return logs.size() + errorFiles.size() + jobFiles.size(); }
};
// Returns how many logs and error files could not be opened.
std::size_t PairLogJobs(const JobSources& sources, const std::set<std::u16string>& jobs,
                        std::int64_t lostBefore, const JobFn& onRun, const ProblemFn& onProblem);

// Failed or lost: what a monitor alerts on. A run still going on within the
// lost-after bound is none.
bool RunFailed(const PairedJob& run);
// Whether the run belongs to the window [since, until] (RecordTimeKey): by
// its start, or, while it is still open, by any moment from its start to now.
bool RunInWindow(const PairedJob& run, std::optional<std::int64_t> since,
                 std::optional<std::int64_t> until);
// RecordTimeKey of the run's start, or of its end when it has none.
std::int64_t RunTimeKey(const PairedJob& run);

const char* OutcomeName(JobOutcome outcome);
// The result of a failed run, as the launcher returned it (below 1, while its
// end record holds the absolute value): operators read "failed -2911".
std::int64_t FailedResult(const PairedJob& run);
// Milliseconds from start to end; false without both records.
bool JobDurationMs(const PairedJob& run, std::int64_t& ms);
