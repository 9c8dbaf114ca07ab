#include "vtlog/jobs.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "execlog/codes.h"

namespace {

// The error file's 1284 that nothing ended was the end of a run whose start
// is gone: a failure on its own.
PairedJob AsLoneEnd(PairedJob run) {
  run.hasStart = false;
  run.hasEnd = true;
  run.end = std::move(run.start);
  run.start = ExecRecord();
  run.outcome = JobOutcome::Failed;
  return run;
}

// The open runs of the record's job identifier, made when there are none.
std::vector<OpenJob>& OpenRunsOf(JobPairing& pairing, const std::u16string& job) {
  auto found = pairing.open.find(job);
  if (found != pairing.open.end()) return found->second;
  if (pairing.spareIdentifiers.empty()) return pairing.open.try_emplace(job).first->second;
  JobPairing::OpenMap::node_type node = std::move(pairing.spareIdentifiers.back());
  pairing.spareIdentifiers.pop_back();
  node.key() = job;
  return pairing.open.insert(std::move(node)).position->second;
}

bool SameStart(const ExecRecord& a, const ExecRecord& b) {
  return a.timeKey == b.timeKey && a.commandLine == b.commandLine;
}

void OpenRun(JobPairing& pairing, const ExecRecord& record, RecordOrigin origin, bool fallback) {
  std::vector<OpenJob>& open = OpenRunsOf(pairing, record.job);
  for (const OpenJob& earlier : open) {
    if (earlier.fromJobFile && SameStart(earlier.run.start, record)) return;
  }
  // A new start settles an error file's 1284 that nothing ended.
  if (!open.empty() && open.front().startMayBeEnd) {
    pairing.onRun(AsLoneEnd(std::move(open.front().run)));
    open.erase(open.begin());
  }
  for (OpenJob& earlier : open) earlier.laterStart = true;
  if (pairing.spareRuns.empty()) {
    open.emplace_back();
  } else {
    open.push_back(std::move(pairing.spareRuns.back()));
    pairing.spareRuns.pop_back();
  }
  OpenJob& job = open.back();
  job.run.job = record.job;
  job.run.hasStart = true;
  job.run.hasEnd = false;
  job.run.start = record;
  job.run.outcome = JobOutcome::Running;
  job.run.open = false;
  job.order = pairing.starts++;
  job.laterStart = false;
  job.startMayBeEnd = fallback;
  job.fromJobFile = origin == RecordOrigin::JobFile;
}

}  // namespace

void AddJobRecord(JobPairing& pairing, const ExecRecord& record, RecordOrigin origin) {
  auto found = pairing.open.find(record.job);
  const bool fallback = origin == RecordOrigin::ErrorFile && record.code == kUnwrittenRecord;
  if (record.code == kStartRecord || (fallback && found == pairing.open.end())) {
    OpenRun(pairing, record, origin, fallback);
    return;
  }
  const JobOutcome outcome =
      record.code == kSuccessRecord ? JobOutcome::Success : JobOutcome::Failed;
  if (found == pairing.open.end()) {
    PairedJob run;
    run.job = record.job;
    run.hasEnd = true;
    run.end = record;
    run.outcome = outcome == JobOutcome::Success ? JobOutcome::EndOnly : JobOutcome::Failed;
    pairing.onRun(run);
    return;
  }
  // A job identifier used again by a later job: the end belongs to the newest.
  std::vector<OpenJob>& open = found->second;
  PairedJob& run = open.back().run;
  run.hasEnd = true;
  run.end = record;
  run.outcome = outcome;
  pairing.onRun(run);
  pairing.spareRuns.push_back(std::move(open.back()));
  open.pop_back();
  // Finished identifiers are not kept: memory stays with the open runs.
  if (open.empty()) pairing.spareIdentifiers.push_back(pairing.open.extract(found));
}

void FinishJobPairing(JobPairing& pairing) {
  std::vector<OpenJob*> left;
  for (auto& [job, open] : pairing.open) {
    for (OpenJob& entry : open) left.push_back(&entry);
  }
  std::sort(left.begin(), left.end(),
            [](const OpenJob* a, const OpenJob* b) { return a->order < b->order; });
  for (OpenJob* entry : left) {
    if (entry->startMayBeEnd) {
      pairing.onRun(AsLoneEnd(std::move(entry->run)));
      continue;
    }
    // A later start of the identifier means this run will never end; so
    // does an end that would have come long ago (it may also have gone where
    // no log is read, such as an error file removed since).
    entry->run.outcome = entry->laterStart || RecordTimeKey(entry->run.start) < pairing.lostBefore
                             ? JobOutcome::Lost
                             : JobOutcome::Running;
    entry->run.open = !entry->laterStart;
    pairing.onRun(entry->run);
  }
  pairing.open.clear();
}

