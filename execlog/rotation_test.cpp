#include "execlog/rotation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "execlog/record_writer.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using qvtest::NativePath;

std::int64_t Utc(int y, unsigned m, unsigned d, int h = 12) {
  using namespace std::chrono;
  return duration_cast<seconds>(sys_days{year{y} / month{m} / day{d}}.time_since_epoch() + hours{h})
      .count();
}

void SetModTime(const std::u16string& path, std::int64_t time) {
  using namespace std::chrono;
  fs::last_write_time(NativePath(path), file_clock::from_sys(sys_seconds{seconds{time}}));
}

// A file of size bytes (sparse where the system allows) written at time.
void MakeFile(const std::u16string& path, std::uintmax_t size, std::int64_t time,
              std::string_view text = "") {
  qvtest::WriteBytes(path, text);
  if (size > text.size()) fs::resize_file(NativePath(path), size);
  SetModTime(path, time);
}

void Inject(plat::FaultOp op, int count, std::u16string pathContains = {}) {
  plat::FaultRule rule;
  rule.op = op;
  rule.count = count;
  rule.pathContains = std::move(pathContains);
  plat::InjectFault(rule);
}

const std::int64_t kLoadTime = Utc(2026, 12, 5);

class Rotation : public ::testing::Test {
 protected:
  Rotation() {
    fs::create_directories(NativePath(out));
    plat::SetClockOverride(plat::WallClock{kLoadTime, 0});
  }

  // The suite's log settings: Orbeck logging into out, rotation on into rot,
  // named orbeck_YYYYMMDD.log, plus the given lines.
  void Settings(std::u16string_view lines) {
    std::u16string text = u"runtime.output.dir=" + out + u"\r\nruntime.rotate.dir=" + rot +
                          u"\r\nruntime.rotate.active=1\r\nruntime.orbeck.active=1\r\n"
                          u"runtime.rotate.name.description=YYYYMMDD\r\n" +
                          std::u16string(lines);
    root.LogSetup(text);
  }
  std::u16string Rotated(std::u16string_view suffix = u"") const {
    return rot + u"\\orbeck_20261205" + std::u16string(suffix) + u".log";
  }

  qvtest::ScratchInstall root;
  qvtest::ScopedFaults faults;
  std::u16string out = root / u"out";
  std::u16string rot = out + u"\\old";
  std::u16string log = out + u"\\orbeck.log";
  std::u16string lock = out + u"\\rotation.lock";
};

constexpr std::int64_t kMiB = 1048576;
constexpr std::int64_t k2GiB = 2048 * kMiB;

