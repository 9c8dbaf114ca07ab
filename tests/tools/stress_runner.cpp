// Stress and audit of the launcher under concurrency: lays out one
// installation, keeps P launcher processes running at every moment (P chains
// of J jobs each) with a mix of successful and failing engine results, invalid
// and generated job identifiers, "-API" jobs, engine sleeps and records that
// the writer must drop (-Lrf), while the log is rotated by size. Afterwards it
// reads every log, rotated generation, write-error and name-error file and
// accounts for every job: its records, where they went, its exit code.
//
// A second run switches pruning on: after the concurrent phase a few jobs run
// one by one, a second apart, and exactly the newest generations must remain,
// with every unrelated file of the rotation directory untouched.
//
// usage: stress_runner [--processes P] [--jobs J] [--size MIB] [--pad N]
//                      [--keep K] [--prune-jobs J2] [--retry N] [--seed S]
//                      [--mix full|fast] [--no-prune-run] [--keep-files]
//        stress_runner --time-single N [--size MIB]
//        stress_runner --prune-ties
//        stress_runner --append-race [--processes P] [--jobs J]
//
// --time-single times one launcher job against bare_engine_runner (for the
// process benchmark). --prune-ties runs five jobs within a second with pruning
// to two generations; --append-race lets P processes append to one file
// through append-only handles. Both check what should hold and report it.
//
// Every job carries -Xtag<unique>, so that its records are found by command
// line also when its job identifier is vtJobIdError or a generated number.
// Exit codes are compared in full on Windows and in their low 8 bits on POSIX.
// The last line is "N passed, M failed" over the audit's checks.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/testing.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

// ------------------------------------------------------------------ options

struct Options {
  int processes = 4;
  int jobs = 15;
  int sizeMiB = 0;
  int pad = 0;
  int keep = 3;
  int pruneJobs = -1;  // jobs per chain of the pruning run; -1: as the first run
  int retry = 0;       // 0: the writer's default
  unsigned seed = 12345;
  bool fastMix = false;
  bool pruneRun = true;
  bool keepFiles = false;
  int timeSingle = 0;
  bool pruneTies = false;
  bool appendRace = false;
};

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    auto number = [&](int& target) {
      if (!hasValue) return false;
      target = std::atoi(argv[++i]);
      return true;
    };
    bool ok = true;
    if (a == "--processes") {
      ok = number(o.processes);
    } else if (a == "--jobs") {
      ok = number(o.jobs);
    } else if (a == "--size") {
      ok = number(o.sizeMiB);
    } else if (a == "--pad") {
      ok = number(o.pad);
    } else if (a == "--keep") {
      ok = number(o.keep);
    } else if (a == "--prune-jobs") {
      ok = number(o.pruneJobs);
    } else if (a == "--retry") {
      ok = number(o.retry);
    } else if (a == "--time-single") {
      ok = number(o.timeSingle);
    } else if (a == "--seed" && hasValue) {
      o.seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else if (a == "--mix" && hasValue) {
      const std::string mix = argv[++i];
      ok = mix == "full" || mix == "fast";
      o.fastMix = mix == "fast";
    } else if (a == "--no-prune-run") {
      o.pruneRun = false;
    } else if (a == "--keep-files") {
      o.keepFiles = true;
    } else if (a == "--prune-ties") {
      o.pruneTies = true;
    } else if (a == "--append-race") {
      o.appendRace = true;
    } else {
      ok = false;
    }
    if (!ok) return false;
  }
  if (o.pruneJobs < 0) o.pruneJobs = o.jobs;
  return o.processes >= 1 && o.jobs >= 1 && o.keep >= 1 && o.keep <= 99 && o.sizeMiB >= 0 &&
         o.sizeMiB <= 99 && o.pad >= 0 && o.pad <= 20000;
}

// ------------------------------------------------------------------- audit

struct Audit {
  long long passed = 0;
  long long failed = 0;
  std::vector<std::string> failures;

  void Check(bool ok, const std::string& what) {
    if (ok) {
      ++passed;
      return;
    }
    ++failed;
    if (failures.size() < 40) failures.push_back(what);
  }
};

// ------------------------------------------------------------ installation

bool OnWindows() {
  return fs::path::preferred_separator == '\\';
}

// The launcher's form of a path: "\" separators.
std::u16string LauncherPath(const fs::path& p) {
  std::u16string text = p.u16string();
  for (char16_t& c : text) {
    if (c == u'/') c = u'\\';
  }
  return text;
}

struct Installation {
  fs::path root;
  fs::path bin;
  fs::path privateDir;
  fs::path logDir;
  fs::path rotateDir;
  fs::path trace;
};