namespace {

using MissedRecords = std::vector<std::pair<std::int64_t, ExecRecord>>;

// The records that missed the log, which are few, in the order of their times.
MissedRecords ReadMissed(const JobSources& sources, const std::set<std::u16string>& jobs,
                         const ProblemFn& onProblem, std::size_t& unopened) {
  MissedRecords missed;
  const auto wanted = [&](const ExecRecord& record) {
    return jobs.empty() || jobs.contains(record.job);
  };
  for (const LogFileRef& ref : sources.errorFiles) {
    LogCursor cursor{ref.path};
    const bool opened = ReadLogRecords(
        cursor, true,
        [&](const ExecRecord& record, std::int64_t, bool) {
          if (wanted(record)) missed.emplace_back(RecordTimeKey(record), record);
        },
        onProblem);
    unopened += opened ? 0 : 1;
  }
  std::stable_sort(missed.begin(), missed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  return missed;
}

// The start line of each per-job file whose name holds that start's job
// identifier. A file that went away meanwhile (its job ended) or holds no
// start yet says nothing.
MissedRecords ReadJobFileStarts(const JobSources& sources, const std::set<std::u16string>& jobs) {
  MissedRecords starts;
  for (const std::u16string& path : sources.jobFiles) {
    LogCursor cursor{path};
    bool first = true;
    ReadLogRecords(
        cursor, true,
        [&](const ExecRecord& record, std::int64_t, bool) {
          const bool named = SplitFileName(path).starts_with(record.job + u"_");
          if (std::exchange(first, false) && record.code == kStartRecord && named &&
              (jobs.empty() || jobs.contains(record.job))) {
            starts.emplace_back(RecordTimeKey(record), record);
          }
        },
        [](const std::string&) {});
  }
  std::stable_sort(starts.begin(), starts.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  return starts;
}

}  // namespace

std::size_t PairLogJobs(const JobSources& sources, const std::set<std::u16string>& jobs,
                        std::int64_t lostBefore, const JobFn& onRun, const ProblemFn& onProblem) {
  std::size_t unopened = 0;
  const MissedRecords missed = ReadMissed(sources, jobs, onProblem, unopened);
  const MissedRecords started = ReadJobFileStarts(sources, jobs);
  JobPairing pairing;
  pairing.onRun = onRun;
  pairing.lostBefore = lostBefore;
  std::size_t next = 0, nextStart = 0;
  const auto pairMissed = [&](std::int64_t upTo) {
    for (; nextStart < started.size() && started[nextStart].first <= upTo; ++nextStart) {
      AddJobRecord(pairing, started[nextStart].second, RecordOrigin::JobFile);
    }
    for (; next < missed.size() && missed[next].first <= upTo; ++next) {
      AddJobRecord(pairing, missed[next].second, RecordOrigin::ErrorFile);
    }
  };
  for (const LogFileRef& ref : sources.logs) {
    LogCursor cursor{ref.path};
    const bool opened = ReadLogRecords(
        cursor, true,
        [&](const ExecRecord& record, std::int64_t, bool) {
          if (!jobs.empty() && !jobs.contains(record.job)) return;
          if (next < missed.size() || nextStart < started.size()) pairMissed(RecordTimeKey(record));
          AddJobRecord(pairing, record);
        },
        onProblem);
    unopened += opened ? 0 : 1;
  }
  pairMissed(INT64_MAX);
  FinishJobPairing(pairing);
  return unopened;
}

bool RunFailed(const PairedJob& run) {
  return run.outcome == JobOutcome::Failed || run.outcome == JobOutcome::Lost;
}

bool RunInWindow(const PairedJob& run, std::optional<std::int64_t> since,
                 std::optional<std::int64_t> until) {
  const std::int64_t key = RunTimeKey(run);
  if (until && key > *until) return false;
  return !since || key >= *since || run.open;
}

std::int64_t RunTimeKey(const PairedJob& run) {
  return RecordTimeKey(run.hasStart ? run.start : run.end);
}

const char* OutcomeName(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::Success:
      return "success";
    case JobOutcome::Failed:
      return "failed";
    case JobOutcome::Running:
      return "running";
    case JobOutcome::Lost:
      return "lost";
    case JobOutcome::EndOnly:
      return "success (no start)";
  }
  return "";
}

std::int64_t FailedResult(const PairedJob& run) {
  return -run.end.code;
}

bool JobDurationMs(const PairedJob& run, std::int64_t& ms) {
  if (!run.hasStart || !run.hasEnd) return false;
  ms = RecordTimeKey(run.end) - RecordTimeKey(run.start);
  return true;
}