TEST_F(Rotation, DecidesBySizeAndByUtcCalendarFields) {
  struct Row {
    const char* what;
    std::u16string settings;
    std::int64_t size;  // -1: no log
    std::int64_t modTime;
    bool rotates;
  };
  const std::u16string bySize = u"runtime.rotate.rule.sizeflg=1\r\nruntime.rotate.rule.size=";
  const std::u16string byDate = u"runtime.rotate.rule.dateflg=1\r\nruntime.rotate.rule.datetype=";
  const std::int64_t today = Utc(2026, 12, 5, 1);
  const Row rows[] = {
      {"limit 0, empty log", bySize + u"0\r\n", 0, today, true},
      {"limit 0, no log", bySize + u"0\r\n", -1, today, false},
      {"exactly the limit", bySize + u"1\r\n", kMiB, today, true},
      {"a byte below", bySize + u"1\r\n", kMiB - 1, today, false},
      {"2 GiB by size", bySize + u"99\r\n", k2GiB + 1, today, true},
      {"2 GiB by day, today", byDate + u"2\r\n", k2GiB + 1, today, false},
      {"day, yesterday", byDate + u"2\r\n", 0, Utc(2026, 12, 4, 23), true},
      {"day, today", byDate + u"2\r\n", 0, Utc(2026, 12, 5, 0), false},
      {"month, 11-30", byDate + u"1\r\n", 0, Utc(2026, 11, 30, 23), true},
      {"month, 12-01", byDate + u"1\r\n", 0, Utc(2026, 12, 1, 0), false},
      {"year, 2025-12-31", byDate + u"0\r\n", 0, Utc(2025, 12, 31, 23), true},
      {"year, 2026-01-01", byDate + u"0\r\n", 0, Utc(2026, 1, 1, 0), false},
      {"month, future 2027-01-03", byDate + u"1\r\n", 0, Utc(2027, 1, 3), true},
      {"year, future 2027-01-03", byDate + u"0\r\n", 0, Utc(2027, 1, 3), false},
      {"day, future 2026-12-06", byDate + u"2\r\n", 0, Utc(2026, 12, 6), false},
      {"no rule", u"", 0, Utc(2020, 1, 1), false},
      {"rotation off", u"runtime.rotate.active=0\r\n" + bySize + u"0\r\n", 0, today, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove_all(NativePath(rot));
    if (row.size >= 0) MakeFile(log, static_cast<std::uintmax_t>(row.size), row.modTime);
    Settings(row.settings);
    RotateExecLog(u"Orbeck");
    EXPECT_EQ(qvtest::Exists(Rotated()), row.rotates);
    EXPECT_EQ(qvtest::Exists(log), row.size >= 0 && !row.rotates);
    EXPECT_FALSE(qvtest::Exists(lock));
    const std::u16string now = row.rotates ? Rotated() : log;
    if (row.size >= 0) {
      EXPECT_EQ(FileModTime(now), row.modTime);
      EXPECT_EQ(FileSizeMiB(now), static_cast<std::int32_t>(row.size / kMiB));
    }
    fs::remove(NativePath(log));
  }
}

TEST_F(Rotation, TakesTheLockEvenWhenSwitchedOff) {
  Settings(u"runtime.rotate.active=0\r\n");
  MakeFile(log, 10, Utc(2020, 1, 1));
  RotateExecLog(u"Orbeck");
  EXPECT_FALSE(qvtest::Exists(lock));
  // With its delete refused, the lock file shows that it was created.
  Inject(plat::FaultOp::Remove, 1, u"rotation.lock");
  RotateExecLog(u"Orbeck");
  EXPECT_TRUE(qvtest::Exists(lock));
  EXPECT_TRUE(qvtest::Exists(log));
}

TEST_F(Rotation, SameDayRotationsTakeTheLowestFreeNumber) {
  struct Step {
    std::string content;
    std::u16string deleteFirst;
    std::vector<std::pair<std::u16string, std::string>> expected;  // suffix, content
  };
  const Step steps[] = {
      {"A", u"", {{u"", "A"}}},
      {"B", u"", {{u"", "B"}, {u"_1", "A"}}},
      {"C", u"", {{u"", "C"}, {u"_1", "A"}, {u"_2", "B"}}},
      {"D", u"_1", {{u"", "D"}, {u"_1", "C"}, {u"_2", "B"}}},
  };
  Settings(u"runtime.rotate.rule.sizeflg=1\r\nruntime.rotate.rule.size=0\r\n");
  for (const Step& step : steps) {
    SCOPED_TRACE(step.content);
    if (!step.deleteFirst.empty()) fs::remove(NativePath(Rotated(step.deleteFirst)));
    MakeFile(log, 0, kLoadTime, step.content);
    RotateExecLog(u"Orbeck");
    EXPECT_FALSE(qvtest::Exists(log));
    for (const auto& [suffix, content] : step.expected) {
      EXPECT_EQ(qvtest::ReadBytes(Rotated(suffix)), content);
    }
  }
}

TEST_F(Rotation, NumbersStayInTheRotationDirectory) {
  const std::u16string parents[] = {u"logs.log", u"v_1.0", u"orbeck_1.log"};
  for (const std::u16string& parent : parents) {
    rot = out + u"\\" + parent + u"\\old";
    fs::create_directories(NativePath(out + u"\\" + parent));
    Settings(u"runtime.rotate.rule.sizeflg=1\r\nruntime.rotate.rule.size=0\r\n");
    for (const char* content : {"first", "second"}) {
      MakeFile(log, 0, kLoadTime, content);
      RotateExecLog(u"Orbeck");
    }
    EXPECT_EQ(qvtest::ReadBytes(Rotated()), "second");
    EXPECT_EQ(qvtest::ReadBytes(Rotated(u"_1")), "first");
    EXPECT_FALSE(qvtest::Exists(log));
  }
}

TEST_F(Rotation, FailuresLeaveTheLogWhereItIs) {
  struct Row {
    const char* what;
    bool holdLock, holdLog, rotateDirIsFile, refuseDisplace;
  };
  const Row rows[] = {
      {"lock held by another open", true, false, false, false},
      {"log held by a writer", false, true, false, false},
      {"rotation directory is a file", false, false, true, false},
      {"displaced file cannot move", false, false, false, true},
  };
  Settings(u"runtime.rotate.rule.sizeflg=1\r\nruntime.rotate.rule.size=0\r\n");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    plat::ClearFaults();
    fs::remove_all(NativePath(rot));
    if (row.rotateDirIsFile) qvtest::WriteBytes(rot, "");
    if (row.refuseDisplace) {
      fs::create_directory(NativePath(rot));
      MakeFile(Rotated(), 0, kLoadTime, "earlier");
      Inject(plat::FaultOp::Move, 1);
    }
    MakeFile(log, 0, kLoadTime, "live");
    plat::FileHandle held;
    if (row.holdLock) held = OpenLogForAppend(lock);
    if (row.holdLog) held = OpenLogForAppend(log);
    RotateExecLog(u"Orbeck");
    EXPECT_EQ(qvtest::ReadBytes(log), "live");
    EXPECT_EQ(qvtest::Exists(Rotated()), row.refuseDisplace);
    // The holder keeps its lock file; otherwise the rotation removed its own.
    EXPECT_EQ(qvtest::Exists(lock), row.holdLock);
    held.reset();
    fs::remove(NativePath(lock));
    fs::remove_all(NativePath(rot));
  }
}