// bin with the sample engine, the suite's private directory with the log
// settings (logging and size rotation on), the data root with its log and
// rotation directories. keep 0 switches pruning off.
Installation LayOut(const std::string& name, const fs::path& bin, int sizeMiB, int keep,
                    int retry) {
  Installation in;
  static int counter = 0;
  in.root =
      fs::temp_directory_path() / ("qv-stress-" + name + "-" + std::to_string(plat::Now().seconds) +
                                   "-" + std::to_string(counter++));
  fs::remove_all(in.root);
  in.bin = in.root / "bin";
  in.privateDir = in.root / "suite" / "private";
  in.logDir = in.root / "data" / "log";
  in.rotateDir = in.root / "data" / "rotated";
  in.trace = in.root / "trace.txt";
  fs::create_directories(in.bin);
  fs::create_directories(in.root / "suite" / "system");
  fs::create_directories(in.privateDir);
  fs::create_directories(in.logDir);
  fs::create_directories(in.rotateDir);
  fs::copy_file(bin / "Qorvane.dll", in.bin / "Qorvane.dll");

  std::string settings = "runtime.orbeck.active=1\r\n";
  settings += "runtime.rotate.active=1\r\n";
  settings += "runtime.rotate.dir=" + plat::ToUtf8(LauncherPath(in.rotateDir)) + "\r\n";
  settings += "runtime.rotate.rule.sizeflg=1\r\n";
  settings += "runtime.rotate.rule.size=" + std::to_string(sizeMiB) + "\r\n";
  settings += "runtime.rotate.times=" + std::to_string(keep) + "\r\n";
  settings += "runtime.rotate.name.description=YYYYMMDD\r\n";
  if (retry > 0) settings += "runtime.output.retrycount=" + std::to_string(retry) + "\r\n";
  qvtest::WriteFileBytes(in.privateDir / "logsetup_w.properties",
                         qvtest::Utf16Le(plat::FromUtf8(settings)));

  const std::u16string roots = LauncherPath(in.bin) + u";" + LauncherPath(in.root / "suite") +
                               u";" + LauncherPath(in.root / "data");
  plat::SetEnvironment(u"VANTREL_V12", roots);
  plat::SetEnvironment(u"QORVANE_ENGINE_TRACE", LauncherPath(in.trace));
  return in;
}

// ---------------------------------------------------------------- job plan

enum class Kind {
  Success,
  Sleep,
  Zero,
  MinusFive,
  MinusBig,
  InvalidId,
  Api259,
  ApiOther,
  Generated,
  NoRecords
};

struct JobSpec {
  Kind kind = Kind::Success;
  std::string tag;
  std::string jobId;        // expected identifier field; empty: a generated number
  std::string commandLine;  // as handed to the launcher
  std::string loggedLine;   // as the records and the engine see it
  std::int64_t engineResult = 1;
  bool engineCalled = true;
};

struct JobOutcome {
  bool ran = false;
  int startRetries = 0;
  std::int64_t exitCode = 0;
  plat::WallClock started;
  plat::WallClock ended;
};

std::uint32_t NextRandom(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

Kind DrawKind(std::uint32_t& rng, bool fast) {
  if (fast) return Kind::Success;
  // Weights in percent: successes first, then the failing and odd jobs.
  static const std::pair<Kind, unsigned> kWeights[] = {
      {Kind::Success, 30},   {Kind::Sleep, 10},     {Kind::Zero, 8},   {Kind::MinusFive, 8},
      {Kind::MinusBig, 8},   {Kind::InvalidId, 10}, {Kind::Api259, 8}, {Kind::ApiOther, 4},
      {Kind::Generated, 10}, {Kind::NoRecords, 4}};
  unsigned r = NextRandom(rng) % 100;
  for (const auto& [kind, weight] : kWeights) {
    if (r < weight) return kind;
    r -= weight;
  }
  return Kind::Success;
}

JobSpec MakeJob(const std::string& run, int index, Kind kind, std::uint32_t& rng, int pad) {
  JobSpec job;
  job.kind = kind;
  char number[16];
  std::snprintf(number, sizeof number, "%06d", index);
  job.tag = run + "n" + number;
  job.jobId = "J" + run + "N" + number;
  std::string engine;
  bool api = false;
  switch (kind) {
    case Kind::Success:
    case Kind::Generated:
    case Kind::NoRecords:
      job.engineResult = 1 + static_cast<int>(NextRandom(rng) % 200);
      break;
    case Kind::Sleep:
      job.engineResult = 1 + static_cast<int>(NextRandom(rng) % 200);
      engine = " -Xms" + std::to_string(5 + NextRandom(rng) % 40);
      break;
    case Kind::Zero:
      job.engineResult = 0;
      break;
    case Kind::MinusFive:
      job.engineResult = -5;
      break;
    case Kind::MinusBig:
      job.engineResult = -3500;
      break;
    case Kind::InvalidId:
      job.engineResult = 1;
      job.engineCalled = false;
      // A character outside letters and digits, or one character too many.
      job.jobId = (NextRandom(rng) % 2 == 0) ? "bad_" + job.tag : std::string(129, 'k');
      break;
    case Kind::Api259:
      job.engineResult = 259;
      api = true;
      break;
    case Kind::ApiOther:
      job.engineResult = 7;
      api = true;
      break;
  }
  std::string id = kind == Kind::Generated ? "" : "-Lid" + job.jobId + " ";
  std::string tail = "-Xtag" + job.tag + " -Xrc" + std::to_string(job.engineResult) + engine;
  if (kind == Kind::NoRecords) tail += " -Lrf";
  if (pad > 0) tail += " -Xpad" + std::string(static_cast<std::size_t>(pad), 'p');
  job.loggedLine = id + tail;
  job.commandLine = api ? id + "-API " + tail : job.loggedLine;
  if (kind == Kind::InvalidId) job.jobId = "vtJobIdError";
  if (kind == Kind::Generated) job.jobId.clear();
  return job;
}

std::vector<JobSpec> PlanJobs(const std::string& run, int count, unsigned seed, bool fast,
                              int pad) {
  std::uint32_t rng = seed;
  std::vector<JobSpec> plan;
  plan.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const Kind kind = DrawKind(rng, fast);
    plan.push_back(MakeJob(run, i, kind, rng, pad));
  }
  return plan;
}

// ---------------------------------------------------------------- running

fs::path LauncherIn(const fs::path& bin) {
  return fs::exists(bin / "Qorvane.exe") ? bin / "Qorvane.exe" : bin / "qorvane";
}

