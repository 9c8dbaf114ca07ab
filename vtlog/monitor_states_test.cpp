// The answer of each command that a monitor runs, in each state a server can
// be in: the exit code it acts on, and the words that tell the operator why.
#include <gtest/gtest.h>

#include <array>
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

// The check a monitor runs, then the others, as the guide's table has them.
const char* const kCommands[4] = {"jobs --failed --since -1h --lost-after 2", "show", "check",
                                  "rotate --dry-run"};

struct State {
  const char* name;
  std::u16string logSetup;  // after "runtime.orbeck.active=1"
  std::function<void(const vtlogtest::TestInstall&)> make;
  std::array<int, 4> codes;     // of kCommands
  std::vector<Answer> more{};   // other commands, and what the answers say
  bool noInstallation = false;  // VANTREL_V12 unset
};

// The exit code; standard output and standard error go to out.
int Vtlog(const std::string& commandLine, std::string& out) {
  VtlogOutput output{
      [&](std::string_view t) { out += t; }, [&](std::string_view t) { out += t; }, [] {}, {}};
  return RunVtlog(plat::SplitArguments(commandLine), output);
}

void Expect(const State& state, const Answer& a) {
  std::string out;
  EXPECT_EQ(Vtlog(a.commandLine, out), a.code) << state.name << ": " << a.commandLine << "\n"
                                               << out;
  EXPECT_NE(out.find(a.says), std::string::npos) << state.name << ": " << a.commandLine << out;
}

void ExpectAnswers(const State& state) {
  for (std::size_t i = 0; i < 4; ++i) Expect(state, {kCommands[i], state.codes[i]});
  for (const Answer& answer : state.more) Expect(state, answer);
}

TEST(MonitorStatesTest, EachStateGivesTheAnswerAnOperatorActsOn) {
  const std::u16string errorOnly = u"runtime.output.errcodeonly=1\r\n";
  const std::u16string rotation =
      u"runtime.rotate.active=1\r\nruntime.rotate.rule.sizeflg=1\r\nruntime.rotate.rule.size=0\r\n";
  const auto log = [](const vtlogtest::TestInstall& i) { return i.logDir() + u"\\orbeck.log"; };
  const auto healthy = [&](const vtlogtest::TestInstall& i) {
    Write(log(i), Ago(3 * 3600, u"1", 101) + Ago(3 * 3600 - 1, u"1", 102));
  };
  const auto jobFile = [](double ago) {
    return [ago](const vtlogtest::TestInstall& i) {
      Write(i.logDir() + u"\\7_4242", Ago(ago, u"7", 101));
    };
  };
  std::u16string badLines;  // every finding counted, the repeats of a kind summarised
  for (int n = 0; n < 3000; ++n)
    badLines += u"runtime.orbek.activ=1\r\nRuntime.Orbeck.Active=1\r\n";
  plat::FileHandle held;
  const State states[] = {
      {"healthy", u"", healthy, {0, 0, 0, 0}, {{"check", 0, "0 errors, 0 warnings"}}},
      {"no VANTREL_V12",
       u"",
       healthy,
       {3, 3, 2, 2},
       {{"jobs", 3, "VANTREL_V12 is not set"},
        {"check", 2, "no-program-dir"},
        {"rotate --dry-run", 2, "no-directory"}},
       true},
      {"no settings file",
       u"",
       [](const vtlogtest::TestInstall& i) { plat::RemoveFile(i.setupPath()); },
       {3, 3, 1, 0},
       {{"jobs", 3, "active is not"}, {"check", 1, "missing"}}},
      {"settings file unreadable",
       u"",
       [&](const vtlogtest::TestInstall& i) {
         healthy(i), plat::RemoveFile(i.setupPath()), plat::MakeOneDirectory(i.setupPath());
       },
       {0, 0, 2, 0},
       {{"check", 2, "cannot be read"}}},
      {"log is a directory",
       u"",
       [&](const vtlogtest::TestInstall& i) { plat::MakeOneDirectory(log(i)); },
       {3, 3, 2, 0},
       {{"check", 2, "log-is-directory"}}},
      {"log held by a process",
       u"",
       [&](const vtlogtest::TestInstall& i) {
         healthy(i), plat::OpenFile(log(i), plat::OpenMode::WriteShareRead, held);
       },
       {0, 0, 1, 0},
       {{"check", 1, "log-held"}}},
      {"write-error file",
       u"",
       [&](const vtlogtest::TestInstall& i) {
         healthy(i), Write(i.logDir() + u"\\LogWriteError_9.log", Ago(60, u"9", 1284));
       },
       {1, 0, 1, 0},
       {{"jobs --failed --since -1h", 1, "failed -1284"},
        {"check", 1, "write-error-files"},
        {"show --failed --error-files", 1}}},
      {"job open for two hours",
       u"",
       [&](const vtlogtest::TestInstall& i) { Write(log(i), Ago(2 * 3600 + 60, u"7", 101)); },
       {1, 0, 0, 0},
       {{"jobs --failed --since -1h --lost-after 1", 1, "lost"},
        {"jobs --failed --since -1h", 0, "1 running"}}},
      {"job running for 1.5 s",
       u"",
       [&](const vtlogtest::TestInstall& i) {
         Write(log(i), Ago(3600, u"1", 101) + Ago(3599, u"1", 102) + Ago(1.5, u"7", 101));
       },
       {0, 0, 0, 0},
       {{"jobs --failed --since -1h --lost-after 1", 0, "0 failed, 1 running"}}},
      {"error-only, no failure",
       errorOnly,
       {},
       {0, 0, 0, 0},
       {{"jobs --since -1h", 0, "error-only mode"}, {"show --failed", 0, "no job has failed"}}},
      {"error-only, a failure",
       errorOnly,
       [&](const vtlogtest::TestInstall& i) {
         Write(log(i), Ago(90, u"5", 101) + Ago(60, u"5", 2911));
       },
       {1, 0, 0, 0},
       {{"jobs --failed --since -1h", 1, "failed -2911"}, {"show --failed", 1}}},
      {"error-only, a job running",
       errorOnly,
       jobFile(600),
       {0, 0, 0, 0},
       {{"jobs --since -1h", 0, "0 failed, 1 running"}}},
      {"error-only, a job hung",
       errorOnly,
       jobFile(30 * 3600),
       {1, 0, 0, 0},
       {{"jobs --failed --since -1h", 1, "lost"}}},
      {"rotated name with a path separator",
       rotation + u"runtime.rotate.name.description=YYYY\\MM\r\n",
       healthy,
       {0, 0, 2, 2},
       {{"check", 2, "rotate-name-path"}, {"rotate --dry-run", 2, "rotate-name-path"}}},
      {"settings file of 6000 bad lines",
       badLines,
       healthy,
       {0, 0, 2, 0},
       {{"check", 2, "2995 more findings \"unknown-key\" like the ones above, lines 12 to 6000"},
        {"check", 2, "3000 errors, 3000 warnings"}}},
      {"rotation directory cannot be made",
       rotation + u"runtime.rotate.dir=",
       healthy,
       {0, 0, 2, 2},
       {{"rotate --dry-run", 2, "missing-directory"}}},
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
    ExpectAnswers(state);
    held.reset();
  }
  plat::SetClockOverride(std::nullopt);
}