TEST_F(Rotation, RotationDirectoryMadeMeanwhileIsUsed) {
  Settings(u"runtime.rotate.rule.sizeflg=1\r\nruntime.rotate.rule.size=0\r\n");
  MakeFile(log, 0, kLoadTime, "live");
  // The check sees the directory missing; the creation then finds it made by
  // another process, and fails.
  fs::create_directories(NativePath(rot));
  Inject(plat::FaultOp::Status, 1, rot);
  RotateExecLog(u"Orbeck");
  EXPECT_EQ(qvtest::ReadBytes(Rotated()), "live");
  EXPECT_FALSE(qvtest::Exists(log));
}

TEST(RotationNames, ReplaceTheDateAndPlaceIt) {
  struct Row {
    std::u16string log, description;
    int position;
    std::u16string expected;
  };
  const Row rows[] = {
      {u"D:\\o\\orbeck.log", u"YYYYMMDD", 0, u"R\\20261205_orbeck.log"},
      {u"D:\\o\\orbeck.log", u"YYYYMMDD", 1, u"R\\orbeck_20261205.log"},
      {u"D:\\o\\orbeck.log", u"", 0, u"R\\_orbeck.log"},
      {u"D:\\o\\orbeck.log", u"", 1, u"R\\orbeck_.log"},
      {u"D:\\o\\orbeck.log", u"YYYY-YY", 1, u"R\\orbeck_2026-26.log"},
      {u"D:\\o\\orbeck.log", u"DD.MM.YY", 1, u"R\\orbeck_05.12.26.log"},
      {u"D:\\o\\orbeck.log", u"yyyymmdd", 1, u"R\\orbeck_yyyymmdd.log"},
      {u"D:\\o\\orbeck", u"YYYYMMDD", 1, u"R\\orbeck_20261205"},
  };
  for (const Row& row : rows) {
    LogSettings settings;
    settings.logFilePath = row.log;
    settings.rotateDir = u"R";
    settings.rotateNameDescription = row.description;
    settings.rotateNamePos = row.position;
    settings.loadTime = kLoadTime;
    EXPECT_EQ(MakeRotatedName(settings), row.expected) << plat::ToUtf8(row.description);
  }
  EXPECT_EQ(NumberedRotatedName(u"D:\\v_1.0\\a.log\\orbeck.log", 12),
            u"D:\\v_1.0\\a.log\\orbeck_12.log");
  EXPECT_EQ(NumberedRotatedName(u"D:\\x.log\\orbeck", 3), u"D:\\x.log\\orbeck_3");
  EXPECT_EQ(YearOf(0) + MonthOf(0) + DayOf(0), 0);
}

