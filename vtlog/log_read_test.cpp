#include "vtlog/log_read.h"

#include <gtest/gtest.h>

#include <chrono>

#include "execlog/path_text.h"
#include "tests/support/test_install.h"
#include "vtlog/show.h"

namespace {

using vtlogtest::Record;

TEST(VtlogRecordTest, ParsesWhatTheWriterWrites) {
  struct Case {
    std::u16string line;
    std::u16string job;
    std::u16string className;
    std::int64_t figure;
    std::int64_t code;
    std::u16string commandLine;
  };
  const Case cases[] = {
      {Record("2026/12/05,18:31:54.123", u"00042", 101, u"-Lid42 -Xrc1"), u"00042", u"Information",
       1, 101, u"-Lid42 -Xrc1"},
      // The command line is everything after the ninth comma, commas and all.
      {Record("2026/12/05,18:31:54.123", u"7", 2911, u"-Xa,b,,c, "), u"7", u"Error", 9, 2911,
       u"-Xa,b,,c, "},
      {Record("2026/12/05,18:31:54.123", u"vtJobIdError", 12345, u""), u"vtJobIdError",
       u"OtherError", 103, 12345, u""},
      {Record("2026/01/31,00:00:00.000", u"J", 1283, u"\u65e5\u672c"), u"J", u"Warning", 2, 1283,
       u"\u65e5\u672c"},
  };
  for (const Case& c : cases) {
    std::u16string line = c.line.substr(0, c.line.size() - 2);  // without CR LF
    ExecRecord record;
    ASSERT_TRUE(ParseExecRecord(line, record)) << plat::ToUtf8(line);
    EXPECT_EQ(record.job, c.job);
    EXPECT_EQ(record.className, c.className);
    EXPECT_EQ(record.figure, c.figure);
    EXPECT_EQ(record.code, c.code);
    EXPECT_EQ(record.commandLine, c.commandLine);
    EXPECT_EQ(record.prefix, u"HS");
  }
}

TEST(VtlogRecordTest, RejectsWhatIsNoRecord) {
  const char16_t* const lines[] = {
      u"",
      u"2026/12/05,18:31:54.123,00042,Information:HS-00-01-0101,,,,,",  // eight commas
      u"2026/12/05,18:31:54.123,00042,Information:HS-00-01-0101,,x,,,,-Lid",
      u"2026/13/05,18:31:54.123,00042,Information:HS-00-01-0101,,,,,,",
      u"2026/12/05,18:31:54,00042,Information:HS-00-01-0101,,,,,,",
      u"2026/12/05,18:31:54.123,,Information:HS-00-01-0101,,,,,,",
      u"2026/12/05,18:31:54.123,00042,Info:HS-00-01-0101,,,,,,",
      u"2026/12/05,18:31:54.123,00042,Information:HS-00-01,,,,,,",
      u"2026/12/05,18:31:54.123,00042,Information:HS-00-01-01x1,,,,,,",
      u"2026/12/05\u0000,18:31:54.123,00042,Information:HS-00-01-0101,,,,,,",
  };
  for (const char16_t* line : lines) {
    ExecRecord record;
    EXPECT_FALSE(ParseExecRecord(line, record)) << plat::ToUtf8(line);
  }
}

struct ReadOutcome {
  std::vector<std::u16string> commandLines;
  std::vector<bool> torn;
  std::string problems;
};

ReadOutcome ReadAll(const std::u16string& path) {
  ReadOutcome out;
  LogCursor cursor{path};
  ReadLogRecords(
      cursor, true,
      [&](const ExecRecord& record, std::int64_t, bool torn) {
        out.commandLines.push_back(record.commandLine);
        out.torn.push_back(torn);
      },
      [&](const std::string& message) { out.problems += message + "\n"; });
  return out;
}

TEST(VtlogReadTest, BadInputLosesNoReadableRecord) {
  const std::u16string a = Record("2026/12/05,18:31:54.123", u"1", 101, u"-a");
  const std::u16string b = Record("2026/12/05,18:31:55.000", u"1", 102, u"-b,c");
  const std::u16string bTorn = b.substr(0, b.size() - 2);
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::u16string> commandLines;
    std::vector<bool> torn;
    std::vector<std::string> problems;  // each must appear
  };
  // NUL, lone surrogates, an LF inside, CR LF at its end.
  const std::string junk("\x00\x01\xFF\xD8\x0A\x00\x00\xDC\x7F\x00\x0D\x00\x0A\x00", 14);
  const Case cases[] = {
      {"well formed", qvtest::Utf16Le(a + b), {u"-a", u"-b,c"}, {false, false}, {}},
      {"empty file", "", {}, {}, {}},
      {"torn last record",
       qvtest::Utf16Le(a + bTorn),
       {u"-a", u"-b,c"},
       {false, true},
       {"line 2: last line has no line end"}},
      {"torn mid-record",
       qvtest::Utf16Le(a + b.substr(0, 20)),
       {u"-a"},
       {false},
       {"line 2: last line has no line end", "line 2: not a record"}},
      {"no byte-order mark",
       qvtest::Utf16Le(a + b, false),
       {u"-a", u"-b,c"},
       {false, false},
       {"no byte-order mark"}},
      {"binary junk between records",
       qvtest::Utf16Le(a) + junk + qvtest::Utf16Le(b, false),
       {u"-a", u"-b,c"},
       {false, false},
       {"line 2: not a record", "line 3: not a record"}},
      {"odd last byte",
       qvtest::Utf16Le(a + b) + "x",
       {u"-a", u"-b,c"},
       {false, false},
       {"odd last byte"}},
      {"line longer than any record",
       qvtest::Utf16Le(std::u16string(70000, u'x') + u"\r\n" + a),
       {u"-a"},
       {false},
       {"line 1: longer than any record"}},
      {"8-bit text",
       "2026/12/05,18:31:54.123,1,Information:HS-00-01-0101,,,,,,-a\r\n",
       {},
       {},
       {"no byte-order mark", "not a record"}},
  };
  qvtest::ScopedTempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qvtest::WriteBytes(dir / u"x.log", c.bytes);
    const ReadOutcome got = ReadAll(dir / u"x.log");
    EXPECT_EQ(got.commandLines, c.commandLines);
    EXPECT_EQ(got.torn, c.torn);
    for (const std::string& p : c.problems) EXPECT_NE(got.problems.find(p), std::string::npos) << p;
    if (c.problems.empty()) {
      EXPECT_EQ(got.problems, "");
    }
  }
}

