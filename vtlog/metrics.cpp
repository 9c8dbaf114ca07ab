#include "vtlog/metrics.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/platform.h"
#include "platform/text.h"
#include "vtlog/check.h"
#include "vtlog/job_files.h"

namespace {

std::size_t FailureClass(const ExecRecord& end) {
  const std::u16string name = LowerAscii(end.className);
  for (std::size_t i = 0; i < 4; ++i) {
    if (name == plat::Widen(kFailureClasses[i])) return i;
  }
  return 2;  // an end record without a class of its own counts as an error
}

// Unix milliseconds of a local time key, by the local zone's offset now.
std::int64_t UnixMs(std::int64_t key) {
  const plat::WallClock now = plat::Now();
  return key - (NowTimeKey() - (now.seconds * 1000 + now.milliseconds));
}

void CountRun(ComponentMetrics& m, const PairedJob& run) {
  m.started += run.hasStart ? 1 : 0;
  switch (run.outcome) {
    case JobOutcome::Success:
    case JobOutcome::EndOnly:
      ++m.succeeded;
      m.lastSuccessMs = std::max(m.lastSuccessMs, UnixMs(RecordTimeKey(run.end)));
      break;
    case JobOutcome::Failed:
      ++m.failed[FailureClass(run.end)];
      break;
    case JobOutcome::Running:
      ++m.open;
      break;
    case JobOutcome::Lost:
      ++(run.open ? m.openTooLong : m.lost);
      break;
  }
}

void CountErrorFileRecords(ComponentMetrics& m, const std::vector<LogFileRef>& errorFiles) {
  for (const LogFileRef& ref : errorFiles) {
    std::int64_t& count =
        ref.kind == LogFileKind::NameError ? m.nameErrorRecords : m.writeErrorRecords;
    LogCursor cursor{ref.path};
    ReadLogRecords(
        cursor, true, [&](const ExecRecord&, std::int64_t, bool) { ++count; },
        [](const std::string&) {});
  }
}

void CountFindings(ComponentMetrics& m) {
  for (const Finding& f : RunCheck(m.component).findings) {
    m.checkErrors += f.severity == Severity::Error ? f.count : 0;
    m.checkWarnings += f.severity == Severity::Warning ? f.count : 0;
  }
}

struct Family {
  const char* name;
  const char* type;
  const char* help;
};

std::string Seconds(std::int64_t ms) {
  const std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
  return std::to_string(ms / 1000) + "." + fraction;
}

using Value =
    std::function<void(std::string& out, const std::string& labels, const ComponentMetrics& m)>;

Value Plain(std::int64_t ComponentMetrics::*field) {
  return [field](std::string& out, const std::string& labels, const ComponentMetrics& m) {
    out += labels + "} " + std::to_string(m.*field) + "\n";
  };
}

// Each family with its help, its type and how a component's samples are written.
const std::vector<std::pair<Family, Value>>& Families() {
  static const std::vector<std::pair<Family, Value>> kFamilies = {
      {{"vtlog_runs_started_total", "counter", "Runs whose start record the kept logs hold."},
       Plain(&ComponentMetrics::started)},
      {{"vtlog_runs_succeeded_total", "counter", "Runs that ended with success."},
       Plain(&ComponentMetrics::succeeded)},
      {{"vtlog_runs_failed_total", "counter",
        "Runs that ended with a failure, by the class of their end record."},
       [](std::string& out, const std::string& labels, const ComponentMetrics& m) {
         for (std::size_t i = 0; i < 4; ++i) {
           out += labels + ",class=\"" + kFailureClasses[i] + "\"} " + std::to_string(m.failed[i]) +
                  "\n";
         }
       }},
      {{"vtlog_runs_lost_total", "counter",
        "Runs without an end that a later start of their job identifier shows over."},
       Plain(&ComponentMetrics::lost)},
      {{"vtlog_runs_open", "gauge",
        "Runs without an end, open for less than the lost-after bound."},
       Plain(&ComponentMetrics::open)},
      {{"vtlog_runs_open_too_long", "gauge",
        "Runs without an end open for longer than the lost-after bound: hung or killed."},
       Plain(&ComponentMetrics::openTooLong)},
      {{"vtlog_error_file_records", "gauge",
        "Records in write-error and name-error files: records that missed the log."},
       [](std::string& out, const std::string& labels, const ComponentMetrics& m) {
         out += labels + ",file=\"write-error\"} " + std::to_string(m.writeErrorRecords) + "\n";
         out += labels + ",file=\"name-error\"} " + std::to_string(m.nameErrorRecords) + "\n";
       }},
      {{"vtlog_last_success_timestamp_seconds", "gauge",
        "Unix time of the end of the last successful run; absent when there is none."},
       [](std::string& out, const std::string& labels, const ComponentMetrics& m) {
         if (m.lastSuccessMs > 0) out += labels + "} " + Seconds(m.lastSuccessMs) + "\n";
       }},
      {{"vtlog_log_size_bytes", "gauge", "Size of the live log."},
       Plain(&ComponentMetrics::logBytes)},
      {{"vtlog_log_generations", "gauge", "Rotated generations of the log."},
       Plain(&ComponentMetrics::generations)},
      {{"vtlog_check_errors", "gauge",
        "Errors vtlog check finds: jobs fail or the log cannot rotate."},
       Plain(&ComponentMetrics::checkErrors)},
      {{"vtlog_check_warnings", "gauge", "Warnings vtlog check finds."},
       Plain(&ComponentMetrics::checkWarnings)},
  };
  return kFamilies;
}

}  // namespace