void RunOne(const fs::path& launcher, const JobSpec& job, JobOutcome& outcome) {
  outcome.started = plat::Now();
  plat::Process process =
      plat::StartProcess(LauncherPath(launcher), plat::FromUtf8(job.commandLine));
  // Under heavy load Wine now and then refuses to create a process; a job
  // that never started has done nothing yet and may be started again.
  while (!process && outcome.startRetries < 5) {
    ++outcome.startRetries;
    plat::SleepMilliseconds(50);
    process = plat::StartProcess(LauncherPath(launcher), plat::FromUtf8(job.commandLine));
  }
  outcome.ran = process && plat::WaitProcess(*process, outcome.exitCode);
  outcome.ended = plat::Now();
}

// P chains run side by side; chain c runs the jobs c, c + P, c + 2P, ... one
// after the other, so that P launchers are alive at almost every moment.
double RunChains(const fs::path& launcher, const std::vector<JobSpec>& plan,
                 std::vector<JobOutcome>& outcomes, int processes) {
  outcomes.assign(plan.size(), JobOutcome{});
  const auto begin = std::chrono::steady_clock::now();
  std::vector<std::thread> chains;
  for (int c = 0; c < processes; ++c) {
    chains.emplace_back([&, c] {
      for (std::size_t i = static_cast<std::size_t>(c); i < plan.size();
           i += static_cast<std::size_t>(processes)) {
        RunOne(launcher, plan[i], outcomes[i]);
      }
    });
  }
  for (std::thread& t : chains) t.join();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

// ------------------------------------------------------------ log reading

enum class Place { Log, Rotated, WriteError, NameError };

struct Record {
  std::string file;
  Place place = Place::Log;
  std::size_t line = 0;
  std::string stamp;  // "YYYY/MM/DD,HH:MM:SS.mmm"
  std::string jobId;
  std::string status;
  long long code = -1;
  std::string commandLine;
};

bool AllDigits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

bool Shaped(const std::string& s, const std::string& shape) {
  if (s.size() != shape.size()) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (shape[i] == '9' ? (s[i] < '0' || s[i] > '9') : s[i] != shape[i]) return false;
  }
  return true;
}

// Class word and hundreds figure of a code, from its thousands.
std::string ExpectedStatus(long long absCode) {
  const char* word = "OtherError";
  long long figure = (absCode - 2000) / 100;
  if (absCode / 1000 == 0) {
    word = "Information";
    figure = absCode / 100;
  } else if (absCode / 1000 == 1) {
    word = "Warning";
    figure = (absCode - 1000) / 100;
  } else if (absCode / 1000 == 2) {
    word = "Error";
  }
  char text[64];
  std::snprintf(text, sizeof text, "%s:HS-00-%02lld-%04lld", word, figure, absCode);
  return text;
}

// One record line: ten fields, a well-formed stamp, a status whose class and
// figure agree with its code.
bool ParseRecord(const std::string& line, Record& r, std::string& why) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (int f = 0; f < 9; ++f) {
    const std::size_t comma = line.find(',', start);
    if (comma == std::string::npos) break;
    fields.push_back(line.substr(start, comma - start));
    start = comma + 1;
  }
  fields.push_back(line.substr(start));
  if (fields.size() != 10) {
    why = "not ten fields";
    return false;
  }
  for (int f = 4; f < 9; ++f) {
    if (!fields[static_cast<std::size_t>(f)].empty()) {
      why = "field " + std::to_string(f + 1) + " not empty";
      return false;
    }
  }
  if (!Shaped(fields[0], "9999/99/99") || !Shaped(fields[1], "99:99:99.999")) {
    why = "bad time stamp";
    return false;
  }
  const std::string& status = fields[3];
  const std::size_t dash = status.rfind('-');
  if (dash == std::string::npos || !AllDigits(status.substr(dash + 1)) ||
      status.size() - dash - 1 > 9) {
    why = "no code in the status";
    return false;
  }
  r.code = std::stoll(status.substr(dash + 1));
  if (status != ExpectedStatus(r.code)) {
    why = "status " + status + " disagrees with code " + std::to_string(r.code);
    return false;
  }
  r.stamp = fields[0] + "," + fields[1];
  r.jobId = fields[2];
  r.status = status;
  r.commandLine = fields[9];
  return true;
}

std::string DisplayName(const fs::path& p) {
  return p.filename().string();
}

// Reads one file of records after checking its form: one byte-order mark at
// the start and nowhere else, whole code units, the last line ended by CR LF.
// An empty file holds no record and is no fault for a log: the writer's probe
// makes the log before the record goes in, and a rotation may move it empty.
void ReadRecordFile(const fs::path& p, Place place, Audit& audit, std::vector<Record>& out,
                    long long& emptyFiles) {
  const std::string bytes = qvtest::ReadFileBytes(p);
  const std::string name = DisplayName(p);
  if (bytes.empty()) {
    ++emptyFiles;
    audit.Check(place == Place::Log || place == Place::Rotated, name + ": empty");
    return;
  }
  const bool bom = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
  audit.Check(bom, name + ": no byte-order mark at the start");
  audit.Check(bytes.size() % 2 == 0, name + ": odd byte count (torn)");
  const bool ends = bytes.size() >= 4 && bytes.compare(bytes.size() - 4, 4, "\r\0\n\0", 4) == 0;
  audit.Check(ends, name + ": does not end in CR LF (torn)");
  if (!bom) return;
  std::u16string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  audit.Check(text.find(u'\uFEFF') == std::u16string::npos,
              name + ": a second byte-order mark inside");
  std::size_t pos = 0;
  std::size_t number = 0;
  while (pos < text.size()) {
    std::size_t end = text.find(u"\r\n", pos);
    if (end == std::string::npos) end = text.size();
    const std::u16string line16 = text.substr(pos, end - pos);
    pos = end + 2;
    ++number;
    const std::string where = name + " line " + std::to_string(number);
    const bool clean = line16.find_first_of(u"\r\n") == std::u16string::npos;
    audit.Check(clean, where + ": a stray line break (interleaved records)");
    Record r;
    std::string why;
    const bool ok = ParseRecord(plat::ToUtf8(line16), r, why);
    audit.Check(ok, where + ": " + why);
    if (!ok || !clean) continue;
    r.file = name;
    r.place = place;
    r.line = number;
    out.push_back(std::move(r));
  }
}