// The rotation directory on a volume of its own that is full (a tmpfs that
// tests/monitor/full_volume.sh mounts and fills): the log is rotated by a
// copy there, which cannot fit.
TEST(MonitorFullVolume, CheckAndRotateSayTheCopyCannotFit) {
  std::u16string volume;
  if (!plat::GetEnvironment(u"QORVANE_FULL_VOLUME", volume) || !plat::PathIsDirectory(volume)) {
    GTEST_SKIP() << "skipped: QORVANE_FULL_VOLUME names no full volume (full_volume.sh sets it)";
  }
  vtlogtest::TestInstall install;
  install.LogSetup(u"runtime.orbeck.active=1\r\nruntime.rotate.active=1\r\nruntime.rotate.dir=" +
                   volume + u"\r\nruntime.rotate.rule.sizeflg=1\r\nruntime.rotate.rule.size=0\r\n");
  std::u16string records;
  for (int n = 999; n >= 0; --n) records += Ago(2 * n + 1, u"1", 101) + Ago(2 * n, u"1", 102);
  Write(install.logDir() + u"\\orbeck.log", records);
  ExpectAnswers(
      {"full rotation volume",
       u"",
       {},
       {0, 0, 2, 2},
       {{"check", 2, "rotation-dir-no-room"}, {"rotate --dry-run", 2, "rotation-dir-no-room"}}});
  // With room made there, a small log fits: nothing to say.
  plat::RemoveFile(volume + u"\\filler");
  Write(install.logDir() + u"\\orbeck.log", Ago(1, u"1", 101));
  std::string out;
  EXPECT_EQ(Vtlog("rotate --dry-run", out), 0) << out;
  EXPECT_EQ(out.find("rotation-dir-no-room"), std::string::npos) << out;
}

}  // namespace
