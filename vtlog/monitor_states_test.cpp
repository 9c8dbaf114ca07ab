// The answer of each command that a monitor runs, in each state a server can
// be in: the exit code it acts on, and the words that tell the operator why.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "platform/testing.h"
#include "tests/support/test_install.h"
#include "vtlog/vtlog.h"

namespace {

using vtlogtest::Record;

constexpr std::int64_t kNow = 1796580000;  // 2026-12-06 18:00 UTC

// A record stamped seconds before now, in local time as the writer stamps it.
std::u16string Ago(double seconds, const char16_t* job, std::int64_t code) {
  const auto ms = static_cast<std::int64_t>(seconds * 1000);
  const plat::WallClock at{kNow - (ms + 999) / 1000, static_cast<int>((1000 - ms % 1000) % 1000)};
  return Record(plat::ToUtf8(FormatRecordTimeStamp(at)).c_str(), job, code, u"-Lid");
}

void Write(const std::u16string& path, const std::u16string& records) {
  qvtest::WriteBytes(path, qvtest::Utf16Le(records));
}

struct Answer {
  std::string commandLine;
  int code;
  std::string says = "";  // in standard output or standard error
};

struct State {
  const char* name;
  std::u16string logSetup;  // after "runtime.orbeck.active=1"
  std::function<void(const vtlogtest::TestInstall&)> make;
  std::vector<Answer> answers;
  bool noInstallation = false;  // VANTREL_V12 unset
};

void Expect(const State& state, const Answer& a) {
  std::string out;
  VtlogOutput output{
      [&](std::string_view t) { out += t; }, [&](std::string_view t) { out += t; }, [] {}, {}};
  EXPECT_EQ(RunVtlog(plat::SplitArguments(a.commandLine), output), a.code)
      << state.name << ": vtlog " << a.commandLine << "\n"
      << out;
  EXPECT_NE(out.find(a.says), std::string::npos) << state.name << ": " << a.commandLine << "\n"
                                                 << out;
}

TEST(MonitorStatesTest, EachStateGivesTheAnswerAnOperatorActsOn) {
  const std::u16string errorOnly = u"runtime.output.errcodeonly=1\r\n";
  const std::u16string rotation =
      u"runtime.rotate.active=1\r\nruntime.rotate.rule.sizeflg=1\r\nruntime.rotate.rule.size=0\r\n";
  const auto log = [](const vtlogtest::TestInstall& i) { return i.logDir() + u"\\orbeck.log"; };
  const auto healthy = [&](const vtlogtest::TestInstall& i) {
    Write(log(i), Ago(3 * 3600, u"1", 101) + Ago(3 * 3600 - 1, u"1", 102));
  };
  plat::FileHandle held;
  const State states[] = {
      {"healthy",
       u"",
       healthy,
       {{"jobs --failed --since -1h", 0},
        {"show", 0},
        {"check", 0, "0 errors, 0 warnings"},
        {"rotate --dry-run", 0}}},
      {"no VANTREL_V12",
       u"",
       healthy,
       {{"jobs", 3, "VANTREL_V12 is not set"},
        {"show", 3},
        {"check", 2, "no-program-dir"},
        {"rotate --dry-run", 2, "no-directory"}},
       true},
      {"no settings file",
       u"",
       [](const vtlogtest::TestInstall& i) { plat::RemoveFile(i.setupPath()); },
       {{"jobs", 3, "active is not"},
        {"show", 3},
        {"check", 1, "missing"},
        {"rotate --dry-run", 0}}},
      {"settings file unreadable",
       u"",
       [&](const vtlogtest::TestInstall& i) {
         healthy(i), plat::RemoveFile(i.setupPath()), plat::MakeOneDirectory(i.setupPath());
       },
       {{"check", 2, "cannot be read"}, {"jobs", 0}}},
      {"log is a directory",
       u"",
       [&](const vtlogtest::TestInstall& i) { plat::MakeOneDirectory(log(i)); },
       {{"jobs", 3}, {"show", 3}, {"check", 2, "log-is-directory"}, {"rotate --dry-run", 0}}},
      {"log held by a process",
       u"",
       [&](const vtlogtest::TestInstall& i) {
         healthy(i), plat::OpenFile(log(i), plat::OpenMode::WriteShareRead, held);
       },
       {{"jobs --failed", 0}, {"show", 0}, {"check", 1, "log-held"}, {"rotate --dry-run", 0}}},
      {"write-error file",
       u"",
       [&](const vtlogtest::TestInstall& i) {
         healthy(i), Write(i.logDir() + u"\\LogWriteError_9.log", Ago(60, u"9", 1284));
       },
       {{"jobs --failed --since -1h", 1, "failed -1284"},
        {"check", 1, "write-error-files"},
        {"show --failed --error-files", 1}}},
      {"job hung for two hours",
       u"",
       [&](const vtlogtest::TestInstall& i) { Write(log(i), Ago(2 * 3600, u"7", 101)); },
       {{"jobs --failed --since -1h --lost-after 1", 1, "lost"},
        {"jobs --failed --since -1h", 0, "1 running"},
        {"check", 0}}},
      {"job running for 1.5 s",
       u"",
       [&](const vtlogtest::TestInstall& i) {
         Write(log(i), Ago(3600, u"1", 101) + Ago(3599, u"1", 102) + Ago(1.5, u"7", 101));
       },
       {{"jobs --failed --since -1h --lost-after 1", 0, "0 failed, 1 running, 0 lost"}}},
      {"error-only, no failure",
       errorOnly,
       {},
       {{"jobs --failed --since -1h", 0, "error-only mode"},
        {"show --failed", 0, "no job has failed"},
        {"check", 0},
        {"rotate --dry-run", 0}}},
      {"error-only, a failure",
       errorOnly,
       [&](const vtlogtest::TestInstall& i) {
         Write(log(i), Ago(90, u"5", 101) + Ago(60, u"5", 2911));
       },
       {{"jobs --failed --since -1h", 1, "failed -2911"}, {"show --failed", 1}, {"check", 0}}},
      {"error-only, a job running",
       errorOnly,
       [&](const vtlogtest::TestInstall& i) {
         Write(i.logDir() + u"\\7_4242", Ago(600, u"7", 101));
       },
       {{"jobs --since -1h", 0, "0 failed, 1 running"}, {"jobs --failed", 0}}},
      {"error-only, a job hung",
       errorOnly,
       [&](const vtlogtest::TestInstall& i) {
         Write(i.logDir() + u"\\7_4242", Ago(30 * 3600, u"7", 101));
       },
       {{"jobs --failed --since -1h", 1, "lost"}}},
      {"rotated name with a path separator",
       rotation + u"runtime.rotate.name.description=YYYY\\MM\r\n",
       healthy,
       {{"check", 2, "rotate-name-path"}, {"rotate --dry-run", 2, "rotate-name-path"}}},
      {"rotation directory cannot be made",
       rotation + u"runtime.rotate.dir=",
       healthy,
       {{"rotate --dry-run", 2, "missing-directory"}, {"check", 2}}},
  };
  qvtest::ScopedFaults faults;
  plat::SetClockOverride(plat::WallClock{kNow, 0});
  for (const State& state : states) {
    vtlogtest::TestInstall install;
    std::u16string setup = u"runtime.orbeck.active=1\r\n" + state.logSetup;
    if (setup.ends_with(u"=")) setup += install / u"gone\\deeper" + u"\r\n";
    install.LogSetup(setup);
    std::filesystem::copy_file(qvtest::NativePath(plat::ExecutableDirectory() + u"\\Qorvane.dll"),
                               qvtest::NativePath(install / u"bin\\Qorvane.dll"));
    if (state.make) state.make(install);
    std::optional<qvtest::ScopedEnv> unset;
    if (state.noInstallation) unset.emplace(u"VANTREL_V12", u"", true);
    for (const Answer& answer : state.answers) Expect(state, answer);
    held.reset();
  }
  plat::SetClockOverride(std::nullopt);
}

// A settings file of many bad lines: every finding counted, the repeats of a
// kind summarised after the first few.
TEST(MonitorStatesTest, RepeatedFindingsAreCountedNotListed) {
  vtlogtest::TestInstall install;
  std::u16string setup = u"runtime.orbeck.active=1\r\n";
  for (int n = 0; n < 3000; ++n) setup += u"runtime.orbek.activ=1\r\nRuntime.Orbeck.Active=1\r\n";
  install.LogSetup(setup);
  std::string out;
  VtlogOutput output{[&](std::string_view t) { out += t; }, [](std::string_view) {}, [] {}, {}};
  EXPECT_EQ(RunVtlog({"check"}, output), 2);
  EXPECT_NE(out.find("2995 more findings \"unknown-key\" like the ones above, lines 12 to 6000"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("3001 errors, 3000 warnings"), std::string::npos) << out;
  EXPECT_LT(std::count(out.begin(), out.end(), '\n'), 200);
}

}  // namespace