std::string TagOf(const std::string& commandLine) {
  const std::size_t at = commandLine.find("-Xtag");
  if (at == std::string::npos) return "";
  const std::size_t end = commandLine.find(' ', at);
  return commandLine.substr(at + 5, end == std::string::npos ? std::string::npos : end - at - 5);
}

struct Files {
  std::vector<Record> records;
  long long files = 0;
  long long rotated = 0;
  long long writeErrorFiles = 0;
  long long emptyFiles = 0;
};

// Every file the jobs may have written: the live log, the rotated
// generations (the files of the rotation directory that bear the log's base
// name, unrelated ones excepted), and the fallback files of the output and
// private directories. Anything else in the output directory is a fault.
Files ReadAllRecords(const Installation& in, const std::set<std::string>& unrelated, Audit& audit) {
  Files f;
  auto list = [](const fs::path& dir) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
  };
  for (const fs::path& p : list(in.logDir)) {
    const std::string name = DisplayName(p);
    ++f.files;
    if (name == "orbeck.log") {
      ReadRecordFile(p, Place::Log, audit, f.records, f.emptyFiles);
    } else if (name.rfind("LogWriteError_", 0) == 0) {
      ++f.writeErrorFiles;
      ReadRecordFile(p, Place::WriteError, audit, f.records, f.emptyFiles);
    } else if (name.rfind("LogNameError_", 0) == 0) {
      ReadRecordFile(p, Place::NameError, audit, f.records, f.emptyFiles);
    } else {
      audit.Check(false, "output directory: unexpected file " + name +
                             (name == "rotation.lock" ? " (lock left behind)" : ""));
    }
  }
  for (const fs::path& p : list(in.privateDir)) {
    const std::string name = DisplayName(p);
    if (name.rfind("LogWriteError_", 0) != 0) continue;
    ++f.files;
    ++f.writeErrorFiles;
    ReadRecordFile(p, Place::WriteError, audit, f.records, f.emptyFiles);
  }
  for (const fs::path& p : list(in.rotateDir)) {
    const std::string name = DisplayName(p);
    if (unrelated.count(name) != 0 || fs::is_directory(p)) continue;
    ++f.files;
    ++f.rotated;
    ReadRecordFile(p, Place::Rotated, audit, f.records, f.emptyFiles);
  }
  return f;
}

// ------------------------------------------------------------ job accounts

std::string LocalStamp(std::int64_t seconds, int milliseconds) {
  plat::Calendar c;
  if (!plat::ToLocalCalendar(seconds, c)) return "";
  char text[40];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d,%02d:%02d:%02d.%03d", c.year, c.month, c.day,
                c.hour, c.minute, c.second, milliseconds);
  return text;
}

std::int64_t ExitAsSeen(std::int64_t result) {
  return OnWindows() ? result : (result & 0xFF);
}

struct Tally {
  long long lostToPruning = 0;
  long long fallbacks = 0;
  long long traceLinesLost = 0;
  long long startRetries = 0;
};

