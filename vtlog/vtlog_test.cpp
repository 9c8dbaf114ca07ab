#include "vtlog/vtlog.h"

#include <gtest/gtest.h>

#include "platform/testing.h"
#include "version.h"
#include "vtlog/show.h"
#include "vtlog/test_install.h"

namespace {

using vtlogtest::Record;

struct RunResult {
  int code = 0;
  std::string out;
  std::string err;
};

RunResult RunIn(const std::string& commandLine) {
  RunResult run;
  VtlogOutput output{[&](std::string_view t) { run.out += t; },
                     [&](std::string_view t) { run.err += t; },
                     [] {},
                     {}};
  run.code = RunVtlog(plat::SplitArguments(commandLine), output);
  return run;
}

void Append(const std::u16string& path, const std::u16string& records) {
  std::string bytes = qvtest::ReadBytes(path);
  qvtest::WriteBytes(path, bytes + qvtest::Utf16Le(records, bytes.empty()));
}

// A rotated generation with one job; a log with a finished, two failed (one
// by -5, which the writer prints as Information), an unfinished job, a job
// whose end went to a write-error file and a command line with a lone
// surrogate; a working engine.
void Populate(const vtlogtest::TestInstall& install) {
  install.LogSetup(u"runtime.orbeck.active=1\r\n");
  const std::u16string dir = install.logDir();
  Append(dir + u"\\orbeck_20261204.log", Record("2026/12/04,10:00:00.000", u"3", 101, u"-Lid3"));
  Append(dir + u"\\orbeck.log",
         Record("2026/12/05,18:31:54.123", u"00042", 101, u"-Lid42 -Xa,b") +
             Record("2026/12/05,18:31:55.000", u"00042", 2911, u"-Lid42 -Xa,b") +
             Record("2026/12/05,18:35:00.000", u"9", 101, u"-Lid9") +
             Record("2026/12/05,18:36:00.000", u"5", 101, u"-Lid5") +
             Record("2026/12/05,18:36:01.000", u"5", 5, u"-Lid5") +
             Record("2026/12/05,18:40:00.000", u"7", 101, u"-Lid7 \"q\"") +
             Record("2026/12/05,18:40:01.000", u"7", 102, u"-Lid7 \"q\"") +
             Record("2026/12/05,18:41:00.000", u"6", 101, u"-x\xD800y") +
             Record("2026/12/06,09:00:00.000", u"8", 101, u"-Lid8"));
  Append(dir + u"\\LogWriteError_9.log", Record("2026/12/05,18:50:00.000", u"9", 1284, u"-Lid9"));
  std::filesystem::copy_file(qvtest::NativePath(plat::ExecutableDirectory() + u"\\Qorvane.dll"),
                             qvtest::NativePath(install / u"bin\\Qorvane.dll"));
}

struct Case {
  std::string commandLine;
  int code;
  std::vector<std::string> contains = {};  // in standard output
  std::vector<std::string> lacks = {};
  std::string err = "";  // in standard error
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const RunResult run = RunIn(c.commandLine);
    const std::string trace = c.commandLine + "\n" + run.out + run.err;
    EXPECT_EQ(run.code, c.code) << trace;
    for (const std::string& s : c.contains) EXPECT_NE(run.out.find(s), std::string::npos) << trace;
    for (const std::string& s : c.lacks) EXPECT_EQ(run.out.find(s), std::string::npos) << trace;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << trace;
  }
}

