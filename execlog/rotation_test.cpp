#include "execlog/rotation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "execlog/codes.h"
#include "execlog/record_writer.h"
#include "platform/testing.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using qvtest::Exists;
using qvtest::NativePath;
using qvtest::ReadBytes;

std::int64_t Utc(int y, unsigned m, unsigned d, int h = 12) {
  using namespace std::chrono;
  return duration_cast<seconds>(sys_days{year{y} / month{m} / day{d}}.time_since_epoch() + hours{h})
      .count();
}

// A file of size bytes (sparse where the system allows) written at time.
void MakeFile(const std::u16string& path, std::uintmax_t size, std::int64_t time,
              std::string_view text = "") {
  qvtest::WriteBytes(path, text);
  if (size > text.size()) fs::resize_file(NativePath(path), size);
  using namespace std::chrono;
  fs::last_write_time(NativePath(path), file_clock::from_sys(sys_seconds{seconds{time}}));
}

void Inject(plat::FaultOp op, int count, std::u16string path = {}, std::size_t shortWrite = 0) {
  plat::InjectFault({op, 0, count, std::move(path), plat::OpenStatus::AccessDenied, shortWrite});
}

const std::int64_t kLoadTime = Utc(2026, 12, 5);
constexpr std::int64_t kMiB = 1048576;
const std::u16string kBySize0 = u"runtime.rotate.rule.sizeflg=1\r\nruntime.rotate.rule.size=0\r\n";

class Rotation : public ::testing::Test {
 protected:
  Rotation() {
    fs::create_directories(NativePath(out));
    plat::SetClockOverride(plat::WallClock{kLoadTime, 0});
  }
  // Orbeck logging into out, rotating into rot as orbeck_YYYYMMDD.log.
  void Settings(const std::u16string& lines) {
    root.LogSetup(u"runtime.output.dir=" + out + u"\r\nruntime.rotate.dir=" + rot +
                  u"\r\nruntime.rotate.active=1\r\nruntime.orbeck.active=1\r\n"
                  u"runtime.rotate.name.description=YYYYMMDD\r\n" +
                  lines);
  }
  RotationPlan Plan() {
    InitLogSettings(loaded);
    loaded.componentName = u"Orbeck";
    LoadLogSettings(loaded);
    FinalizeLogSettings(loaded);
    return PlanRotation(loaded);
  }
  std::u16string Rotated(std::u16string_view suffix = u"") const {
    return rot + u"\\orbeck_20261205" + std::u16string(suffix) + u".log";
  }

  qvtest::ScratchInstall root;
  qvtest::ScopedFaults faults;
  LogSettings loaded;  // by Plan()
  std::u16string out = root / u"out";
  std::u16string rot = out + u"\\old";
  std::u16string log = out + u"\\orbeck.log";
  std::u16string lock = out + u"\\rotation.lock";
};