ComponentMetrics CollectMetrics(const std::u16string& component, std::int64_t lostAfterHours) {
  ComponentMetrics m;
  m.component = component;
  LogSettings settings;
  LoadComponentSettings(component, settings);
  const JobSources sources = ComponentJobSources(settings);
  PairLogJobs(
      sources, {}, NowTimeKey() - lostAfterHours * 3600000,
      [&](const PairedJob& run) { CountRun(m, run); }, [](const std::string&) {});
  CountErrorFileRecords(m, sources.errorFiles);
  plat::FileStatus log;
  if (plat::GetFileStatus(settings.logFilePath, log) && !log.isDirectory) m.logBytes = log.size;
  m.generations = static_cast<std::int64_t>(CountGenerations(settings));
  ReleaseLogSettings(settings);
  CountFindings(m);
  return m;
}

std::string MetricsText(const std::vector<ComponentMetrics>& components) {
  std::string out;
  for (const auto& [family, value] : Families()) {
    out += std::string("# HELP ") + family.name + " " + family.help + "\n# TYPE " + family.name +
           " " + family.type + "\n";
    for (const ComponentMetrics& m : components) {
      value(out, std::string(family.name) + "{component=\"" + plat::ToUtf8(m.component) + "\"", m);
    }
  }
  return out;
}

int RunMetrics(const MetricsOptions& options, VtlogOutput& output) {
  std::vector<ComponentMetrics> components;
  for (const std::u16string& component : options.components) {
    components.push_back(CollectMetrics(component, options.lostAfterHours));
  }
  const std::string text = MetricsText(components);
  if (options.outputFile.empty()) {
    output.out(text);
    return kExitOk;
  }
  const std::filesystem::path target = std::filesystem::u8path(options.outputFile);
  std::filesystem::path temporary = target;
  temporary += "." + std::to_string(plat::CurrentProcessId()) + ".tmp";
  std::error_code ec;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) ec = std::make_error_code(std::errc::io_error);
  }
  if (!ec) std::filesystem::rename(temporary, target, ec);
  if (!ec) return kExitOk;
  std::filesystem::remove(temporary, ec);
  output.err("vtlog: cannot write " + options.outputFile + "\n");
  return kExitUnknown;
}
