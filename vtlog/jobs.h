// Start and end records of the execution log paired into job runs. The
// pairing is streamed: a run is handed out as soon as its end record arrives,
// and only the runs still without an end are kept, so a log of any size costs
// memory in proportion to the jobs left open, not to the records read.
#pragma once

#include <climits>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "vtlog/log_read.h"

// Running and Lost are both a start without an end: Lost when a later start
// of the same job identifier shows that the run is over, or when it started
// longer ago than the pairing's limit; Running otherwise.
enum class JobOutcome { Success, Failed, Running, Lost, EndOnly };

// Where a record was read: the log (or a rotated generation), or a
// write-error or name-error file, which holds the records that missed it.
enum class RecordOrigin { Log, ErrorFile };

struct PairedJob {
  std::u16string job;
  bool hasStart = false;
  bool hasEnd = false;
  ExecRecord start;
  ExecRecord end;
  JobOutcome outcome = JobOutcome::Running;
};

using JobFn = std::function<void(const PairedJob& run)>;

struct OpenJob {
  PairedJob run;
  std::uint64_t order = 0;  // of its start among all starts read
  bool laterStart = false;  // a later start of the same identifier was read
  // Its start is a 1284 of an error file, which may as well have been the
  // end of a run whose start is gone.
  bool startMayBeEnd = false;
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
// when nothing ends it.
void AddJobRecord(JobPairing& pairing, const ExecRecord& record,
                  RecordOrigin origin = RecordOrigin::Log);
// Settles and hands out the runs still open, in the order of their starts.
void FinishJobPairing(JobPairing& pairing);

// The runs of the logs in files (oldest first), with the records of the
// write-error and name-error files paired in by time, so that a job whose end
// missed the log ends there. jobs empty: every job. Only the runs still open
// are held, however large the logs.
void PairLogJobs(const std::vector<LogFileRef>& files, const std::vector<LogFileRef>& errorFiles,
                 const std::set<std::u16string>& jobs, std::int64_t lostBefore, const JobFn& onRun,
                 const ProblemFn& onProblem);

// Failed, running or lost: what a monitor alerts on.
bool RunFailed(const PairedJob& run);
// RecordTimeKey of the run's start, or of its end when it has none.
std::int64_t RunTimeKey(const PairedJob& run);

const char* OutcomeName(JobOutcome outcome);
// The result of a failed run, as the launcher returned it (below 1, while its
// end record holds the absolute value): operators read "failed -2911".
std::int64_t FailedResult(const PairedJob& run);
// Milliseconds from start to end; false without both records.
bool JobDurationMs(const PairedJob& run, std::int64_t& ms);