// The records of one job against what the job must have left: its start
// (101 in a log, or 1284 in its write-error file when the log could not be
// had), its end (102, the failure code, or -2911 for an invalid identifier;
// 1284 in the write-error file for a 102 that missed the log), nothing with
// -Lrf; and the exit code that follows from where they went.
void AccountJob(const JobSpec& job, const JobOutcome& outcome, std::vector<const Record*> records,
                const std::vector<std::string>& engineCalls, bool allowLost, Audit& audit,
                Tally& tally) {
  const std::string who = "job " + job.tag;
  audit.Check(outcome.ran, who + ": the launcher did not run");
  tally.startRetries += outcome.startRetries;
  std::sort(records.begin(), records.end(), [](const Record* a, const Record* b) {
    if (a->stamp != b->stamp) return a->stamp < b->stamp;
    if (a->file != b->file) return a->file < b->file;
    return a->line < b->line;
  });

  // What the engine saw: once, the line without -API; never for an invalid id.
  // Wine does not make an append-only write atomic between processes, so
  // there a trace line can be overwritten by another job's; the exit code
  // still tells whether the engine ran.
  const std::size_t calls = engineCalls.size();
  if (OnWindows() && job.engineCalled && calls == 0) {
    ++tally.traceLinesLost;
  } else {
    audit.Check(calls == (job.engineCalled ? 1u : 0u),
                who + ": engine called " + std::to_string(calls) + " times");
  }
  for (const std::string& cmd : engineCalls) {
    audit.Check(cmd == job.loggedLine, who + ": engine received [" + cmd + "]");
  }

  if (job.kind == Kind::NoRecords) {
    audit.Check(records.empty(),
                who + ": " + std::to_string(records.size()) + " records with -Lrf");
    audit.Check(outcome.exitCode == ExitAsSeen(job.engineResult),
                who + ": exit " + std::to_string(outcome.exitCode));
    return;
  }

  const long long endCode = job.kind == Kind::InvalidId ? 2911
                            : job.engineResult >= 1     ? 102
                                                        : std::llabs(job.engineResult);
  // The start is the 101 in a log, else the first 1284 of the write-error
  // file; the end is the job's own code, or for a 102 that missed the log the
  // next 1284. The two records of a quick job may share their millisecond.
  const Record* start = nullptr;
  const Record* end = nullptr;
  std::vector<const Record*> fallbacks;
  std::size_t extra = 0;
  bool startFell = false;
  bool endFell = false;
  for (const Record* r : records) {
    const bool inLog = r->place == Place::Log || r->place == Place::Rotated;
    if (start == nullptr && inLog && r->code == 101) {
      start = r;
    } else if (end == nullptr && r->code == endCode && (inLog || endCode != 102)) {
      end = r;
      endFell = !inLog;
    } else if (!inLog && r->code == 1284) {
      fallbacks.push_back(r);
    } else {
      ++extra;
    }
  }
  std::size_t nextFallback = 0;
  if (start == nullptr && nextFallback < fallbacks.size()) {
    start = fallbacks[nextFallback++];
    startFell = true;
  }
  if (end == nullptr && endCode == 102 && nextFallback < fallbacks.size()) {
    end = fallbacks[nextFallback++];
    endFell = true;
  }
  extra += fallbacks.size() - nextFallback;
  audit.Check(extra == 0, who + ": " + std::to_string(extra) + " surplus or misplaced records");
  const int missing = (start == nullptr ? 1 : 0) + (end == nullptr ? 1 : 0);
  if (allowLost) {
    tally.lostToPruning += missing;
  } else {
    audit.Check(start != nullptr, who + ": start record missing");
    audit.Check(end != nullptr, who + ": end record missing");
  }
  tally.fallbacks += (startFell ? 1 : 0) + (endFell ? 1 : 0);

  const std::string window0 = LocalStamp(outcome.started.seconds - 2, outcome.started.milliseconds);
  const std::string window1 = LocalStamp(outcome.ended.seconds + 2, outcome.ended.milliseconds);
  std::string generatedId;
  for (const Record* r : {start, end}) {
    if (r == nullptr) continue;
    const std::string where = who + " (" + r->file + " line " + std::to_string(r->line) + ")";
    audit.Check(r->commandLine == job.loggedLine,
                where + ": command line [" + r->commandLine + "]");
    if (job.jobId.empty()) {
      const bool number = r->jobId.size() == 5 && AllDigits(r->jobId);
      audit.Check(number && (generatedId.empty() || generatedId == r->jobId),
                  where + ": generated identifier " + r->jobId);
      generatedId = r->jobId;
    } else {
      audit.Check(r->jobId == job.jobId, where + ": identifier " + r->jobId);
    }
    if (r->place == Place::WriteError) {
      audit.Check(r->file == "LogWriteError_" + r->jobId + ".log",
                  where + ": in another job's file");
    }
    audit.Check(r->stamp >= window0 && r->stamp <= window1,
                where + ": stamp " + r->stamp + " outside the job's run");
  }
  if (start != nullptr && end != nullptr) {
    audit.Check(start->stamp <= end->stamp, who + ": end record stamped before the start");
  }

  std::int64_t expected = job.engineResult;
  if (job.kind == Kind::InvalidId) {
    expected = -2911;
  } else if (job.engineResult >= 1) {
    if (startFell || endFell) {
      expected = -1284;
    } else if (job.kind == Kind::Api259) {
      expected = -259;
    }
  }
  audit.Check(outcome.exitCode == ExitAsSeen(expected),
              who + ": exit " + std::to_string(outcome.exitCode) + ", expected " +
                  std::to_string(ExitAsSeen(expected)));
}

// The engine's trace, one line per call: tag -> the command lines it received.
std::map<std::string, std::vector<std::string>> EngineCalls(const Installation& in) {
  std::map<std::string, std::vector<std::string>> calls;
  const std::string trace = qvtest::ReadFileBytes(in.trace);
  std::size_t pos = 0;
  while (pos < trace.size()) {
    std::size_t end = trace.find('\n', pos);
    if (end == std::string::npos) end = trace.size();
    const std::string line = trace.substr(pos, end - pos);
    pos = end + 1;
    const std::size_t b = line.find("cmd=[");
    const std::size_t e = line.rfind("] errlog=[");
    if (b == std::string::npos || e == std::string::npos || e < b + 5) continue;
    const std::string cmd = line.substr(b + 5, e - b - 5);
    calls[TagOf(cmd)].push_back(cmd);
  }
  return calls;
}

struct RunFigures {
  long long jobs = 0;
  double seconds = 0;
  long long records = 0;
  Files files;
  Tally tally;
};

// Every record belongs to exactly one planned job; every job is accounted for.
void AccountAll(const std::vector<JobSpec>& plan, const std::vector<JobOutcome>& outcomes,
                const Files& files, const Installation& in, bool allowLost,
                const std::set<std::string>& mustBeWhole, Audit& audit, Tally& tally) {
  std::map<std::string, std::size_t> byTag;
  for (std::size_t i = 0; i < plan.size(); ++i) byTag[plan[i].tag] = i;
  std::vector<std::vector<const Record*>> perJob(plan.size());
  for (const Record& r : files.records) {
    const auto it = byTag.find(TagOf(r.commandLine));
    audit.Check(it != byTag.end(), r.file + " line " + std::to_string(r.line) +
                                       ": a record of no job [" + r.commandLine + "]");
    if (it != byTag.end()) perJob[it->second].push_back(&r);
  }
  const auto calls = EngineCalls(in);
  for (std::size_t i = 0; i < plan.size(); ++i) {
    const auto c = calls.find(plan[i].tag);
    const bool lost = allowLost && mustBeWhole.count(plan[i].tag) == 0;
    AccountJob(plan[i], outcomes[i], perJob[i],
               c == calls.end() ? std::vector<std::string>{} : c->second, lost, audit, tally);
  }
}