TEST(VtlogCommandTest, AnswersFormatsAndExitCodes) {
  vtlogtest::TestInstall install;
  Populate(install);
  qvtest::ScopedFaults faults;
  plat::SetClockOverride(plat::WallClock{1796580000, 0});  // 2026-12-06 18:00 UTC
  RunCases({
      {"show",
       0,
       {"2026/12/04 10:00:00.000  3  Information:HS-00-01-0101  -Lid3\n2026/12/05 18:31:54.123  "
        "00042  Information:HS-00-01-0101  -Lid42 -Xa,b\n",
        "-x\xEF\xBF\xBDy\n"},
       {"LogWriteError"}},
      {"show --format csv --job 7 --job 5",
       0,
       {"date,time,job,class,prefix,subCode,figure,code,result,commandLine,file\n",
        "2026/12/05,18:40:00.000,7,Information,HS,0,1,101,,\"-Lid7 \"\"q\"\"\",", ",5,-5,-Lid5,"},
       {"00042"}},
      {"show --failed --format json",
       1,
       {"{\"timestamp\":\"2026-12-05T18:31:55.000+",
        "\"component\":\"Orbeck\",\"job\":\"00042\","
        "\"result\":-2911,\"class\":\"Error\"",
        "\"result\":-5,"},
       {"\"code\":101", "\"code\":102"}},
      {"show --job 6 --format json", 0, {"\"-x\\uD800y\""}, {}},
      {"show --since 2026-12-05T18:40 --until 2026/12/05", 0, {"-Lid7"}, {"-Lid42", "-Lid8"}},
      {"show --since today", 0, {"-Lid8"}, {"-Lid7"}},
      {"show --lines 2", 0, {"-x\xEF\xBF\xBDy\n2026/12/06 09:00:00.000  8"}, {"-Lid7"}},
      {"show --error-files --format json --job 9", 0, {"\"origin\":\"write-error\""}, {}},
      {"jobs",
       0,
       {"00042  2026/12/05 18:31:54.123  2026/12/05 18:31:55.000  0:00:00.877  failed -2911  "
        "-Lid42",
        "9  2026/12/05 18:35:00.000  2026/12/05 18:50:00.000  0:15:00.000  failed -1284  -Lid9\n",
        "7 jobs: 1 success, 3 failed, 2 running, 1 lost\n"}},
      {"jobs --failed --lost-after 30", 1, {"failed -5"}, {"-Lid7"}},
      {"jobs --job 7", 0, {"success"}, {}},
      {"jobs --format json --job 8 --lost-after 0",
       0,
       {"{\"component\":\"Orbeck\",\"job\":\"8\",\"start\":\"2026-12-06T09:00:00.000+",
        "\"end\":null,\"durationMs\":null,\"outcome\":\"lost\",\"result\":null"},
       {"summary", "jobs:"},
       "1 jobs: 0 success, 0 failed, 0 running, 1 lost"},
      {"jobs --format json --summary --since today", 0, {"{\"jobs\":1,\"success\":0,"}, {}},
      {"jobs --format csv --job 7", 0, {"job,start,end,durationMs,outcome,result,commandLine\n7,"}},
      {"check", 1, {"write-error-files", "vtlog jobs", "0 errors, 1 warnings"}},
      {"--version", 0, {"vtlog " QORVANE_VERSION "\n"}},
      {"show --help", 0, {"--cursor-file", "Exit codes"}},
      {"/?", 0, {"vtlog jobs", "3 unknown"}},
      {"show --class notice", 3, {}, {}, "unknown class"},
      {"show --since 2026-02-30", 3, {}, {}, "cannot read the time"},
      {"jobs --follow", 3, {}, {}, "does not take"},
      {"frobnicate", 3, {}, {}, "unknown command"},
  });
}

// Reading nothing is no answer: the missing setting is named, and the exit
// code says "unknown", never "all clear".
TEST(VtlogCommandTest, NoLogNamesTheMissingSetting) {
  vtlogtest::TestInstall install;
  install.LogSetup(u"runtime.orbeck.active=1\r\n");
  RunCases({{"jobs --component Vorn", 3, {}, {"0 jobs"}, "runtime.vorn.active is not \"1\""},
            {"show", 3, {}, {}, "no job has written one yet"}});
  install.LogSetup(u"runtime.output.dir=" + install / u"gone" + u"\r\n");
  RunCases({{"show --follow", 3, {}, {}, "gone does not exist (runtime.output.dir"}});
  qvtest::ScopedEnv env(u"VANTREL_V12", u"", true);
  RunCases({{"jobs", 3, {}, {}, "VANTREL_V12 is not set"}});
}