TEST_F(Rotation, DecidesBySizeAndByUtcCalendarFields) {
  using R = RotationReason;
  struct Row {
    std::u16string settings;
    std::int64_t size;  // -1: no log
    std::int64_t modTime;
    R reason;
  };
  const std::u16string size = u"runtime.rotate.rule.sizeflg=1\r\nruntime.rotate.rule.size=";
  const std::u16string date = u"runtime.rotate.rule.dateflg=1\r\nruntime.rotate.rule.datetype=";
  const std::int64_t today = Utc(2026, 12, 5, 1);
  // clang-format off
  const Row rows[] = {
      {size + u"0", 0, today, R::SizeReached}, {size + u"0", -1, today, R::NoLog},
      {size + u"1", kMiB, today, R::SizeReached}, {size + u"1", kMiB - 1, today, R::NotDue},
      {size + u"99", 2048 * kMiB + 1, today, R::SizeReached}, {date + u"2", 2048 * kMiB + 1, today, R::NotDue},
      {date + u"2", 0, Utc(2026, 12, 4, 23), R::DatePassed}, {date + u"2", 0, Utc(2026, 12, 5, 0), R::NotDue},
      {date + u"1", 0, Utc(2026, 11, 30, 23), R::DatePassed}, {date + u"1", 0, Utc(2026, 12, 1, 0), R::NotDue},
      {date + u"0", 0, Utc(2025, 12, 31, 23), R::DatePassed}, {date + u"0", 0, Utc(2026, 1, 1, 0), R::NotDue},
      {date + u"1", 0, Utc(2027, 1, 3), R::DatePassed}, {date + u"0", 0, Utc(2027, 1, 3), R::NotDue},
      {date + u"2", 0, Utc(2026, 12, 6), R::NotDue}, {u"", 0, Utc(2020, 1, 1), R::NotDue},
      {u"runtime.rotate.active=0\r\n" + size + u"0", 0, today, R::Off},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(plat::ToUtf8(row.settings) + " size " + std::to_string(row.size));
    fs::remove_all(NativePath(rot));
    if (row.size >= 0) MakeFile(log, static_cast<std::uintmax_t>(row.size), row.modTime);
    Settings(row.settings + u"\r\n");
    EXPECT_EQ(Plan().reason, row.reason);
    RotateExecLog(u"Orbeck");
    const bool rotates = row.reason == R::SizeReached || row.reason == R::DatePassed;
    EXPECT_EQ(Exists(Rotated()), rotates);
    EXPECT_EQ(Exists(log), row.size >= 0 && !rotates);
    EXPECT_FALSE(Exists(lock));
    EXPECT_EQ(FileModTime(rotates ? Rotated() : log), row.size >= 0 ? row.modTime : 0);
    fs::remove(NativePath(log));
  }
}

// Same-day rotations, by a rename and through the copy made into another
// volume: the newest keeps the plain name, the displaced file takes the lowest
// free number, and the plan foretells the names and what pruning deletes.
TEST_F(Rotation, SameDayRotationsTakeTheLowestFreeNumberAsPlanned) {
  struct Step {
    std::string content;
    std::u16string deleteFirst;
    std::vector<std::pair<std::u16string, std::string>> expected;  // suffix, content
    std::u16string pruned;
  };
  const Step steps[] = {
      {"A", u"", {{u"", "A"}}, u""},
      {"B", u"", {{u"", "B"}, {u"_1", "A"}}, u""},
      {"C", u"", {{u"", "C"}, {u"_1", "A"}, {u"_2", "B"}}, u""},
      {"D", u"_1", {{u"", "D"}, {u"_1", "C"}, {u"_2", "B"}}, u""},
      {"E", u"", {{u"", "E"}, {u"_1", "C"}, {u"_3", "D"}}, u"_2"},
  };
  Settings(kBySize0 + u"runtime.rotate.times=3\r\n");
  for (bool copy : {false, true}) {
    fs::remove_all(NativePath(rot));
    for (std::size_t i = 0; i < std::size(steps); ++i) {
      const Step& step = steps[i];
      SCOPED_TRACE(step.content + (copy ? " copied" : " renamed"));
      if (!step.deleteFirst.empty()) fs::remove(NativePath(Rotated(step.deleteFirst)));
      const std::int64_t written = kLoadTime - 100 + static_cast<std::int64_t>(i);
      MakeFile(log, 0, written, step.content);
      const RotationPlan plan = Plan();
      EXPECT_EQ(plan.rotatedName, Rotated());
      if (!copy) {
        RotateExecLog(u"Orbeck");
      } else {
        fs::create_directories(NativePath(rot));
        if (!plan.displacedTo.empty()) plat::MoveNoReplace(Rotated(), plan.displacedTo);
        EXPECT_EQ(CopyLogToRotateDir(Rotated(), loaded), 1);
        PruneRotatedLogs(loaded);
      }
      EXPECT_FALSE(Exists(log));
      for (const auto& [suffix, content] : step.expected) {
        EXPECT_EQ(ReadBytes(Rotated(suffix)), content);
      }
      const std::vector<std::u16string> pruned = {Rotated(step.pruned)};
      EXPECT_EQ(plan.pruned, step.pruned.empty() ? std::vector<std::u16string>{} : pruned);
      EXPECT_FALSE(!step.pruned.empty() && Exists(Rotated(step.pruned)));
      EXPECT_EQ(FileModTime(Rotated()), written);
    }
  }
}

