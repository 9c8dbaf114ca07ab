#include "vtlog/vtlog.h"

#include <algorithm>
#include <climits>
#include <map>
#include <set>

#include "platform/text.h"
#include "vtlog/check.h"
#include "vtlog/jobs.h"
#include "vtlog/rotate_plan.h"
#include "vtlog/show.h"

namespace {

constexpr char kUsage[] =
    "usage: vtlog show   [--component NAME] [--job ID] [--class information|warning|error|"
    "othererror]\n"
    "                    [--since TIME] [--until TIME] [--file PATH] [--format text|csv|json]\n"
    "                    [--error-files] [--follow]\n"
    "       vtlog jobs   [--component NAME] [--file PATH] [--job ID] [--failed] "
    "[--lost-after HOURS]\n"
    "                    [--format text|json]\n"
    "       vtlog check  [--component NAME] [--format text|json]\n"
    "       vtlog rotate --dry-run [--component NAME] [--format text|json]\n"
    "TIME: YYYY/MM/DD or YYYY-MM-DD, optionally followed by HH:MM[:SS[.mmm]]\n";

struct Args {
  std::string command;
  std::map<std::string, std::string> values;
  std::set<std::string> flags;
};

const std::set<std::string> kValueOptions = {"--component", "--job",  "--class",  "--since",
                                             "--until",     "--file", "--format", "--lost-after"};
const std::map<std::string, std::set<std::string>> kAllowed = {
    {"show",
     {"--component", "--job", "--class", "--since", "--until", "--file", "--format",
      "--error-files", "--follow"}},
    {"jobs", {"--component", "--file", "--job", "--failed", "--format", "--lost-after"}},
    {"check", {"--component", "--format"}},
    {"rotate", {"--component", "--format", "--dry-run"}},
};

int Usage(VtlogOutput& output, const std::string& message) {
  output.err("vtlog: " + message + "\n" + kUsage);
  return 2;
}

// False (after a message) on anything the command does not take.
bool ParseArgs(const std::vector<std::string>& raw, Args& args, VtlogOutput& output) {
  if (raw.empty()) return Usage(output, "no subcommand"), false;
  args.command = raw[0];
  const auto allowed = kAllowed.find(args.command);
  if (allowed == kAllowed.end()) return Usage(output, "unknown subcommand " + raw[0]), false;
  for (std::size_t i = 1; i < raw.size(); ++i) {
    std::string name = raw[i];
    std::string value;
    bool hasValue = false;
    if (const std::size_t eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    if (!allowed->second.contains(name)) {
      return Usage(output, args.command + " does not take " + raw[i]), false;
    }
    if (!kValueOptions.contains(name)) {
      args.flags.insert(name);
      continue;
    }
    if (!hasValue) {
      if (i + 1 >= raw.size()) return Usage(output, name + " needs a value"), false;
      value = raw[++i];
    }
    args.values[name] = value;
  }
  return true;
}

std::string Value(const Args& args, const std::string& name, const std::string& def = "") {
  const auto it = args.values.find(name);
  return it == args.values.end() ? def : it->second;
}

bool ParseFormat(const Args& args, bool csv, OutputFormat& format, VtlogOutput& output) {
  const std::string text = Value(args, "--format", "text");
  if (text == "text") {
    format = OutputFormat::Text;
  } else if (text == "json") {
    format = OutputFormat::Json;
  } else if (text == "csv" && csv) {
    format = OutputFormat::Csv;
  } else {
    return Usage(output, "unknown format " + text), false;
  }
  return true;
}

// A run without an end that started longer ago than this counts as lost.
constexpr std::int64_t kDefaultLostAfterHours = 24;

// Whole hours, at most ten years of them.
bool ParseHours(const std::string& text, std::int64_t& hours) {
  if (text.empty() || text.size() > 6) return false;
  hours = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    hours = hours * 10 + (c - '0');
  }
  return hours <= 24L * 366 * 10;
}

std::string TimeText(const ExecRecord& record) {
  return plat::ToUtf8(record.date) + " " + plat::ToUtf8(record.time);
}

int RunJobs(const Args& args, VtlogOutput& output) {
  OutputFormat format = OutputFormat::Text;
  if (!ParseFormat(args, false, format, output)) return 2;
  LogSettings settings;
  if (!LoadComponentSettings(plat::FromUtf8(Value(args, "--component", "Orbeck")), settings)) {
    return Usage(output, "unknown component " + Value(args, "--component"));
  }
  std::int64_t lostAfterHours = kDefaultLostAfterHours;
  if (args.values.contains("--lost-after") &&
      !ParseHours(Value(args, "--lost-after"), lostAfterHours)) {
    ReleaseLogSettings(settings);
    return Usage(output, "--lost-after needs a whole number of hours");
  }
  std::vector<LogFileRef> files;
  std::vector<LogFileRef> errorFiles;
  const std::u16string file = plat::FromUtf8(Value(args, "--file"));
  if (!file.empty()) {
    files.push_back({file, LogFileKind::Live});
  } else {
    files = LogGenerations(settings);
    errorFiles = ErrorFiles(settings);
  }
  ReleaseLogSettings(settings);
  bool trouble = false;
  const ProblemFn problem = [&](const std::string& message) {
    trouble = true;
    output.err("vtlog: " + message + "\n");
  };
  const std::u16string job = plat::FromUtf8(Value(args, "--job"));
  const auto wanted = [&](const ExecRecord& record) { return job.empty() || record.job == job; };

  // Records that missed the log (few) are paired in by time, so that a job
  // whose end went to a write-error file ends there instead of running on.
  struct Missed {
    ExecRecord record;
    std::int64_t key = 0;
  };
  std::vector<Missed> missed;
  for (const LogFileRef& ref : errorFiles) {
    LogCursor cursor{ref.path};
    ReadLogRecords(
        cursor, true,
        [&](const ExecRecord& record, std::int64_t, bool) {
          if (wanted(record)) missed.push_back({record, RecordTimeKey(record)});
        },
        problem);
  }
  std::stable_sort(missed.begin(), missed.end(),
                   [](const Missed& a, const Missed& b) { return a.key < b.key; });
  std::map<JobOutcome, std::int64_t> counts;
  std::int64_t total = 0;
  const bool failedOnly = args.flags.contains("--failed");
  JobPairing pairing;
  pairing.lostBefore = NowTimeKey() - lostAfterHours * 3600000;
  // Each run is printed as soon as it is settled, so nothing but the open
  // runs is held, however large the logs.
  pairing.onRun = [&](const PairedJob& run) {
    ++total;
    ++counts[run.outcome];
    const bool failed = run.outcome != JobOutcome::Success && run.outcome != JobOutcome::EndOnly;
    if (failedOnly && !failed) return;
    std::int64_t ms = 0;
    const bool timed = JobDurationMs(run, ms);
    const ExecRecord& first = run.hasStart ? run.start : run.end;
    const bool failedRun = run.outcome == JobOutcome::Failed;
    if (format == OutputFormat::Json) {
      output.out("{\"job\":" + JsonString(run.job) +
                 ",\"start\":" + (run.hasStart ? JsonString(TimeText(run.start)) : "null") +
                 ",\"end\":" + (run.hasEnd ? JsonString(TimeText(run.end)) : "null") +
                 ",\"durationMs\":" + (timed ? std::to_string(ms) : "null") +
                 ",\"outcome\":" + JsonString(std::string_view(OutcomeName(run.outcome))) +
                 ",\"result\":" + (failedRun ? std::to_string(FailedResult(run)) : "null") +
                 ",\"commandLine\":" + JsonString(first.commandLine) + "}\n");
    } else {
      output.out(plat::ToUtf8(run.job) + "  " + (run.hasStart ? TimeText(run.start) : "-") + "  " +
                 (run.hasEnd ? TimeText(run.end) : "-") + "  " +
                 (timed ? FormatDuration(ms) : "-") + "  " + OutcomeText(run) + "  " +
                 plat::ToUtf8(first.commandLine) + "\n");
    }
  };
  std::size_t nextMissed = 0;
  const auto pairMissed = [&](std::int64_t upTo) {
    for (; nextMissed < missed.size() && missed[nextMissed].key <= upTo; ++nextMissed) {
      AddJobRecord(pairing, missed[nextMissed].record, RecordOrigin::ErrorFile);
    }
  };
  for (const LogFileRef& ref : files) {
    LogCursor cursor{ref.path};
    ReadLogRecords(
        cursor, true,
        [&](const ExecRecord& record, std::int64_t, bool) {
          if (!wanted(record)) return;
          pairMissed(RecordTimeKey(record));
          AddJobRecord(pairing, record);
        },
        problem);
  }
  pairMissed(INT64_MAX);
  FinishJobPairing(pairing);

  const std::int64_t success = counts[JobOutcome::Success] + counts[JobOutcome::EndOnly];
  if (format == OutputFormat::Json) {
    output.out("{\"summary\":{\"jobs\":" + std::to_string(total) +
               ",\"success\":" + std::to_string(success) +
               ",\"failed\":" + std::to_string(counts[JobOutcome::Failed]) +
               ",\"running\":" + std::to_string(counts[JobOutcome::Running]) +
               ",\"lost\":" + std::to_string(counts[JobOutcome::Lost]) + "}}\n");
  } else {
    output.out(std::to_string(total) + " jobs: " + std::to_string(success) + " success, " +
               std::to_string(counts[JobOutcome::Failed]) + " failed, " +
               std::to_string(counts[JobOutcome::Running]) + " running, " +
               std::to_string(counts[JobOutcome::Lost]) + " lost\n");
  }
  return trouble ? 1 : 0;
}

std::string FindingText(const Finding& f) {
  std::string where = plat::ToUtf8(f.file);
  if (f.line > 0) where += ":" + std::to_string(f.line);
  return std::string(SeverityName(f.severity)) + ": " + where + ": " + f.kind + ": " + f.message +
         "; " + f.effect;
}

int RunCheckCommand(const Args& args, VtlogOutput& output) {
  OutputFormat format = OutputFormat::Text;
  if (!ParseFormat(args, false, format, output)) return 2;
  const std::u16string component =
      CanonicalComponentName(plat::FromUtf8(Value(args, "--component", "Orbeck")));
  if (component.empty()) return Usage(output, "unknown component " + Value(args, "--component"));
  const CheckReport report = RunCheck(component);
  const int code = CheckExitCode(report.findings);
  if (format == OutputFormat::Json) {
    std::string json = "{\"component\":" + JsonString(component) + ",\"items\":[";
    for (std::size_t i = 0; i < report.items.size(); ++i) {
      const ConfigItem& item = report.items[i];
      json += std::string(i == 0 ? "" : ",") + "{\"group\":" + JsonString(item.group) +
              ",\"name\":" + JsonString(item.name) + ",\"value\":" + JsonString(item.value) +
              ",\"source\":" + JsonString(item.source) + "}";
    }
    json += "],\"findings\":[";
    for (std::size_t i = 0; i < report.findings.size(); ++i) {
      const Finding& f = report.findings[i];
      json += std::string(i == 0 ? "" : ",") +
              "{\"severity\":" + JsonString(std::string_view(SeverityName(f.severity))) +
              ",\"file\":" + JsonString(f.file) + ",\"line\":" + std::to_string(f.line) +
              ",\"kind\":" + JsonString(f.kind) + ",\"message\":" + JsonString(f.message) +
              ",\"effect\":" + JsonString(f.effect) + "}";
    }
    output.out(json + "],\"exitCode\":" + std::to_string(code) + "}\n");
    return code;
  }
  std::string group;
  for (const ConfigItem& item : report.items) {
    if (item.group != group) {
      group = item.group;
      output.out(group + "\n");
    }
    output.out("  " + item.name + " = " + plat::ToUtf8(item.value) +
               (item.source.empty() ? "" : "  (" + item.source + ")") + "\n");
  }
  int errors = 0, warnings = 0;
  output.out("findings\n");
  for (const Finding& f : report.findings) {
    errors += f.severity == Severity::Error ? 1 : 0;
    warnings += f.severity == Severity::Warning ? 1 : 0;
    output.out("  " + FindingText(f) + "\n");
  }
  output.out(std::to_string(errors) + " errors, " + std::to_string(warnings) + " warnings\n");
  return code;
}

int RunRotate(const Args& args, VtlogOutput& output) {
  if (!args.flags.contains("--dry-run")) {
    return Usage(output, "rotate only runs with --dry-run: vtlog never moves a log");
  }
  OutputFormat format = OutputFormat::Text;
  if (!ParseFormat(args, false, format, output)) return 2;
  LogSettings settings;
  if (!LoadComponentSettings(plat::FromUtf8(Value(args, "--component", "Orbeck")), settings)) {
    return Usage(output, "unknown component " + Value(args, "--component"));
  }
  const RotationPlan plan = PlanRotation(settings);
  output.out(format == OutputFormat::Json ? RotationPlanJson(plan, settings)
                                          : RotationPlanText(plan, settings));
  ReleaseLogSettings(settings);
  return 0;
}

int RunShowCommand(const Args& args, VtlogOutput& output) {
  ShowOptions options;
  if (!ParseFormat(args, true, options.format, output)) return 2;
  options.component = plat::FromUtf8(Value(args, "--component", "Orbeck"));
  options.file = plat::FromUtf8(Value(args, "--file"));
  options.filter.job = plat::FromUtf8(Value(args, "--job"));
  options.filter.className = LowerAscii(plat::FromUtf8(Value(args, "--class")));
  const std::set<std::u16string> classes = {u"", u"information", u"warning", u"error",
                                            u"othererror"};
  if (!classes.contains(options.filter.className)) {
    return Usage(output, "unknown class " + Value(args, "--class"));
  }
  for (const char* name : {"--since", "--until"}) {
    if (!args.values.contains(name)) continue;
    std::int64_t key = 0;
    if (!ParseTimeArgument(Value(args, name), std::string(name) == "--until", key)) {
      return Usage(output, "cannot read the time " + Value(args, name));
    }
    (std::string(name) == "--since" ? options.filter.since : options.filter.until) = key;
  }
  options.follow = args.flags.contains("--follow");
  options.errorFiles = args.flags.contains("--error-files");
  return RunShow(options, output);
}

}  // namespace

int RunVtlog(const std::vector<std::string>& raw, VtlogOutput& output) {
  if (!raw.empty() && (raw[0] == "--help" || raw[0] == "-h" || raw[0] == "help")) {
    output.out(kUsage);
    return 0;
  }
  Args args;
  if (!ParseArgs(raw, args, output)) return 2;
  if (args.command == "show") return RunShowCommand(args, output);
  if (args.command == "jobs") return RunJobs(args, output);
  if (args.command == "check") return RunCheckCommand(args, output);
  return RunRotate(args, output);
}