TEST(VtlogReadTest, RecordsAcrossChunkBoundariesAndManyJunkLinesAreCounted) {
  qvtest::ScopedTempDir dir;
  std::u16string text;
  for (int i = 0; i < 3000; ++i) {
    text += Record("2026/12/05,18:31:54.123", u"1", 101,
                   (u"-n" + plat::Widen(std::to_string(i))).c_str());
    if (i % 100 == 0) text += u"junk\r\n";
  }
  qvtest::WriteBytes(dir / u"big.log", qvtest::Utf16Le(text));
  const ReadOutcome got = ReadAll(dir / u"big.log");
  ASSERT_EQ(got.commandLines.size(), 3000u);
  EXPECT_EQ(got.commandLines.back(), u"-n2999");
  // Ten junk lines are quoted, then one count for all thirty.
  EXPECT_NE(got.problems.find("30 lines in all were no record"), std::string::npos);
}

TEST(VtlogReadTest, MissingFileIsReported) {
  qvtest::ScopedTempDir dir;
  const ReadOutcome got = ReadAll(dir / u"none.log");
  EXPECT_NE(got.problems.find("cannot be opened"), std::string::npos);
}

// A read in progress never holds up the launcher: the rotation moves the log
// and pruning deletes a generation while vtlog still has it open.
TEST(VtlogReadTest, ReadingHoldsUpNeitherMoveNorDelete) {
  qvtest::ScopedTempDir dir;
  const std::u16string log = dir / u"orbeck.log";
  const std::u16string rec = Record("2026/12/05,18:31:54.123", u"1", 101, u"-x");
  qvtest::WriteBytes(log, qvtest::Utf16Le(rec + rec));
  std::vector<bool> done;
  LogCursor cursor{log};
  ReadLogRecords(
      cursor, true,
      [&](const ExecRecord&, std::int64_t line, bool) {
        done.push_back(line == 1 ? plat::MoveNoReplace(log, dir / u"orbeck_20261205.log")
                                 : plat::RemoveFile(dir / u"orbeck_20261205.log"));
      },
      [](const std::string&) {});
  EXPECT_EQ(done, (std::vector<bool>{true, true}));
}

void SetAge(const std::u16string& path, int hours) {
  std::filesystem::last_write_time(
      qvtest::NativePath(path),
      std::filesystem::file_time_type::clock::now() - std::chrono::hours(hours));
}