// Whatever fails, the log stays whole where it was and no copy is left.
// Setup: L lock held, W log held by a writer, F a file in the rotation
// directory's place, E an earlier rotation of today, C the copy alone, A a
// writer that passed its lock probe before the rotation appends just before
// the log's removal (its record stays in the log).
TEST_F(Rotation, FailuresLeaveTheLogWhereItIs) {
  using plat::FaultOp;
  struct Row {
    std::string setup;
    FaultOp op;
    std::u16string path;
    std::size_t shortWrite = 0;
  };
  const std::u16string copying = u".copying", copied = u".copied";
  const Row rows[] = {
      {"L", FaultOp::Alloc, u"|"},         {"W", FaultOp::Alloc, u"|"},
      {"F", FaultOp::Alloc, u"|"},         {"E", FaultOp::Move, u"old"},  // displaced file stays
      {"CW", FaultOp::Alloc, u"|"},        {"C", FaultOp::Write, copying, 3},
      {"C", FaultOp::Read, u"orbeck.log"}, {"C", FaultOp::Move, copying},
      {"C", FaultOp::Open, copying},       {"C", FaultOp::Remove, u"orbeck.log"},
      {"CA", FaultOp::Alloc, u"|"},
  };
  Settings(kBySize0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.setup + " " + plat::ToUtf8(row.path));
    auto has = [&](char c) { return row.setup.find(c) != std::string::npos; };
    plat::ClearFaults();
    fs::remove_all(NativePath(rot));
    if (has('F')) qvtest::WriteBytes(rot, "");
    fs::create_directories(NativePath(has('C') || has('E') ? rot : out));
    if (has('E')) MakeFile(Rotated(), 0, kLoadTime, "earlier");
    MakeFile(log, 0, kLoadTime, "live record\r\n");
    plat::FileHandle held =
        has('L') || has('W') ? OpenLogForAppend(has('L') ? lock : log) : nullptr;
    Plan();
    Inject(row.op, 1, row.path, row.shortWrite);
    if (has('A')) {
      plat::SetPause(plat::PausePoint::BeforeRemove, [&](const std::u16string& path) {
        plat::FileHandle writer = OpenLogForAppend(path);
        ASSERT_TRUE(writer && plat::WriteBytes(*writer, "late record\r\n", 13));
      });
    }
    EXPECT_EQ(has('C') ? CopyLogToRotateDir(Rotated(), loaded) : (RotateExecLog(u"Orbeck"), 0), 0);
    EXPECT_EQ(ReadBytes(log), has('A') ? "live record\r\nlate record\r\n" : "live record\r\n");
    EXPECT_EQ(Exists(Rotated()), has('E'));
    EXPECT_FALSE(Exists(Rotated() + copying) || Exists(Rotated() + copied));
    EXPECT_EQ(Exists(lock), has('L'));
    held.reset();
    fs::remove(NativePath(lock));
  }
  // With its delete refused, the lock file shows that it was taken, also
  // with rotation off.
  Settings(u"runtime.rotate.active=0\r\n");
  Inject(FaultOp::Remove, 1, u"rotation.lock");
  RotateExecLog(u"Orbeck");
  EXPECT_TRUE(Exists(lock));
}

