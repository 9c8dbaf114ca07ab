// Stress audit: P launchers at every moment (P chains of J jobs drawn from the
// kinds below) while the log rotates by size; then every record of every log,
// generation and fallback file and every exit code is held against what its
// job's kind must leave. The pruning run adds a tail of jobs one at a time:
// exactly the newest generations must remain, and the unrelated files.
// usage: stress_runner [--processes P] [--jobs J] [--size MIB] [--keep K]
//                      [--pad N] [--run audit|prune|both] [--mix full|fast]
// A "figures:" line per run serves bench/process_bench.sh; last: "N passed, M failed".
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

// What a job of each kind must leave: a start and an end record (their codes)
// in the log or a rotated generation, and its exit code. A record that cannot
// have the log goes to LogWriteError_<job>.log, 101 and 102 as 1284, and then
// a successful engine's exit code is -1284.
struct Kind {
  const char* name;
  int weight;        // percent of the full mix
  const char* id;    // -Lid<id><tag>; null: none
  const char* job;   // the records' job field; "": the identifier given
  const char* tail;  // the rest of the command line
  std::vector<long long> records;
  std::int64_t exit;
};
const Kind kKinds[] = {
    {"success", 30, "J", "", "-Xrc3", {101, 102}, 3},
    {"engine sleep", 10, "J", "", "-Xrc4 -Xms20", {101, 102}, 4},
    {"engine result 0", 8, "J", "", "-Xrc0", {101, 0}, 0},
    {"engine failure", 8, "J", "", "-Xrc-5", {101, 5}, -5},
    {"large engine failure", 8, "J", "", "-Xrc-3500", {101, 3500}, -3500},
    {"invalid identifier", 10, "bad_", "vtJobIdError", "-Xrc1", {101, 2911}, -2911},
    {"generated identifier", 10, nullptr, "#####", "-Xrc5", {101, 102}, 5},
    {"-API, 259", 8, "J", "", "-API -Xrc259", {101, 102}, -259},
    {"-API", 4, "J", "", "-API -Xrc7", {101, 102}, 7},
    {"-Lrf", 4, "J", "", "-Lrf -Xrc6", {}, 6},
};

struct Job {
  const Kind* kind = nullptr;
  std::string tag, job, line, logged;  // logged: the line as the engine and the records see it
  std::int64_t exit = -1;
  bool ran = false;
};

long long passed = 0;
long long failed = 0;
std::atomic<int> startRetries{0};

void Check(bool ok, const std::string& what) {
  ++(ok ? passed : failed);
  if (!ok && failed <= 40) std::printf("FAIL  %s\n", what.c_str());
}

Job MakeJob(const std::string& tag, const Kind& kind, int pad) {
  Job j;
  j.kind = &kind;
  j.tag = tag;
  const std::string id = kind.id == nullptr ? "" : kind.id + tag;
  j.job = *kind.job == '\0' ? id : kind.job;
  j.line = (id.empty() ? "" : "-Lid" + id + " ") + kind.tail + " -Xtag" + tag +
           (pad > 0 ? " -Xpad" + std::string(pad, 'p') : "");
  j.logged = j.line;
  for (auto p = j.logged.find(" -API"); p != std::string::npos; p = j.logged.find(" -API")) {
    j.logged.erase(p, 5);
  }
  return j;
}

void RunJob(Job& j) {
  int retries = 0;
  plat::Process p =
      qvtest::StartProgram(qvtest::Program("launcher"), plat::FromUtf8(j.line), &retries);
  startRetries += retries;
  j.ran = p && plat::WaitProcess(*p, j.exit);
}