// Without pruning nothing may go missing from the rotation directory: per
// date the numbers 1 to n without a gap. The plain name may be absent: when a
// writer holds the log, the rotation that moved the plain file aside cannot
// move the log in its place.
void CheckGenerationNames(const Installation& in, Audit& audit) {
  std::map<std::string, std::set<long long>> numbers;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(in.rotateDir, ec)) {
    const std::string name = DisplayName(e.path());
    const bool shaped = name.size() >= 19 && name.rfind("orbeck_", 0) == 0 &&
                        name.compare(name.size() - 4, 4, ".log") == 0 &&
                        AllDigits(name.substr(7, 8));
    audit.Check(shaped, "rotation directory: unexpected name " + name);
    if (!shaped) continue;
    const std::string date = name.substr(7, 8);
    const std::string rest = name.substr(15, name.size() - 19);
    if (!rest.empty()) {
      const bool numbered = rest[0] == '_' && AllDigits(rest.substr(1));
      audit.Check(numbered, "rotation directory: unexpected name " + name);
      if (numbered) numbers[date].insert(std::stoll(rest.substr(1)));
    }
  }
  for (const auto& [date, set] : numbers) {
    const long long highest = *set.rbegin();
    audit.Check(static_cast<long long>(set.size()) == highest && *set.begin() == 1,
                "rotation directory: generations of " + date + " have gaps (" +
                    std::to_string(set.size()) + " numbered files, highest number " +
                    std::to_string(highest) + ")");
  }
}

void PrintFigures(const std::string& run, const RunFigures& f, const Audit& audit) {
  std::printf(
      "figures: run=%s jobs=%lld seconds=%.2f jobs_per_s=%.1f records=%lld files=%lld "
      "rotated=%lld write_error_files=%lld empty_files=%lld fallbacks=%lld "
      "lost_to_pruning=%lld trace_lines_lost=%lld start_retries=%lld failed_checks=%lld\n",
      run.c_str(), f.jobs, f.seconds, f.seconds > 0 ? static_cast<double>(f.jobs) / f.seconds : 0.0,
      f.records, f.files.files, f.files.rotated, f.files.writeErrorFiles, f.files.emptyFiles,
      f.tally.fallbacks, f.tally.lostToPruning, f.tally.traceLinesLost, f.tally.startRetries,
      audit.failed);
  std::fflush(stdout);
}

void Cleanup(const Installation& in, const Options& o) {
  std::error_code ec;
  if (!o.keepFiles) {
    fs::remove_all(in.root, ec);
  } else {
    std::printf("kept: %s\n", in.root.string().c_str());
  }
}

// ------------------------------------------------------------------- runs

// Pruning off: every record of every job must be found.
void AuditRun(const fs::path& bin, const Options& o, Audit& audit) {
  Installation in = LayOut("audit", bin, o.sizeMiB, 0, o.retry);
  const auto plan = PlanJobs("a", o.processes * o.jobs, o.seed, o.fastMix, o.pad);
  std::vector<JobOutcome> outcomes;
  RunFigures figures;
  figures.jobs = static_cast<long long>(plan.size());
  figures.seconds = RunChains(LauncherIn(bin), plan, outcomes, o.processes);
  figures.files = ReadAllRecords(in, {}, audit);
  figures.records = static_cast<long long>(figures.files.records.size());
  AccountAll(plan, outcomes, figures.files, in, false, {}, audit, figures.tally);
  CheckGenerationNames(in, audit);
  PrintFigures("audit", figures, audit);
  Cleanup(in, o);
}

struct Unrelated {
  std::string name;
  bool candidate;  // bears the log's base name: pruning may take it
};