// The dated name at its position; then names that are generations of it
// (any date, a number) and, after "-", names that are not.
TEST(RotationNames, DatedNamesAndTheirNumberedForms) {
  struct Row {
    std::u16string log, description;
    int position;
    std::vector<std::u16string> names;
  };
  // clang-format off
  const Row rows[] = {
      {u"orbeck.log", u"YYYYMMDD", 0, {u"20261205_orbeck.log", u"20200101_ORBECK.LOG", u"20261205_orbeck_9998.log",
          u"20261205_orbeck_0.log", u"-", u"orbeck.log", u"2026120_orbeck.log", u"20261205_orbeck_.log",
          u"20261205_orbeck_12345.log", u"20261205_orbeck.log.copied", u"x20261205_orbeck.log"}},
      {u"orbeck.log", u"YYYYMMDD", 1, {u"orbeck_20261205.log", u"orbeck_19991231_3.log", u"-",
          u"orbeck_2026120a.log", u"orbeck_20261205.log.copying", u"rotation.lock"}},
      {u"orbeck.log", u"", 1, {u"orbeck_.log", u"orbeck__1.log", u"-", u"orbeck.log"}},
      {u"Orbeck7.log", u"YYYYMMDD", 1, {u"Orbeck7_20261205.log", u"-", u"LogWriteError_Orbeck7.log"}},
      {u"orbeck.log", u"YYYY-YY", 1, {u"orbeck_2026-26.log", u"-", u"orbeck_2026-2026.log"}},
      {u"orbeck.log", u"yyyymmdd", 1, {u"orbeck_yyyymmdd.log", u"-", u"orbeck_20261205.log"}},
      {u"orbeck", u"DD.MM.YY", 1, {u"orbeck_05.12.26", u"orbeck_01.01_7.00"}},
  };
  // clang-format on
  for (const Row& row : rows) {
    LogSettings settings;
    settings.logFilePath = u"D:\\o\\" + row.log;
    settings.rotateDir = u"R";
    settings.rotateNameDescription = row.description;
    settings.rotateNamePos = row.position;
    settings.loadTime = kLoadTime;
    EXPECT_EQ(MakeRotatedName(settings), u"R\\" + row.names[0]);
    bool generation = true;
    for (const std::u16string& name : row.names) {
      generation = generation && name != u"-";
      EXPECT_TRUE(name == u"-" || IsRotatedName(settings, name) == generation)
          << plat::ToUtf8(name);
    }
  }
  EXPECT_EQ(NumberedRotatedName(u"D:\\v_1.0\\a.log\\orbeck.log", 12),
            u"D:\\v_1.0\\a.log\\orbeck_12.log");
  EXPECT_EQ(NumberedRotatedName(u"D:\\x.log\\orbeck", 3), u"D:\\x.log\\orbeck_3");
  EXPECT_EQ(YearOf(0) + MonthOf(0) + DayOf(0), 0);
}

// Newest first; within a second the fraction, then the greater name.
TEST(RotationSort, NewestFirstThenFractionThenGreaterName) {
  std::vector<RotationCandidate> list = {{0, u"a", 5, 0}, {0, u"B", 5, 0}, {0, u"c", 7, 0},
                                         {0, u"b", 5, 0}, {0, u"d", 5, 9}, {0, u"z", 0, 0}};
  SortRotationCandidates(list);
  std::u16string names;
  for (const RotationCandidate& entry : list) names += entry.name;
  EXPECT_EQ(names, u"cdbaBz");
  EXPECT_EQ(list.front().count, 6);
}

// The default layout: the rotation directory is the output directory, where
// the log, the lock, the fallback files and copies of killed rotations lie.
// Pruning counts and deletes generations only.
TEST_F(Rotation, PruneKeepsTheNewestGenerationsAndNothingElse) {
  struct Row {
    std::u16string times;
    int kept;  // newest generations kept
    bool oldestAtZero, allocFault;
  };
  const Row rows[] = {{u"3", 3, false, false},  {u"1", 1, false, false},  {u"3", 3, true, false},
                      {u"0", 5, false, false},  {u"", 5, false, false},   {u"x", 5, false, false},
                      {u"-5", 5, false, false}, {u"99", 5, false, false}, {u"1", 5, false, true}};
  const std::u16string gens[] = {u"orbeck_20261204.log", u"orbeck_20261203_1.log",
                                 u"ORBECK_20261202.LOG", u"orbeck_20261201.log",
                                 u"orbeck_20261130_12.log"};
  const std::pair<std::u16string, std::int64_t> others[] = {
      {u"orbeck.log", Utc(2026, 12, 5)},
      {u"rotation.lock", Utc(2026, 12, 3, 18)},
      {u"LogWriteError_Orbeck7.log", Utc(2026, 11, 1)},
      {u"LogNameError_orbeck.log", Utc(2026, 11, 1)},
      {u"orbeck_20261101.log.copying", Utc(2026, 11, 2)},
      {u"orbeck_20261102.log.copied", Utc(2026, 11, 2)},
      {u"orbeck_notes.txt", Utc(2026, 11, 3)}};
  rot = out;
  for (const Row& row : rows) {
    SCOPED_TRACE(plat::ToUtf8(row.times));
    plat::ClearFaults();
    fs::remove_all(NativePath(out));
    fs::create_directories(NativePath(out + u"\\orbeck_20261129.log"));
    for (const auto& [name, time] : others) MakeFile(out + u"\\" + name, 0, time, "x");
    for (int i = 0; i < 5; ++i) {
      MakeFile(out + u"\\" + gens[i], 0, row.oldestAtZero && i == 4 ? 0 : Utc(2026, 12, 4 - i));
    }
    Settings(u"runtime.rotate.times=" + row.times + u"\r\n");
    Plan();
    if (row.allocFault) Inject(plat::FaultOp::Alloc, -1);
    PruneRotatedLogs(loaded);
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(Exists(out + u"\\" + gens[i]), i < row.kept || (row.oldestAtZero && i == 4)) << i;
    }
    for (const auto& [name, time] : others) EXPECT_EQ(ReadBytes(out + u"\\" + name), "x");
    EXPECT_TRUE(fs::is_directory(NativePath(out + u"\\orbeck_20261129.log")));
  }
}

