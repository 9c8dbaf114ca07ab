#include "vtlog/jobs.h"

#include <cstdio>

void AddJobRecord(JobPairing& pairing, const ExecRecord& record) {
  std::vector<std::size_t>& open = pairing.open[record.job];
  if (record.code == kStartCode) {
    PairedJob run;
    run.job = record.job;
    run.hasStart = true;
    run.start = record;
    open.push_back(pairing.runs.size());
    pairing.runs.push_back(std::move(run));
    return;
  }
  const JobOutcome outcome = record.code == kSuccessCode ? JobOutcome::Success : JobOutcome::Failed;
  if (open.empty()) {
    PairedJob run;
    run.job = record.job;
    run.hasEnd = true;
    run.end = record;
    run.outcome = outcome == JobOutcome::Success ? JobOutcome::EndOnly : JobOutcome::Failed;
    pairing.runs.push_back(std::move(run));
    return;
  }
  // A job identifier used again by a later job: the end belongs to the newest.
  PairedJob& run = pairing.runs[open.back()];
  open.pop_back();
  run.hasEnd = true;
  run.end = record;
  run.outcome = outcome;
}

void FinishJobPairing(JobPairing& pairing) {
  std::map<std::u16string, std::size_t> lastStart;
  for (std::size_t i = 0; i < pairing.runs.size(); ++i) {
    if (pairing.runs[i].hasStart) lastStart[pairing.runs[i].job] = i;
  }
  for (auto& [job, open] : pairing.open) {
    // A later start of the identifier means this run will never end.
    for (std::size_t index : open) {
      pairing.runs[index].outcome = lastStart[job] > index ? JobOutcome::Lost : JobOutcome::Running;
    }
    open.clear();
  }
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

std::string OutcomeText(const PairedJob& run) {
  std::string text = OutcomeName(run.outcome);
  if (run.outcome == JobOutcome::Failed) text += " " + std::to_string(FailedResult(run));
  return text;
}

std::int64_t FailedResult(const PairedJob& run) {
  return -run.end.code;
}

bool JobDurationMs(const PairedJob& run, std::int64_t& ms) {
  if (!run.hasStart || !run.hasEnd) return false;
  ms = RecordTimeKey(run.end) - RecordTimeKey(run.start);
  return true;
}

std::string FormatDuration(std::int64_t ms) {
  // Negative when the local clock went back between the records.
  if (ms < 0) return "-" + FormatDuration(-ms);
  char buffer[48];
  const std::int64_t seconds = ms / 1000;
  std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld.%03lld",
                static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                static_cast<long long>(seconds % 60), static_cast<long long>(ms % 1000));
  return buffer;
}