// Pruning on. The unrelated files of the rotation directory: those without
// the log's base name stay untouched; the old one with it is a candidate by
// design and, older than every generation, goes.
void PruningRun(const fs::path& bin, const Options& o, Audit& audit) {
  Installation in = LayOut("prune", bin, 0, o.keep, o.retry);
  const std::vector<Unrelated> unrelated = {{"notes.txt", false},
                                            {"vorn_20260101.log", false},
                                            {"orbec.log", false},
                                            {"OLD_ORBECK_notes.txt", true}};
  std::set<std::string> unrelatedNames = {"orbeck.d"};
  for (const Unrelated& u : unrelated) {
    qvtest::WriteFileBytes(in.rotateDir / u.name, "unrelated " + u.name);
    unrelatedNames.insert(u.name);
  }
  fs::last_write_time(in.rotateDir / "OLD_ORBECK_notes.txt",
                      fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
  // A directory bearing the name is no candidate, nor is what it holds.
  fs::create_directories(in.rotateDir / "orbeck.d");
  qvtest::WriteFileBytes(in.rotateDir / "orbeck.d" / "orbeck.log", "inside a directory");

  auto plan = PlanJobs("p", o.processes * o.pruneJobs, o.seed + 1, o.fastMix, o.pad);
  std::vector<JobOutcome> outcomes;
  RunFigures figures;
  figures.jobs = static_cast<long long>(plan.size());
  figures.seconds = RunChains(LauncherIn(bin), plan, outcomes, o.processes);

  // The tail: one job at a time, more than a second apart, so that the
  // generations it leaves differ in their modification times.
  const int tailJobs = o.keep + 2;
  std::uint32_t rng = o.seed;
  std::set<std::string> tailTags;
  std::vector<std::string> tail;
  for (int k = 0; k < tailJobs; ++k) {
    plan.push_back(MakeJob("t", k, Kind::Success, rng, o.pad));
    outcomes.emplace_back();
    if (k > 0) plat::SleepMilliseconds(1100);
    RunOne(LauncherIn(bin), plan.back(), outcomes.back());
    // The first tail job's generation is older than the ones kept.
    if (k > 0) tailTags.insert(plan.back().tag);
    tail.push_back(plan.back().tag);
  }
  figures.jobs = static_cast<long long>(plan.size());

  figures.files = ReadAllRecords(in, unrelatedNames, audit);
  figures.records = static_cast<long long>(figures.files.records.size());
  AccountAll(plan, outcomes, figures.files, in, true, tailTags, audit, figures.tally);

  // Each remaining generation holds exactly one of the newest tail jobs.
  std::map<std::string, std::set<std::string>> tagsByFile;
  for (const Record& r : figures.files.records) tagsByFile[r.file].insert(TagOf(r.commandLine));
  std::set<std::string> expectedKept(tail.end() - 1 - o.keep, tail.end() - 1);
  std::set<std::string> kept;
  long long candidates = 0;
  for (const auto& e : fs::directory_iterator(in.rotateDir)) {
    const std::string name = DisplayName(e.path());
    if (unrelatedNames.count(name) != 0 || e.is_directory()) continue;
    ++candidates;
    const auto& tags = tagsByFile[name];
    audit.Check(tags.size() == 1 && expectedKept.count(*tags.begin()) != 0,
                "rotation directory: " + name + " is not one of the newest generations");
    if (tags.size() == 1) kept.insert(*tags.begin());
  }
  audit.Check(candidates == o.keep, "rotation directory: " + std::to_string(candidates) +
                                        " generations remain, expected " + std::to_string(o.keep));
  audit.Check(kept == expectedKept, "rotation directory: the newest generations are not all kept");
  audit.Check(tagsByFile["orbeck.log"] == std::set<std::string>{tail.back()},
              "orbeck.log does not hold the last job alone");
  for (const Unrelated& u : unrelated) {
    const fs::path p = in.rotateDir / u.name;
    if (u.candidate) {
      audit.Check(!fs::exists(p), u.name + ": an old file bearing the base name survived pruning");
    } else {
      audit.Check(qvtest::ReadFileBytes(p) == "unrelated " + u.name,
                  u.name + ": unrelated file changed or gone");
    }
  }
  audit.Check(
      qvtest::ReadFileBytes(in.rotateDir / "orbeck.d" / "orbeck.log") == "inside a directory",
      "orbeck.d: the directory's content changed or went");
  PrintFigures("prune", figures, audit);
  Cleanup(in, o);
}

// Five jobs within one second, pruning to two: the two generations kept
// should be those of the third and fourth job, the newest rotated.
void PruneTiesRun(const fs::path& bin, const Options& o, Audit& audit) {
  Installation in = LayOut("ties", bin, 0, 2, o.retry);
  std::uint32_t rng = o.seed;
  std::vector<JobSpec> plan;
  std::vector<JobOutcome> outcomes(5);
  // Begin right after a second boundary, so that the five jobs share it.
  const std::int64_t second = plat::Now().seconds;
  while (plat::Now().seconds == second) plat::SleepMilliseconds(1);
  for (int k = 0; k < 5; ++k) {
    plan.push_back(MakeJob("q", k, Kind::Success, rng, 0));
    RunOne(LauncherIn(bin), plan.back(), outcomes[static_cast<std::size_t>(k)]);
  }
  const bool oneSecond = outcomes.front().started.seconds == outcomes.back().ended.seconds;
  Files files = ReadAllRecords(in, {}, audit);
  std::set<std::string> kept;
  for (const Record& r : files.records) {
    if (r.place == Place::Rotated) kept.insert(TagOf(r.commandLine));
  }
  std::string keptText;
  for (const std::string& tag : kept) keptText += " " + tag;
  std::printf("prune-ties: %s; rotated generations kept:%s (newest: %s %s)\n",
              oneSecond ? "all jobs within one second" : "the jobs spanned a second boundary",
              keptText.c_str(), plan[2].tag.c_str(), plan[3].tag.c_str());
  audit.Check(kept == std::set<std::string>{plan[2].tag, plan[3].tag},
              "pruning kept" + keptText + " instead of the two newest generations");
  Cleanup(in, o);
}

// ----------------------------------------------------------- append race

// Appends count lines "TAG-NNNNNN" to the file named by QORVANE_STRESS_APPEND,
// each with an open, one write and a close, as the write-error file and the
// engine trace are written.
int AppendChild(const std::string& tag, int count) {
  std::u16string path;
  if (!plat::GetEnvironment(u"QORVANE_STRESS_APPEND", path)) return 2;
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    char line[64];
    const int n = std::snprintf(line, sizeof line, "%s-%06d\n", tag.c_str(), i);
    plat::FileHandle file;
    if (plat::OpenFile(path, plat::OpenMode::AppendShared, file) != plat::OpenStatus::Opened ||
        !plat::WriteBytes(*file, line, static_cast<std::size_t>(n))) {
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}

// P processes append J lines each to one file at the same time: every line
// must be there once. Append-only handles promise that every write lands at
// the end, whoever else writes.
void AppendRace(const fs::path& bin, const Options& o, Audit& audit) {
  const fs::path file = fs::temp_directory_path() /
                        ("qv-stress-append-" + std::to_string(plat::Now().seconds) + ".txt");
  fs::remove(file);
  plat::SetEnvironment(u"QORVANE_STRESS_APPEND", LauncherPath(file));
  const fs::path self =
      fs::exists(bin / "stress_runner.exe") ? bin / "stress_runner.exe" : bin / "stress_runner";
  std::vector<plat::Process> children;
  for (int c = 0; c < o.processes; ++c) {
    children.push_back(plat::StartProcess(
        LauncherPath(self),
        plat::Widen("--append-child c" + std::to_string(c) + " " + std::to_string(o.jobs))));
  }
  for (plat::Process& child : children) {
    std::int64_t code = 1;
    audit.Check(child && plat::WaitProcess(*child, code) && code == 0,
                "append race: a process could not open or write the file");
  }
  std::map<std::string, int> seen;
  const std::string text = qvtest::ReadFileBytes(file);
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    ++seen[text.substr(pos, end - pos)];
    pos = end + 1;
  }
  long long lost = 0;
  long long doubled = 0;
  for (int c = 0; c < o.processes; ++c) {
    for (int i = 0; i < o.jobs; ++i) {
      char line[64];
      std::snprintf(line, sizeof line, "c%d-%06d", c, i);
      const auto it = seen.find(line);
      if (it == seen.end()) ++lost;
      if (it != seen.end() && it->second > 1) ++doubled;
    }
  }
  const long long total = static_cast<long long>(o.processes) * o.jobs;
  std::printf("append-race: %d processes x %d lines: %lld lost, %lld doubled, %zu bytes\n",
              o.processes, o.jobs, lost, doubled, text.size());
  audit.Check(
      lost == 0 && doubled == 0 && seen.size() == static_cast<std::size_t>(total),
      "append race: " + std::to_string(lost) + " of " + std::to_string(total) + " lines lost");
  if (!o.keepFiles) fs::remove(file);
}

// ------------------------------------------------------------ single job

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// One launcher job (logging on, rotation on and not triggered) against the
// bare runner that only loads the engine and calls it, each started n times
// one after the other, alternating.
void TimeSingle(const fs::path& bin, const Options& o) {
  Installation in = LayOut("single", bin, o.sizeMiB > 0 ? o.sizeMiB : 10, 0, o.retry);
  plat::SetEnvironment(u"QORVANE_ENGINE_TRACE", u"", true);
  const fs::path bare = fs::exists(bin / "bare_engine_runner.exe") ? bin / "bare_engine_runner.exe"
                                                                   : bin / "bare_engine_runner";
  std::vector<double> launcherMs;
  std::vector<double> bareMs;
  auto time = [](const fs::path& exe, const std::u16string& cmd) {
    const auto t0 = std::chrono::steady_clock::now();
    plat::Process p = plat::StartProcess(LauncherPath(exe), cmd);
    std::int64_t code = 0;
    if (p) plat::WaitProcess(*p, code);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  };
  // A first run of each outside the measurement: the page cache and, under
  // Wine, the prefix.
  time(LauncherIn(bin), u"-LidWarm -Xrc1");
  time(bare, u"-Xrc1");
  for (int i = 0; i < o.timeSingle; ++i) {
    launcherMs.push_back(
        time(LauncherIn(bin), u"-LidS" + plat::Widen(std::to_string(i)) + u" -Xrc1"));
    bareMs.push_back(time(bare, u"-Xrc1"));
  }
  const double l = Median(launcherMs);
  const double b = Median(bareMs);
  // The fastest runs show the work itself, with the least of other load.
  const double lMin = *std::min_element(launcherMs.begin(), launcherMs.end());
  const double bMin = *std::min_element(bareMs.begin(), bareMs.end());
  std::printf(
      "single: runs=%d launcher_median_ms=%.3f bare_median_ms=%.3f ratio=%.2f "
      "launcher_min_ms=%.3f bare_min_ms=%.3f min_ratio=%.2f\n",
      o.timeSingle, l, b, b > 0 ? l / b : 0.0, lMin, bMin, bMin > 0 ? lMin / bMin : 0.0);
  Cleanup(in, o);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> words = plat::ConsoleArguments(argc, argv);
  if (words.size() == 3 && words[0] == "--append-child") {
    return AppendChild(words[1], std::atoi(words[2].c_str()));
  }
  Options o;
  if (!ParseOptions(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: stress_runner [--processes P] [--jobs J] [--size MIB] [--pad N]\n"
                 "         [--keep K] [--prune-jobs J2] [--retry N] [--seed S]\n"
                 "         [--mix full|fast] [--no-prune-run] [--keep-files]\n"
                 "       stress_runner --time-single N [--size MIB]\n"
                 "       stress_runner --prune-ties\n"
                 "       stress_runner --append-race [--processes P] [--jobs J]\n");
    return 2;
  }
  const fs::path bin = fs::path(plat::ExecutableDirectory());
  if (o.timeSingle > 0) {
    TimeSingle(bin, o);
    return 0;
  }
  Audit audit;
  if (o.pruneTies) {
    PruneTiesRun(bin, o, audit);
  } else if (o.appendRace) {
    AppendRace(bin, o, audit);
  } else {
    AuditRun(bin, o, audit);
    if (o.pruneRun) PruningRun(bin, o, audit);
  }
  for (const std::string& f : audit.failures) std::printf("FAIL  %s\n", f.c_str());
  if (audit.failed > static_cast<long long>(audit.failures.size())) {
    std::printf("... and %lld more\n",
                audit.failed - static_cast<long long>(audit.failures.size()));
  }
  std::printf("%lld passed, %lld failed\n", audit.passed, audit.failed);
  return audit.failed == 0 ? 0 : 1;
}
