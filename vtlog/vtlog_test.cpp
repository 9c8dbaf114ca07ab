#include "vtlog/vtlog.h"

#include <gtest/gtest.h>

#include "platform/testing.h"
#include "platform/text.h"
#include "tests/support/test_install.h"

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
                     [&](std::string_view t) { run.err += t; }, [] {}};
  run.code = RunVtlog(plat::SplitArguments(commandLine), output);
  return run;
}

// An installation whose log holds a finished, a failed and an unfinished job,
// and one whose end went to a write-error file; a clean configuration with a
// working engine.
void Populate(const vtlogtest::TestInstall& install) {
  install.LogSetup(u"runtime.orbeck.active=1\r\n");
  qvtest::WriteBytes(
      install.logDir() + u"\\orbeck.log",
      qvtest::Utf16Le(Record("2026/12/05,18:31:54.123", u"00042", 101, u"-Lid42 -Xa,b") +
                      Record("2026/12/05,18:31:55.000", u"00042", 2911, u"-Lid42 -Xa,b") +
                      Record("2026/12/05,18:35:00.000", u"9", 101, u"-Lid9") +
                      Record("2026/12/05,18:40:00.000", u"7", 101, u"-Lid7 \"q\"") +
                      Record("2026/12/05,18:40:01.000", u"7", 102, u"-Lid7 \"q\"") +
                      Record("2026/12/06,09:00:00.000", u"8", 101, u"-Lid8")));
  qvtest::WriteBytes(install.logDir() + u"\\LogWriteError_9.log",
                     qvtest::Utf16Le(Record("2026/12/05,18:50:00.000", u"9", 1284, u"-Lid9")));
  std::filesystem::copy_file(qvtest::NativePath(plat::ExecutableDirectory() + u"\\Qorvane.dll"),
                             qvtest::NativePath(install / u"bin\\Qorvane.dll"));
}

TEST(VtlogCommandTest, SubcommandsAndFormats) {
  vtlogtest::TestInstall install;
  Populate(install);
  // 2026-12-06 18:00 UTC: job 8 started hours ago, within a day.
  qvtest::ScopedFaults faults;
  plat::SetClockOverride(plat::WallClock{1796580000, 0});
  struct Case {
    const char* commandLine;
    int code;
    std::vector<std::string> contains;
    std::vector<std::string> lacks;
  };
  const Case cases[] = {
      {"show",
       0,
       {"2026/12/05 18:31:54.123  00042  Information:HS-00-01-0101  -Lid42 -Xa,b\n",
        "Error:HS-00-09-2911"},
       {"LogWriteError"}},
      {"show --format csv --job 7",
       0,
       {"date,time,job,class,prefix,subCode,figure,code,commandLine,source\n",
        "2026/12/05,18:40:00.000,7,Information,HS,0,1,101,\"-Lid7 \"\"q\"\"\",\n"},
       {"00042"}},
      {"show --format json --class error",
       0,
       {"{\"date\":\"2026/12/05\",\"time\":\"18:31:55.000\",\"job\":\"00042\",\"class\":\"Error\","
        "\"prefix\":\"HS\",\"subCode\":0,\"figure\":9,\"code\":2911,\"commandLine\":\"-Lid42 "
        "-Xa,b\"}\n"},
       {"\"code\":101"}},
      {"show --since 2026-12-05T18:40 --until 2026/12/05", 0, {"-Lid7"}, {"-Lid42", "-Lid8"}},
      // Write-error records are merged in by time and marked.
      {"show --error-files --format json",
       0,
       {"\"code\":102,\"commandLine\":\"-Lid7 \\\"q\\\"\"}\n{\"date\":\"2026/12/05\",\"time\":"
        "\"18:50:00.000\",\"job\":\"9\",\"class\":\"Warning\"",
        "\"source\":\"write-error\",\"file\":\"LogWriteError_9.log\"}"},
       {}},
      {"jobs",
       0,
       {"00042  2026/12/05 18:31:54.123  2026/12/05 18:31:55.000  0:00:00.877  failed -2911  "
        "-Lid42 "
        "-Xa,b\n",
        "9  2026/12/05 18:35:00.000  2026/12/05 18:50:00.000  0:15:00.000  failed -1284  -Lid9\n",
        "4 jobs: 1 success, 2 failed, 1 running, 0 lost\n"},
       {}},
      {"jobs --failed --format json",
       0,
       {"\"outcome\":\"running\"", "\"outcome\":\"failed\",\"result\":-2911,",
        "{\"summary\":{\"jobs\":4,\"success\":1,\"failed\":2,"},
       {"\"job\":\"7\""}},
      {"jobs --lost-after 0 --job 8",
       0,
       {"8  2026/12/06 09:00:00.000  -  -  lost  -Lid8\n",
        "1 jobs: 0 success, 0 failed, 0 running, 1 lost\n"},
       {}},
      {"jobs --lost-after x", 2, {}, {}},
      {"check",
       1,
       {"[Common] ErrorLevel = 0  (default)", "componentActive = 1", "write-error-files",
        "0 errors, 1 warnings"},
       {}},
      {"check --format json --component mirvo",
       1,
       {"\"kind\":\"inactive\"", "\"exitCode\":1}"},
       {}},
      {"rotate --dry-run", 0, {"decision: no rotation", "rotation is off"}, {}},
      {"rotate", 2, {}, {}},
      {"show --class notice", 2, {}, {}},
      {"show --since yesterday", 2, {}, {}},
      {"show --component Nobody", 2, {}, {}},
      {"jobs --follow", 2, {}, {}},
      {"frobnicate", 2, {}, {}},
  };
  for (const Case& c : cases) {
    const RunResult run = RunIn(c.commandLine);
    EXPECT_EQ(run.code, c.code) << c.commandLine << "\n" << run.out << run.err;
    for (const std::string& s : c.contains) {
      EXPECT_NE(run.out.find(s), std::string::npos) << c.commandLine << "\n" << run.out << run.err;
    }
    for (const std::string& s : c.lacks) {
      EXPECT_EQ(run.out.find(s), std::string::npos) << c.commandLine << "\n" << run.out;
    }
  }
}