TEST(VtlogReadTest, GenerationsOldestFirstThenTheLiveLog) {
  vtlogtest::TestInstall install;
  install.LogSetup(u"runtime.orbeck.active=1\r\nruntime.rotate.name.description=YYYYMMDD\r\n");
  const std::u16string dir = install.logDir();
  const std::pair<const char16_t*, int> files[] = {{u"orbeck_20261203.log", 50},
                                                   {u"ORBECK_20261204.log", 30},
                                                   {u"20261201_orbeck.log", 90},
                                                   {u"orbeck_20261204_1.log", 40},
                                                   {u"orbeck.log", 1},
                                                   {u"rotation.lock", 5},
                                                   {u"LogWriteError_orbeck1.log", 5},
                                                   {u"vorn.log", 5}};
  for (const auto& [name, age] : files) {
    qvtest::WriteBytes(dir + u"\\" + name, "\xFF\xFE");
    SetAge(dir + u"\\" + name, age);
  }
  LogSettings settings;
  ASSERT_TRUE(LoadComponentSettings(u"orbeck", settings));
  std::vector<std::u16string> names;
  for (const LogFileRef& ref : LogGenerations(settings)) names.push_back(SplitFileName(ref.path));
  // 20261201_orbeck.log has the date at the other position: no generation.
  EXPECT_EQ(names, (std::vector<std::u16string>{u"orbeck_20261203.log", u"orbeck_20261204_1.log",
                                                u"ORBECK_20261204.log", u"orbeck.log"}));
}

TEST(VtlogFollowTest, CarriesOnAcrossARotation) {
  vtlogtest::TestInstall install;
  install.LogSetup(
      u"runtime.orbeck.active=1\r\nruntime.rotate.name.description=YYYYMMDD\r\n"
      u"runtime.rotate.dir=" +
      install / u"rot" + u"\r\n");
  std::filesystem::create_directories(qvtest::NativePath(install / u"rot"));
  LogSettings settings;
  ASSERT_TRUE(LoadComponentSettings(u"Orbeck", settings));
  const std::u16string log = settings.logFilePath;
  auto rec = [](const char16_t* cmd) { return Record("2026/12/05,18:31:54.123", u"1", 101, cmd); };

  std::vector<std::u16string> seen;
  std::string problems;
  FollowState state{LogCursor{log}, ""};
  auto step = [&] {
    FollowStep(
        state, &settings,
        [&](const ExecRecord& r, std::int64_t, bool) { seen.push_back(r.commandLine); },
        [&](const std::string& m) { problems += m + "\n"; });
  };
  step();  // no log yet
  const std::u16string first = rec(u"-1") + rec(u"-2");
  qvtest::WriteBytes(log, qvtest::Utf16Le(first) + qvtest::Utf16Le(rec(u"-3").substr(0, 9), false));
  step();
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"-1", u"-2"}));  // the half-written line waits
  // The record is completed, one more written, then the log is rotated away
  // before the follower looks again, and a new log begins.
  qvtest::WriteBytes(log, qvtest::Utf16Le(first + rec(u"-3") + rec(u"-4")));
  ASSERT_TRUE(plat::MoveNoReplace(log, install / u"rot\\orbeck_20261205.log"));
  qvtest::WriteBytes(log, qvtest::Utf16Le(rec(u"-5")));
  step();
  qvtest::WriteBytes(log, qvtest::Utf16Le(rec(u"-5") + rec(u"-6")));
  step();
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"-1", u"-2", u"-3", u"-4", u"-5", u"-6"}));
  EXPECT_EQ(problems, "");
  ReleaseLogSettings(settings);
}

TEST(VtlogTimeTest, ArgumentsBoundWholeDaysMinutesAndSeconds) {
  ExecRecord record;
  ASSERT_TRUE(
      ParseExecRecord(u"2026/12/05,18:31:54.123,1,Information:HS-00-01-0101,,,,,,", record));
  const std::int64_t key = RecordTimeKey(record);
  struct Case {
    const char* text;
    bool rangeEnd;
    bool ok;
    int compare;  // sign of (bound - record)
  };
  const Case cases[] = {
      {"2026/12/05", false, true, -1},
      {"2026-12-05", true, true, 1},
      {"2026-12-05 18:31", true, true, 1},
      {"2026-12-05T18:31:54", false, true, -1},
      {"2026/12/05,18:31:54.124", false, true, 1},
      {"2026/12/06", false, true, 1},
      {"2026-12-05 18:32", false, true, 1},
      {"05.12.2026", false, false, 0},
      {"2026-12-05 25:00", false, false, 0},
      {"2026-12-05x", false, false, 0},
  };
  for (const Case& c : cases) {
    std::int64_t bound = 0;
    ASSERT_EQ(ParseTimeArgument(c.text, c.rangeEnd, bound), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ((bound > key) - (bound < key), c.compare) << c.text;
    }
  }
}

}  // namespace
