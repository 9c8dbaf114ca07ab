#include "vtlog/vtlog.h"

#include <gtest/gtest.h>

#include "platform/testing.h"
#include "tests/support/test_install.h"
#include "version.h"
#include "vtlog/show.h"

namespace {

using vtlogtest::Record;

void Append(const std::u16string& path, const std::u16string& records) {
  std::string bytes = qvtest::ReadBytes(path);
  qvtest::WriteBytes(path, bytes + qvtest::Utf16Le(records, bytes.empty()));
}

// A generation; a log with jobs finished, failed (-5 printed as Information),
// unfinished, ended in a write-error file, with a lone surrogate; an engine.
void Populate(const vtlogtest::TestInstall& install) {
  install.LogSetup(u"runtime.orbeck.active=1\r\nruntime.rotate.name.description=YYYYMMDD\r\n");
  const std::u16string dir = install.logDir();
  Append(dir + u"\\orbeck_20261204.log", Record("2026/12/04,10:00:00.000", u"3", 101, u"-Lid3"));
  Append(dir + u"\\orbeck.log",
         Record("2026/12/05,18:31:54.123", u"00042", 101, u"-Lid42 -Xa,b") +
             Record("2026/12/05,18:31:55.000", u"00042", 2911, u"-Lid42 -Xa,b") +
             Record("2026/12/05,18:35:00.000", u"9", 101, u"-Lid9") +
             Record("2026/12/05,18:36:00.000", u"5", 101, u"-Lid5") +
             Record("2026/12/05,18:37:00.000", u"4", 101, u"-Lid4") +
             Record("2026/12/05,18:37:30.000", u"4", 101, u"-Lid4") +
             Record("2026/12/05,18:38:00.000", u"4", 102, u"-Lid4") +
             Record("2026/12/05,18:36:01.000", u"5", 5, u"-Lid5") +
             Record("2026/12/05,18:40:00.000", u"7", 101, u"-Lid7 \"q\"") +
             Record("2026/12/05,18:40:01.000", u"7", 102, u"-Lid7 \"q\"") +
             Record("2026/12/05,18:41:00.000", u"6", 101, u"-x\xD800y") +
             Record("2026/12/06,09:00:00.000", u"8", 101, u"-Lid8"));
  Append(dir + u"\\LogWriteError_9.log", Record("2026/12/05,18:50:00.000", u"9", 1284, u"-Lid9"));
  install.CopyEngine();
}

struct Case {
  std::string commandLine;
  int code;
  std::vector<std::string> contains = {};  // in standard output
  std::vector<std::string> lacks = {};
  std::string err = "";  // in standard error; empty: nothing may be written there
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    std::string out, err;
    VtlogOutput output{
        [&](std::string_view t) { out += t; }, [&](std::string_view t) { err += t; }, [] {}, {}};
    EXPECT_EQ(RunVtlog(plat::SplitArguments(c.commandLine), output), c.code) << c.commandLine;
    for (const std::string& s : c.contains)
      EXPECT_NE(out.find(s), std::string::npos) << s << "\n" << out;
    for (const std::string& s : c.lacks) EXPECT_EQ(out.find(s), std::string::npos) << out;
    if (c.err.empty()) {
      EXPECT_EQ(err, "") << c.commandLine;
    } else {
      EXPECT_NE(err.find(c.err), std::string::npos) << c.commandLine << "\n" << err;
    }
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
      {"show --since 2026-12-05T18:40 --until 2026/12/05", 0, {"-Lid7"}, {"-Lid42", "-Lid8"}},
      {"show --since today", 0, {"-Lid8"}, {"-Lid7"}},
      {"show --lines 2", 0, {"-x\xEF\xBF\xBDy\n2026/12/06 09:00:00.000  8"}, {"-Lid7"}},
      {"show --error-files --format json --job 9 --job 6",
       0,
       {"\"origin\":\"write-error\"", "\"-x\\uD800y\""}},
      {"jobs",
       0,
       {"00042  2026/12/05 18:31:54.123  2026/12/05 18:31:55.000  0:00:00.877  failed -2911",
        "9  2026/12/05 18:35:00.000  2026/12/05 18:50:00.000  0:15:00.000  failed -1284  -Lid9\n",
        "4  2026/12/05 18:37:30.000  2026/12/05 18:38:00.000  0:00:30.000  success",
        "9 jobs: 2 success, 3 failed, 2 running, 2 lost\n"}},
      {"jobs --failed --lost-after 30", 1, {"failed -5"}, {"-Lid7"}},
      {"jobs --format json --job 8 --lost-after 0",
       0,
       {"{\"component\":\"Orbeck\",\"job\":\"8\",\"start\":\"2026-12-06T09:00:00.000+",
        "\"end\":null,\"durationMs\":null,\"outcome\":\"lost\",\"result\":null"},
       {"summary", "jobs:"},
       "1 jobs: 0 success, 0 failed, 0 running, 1 lost"},
      {"jobs --format json --summary --since today", 0, {"{\"jobs\":3,\"success\":0,"}, {}},
      {"jobs --format csv --job 7",
       0,
       {"job,start,end,durationMs,outcome,result,commandLine\n7,"},
       {},
       "1 jobs: 1 success, 0 failed, 0 running, 0 lost\n"},
      {"check", 1, {"write-error-files", "vtlog jobs", "0 errors, 1 warnings"}},
      {"--version", 0, {"vtlog " QORVANE_VERSION "\n"}},
      {"show --help", 0, {"--cursor-file", "Exit codes"}},
      {"/?", 0, {"vtlog jobs", "3 unknown"}},
      {"show --class notice", 3, {}, {}, "unknown class"},
      {"jobs --follow", 3, {}, {}, "does not take"},
  });
}

