// A shipper against jobs that rotate the log at every run (and send some end
// records to write-error files): followed or run from a timer, stopped and
// restarted with its cursor, it delivers every record exactly once.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "execlog/rotation.h"
#include "platform/testing.h"
#include "tests/support/test_install.h"
#include "vtlog/show.h"

namespace {

struct Shipper {
  vtlogtest::TestInstall install;
  std::string cursor = plat::ToUtf8(qvtest::NativePath(install / u"cursor").u16string());
  std::string out, err;
  std::atomic<int> jobs = 0;
  int pauseMs = 5;  // between two jobs

  Shipper() {
    plat::MakeOneDirectory(install.logDir() + u"\\held");
    install.LogSetup(
        u"runtime.orbeck.active=1\r\nruntime.rotate.active=1\r\nruntime.rotate.rule.sizeflg=1\r\n"
        u"runtime.rotate.rule.size=0\r\nruntime.rotate.name.description=YYYYMMDD\r\n");
  }
  // A job as the launcher runs it: the rotation, a start and an end record;
  // every tenth end record missed the log.
  void Job() {
    const int n = jobs++;
    const std::u16string dir = install.logDir(), id = plat::Widen("J" + std::to_string(n % 7));
    const std::u16string tag = u"-Lid" + id + plat::Widen(" -n" + std::to_string(n));
    plat::SleepMilliseconds(pauseMs);
    RotateExecLog(u"Orbeck");
    WriteExecLogRecord(1, dir, 200, 101, u"HS", 0, id, dir + u"\\orbeck.log", tag + u"s", 0);
    // A directory where the log belongs: the writer's own fallback file.
    const std::u16string log = dir + (n % 10 == 9 ? u"\\held" : u"\\orbeck.log");
    WriteExecLogRecord(1, dir, 200, 102, u"HS", 0, id, log, tag + u"e", 0);
  }
  int Run(bool follow, std::function<bool()> wanted = {}, std::function<bool(bool)> written = {}) {
    VtlogOutput output{[&](std::string_view t) { out += t; }, [&](std::string_view t) { err += t; },
                       [] {}, wanted, written};
    ShowOptions options{.follow = follow, .errorFiles = true, .cursorFile = cursor};
    options.intervalMs = 1;
    return RunShow(options, output);
  }
  // Every job's two records shipped once: the count of each tag. ordered: a
  // follower ships a job's end record before the records of four jobs later.
  void Audit(bool ordered = false) {
    std::map<std::string, int> seen;
    for (std::size_t at = 0; (at = out.find(" -n", at)) != std::string::npos; ++at) {
      ++seen[out.substr(at + 3, out.find('\n', at) - at - 3)];
    }
    int wrong = 0;
    for (int n = 0; n < jobs; ++n) {
      for (const char* end : {"s", "e"}) wrong += seen[std::to_string(n) + end] != 1;
      const std::string later = " -n" + std::to_string(n + 4) + "s\n";
      wrong += ordered && out.find(" -n" + std::to_string(n) + "e\n") > out.find(later);
    }
    EXPECT_EQ(wrong, 0) << "of " << 2 * jobs << " records; stderr:\n" << err.substr(0, 2000);
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(2 * jobs));
  }
};

int JobCount() {
  return qvtest::OnWindows() ? 60 : 500;
}

// Up to three jobs (so up to three rotations) between two looks; the follower
// stopped after every ninth look and started again with its cursor.
TEST(VtlogShipTest, FollowerStoppedAndRestartedShipsEveryGenerationOnce) {
  Shipper s;
  while (s.jobs < JobCount()) {
    int looks = 0;
    EXPECT_EQ(s.Run(true,
                    [&] {
                      for (int k = looks % 4; k > 0; --k) s.Job();
                      return ++looks % 9 != 0 && s.jobs < JobCount();
                    }),
              kExitOk);
  }
  // The last job's log rotated away: no live log; a second run adds nothing.
  RotateExecLog(u"Orbeck");
  EXPECT_EQ(s.Run(false), kExitOk);
  EXPECT_EQ(s.Run(false), kExitOk);
  s.Audit(true);
}

// Timer runs between up to three jobs (so up to three rotations), or while
// another thread runs jobs back to back, many rotations within one tick of
// the file clock and within one run; one run's output cannot be written (a
// full volume) and must leave the cursor where it was.
TEST(VtlogShipTest, TimerRunsAcrossRotationsAndAFailedOutputShipEveryRecordOnce) {
  for (const bool concurrent : {false, true}) {
    SCOPED_TRACE(concurrent ? "jobs running meanwhile" : "jobs between runs");
    Shipper s;
    std::atomic<bool> done = false;
    std::thread jobs;
    if (concurrent) {
      s.pauseMs = 0;
      s.Job();
      jobs = std::thread([&] {
        while (s.jobs < JobCount() / 2) s.Job();
        done = true;
      });
    }
    for (int run = 0; concurrent ? !done : s.jobs < JobCount(); ++run) {
      for (int k = concurrent ? 0 : run % 4; k > 0; --k) s.Job();
      if (s.jobs == 0) continue;
      const std::size_t before = s.out.size(), errBefore = s.err.size();
      const bool fail = run == 3;
      const int code = s.Run(false, {}, [&](bool) { return !fail; });
      if (fail) s.out.resize(before);  // what the full volume never took
      // A look that found no quiet moment reads nothing and says so.
      const bool unsettled = s.err.find("rotated throughout", errBefore) != std::string::npos;
      EXPECT_EQ(code, fail        ? kExitUnknown
                      : unsettled ? kExitWarning
                                  : kExitOk)
          << s.err.substr(s.err.size() - std::min<std::size_t>(s.err.size(), 600));
    }
    if (jobs.joinable()) jobs.join();
    RotateExecLog(u"Orbeck");
    EXPECT_EQ(s.Run(false), kExitOk);
    EXPECT_EQ(s.Run(false), kExitOk);
    EXPECT_NE(s.err.find("could not be written"), std::string::npos);
    s.Audit();
  }
}

}  // namespace