// The log file and the lock opened as the launcher opens them; settings that
// leave an unattended job waiting at a message box.
TEST(VtlogCommandTest, CheckFindsWhatMakesJobsFailOrHang) {
  vtlogtest::TestInstall install;
  Populate(install);
  plat::RemoveFile(install.logDir() + u"\\LogWriteError_9.log");
  const std::u16string log = install.logDir() + u"\\orbeck.log";
  const std::u16string lock = install.logDir() + u"\\rotation.lock";
  plat::FileHandle held;
  auto rmdir = [](const std::u16string& p) { std::filesystem::remove_all(qvtest::NativePath(p)); };
  const std::pair<std::function<void()>, Case> cases[] = {
      {[] {}, {"check", 0, {"0 errors, 0 warnings"}}},
      {[&] { plat::OpenFile(lock, plat::OpenMode::WriteShareRead, held); },
       {"check", 1, {"lock-held", "-1284"}}},
      {[&] { held.reset(), rmdir(lock), plat::MakeOneDirectory(lock); },
       {"check", 2, {"lock-is-directory", "never rotated"}}},
      {[&] {
         rmdir(lock);
         install.WriteIni("[Common]\r\nFromExec=1\r\n[Orbeck]\r\nErrorDisp=0\r\n");
       },
       {"check --format json",
        1,
        {"\"message\":\"[Common] FromExec is 1\"",
         "\"message\":\"[Orbeck] ErrorDisp is 0, not 2\""}}},
      {[&] { install.WriteIni(""), rmdir(log), plat::MakeOneDirectory(log); },
       {"check", 2, {"error: " + plat::ToUtf8(log) + ": log-is-directory", "-1283"}}},
      {[&] { rmdir(log); }, {"check --component Vorn", 1, {"inactive"}}},
  };
  for (const auto& [prepare, c] : cases) {
    prepare();
    RunCases({c});
  }
  // Held by another process, as a running job holds it: share modes are real.
  Append(log, Record("2026/12/05,18:31:55.000", u"00042", 2911, u"-Lid42"));
  plat::OpenFile(log, plat::OpenMode::WriteShareRead, held);
  std::u16string exe = plat::ExecutableDirectory() + u"\\vtlog";
  if (plat::PathExists(exe + u".exe")) exe += u".exe";
  const std::pair<std::u16string, std::int64_t> program[] = {
      {u"check", 1}, {u"jobs --failed", 1}, {u"jobs --job 7", 0}, {u"show --lines x", 3}};
  for (const auto& [commandLine, code] : program) {
    plat::Process process = plat::StartProcess(exe, commandLine);
    std::int64_t exitCode = -1;
    ASSERT_TRUE(process && plat::WaitProcess(*process, exitCode));
    EXPECT_EQ(exitCode, code) << plat::ToUtf8(commandLine);
  }
}

// A collector that follows with a cursor, is restarted, and reads across a
// rotation gets every record once; error files written while it follows
// reach it too.
TEST(VtlogCommandTest, FollowAndCursorLoseAndRepeatNothing) {
  vtlogtest::TestInstall install;
  install.LogSetup(u"runtime.orbeck.active=1\r\n");
  const std::u16string dir = install.logDir();
  const std::string cursor = plat::ToUtf8(install / u"cursor");
  auto rec = [](int n) {
    return Record("2026/12/05,18:31:54.123", u"1", 101,
                  (u"-n" + plat::Widen(std::to_string(n))).c_str());
  };
  for (int n = 1; n <= 12; ++n) Append(dir + u"\\orbeck.log", rec(n));
  std::string out;
  int step = 0;
  VtlogOutput output{[&](std::string_view t) { out += t; }, [&](std::string_view t) { out += t; },
                     [] {},
                     [&] {
                       ++step;
                       if (step == 1) {
                         Append(dir + u"\\orbeck.log", rec(13));
                         Append(dir + u"\\LogWriteError_2.log", rec(14));
                       }
                       if (step == 2) {
                         plat::MoveNoReplace(dir + u"\\orbeck.log", dir + u"\\orbeck_1.log");
                         Append(dir + u"\\orbeck_1.log", rec(15));
                         Append(dir + u"\\orbeck.log", rec(16));
                       }
                       return step < 4;
                     }};
  ShowOptions options;
  options.follow = options.errorFiles = true;
  options.intervalMs = 1;
  options.cursorFile = cursor;
  EXPECT_EQ(RunShow(options, output), kExitOk);
  // The last 10 of the history, then what came while following, in order.
  std::string expected;
  for (int n = 3; n <= 16; ++n) expected += "-n" + std::to_string(n) + "\n";
  std::string got;
  for (std::size_t at = out.find("-n"); at != std::string::npos; at = out.find("-n", at + 1)) {
    got += out.substr(at, out.find('\n', at) - at + 1);
  }
  EXPECT_EQ(got, expected) << out;
  // Restarted: only what was written since, across one more rotation.
  Append(dir + u"\\orbeck.log", rec(17));
  plat::MoveNoReplace(dir + u"\\orbeck.log", dir + u"\\orbeck_2.log");
  Append(dir + u"\\orbeck.log", rec(18));
  const std::string show = "show --cursor-file \"" + cursor + "\"";
  RunCases({{show, 0, {"-n17\n", "-n18\n"}, {"-n16", "-n3\n"}}, {show, 0, {}, {"-n"}}});
}

}  // namespace