// count jobs drawn by weight, run by P chains side by side (chain c runs the
// jobs c, c + P, ...); gives the seconds they took.
double RunMix(std::vector<Job>& jobs, const std::string& run, int count, int processes, bool fast,
              int pad) {
  std::uint32_t rng = 12345;
  for (int i = 0; i < count; ++i) {
    rng = rng * 1664525u + 1013904223u;
    int r = static_cast<int>((rng >> 8) % 100);
    const Kind* kind = kKinds;
    while (!fast && r >= kind->weight) r -= (kind++)->weight;
    jobs.push_back(MakeJob(run + std::to_string(100000 + i), *kind, pad));
  }
  const auto begin = std::chrono::steady_clock::now();
  std::vector<std::thread> chains;
  for (int c = 0; c < processes; ++c) {
    chains.emplace_back([&jobs, c, processes] {
      for (std::size_t i = c; i < jobs.size(); i += processes) RunJob(jobs[i]);
    });
  }
  for (std::thread& t : chains) t.join();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

std::string TagOf(const std::string& line) {
  const std::size_t at = line.find("-Xtag");
  return at == std::string::npos ? "" : line.substr(at + 5, line.find(' ', at) - at - 5);
}

struct Found {
  qvtest::LogRecord r;
  std::string file;
  bool inLog;  // the log or a rotated generation, not a write-error file
};

// An installation whose log rotates by size into data\rotated, keeping keep
// generations (0: all).
struct Installation {
  qvtest::ScratchInstall install;
  Installation(int size, int keep) {
    fs::create_directories(Native(u"data\\rotated"));
    install.CopyEngine();
    install.LogSetup(u"runtime.orbeck.active=1\r\nruntime.rotate.active=1\r\nruntime.rotate.dir=" +
                     install / u"data\\rotated" + u"\r\nruntime.rotate.rule.sizeflg=1\r\n" +
                     u"runtime.rotate.rule.size=" + plat::Widen(std::to_string(size)) +
                     u"\r\nruntime.rotate.times=" + plat::Widen(std::to_string(keep)) +
                     u"\r\nruntime.rotate.name.description=YYYYMMDD\r\n");
  }
  fs::path Native(const std::u16string& rel) const { return qvtest::NativePath(install / rel); }

  // Reads every file of records; anything else in the output directory (a
  // lock or per-job file left behind) is a fault. Then each job's records and
  // exit code against its kind.
  std::vector<Found> Audit(const std::vector<Job>& jobs, const std::set<std::string>& unrelated,
                           const std::set<std::string>& mayBeLost) const {
    std::vector<Found> found;
    for (const std::u16string dir : {u"data\\log", u"suite\\private", u"data\\rotated"}) {
      for (const auto& e : fs::directory_iterator(Native(dir))) {
        const std::string name = e.path().filename().string();
        const bool aside = name.rfind("LogWriteError_", 0) == 0;
        if ((dir == u"suite\\private" && !aside) || unrelated.count(name) != 0) continue;
        Check(dir == u"data\\rotated" || aside || name == "orbeck.log",
              "output directory: " + name);
        std::vector<std::string> faults;
        for (const auto& r :
             qvtest::ReadLog(install / dir + u"\\" + plat::FromUtf8(name), faults)) {
          found.push_back({r, name, !aside});
        }
        for (const std::string& f : faults) Check(false, f);
      }
    }
    std::map<std::string, std::vector<const Found*>> byTag;
    for (const Found& f : found) byTag[TagOf(f.r.commandLine)].push_back(&f);
    for (const Job& j : jobs) {
      const std::string who = "job " + j.tag + " (" + j.kind->name + ")";
      Check(j.ran, who + ": the launcher did not run");
      std::vector<const Found*>& left = byTag[j.tag];
      bool fell = false;
      std::string generated;
      for (long long code : j.kind->records) {
        auto at = [&left](bool inLog, long long c) {
          return std::find_if(left.begin(), left.end(),
                              [=](const Found* f) { return f->inLog == inLog && f->r.code == c; });
        };
        auto it = at(true, code);
        if (it == left.end()) it = at(false, code == 101 || code == 102 ? 1284 : code);
        if (it == left.end()) {
          Check(mayBeLost.count(j.tag) != 0, who + ": record " + std::to_string(code) + " missing");
          continue;
        }
        const Found& f = **it;
        fell = fell || !f.inLog;
        left.erase(it);
        const std::string where = who + " in " + f.file + ": ";
        Check(f.r.commandLine == j.logged, where + "command line " + f.r.commandLine);
        const bool digits =
            f.r.job.size() == 5 && f.r.job.find_first_not_of("0123456789") == std::string::npos;
        Check(j.job == "#####" ? digits && (generated.empty() || generated == f.r.job)
                               : f.r.job == j.job,
              where + "job " + f.r.job);
        generated = f.r.job;
        Check(f.inLog || f.file == "LogWriteError_" + f.r.job + ".log",
              where + "another job's file");
      }
      const std::int64_t exit = fell && j.kind->records[1] == 102 ? -1284 : j.kind->exit;
      Check(j.exit == qvtest::ExitAsSeen(exit), who + ": exit " + std::to_string(j.exit));
    }
    for (const auto& [tag, left] : byTag)
      Check(left.empty(), "records of no job or surplus: " + tag);
    return found;
  }
};

void Figures(const std::string& run, const std::vector<Job>& jobs, double seconds,
             std::size_t records) {
  std::printf(
      "figures: run=%s jobs=%zu seconds=%.2f jobs_per_s=%.1f records=%zu start_retries=%d "
      "failed_checks=%lld\n",
      run.c_str(), jobs.size(), seconds, jobs.size() / seconds, records, startRetries.load(),
      failed);
}

}  // namespace