TEST(RotationSort, NewestFirstThenGreaterName) {
  std::vector<RotationCandidate> list = {{0, u"a", 5}, {0, u"B", 5},      {0, u"c", 7},
                                         {0, u"b", 5}, {0, u"\u00e9", 5}, {0, u"z", 0}};
  SortRotationCandidates(list);
  std::vector<std::u16string> names;
  for (const RotationCandidate& entry : list) names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"c", u"\u00e9", u"b", u"a", u"B", u"z"}));
  EXPECT_EQ(list.front().count, 6);
}

// Several rotations within one second: the plain name is the newest and a
// reused low number may be newer than a higher one, so within a second the
// fraction decides, and the names only when that is equal too.
TEST(RotationSort, WithinOneSecondTheFractionDecides) {
  std::vector<RotationCandidate> list = {{0, u"orbeck_D_2.log", 5, 100},
                                         {0, u"orbeck_D.log", 5, 900},
                                         {0, u"orbeck_D_1.log", 5, 500},
                                         {0, u"orbeck_D_3.log", 5, 500}};
  SortRotationCandidates(list);
  std::vector<std::u16string> names;
  for (const RotationCandidate& entry : list) names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"orbeck_D.log", u"orbeck_D_3.log",
                                                u"orbeck_D_1.log", u"orbeck_D_2.log"}));
}

TEST_F(Rotation, PruneKeepsTheNewestAndNeverTheLock) {
  struct Row {
    std::u16string times;
    bool withLock, oldestAtZero, allocFault;
    std::vector<std::u16string> survivors;
  };
  const std::u16string all[] = {u"rot_a.log", u"rot_b.log", u"ROT_C.LOG", u"rot_d.log",
                                u"rot_e.log"};
  const std::vector<std::u16string> five(std::begin(all), std::end(all));
  const std::vector<std::u16string> three(all, all + 3);
  const Row rows[] = {
      {u"3", false, false, false, three},
      {u"3", true, false, false, three},
      {u"1", true, false, false, {all[0]}},
      {u"3", false, true, false, {all[0], all[1], all[2], all[4]}},
      {u"0", true, false, false, five},
      {u"", false, false, false, five},
      {u"x", false, false, false, five},
      {u"-5", false, false, false, five},
      {u"99", false, false, false, five},
      {u"1", false, false, true, five},
  };
  LogSettings settings;
  settings.rotateDir = out;
  settings.logFilePath = out + u"\\rot.log";
  for (const Row& row : rows) {
    SCOPED_TRACE(plat::ToUtf8(row.times));
    plat::ClearFaults();
    fs::remove_all(NativePath(out));
    fs::create_directories(NativePath(out + u"\\rot_dir"));
    MakeFile(out + u"\\other.log", 0, Utc(2000, 1, 1));
    for (int i = 0; i < 5; ++i) {
      const bool atZero = row.oldestAtZero && i == 4;
      MakeFile(out + u"\\" + all[i], 0, atZero ? 0 : Utc(2026, 11, 20 - i));
    }
    // Third newest: counted it would push ROT_C out, and a keep of 1 reaches it.
    if (row.withLock) MakeFile(lock, 0, Utc(2026, 11, 18, 18));
    if (row.allocFault) Inject(plat::FaultOp::Alloc, -1);
    settings.rotateTimes = row.times;
    PruneRotatedLogs(settings);
    for (const std::u16string& name : all) {
      const bool kept =
          std::find(row.survivors.begin(), row.survivors.end(), name) != row.survivors.end();
      EXPECT_EQ(qvtest::Exists(out + u"\\" + name), kept) << plat::ToUtf8(name);
    }
    EXPECT_EQ(qvtest::Exists(lock), row.withLock);
    EXPECT_TRUE(qvtest::Exists(out + u"\\other.log"));
    EXPECT_TRUE(fs::is_directory(NativePath(out + u"\\rot_dir")));
  }
}

}  // namespace