TEST(VtlogCommandTest, ShowReportsWhatItCannotReadAndShowsTheRest) {
  vtlogtest::TestInstall install;
  const std::u16string path = install / u"odd.log";
  const std::u16string rec = Record("2026/12/05,18:31:54.123", u"1", 101, u"-ok");
  qvtest::WriteBytes(
      path, qvtest::Utf16Le(rec + std::u16string(u"\u0000junk\r\n", 7) + rec.substr(0, 30), false));
  const RunResult run = RunIn("show --file \"" + plat::ToUtf8(path) + "\"");
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.out.find("-ok"), std::string::npos);
  for (const char* problem : {"no byte-order mark", "line 2: not a record", "line 3: last line"}) {
    EXPECT_NE(run.err.find(problem), std::string::npos) << run.err;
  }
}

// The program itself, started as operators start it; exit codes only.
TEST(VtlogProgramTest, ExitCodes) {
  vtlogtest::TestInstall install;
  Populate(install);
  plat::RemoveFile(install.logDir() + u"\\LogWriteError_9.log");
  std::u16string exe = plat::ExecutableDirectory() + u"\\vtlog";
  if (plat::PathExists(exe + u".exe")) exe += u".exe";
  struct Case {
    std::u16string commandLine;
    std::int64_t code;
  };
  const Case cases[] = {
      {u"check", 0},
      {u"check --component Vorn", 1},  // Vorn does not log
      {u"show --file \"" + install / u"missing dir\\x.log" + u"\"", 1},
      {u"jobs --format json", 0},
      {u"rotate", 2},
  };
  for (const Case& c : cases) {
    plat::Process process = plat::StartProcess(exe, c.commandLine);
    ASSERT_TRUE(process) << plat::ToUtf8(c.commandLine);
    std::int64_t code = -1;
    ASSERT_TRUE(plat::WaitProcess(*process, code));
    EXPECT_EQ(code, c.code) << plat::ToUtf8(c.commandLine);
  }
  // A missing engine is an error.
  plat::RemoveFile(install / u"bin\\Qorvane.dll");
  plat::Process process = plat::StartProcess(exe, u"check");
  std::int64_t code = -1;
  ASSERT_TRUE(process && plat::WaitProcess(*process, code));
  EXPECT_EQ(code, 2);
}

}  // namespace