int main(int argc, char** argv) {
  int processes = 4, jobs = 15, size = 0, keep = 3, pad = 0;
  std::string run = "both", mix = "full";
  const std::string names[] = {"--processes", "--jobs", "--size", "--keep", "--pad"};
  int* values[] = {&processes, &jobs, &size, &keep, &pad};
  for (int i = 1; i + 1 < argc; i += 2) {
    for (int k = 0; k < 5; ++k) {
      if (argv[i] == names[k]) *values[k] = std::atoi(argv[i + 1]);
    }
    if (argv[i] == std::string("--run")) run = argv[i + 1];
    if (argv[i] == std::string("--mix")) mix = argv[i + 1];
  }
  if (argc % 2 == 0 || processes < 1 || jobs < 1 || keep < 1 || keep > 99) {
    std::fprintf(stderr,
                 "usage: stress_runner [--processes P] [--jobs J] [--size MIB] [--keep K]\n"
                 "         [--pad N] [--run audit|prune|both] [--mix full|fast]\n");
    return 2;
  }
  if (run != "prune") {
    Installation in(size, 0);
    std::vector<Job> plan;
    const double seconds = RunMix(plan, "a", processes * jobs, processes, mix == "fast", pad);
    const std::size_t records = in.Audit(plan, {}, {}).size();
    Figures("audit", plan, seconds, records);
  }
  if (run != "audit") {
    // Pruning on. It counts generations only: an old file that merely bears the
    // log's base name stays like the other unrelated files.
    Installation in(0, keep);
    const std::set<std::string> unrelated = {"notes.txt", "vorn_20260101.log", "orbec.log",
                                             "OLD_ORBECK_notes.txt"};
    for (const std::string& name : unrelated) {
      qvtest::WriteFileBytes(in.Native(u"data\\rotated\\" + plat::FromUtf8(name)), name);
    }
    fs::last_write_time(in.Native(u"data\\rotated\\OLD_ORBECK_notes.txt"),
                        fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
    std::vector<Job> plan;
    const double seconds = RunMix(plan, "p", processes * jobs, processes, mix == "fast", pad);
    std::set<std::string> mayBeLost;
    for (const Job& j : plan) mayBeLost.insert(j.tag);
    // The tail, one job at a time and a little apart: each generation it leaves
    // is newer than the one before, often within the same second.
    std::vector<std::string> tail;
    for (int k = 0; k < keep + 2; ++k) {
      plat::SleepMilliseconds(20);
      plan.push_back(MakeJob("t" + std::to_string(k), kKinds[0], pad));
      RunJob(plan.back());
      tail.push_back(plan.back().tag);
    }
    mayBeLost.insert(tail[0]);
    std::map<std::string, std::set<std::string>> tagsByFile;
    const std::vector<Found> found = in.Audit(plan, unrelated, mayBeLost);
    for (const Found& f : found) tagsByFile[f.file].insert(TagOf(f.r.commandLine));
    const std::set<std::string> newest(tail.end() - 1 - keep, tail.end() - 1);
    std::set<std::string> kept;
    for (const auto& e : fs::directory_iterator(in.Native(u"data\\rotated"))) {
      const std::string name = e.path().filename().string();
      if (unrelated.count(name) != 0) continue;
      Check(tagsByFile[name].size() == 1, name + " is no single generation");
      kept.insert(tagsByFile[name].begin(), tagsByFile[name].end());
    }
    Check(kept == newest,
          "pruning kept " + std::to_string(kept.size()) + " files, not the newest generations");
    Check(tagsByFile["orbeck.log"] == std::set<std::string>{tail.back()},
          "orbeck.log holds more than the last job");
    for (const std::string& name : unrelated) {
      Check(qvtest::ReadFileBytes(in.Native(u"data\\rotated\\" + plat::FromUtf8(name))) == name,
            name + ": an unrelated file changed or went");
    }
    Figures("prune", plan, seconds, found.size());
  }
  std::printf("%lld passed, %lld failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