TEST(VtlogCommandTest, NoLogNamesTheMissingSetting) {
  vtlogtest::TestInstall install;
  install.LogSetup(u"runtime.orbeck.active=1\r\n");
  RunCases({{"jobs --component Vorn", 3, {}, {"0 jobs"}, "runtime.vorn.active is not \"1\""}});
  RunCases({{"show", 3, {}, {}, "no job has written one yet"}});
  // A cursor never turns an unreadable log into success, nor skips records.
  plat::MakeOneDirectory(install.logDir() + u"\\orbeck.log");
  const std::u16string cursor = qvtest::NativePath(install / u"c").u16string();
  const std::string show = "show --cursor-file \"" + plat::ToUtf8(cursor) + "\"";
  RunCases({{"show", 3, {}, {}, "cannot be opened"},
            {show, 3, {}, {}, "cannot be opened"},
            {show + " --lines 2", 3, {}, {}, "--lines cannot be used with --cursor-file"}});
  qvtest::WriteBytes(cursor, "offset=7\n");
  RunCases({{show, 3, {}, {}, "not a vtlog cursor"}});
  install.LogSetup(u"runtime.output.dir=" + install / u"gone" + u"\r\n");
  RunCases({{"show --follow", 3, {}, {}, "gone does not exist (runtime.output.dir"}});
  // A log that is there but cannot be read is no answer either.
  std::filesystem::remove(qvtest::NativePath(install.logDir() + u"\\orbeck.log"));
  install.LogSetup(u"runtime.orbeck.active=1\r\n");
  Append(install.logDir() + u"\\orbeck.log", Record("2026/12/05,18:31:54.123", u"1", 101, u"-a"));
  qvtest::ScopedFaults faults;
  plat::InjectFault({.op = plat::FaultOp::Open, .count = -1, .pathContains = u"orbeck.log"});
  RunCases({{"show", 3, {}, {"-a"}, "cannot be opened for reading"},
            {"jobs", 3, {}, {"-a"}, "cannot be opened for reading"}});
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
  const std::u16string copied = install.logDir() + u"\\20261203_orbeck.log.copied";
  plat::FileHandle held;
  auto rmdir = [](const std::u16string& p) { std::filesystem::remove_all(qvtest::NativePath(p)); };
  const std::pair<std::function<void()>, Case> cases[] = {
      {[] {}, {"check", 0, {"0 errors, 0 warnings"}}},
      // A copy a killed rotation left under names since changed, its log gone.
      {[&] { Append(copied, Record("2026/12/03,10:00:00.000", u"33", 101, u"-Lid33")); },
       {"check", 1, {"interrupted-copy", "0 errors, 1 warnings"}}},
      {[] {}, {"show", 0, {"-Lid3\n2026/12/03 10:00:00.000  33  ", "-Lid33\n2026/12/05"}}},
      {[&] {
         plat::RemoveFile(copied), plat::OpenFile(lock, plat::OpenMode::WriteShareRead, held);
       },
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
  };
  for (const auto& [prepare, c] : cases) {
    prepare();
    RunCases({c});
  }
  // Held by another process, as a running job holds it: share modes are real.
  rmdir(log), Append(log, Record("2026/12/05,18:31:55.000", u"00042", 2911, u"-Lid42"));
  plat::OpenFile(log, plat::OpenMode::WriteShareRead, held);
  const std::u16string exe = qvtest::Program("vtlog");
  const std::pair<std::u16string, std::int64_t> program[] = {
      {u"check", 1}, {u"jobs --failed", 1}, {u"jobs --job 7", 0}, {u"show --lines x", 3}};
  for (const auto& [commandLine, code] : program) {
    plat::Process process = qvtest::StartProgram(exe, commandLine);
    std::int64_t exitCode = -1;
    ASSERT_TRUE(process && plat::WaitProcess(*process, exitCode));
    EXPECT_EQ(exitCode, code) << plat::ToUtf8(commandLine);
  }
}

}  // namespace