// Copies that killed rotations left, under the present names or names since
// changed: a copy still being made, or one the log still begins with, goes;
// a finished copy whose log is gone becomes its generation (under the present
// names, dated by its time), or takes a number when a newer one holds the name.
TEST_F(Rotation, InterruptedCopiesAreRemovedOrFinished) {
  struct Row {
    std::u16string name;
    std::string copy, log;  // log "": none
    bool plainTaken;
    std::u16string endsAs;  // "": removed
  };
  const std::string live = "live record\r\n";
  const Row rows[] = {
      {u"orbeck_20261204.log.copying", "live rec", live, false, u""},
      {u"orbeck_20261204.log.copied", live, live + live, false, u""},
      {u"orbeck_20261204.log.copied", "old record\r\n", live, false, u"orbeck_20261204.log"},
      {u"orbeck_20261204.log.copied", "old record\r\n", "", false, u"orbeck_20261204.log"},
      {u"orbeck_20261204.log.copied", "old record\r\n", live, true, u"orbeck_20261204_1.log"},
      {u"20261101_ORBECK.log.copied", "old record\r\n", "", false, u"orbeck_20261204.log"},
      {u"orbeck_Dec-04.log.copying", "live rec", live, false, u""},
      {u"orbeck_Dec-04.log.copied", live, live + live, false, u""},
      {u"orbeck_long-notes-x.log.copied", "notes", live, false, u"orbeck_long-notes-x.log.copied"},
  };
  Settings(u"runtime.rotate.rule.sizeflg=1\r\nruntime.rotate.rule.size=99\r\n");
  for (const Row& row : rows) {
    SCOPED_TRACE(plat::ToUtf8(row.name) + " " + row.log);
    fs::remove_all(NativePath(out));
    fs::create_directories(NativePath(rot));
    if (row.plainTaken) MakeFile(rot + u"\\orbeck_20261204.log", 0, kLoadTime, "newer");
    if (!row.log.empty()) MakeFile(log, 0, kLoadTime, row.log);
    MakeFile(rot + u"\\" + row.name, 0, kLoadTime - 86400, row.copy);
    const RotationPlan plan = Plan();
    RotateExecLog(u"Orbeck");
    EXPECT_EQ(plan.interrupted.size(), row.endsAs == row.name ? 0u : 1u);
    EXPECT_TRUE(row.endsAs.empty() || ReadBytes(rot + u"\\" + row.endsAs) == row.copy);
    EXPECT_EQ(Exists(rot + u"\\" + row.name), row.endsAs == row.name);
    EXPECT_EQ(ReadBytes(log), row.log);
    // A copy the log still holds must not stand beside it as a generation.
    EXPECT_EQ(std::distance(fs::directory_iterator(NativePath(rot)), {}),
              (row.endsAs.empty() ? 0 : 1) + (row.plainTaken ? 1 : 0));
  }
}

