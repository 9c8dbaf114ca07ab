#include "vtlog/vtlog.h"

#include <climits>
#include <map>
#include <set>

#include "platform/text.h"
#include "version.h"
#include "vtlog/check.h"
#include "vtlog/job_files.h"
#include "vtlog/jobs_command.h"
#include "vtlog/metrics.h"
#include "vtlog/rotate_plan.h"
#include "vtlog/rotation_check.h"
#include "vtlog/show.h"

namespace {

constexpr char kExitCodes[] =
    "Exit codes: 0 nothing wrong (also no log in error-only mode); 1 warning (jobs/show\n"
    "--failed: failed or lost runs found; check, rotate --dry-run: warnings; lines that could\n"
    "not be read); 2 critical (check, rotate --dry-run: errors); 3 unknown (no log, nothing\n"
    "readable, wrong usage).\n";

constexpr char kTimes[] =
    "TIME: YYYY-MM-DD or YYYY/MM/DD, optionally with T or a blank and HH:MM[:SS[.mmm]] and a\n"
    "zone (Z, +01:00; none: local time); now, today, yesterday; or back from now: -90s,\n"
    "-15m, -1h, -2d, -1w.\n";

struct Command {
  const char* name;
  const char* synopsis;
  const char* help;
  std::set<std::string> values;  // options with a value
  std::set<std::string> flags;
};

const std::vector<Command>& Commands() {
  static const std::vector<Command> kCommands = {
      {"show",
       "vtlog show   [--component NAME] [--job ID]... [--class CLASS] [--failed]\n"
       "             [--since TIME] [--until TIME] [--lines N] [--file PATH]\n"
       "             [--format text|csv|json] [--error-files] [--follow] [--cursor-file PATH]\n",
       "The records of the component's log (default Orbeck): rotated generations oldest\n"
       "first, then the live log. --job may be repeated. --class is information, warning,\n"
       "error or othererror; --failed keeps the records that report a failure result.\n"
       "--lines N: the last N records. --error-files merges in the write-error and\n"
       "name-error files. --follow prints new records as they come, across rotations,\n"
       "starting with the last 10. --cursor-file remembers where the output stopped and\n"
       "resumes after it, across rotations and restarts.\n",
       {"--component", "--job", "--class", "--since", "--until", "--lines", "--file", "--format",
        "--cursor-file"},
       {"--error-files", "--follow", "--failed"}},
      {"jobs",
       "vtlog jobs   [--component NAME] [--job ID]... [--failed] [--since TIME] [--until TIME]\n"
       "             [--lost-after HOURS] [--file PATH] [--format text|csv|json] [--summary]\n",
       "Start and end records paired into runs, with the write-error and name-error files\n"
       "and, in error-only mode, the per-job files of the jobs running now. --failed lists\n"
       "failed and lost runs (no end, and a later start of the job or open longer than\n"
       "--lost-after, default 24); a run still open within it is no failure.\n"
       "--since/--until select runs by their start; a run still open reaches every window\n"
       "from its start to now. With csv or json the summary goes to standard error, or\n"
       "with --summary as a last JSON object.\n",
       {"--component", "--job", "--since", "--until", "--lost-after", "--file", "--format"},
       {"--failed", "--summary"}},
      {"check",
       "vtlog check  [--component NAME] [--format text|json]\n",
       "The configuration as the launcher sees it, and what in it makes jobs fail or\n"
       "hang: both settings files, the engine, the log directories, the log file itself,\n"
       "the rotation lock, write-error files, message boxes in unattended jobs.\n",
       {"--component", "--format"},
       {}},
      {"metrics",
       "vtlog metrics [--component NAME]... [--lost-after HOURS] [--output PATH]\n",
       "The runs, error files, log size and generations and the check's findings of each\n"
       "component (default Orbeck) in the Prometheus text format, for node_exporter's\n"
       "textfile collector: --output writes PATH.<pid>.tmp and renames it over PATH.\n",
       {"--component", "--lost-after", "--output"},
       {}},
      {"rotate",
       "vtlog rotate --dry-run [--component NAME] [--format text|json]\n",
       "What a rotation of the component would do now, and what would stop it (exit\n"
       "codes as for check); touches nothing.\n",
       {"--component", "--format"},
       {"--dry-run"}},
  };
  return kCommands;
}

std::string UsageText() {
  std::string text = "usage: vtlog COMMAND [OPTIONS]    (vtlog COMMAND --help; vtlog --version)\n";
  for (const Command& c : Commands()) text += c.synopsis;
  return text + kTimes + kExitCodes;
}

struct Args {
  std::string command;
  std::map<std::string, std::vector<std::string>> values;
  std::set<std::string> flags;
};

int Usage(VtlogOutput& output, const std::string& message) {
  output.err("vtlog: " + message + "\n" + UsageText());
  return kExitUnknown;
}

bool IsHelp(const std::string& arg) {
  return arg == "--help" || arg == "-h" || arg == "/?" || arg == "help";
}

// False (after a message) on anything the command does not take.
bool ParseArgs(const std::vector<std::string>& raw, Args& args, VtlogOutput& output) {
  const Command* command = nullptr;
  for (const Command& c : Commands()) {
    if (raw[0] == c.name) command = &c;
  }
  if (command == nullptr) return Usage(output, "unknown command " + raw[0]), false;
  args.command = raw[0];
  for (std::size_t i = 1; i < raw.size(); ++i) {
    std::string name = raw[i];
    std::string value;
    bool hasValue = false;
    if (const std::size_t eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    if (command->flags.contains(name) && !hasValue) {
      args.flags.insert(name);
    } else if (command->values.contains(name)) {
      if (!hasValue) {
        if (i + 1 >= raw.size()) return Usage(output, name + " needs a value"), false;
        value = raw[++i];
      }
      args.values[name].push_back(value);
    } else {
      return Usage(output, args.command + " does not take " + raw[i]), false;
    }
  }
  return true;
}

// The last value given; def when none.
std::string Value(const Args& args, const std::string& name, const std::string& def = "") {
  const auto it = args.values.find(name);
  return it == args.values.end() ? def : it->second.back();
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

// The options every reading command shares; false after a usage message.
struct Selection {
  std::u16string component;
  std::set<std::u16string> jobs;
  std::optional<std::int64_t> since;
  std::optional<std::int64_t> until;
};

bool ParseSelection(const Args& args, Selection& s, VtlogOutput& output) {
  s.component = CanonicalComponentName(plat::FromUtf8(Value(args, "--component", "Orbeck")));
  if (s.component.empty())
    return Usage(output, "unknown component " + Value(args, "--component")), false;
  if (const auto jobs = args.values.find("--job"); jobs != args.values.end()) {
    for (const std::string& job : jobs->second) s.jobs.insert(plat::FromUtf8(job));
  }
  for (const char* name : {"--since", "--until"}) {
    if (!args.values.contains(name)) continue;
    const bool until = std::string_view(name) == "--until";
    std::int64_t key = 0;
    if (!ParseTimeArgument(Value(args, name), until, key)) {
      return Usage(output, std::string("cannot read the time ") + name + " " + Value(args, name)),
             false;
    }
    (until ? s.until : s.since) = key;
  }
  return true;
}

constexpr std::int64_t kLongestLostAfterHours = 24L * 366 * 10;

bool ParseLostAfter(const Args& args, std::int64_t& hours, VtlogOutput& output) {
  hours = kDefaultLostAfterHours;
  if (args.values.contains("--lost-after") &&
      (!plat::ParseDigits(Value(args, "--lost-after"), 6, hours) ||
       hours > kLongestLostAfterHours)) {
    return Usage(output, "--lost-after needs a whole number of hours"), false;
  }
  return true;
}

int RunJobsCommand(const Args& args, VtlogOutput& output) {
  JobsOptions options;
  Selection sel;
  if (!ParseFormat(args, true, options.format, output) || !ParseSelection(args, sel, output) ||
      !ParseLostAfter(args, options.lostAfterHours, output)) {
    return kExitUnknown;
  }
  options.component = sel.component;
  options.file = plat::FromUtf8(Value(args, "--file"));
  options.jobs = sel.jobs;
  options.since = sel.since;
  options.until = sel.until;
  options.failedOnly = args.flags.contains("--failed");
  options.summary = args.flags.contains("--summary");
  return RunJobs(options, output);
}

int RunCheckCommand(const Args& args, VtlogOutput& output) {
  OutputFormat format = OutputFormat::Text;
  if (!ParseFormat(args, false, format, output)) return kExitUnknown;
  const std::u16string component =
      CanonicalComponentName(plat::FromUtf8(Value(args, "--component", "Orbeck")));
  if (component.empty()) return Usage(output, "unknown component " + Value(args, "--component"));
  const CheckReport report = RunCheck(component);
  std::string text;
  AppendCheckReport(text, report, format, component);
  output.out(text);
  return CheckExitCode(report.findings);
}

int RunRotate(const Args& args, VtlogOutput& output) {
  if (!args.flags.contains("--dry-run")) {
    return Usage(output, "rotate only runs with --dry-run: vtlog never moves a log");
  }
  OutputFormat format = OutputFormat::Text;
  if (!ParseFormat(args, false, format, output)) return kExitUnknown;
  LogSettings settings;
  if (!LoadComponentSettings(plat::FromUtf8(Value(args, "--component", "Orbeck")), settings)) {
    return Usage(output, "unknown component " + Value(args, "--component"));
  }
  const RotationPlan plan = PlanRotation(settings);
  const CheckReport report = RotationPlanFindings(plan, settings);
  output.out(format == OutputFormat::Json ? RotationPlanJson(plan, settings, report.findings)
                                          : RotationPlanText(plan, settings, report.findings));
  ReleaseLogSettings(settings);
  return CheckExitCode(report.findings);
}

int RunMetricsCommand(const Args& args, VtlogOutput& output) {
  MetricsOptions options;
  if (!ParseLostAfter(args, options.lostAfterHours, output)) return kExitUnknown;
  if (const auto given = args.values.find("--component"); given != args.values.end()) {
    options.components.clear();
    for (const std::string& name : given->second) {
      const std::u16string component = CanonicalComponentName(plat::FromUtf8(name));
      if (component.empty()) return Usage(output, "unknown component " + name);
      options.components.push_back(component);
    }
  }
  options.outputFile = Value(args, "--output");
  return RunMetrics(options, output);
}

// In error-only mode no log (and no error file to show) is the healthy state.
bool ErrorOnlyWithoutLog(const ShowOptions& options) {
  LogSettings settings;
  LoadComponentSettings(options.component, settings);
  const bool healthy = ErrorOnlyLogging(settings) && LogGenerations(settings).empty() &&
                       (!options.errorFiles || ErrorFiles(settings).empty());
  ReleaseLogSettings(settings);
  return healthy;
}

int RunShowCommand(const Args& args, VtlogOutput& output) {
  ShowOptions options;
  Selection sel;
  if (!ParseFormat(args, true, options.format, output) || !ParseSelection(args, sel, output)) {
    return kExitUnknown;
  }
  options.component = sel.component;
  options.file = plat::FromUtf8(Value(args, "--file"));
  options.filter.jobs = sel.jobs;
  options.filter.since = sel.since;
  options.filter.until = sel.until;
  options.filter.failed = args.flags.contains("--failed");
  options.filter.className = LowerAscii(plat::FromUtf8(Value(args, "--class")));
  const std::set<std::u16string> classes = {u"", u"information", u"warning", u"error",
                                            u"othererror"};
  if (!classes.contains(options.filter.className)) {
    return Usage(output, "unknown class " + Value(args, "--class"));
  }
  if (args.values.contains("--lines")) {
    std::int64_t lines = 0;
    if (!plat::ParseDigits(Value(args, "--lines"), 7, lines)) {
      return Usage(output, "--lines needs a whole number of records (at most 9999999)");
    }
    options.lines = static_cast<std::size_t>(lines);
  }
  options.cursorFile = Value(args, "--cursor-file");
  if (options.lines && !options.cursorFile.empty()) {
    // The cursor would move past the records that --lines leaves out.
    return Usage(output,
                 "--lines cannot be used with --cursor-file: a cursor ships every record "
                 "after the last one shipped");
  }
  options.follow = args.flags.contains("--follow");
  options.errorFiles = args.flags.contains("--error-files");
  if (options.file.empty() && !options.follow && ErrorOnlyWithoutLog(options)) {
    output.err(std::string("vtlog: ") + kErrorOnlyNoLog + "\n");
    return kExitOk;
  }
  return RunShow(options, output);
}

int Dispatch(const std::vector<std::string>& raw, VtlogOutput& output) {
  if (raw.empty()) return Usage(output, "no command");
  if (raw[0] == "--version") {
    output.out("vtlog " QORVANE_VERSION "\n");
    return kExitOk;
  }
  if (IsHelp(raw[0]) && raw.size() == 1) {
    output.out(UsageText());
    return kExitOk;
  }
  // "vtlog help show", "vtlog show --help", "vtlog show /?"
  const std::string name = IsHelp(raw[0]) ? raw[1] : raw[0];
  for (const Command& c : Commands()) {
    if (name == c.name && (IsHelp(raw[0]) || (raw.size() > 1 && IsHelp(raw[1])))) {
      output.out(std::string("usage: ") + c.synopsis + c.help + kTimes + kExitCodes);
      return kExitOk;
    }
  }
  Args args;
  if (!ParseArgs(raw, args, output)) return kExitUnknown;
  if (args.command == "show") return RunShowCommand(args, output);
  if (args.command == "jobs") return RunJobsCommand(args, output);
  if (args.command == "check") return RunCheckCommand(args, output);
  if (args.command == "metrics") return RunMetricsCommand(args, output);
  return RunRotate(args, output);
}

}  // namespace

int RunVtlog(const std::vector<std::string>& raw, VtlogOutput& output) {
  std::string buffer;
  VtlogOutput buffered = BufferedOutput(output, buffer);
  const int code = Dispatch(raw, buffered);
  buffered.flush();
  return code;
}