// Output is converted a block of code units at a time: every kind of
// character, at a block's start, middle and end, in UTF-8, JSON and CSV.
TEST(VtlogOutputTest, CharactersAtEveryPlaceOfABlock) {
  struct Piece {
    std::u16string text;
    std::string utf8, json;
    bool quoted;  // in CSV
  };
  const Piece pieces[] = {{u"\\", "\\", "\\\\", false},
                          {u"\"", "\"", "\\\"", true},
                          {u",", ",", ",", true},
                          {u"\r\n", "\r\n", "\\u000D\\u000A", true},
                          {u"\x01", "\x01", "\\u0001", false},
                          {u"\u00E9", "\xC3\xA9", "\xC3\xA9", false},
                          {u"\U0001F600", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", false},
                          {u"\xD800", "\xEF\xBF\xBD", "\\uD800", false}};
  for (const Piece& p : pieces) {
    for (const std::size_t at : {0, 7, 14, 15, 16, 31}) {
      const std::u16string text = std::u16string(at, u'a') + p.text + std::u16string(at % 5, u'b');
      const auto around = [at](std::string_view open, std::string_view middle) {
        return std::string(open).append(at, 'a').append(middle).append(at % 5, 'b').append(open);
      };
      std::string utf8, csv;
      AppendUtf8(utf8, text);
      AppendCsvField(csv, text);
      EXPECT_EQ(utf8, around("", p.utf8)) << at;
      EXPECT_EQ(JsonString(text), around("\"", p.json)) << at;
      EXPECT_EQ(csv, p.quoted ? around("\"", p.text == u"\"" ? "\"\"" : p.utf8) : utf8);
    }
  }
  // A command line whose JSON is longer than a line's buffer.
  std::u16string path;
  std::string json = "{\"commandLine\":\"";
  for (int n = 0; n < 3000; ++n) path += u"ab\\", json += "ab\\\\";
  std::string out;
  JsonLine line(out);
  JsonField(line, "commandLine", path);
  EndJson(line);
  EXPECT_EQ(out, json + "\"}\n");
  // UTF-8 fields, as check's messages with their paths and quotes.
  out.clear();
  JsonLine message(out);
  JsonField(message, "m", std::string_view("C:\\x"));
  JsonField(message, "q", std::string_view("\"y\""));
  EndJson(message);
  EXPECT_EQ(out, "{\"m\":\"C:\\\\x\",\"q\":\"\\\"y\\\"\"}\n");
}