// A launcher killed while it copies the log into another volume, then the
// next run: every record stays exactly once, no line is torn, and pruning to
// one keeps the complete generation.
TEST(RotationKill, CopyToAnotherVolumeKilledMidway) {
  std::u16string volume;
  if (!plat::GetEnvironment(u"QORVANE_OTHER_VOLUME", volume) || !plat::PathIsDirectory(volume)) {
    GTEST_SKIP() << "skipped: QORVANE_OTHER_VOLUME names no directory on a second volume";
  }
  std::u16string exe = plat::FromUtf8(qvtest::TestBinDir()) + u"\\qorvane";
  if (Exists(exe + u".exe")) exe += u".exe";
  qvtest::ScratchInstall root;
  const std::u16string rot = volume + u"\\qvrot" + plat::Widen(std::to_string(plat::Now().seconds));
  const std::u16string log = root.logDir() + u"\\orbeck.log";
  root.LogSetup(u"runtime.orbeck.active=1\r\nruntime.rotate.active=1\r\nruntime.rotate.dir=" + rot +
                u"\r\nruntime.rotate.rule.sizeflg=1\r\nruntime.rotate.rule.size=1\r\n"
                u"runtime.rotate.times=1\r\nruntime.rotate.name.description=YYYYMMDD\r\n");
  const std::u16string line = FormatExecLogRecord(u"2026/12/05,11:00:00.000", u"J0000000", u"HS", 0,
                                                  kStartRecord, u"-Xrc0");
  std::size_t records = 0;
  bool killed = false;
  for (std::size_t mib = 16; !killed && mib <= 512; mib *= 4) {
    fs::remove_all(NativePath(rot));
    fs::create_directories(NativePath(rot));
    std::u16string text;
    for (records = 0; text.size() * 2 < mib * kMiB; ++records) {
      const std::string n = std::to_string(10000000 + records);
      text += line.substr(0, 24) + u"J" + plat::FromUtf8(n.substr(1)) + line.substr(32);
    }
    qvtest::WriteBytes(log, qvtest::Utf16Le(text));
    plat::Process job = qvtest::StartProgram(exe, u"-LidK1");
    ASSERT_TRUE(job);
    const std::int64_t deadline = plat::Now().seconds + 120;
    for (bool done = false; !done;) {
      ASSERT_LT(plat::Now().seconds, deadline) << "the rotation never copied the log";
      for (const auto& entry : fs::directory_iterator(NativePath(rot))) {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(entry.path(), ec);
        // Any name: a partial copy must not stand where a generation may.
        killed = size > 0 && size < text.size() * 2 + 2 && plat::KillProcess(*job);
        done = done || killed || size == text.size() * 2 + 2;
      }
    }
    std::int64_t code = 0;
    plat::WaitProcess(*job, code);
  }
  if (!killed) GTEST_SKIP() << "skipped: every copy ended before it could be killed (one volume?)";
  plat::Process next = qvtest::StartProgram(exe, u"-LidK2");
  std::int64_t code = 0;
  ASSERT_TRUE(next && plat::WaitProcess(*next, code));
  std::vector<int> seen(records, 0);
  std::vector<fs::path> files = {NativePath(log)};
  for (const auto& entry : fs::directory_iterator(NativePath(rot))) files.push_back(entry.path());
  EXPECT_EQ(files.size(), 2u) << "one generation kept";
  for (const fs::path& file : files) {
    const std::u16string text = qvtest::FromUtf16Le(qvtest::ReadFileBytes(file).substr(2));
    EXPECT_TRUE(text.ends_with(u"\r\n")) << file << " ends in a torn line";
    for (std::size_t at = 0, end; (end = text.find(u"\r\n", at)) != std::u16string::npos;
         at = end + 2) {
      if (text.compare(at + 24, 1, u"J") == 0 && end - at == line.size() - 2) {
        ++seen[std::stoul(plat::ToUtf8(text.substr(at + 25, 7)))];
      }
    }
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<long>(records))
      << std::count(seen.begin(), seen.end(), 0) << " records lost";
  fs::remove_all(NativePath(rot));
}

}  // namespace
