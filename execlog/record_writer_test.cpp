#include "execlog/record_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "platform/fault.h"
#include "platform/testing.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

constexpr char16_t kCommandLine[] = u"-Lid J0042 -Xrc 1";

// A log file's contents: whether it starts with the byte-order mark, how many
// marks it holds in all, and its lines without their CR LF. A line missing its
// CR LF at the end of the file shows up as the last entry.
struct LogContents {
  bool exists = false;
  bool startsWithMark = false;
  int marks = 0;
  std::vector<std::string> lines;  // UTF-8
};

LogContents ReadLog(const std::u16string& path) {
  LogContents log;
  log.exists = qvtest::Exists(path);
  std::u16string text = qvtest::FromUtf16Le(qvtest::ReadBytes(path));
  log.startsWithMark = !text.empty() && text[0] == 0xFEFF;
  for (char16_t unit : text) log.marks += unit == 0xFEFF ? 1 : 0;
  std::size_t pos = log.startsWithMark ? 1 : 0;
  while (pos < text.size()) {
    std::size_t end = text.find(u"\r\n", pos);
    if (end == std::u16string::npos) {
      log.lines.push_back(plat::ToUtf8(text.substr(pos)));
      break;
    }
    log.lines.push_back(plat::ToUtf8(text.substr(pos, end - pos)));
    pos = end + 2;
  }
  return log;
}

std::string Record(const std::string& jobId, const std::string& status) {
  return jobId + "," + status + ",,,,,," + plat::ToUtf8(kCommandLine);
}

// A suite whose private directory lies in the scratch directory, an output
// directory that the writer's first probe creates, and a fixed clock.
class RecordWriterTest : public ::testing::Test {
 public:
  RecordWriterTest() : outDir_(root_ / u"out") {
    plat::SetClockOverride(kClock);
    stamp_ = plat::ToUtf8(FormatRecordTimeStamp(kClock));
  }

  static constexpr plat::WallClock kClock{1796545914, 123};

  const std::u16string& outputDir() const { return outDir_; }
  std::u16string privateDir() const { return root_ / u"suite\\private"; }
  std::u16string logPath() const { return outDir_ + u"\\orbeck.log"; }
  std::u16string writeErrorIn(const std::u16string& dir) const {
    return dir + u"\\LogWriteError_J0042.log";
  }
  // A whole record line of job J0042 as the fixed clock stamps it.
  std::string Line(const std::string& status) const {
    return stamp_ + "," + Record("J0042", status);
  }

  std::int32_t Write(std::int32_t code, int retryCount = 5, int errorOnly = 0,
                     const std::u16string& logFileName = {}) {
    return WriteExecLogRecord(1, outDir_, retryCount, code, u"HS", 0, u"J0042",
                              logFileName.empty() ? logPath() : logFileName, kCommandLine,
                              errorOnly);
  }

  qvtest::ScratchInstall root_;
  qvtest::ScopedFaults faults_;
  std::u16string outDir_;
  std::string stamp_;
};

TEST(FormatExecLogRecordTest, ClassAndFiguresFollowTheCode) {
  struct Case {
    std::int64_t absCode;
    const char* status;
  } cases[] = {
      {101, "Information:HS-00-01-0101"},
      {102, "Information:HS-00-01-0102"},
      {0, "Information:HS-00-00-0000"},
      {999, "Information:HS-00-09-0999"},
      {1000, "Warning:HS-00-00-1000"},
      {1283, "Warning:HS-00-02-1283"},
      {2001, "Error:HS-00-00-2001"},
      {2911, "Error:HS-00-09-2911"},
      {3500, "OtherError:HS-00-15-3500"},
      {12345, "OtherError:HS-00-103-12345"},
      {2147483648LL, "OtherError:HS-00-21474816-2147483648"},
  };
  for (const Case& c : cases) {
    std::u16string line =
        FormatExecLogRecord(u"2026/12/05,18:31:54.123", u"00042", u"HS", 0, c.absCode, u"a, b");
    EXPECT_EQ(plat::ToUtf8(line),
              std::string("2026/12/05,18:31:54.123,00042,") + c.status + ",,,,,,a, b\r\n")
        << c.absCode;
  }
}

TEST(JitterDelayMsTest, SeededByTheThirdCharacter) {
  struct Case {
    std::u16string jobId;
    int delay;
  } cases[] = {{u"", 6}, {u"ab", 6}, {u"ab0", 8}, {u"xy1zz", 2}, {u"00A", 9}};
  for (const Case& c : cases) EXPECT_EQ(JitterDelayMs(c.jobId), c.delay) << plat::ToUtf8(c.jobId);
  for (char16_t third = 1; third < 0x3000; ++third) {
    int delay = JitterDelayMs(std::u16string(u"ab") + third);
    ASSERT_TRUE(delay >= 2 && delay <= 10) << static_cast<int>(third);
  }
}

TEST_F(RecordWriterTest, TimeStampIsLocalTimeWithMilliseconds) {
  const plat::WallClock clock{1796545914, 7};
  plat::SetClockOverride(clock);
  ASSERT_EQ(Write(101), 0);
  plat::Calendar local;
  ASSERT_TRUE(plat::ToLocalCalendar(clock.seconds, local));
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d/%02d/%02d,%02d:%02d:%02d.007,", local.year, local.month,
                local.day, local.hour, local.minute, local.second);
  LogContents log = ReadLog(logPath());
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0], stamp + Record("J0042", "Information:HS-00-01-0101"));
}

// Where each record goes and what the writer answers, with the files it must
// and must not leave behind.
TEST_F(RecordWriterTest, RecordsReachTheirFiles) {
  using Setup = std::function<void(RecordWriterTest&)>;
  const Setup logIsDirectory = [](RecordWriterTest& t) {
    std::filesystem::create_directories(qvtest::NativePath(t.logPath()));
  };
  const Setup logWriteFails = [](RecordWriterTest&) {
    plat::InjectFault({plat::FaultOp::Write, 0, 1, u"orbeck.log"});
  };
  const std::u16string outLog = u"out\\orbeck.log";
  const std::u16string outLock = u"out\\rotation.lock";
  const std::u16string outError = u"out\\LogWriteError_J0042.log";
  const std::u16string privateError = u"suite\\private\\LogWriteError_J0042.log";
  // In place of statuses: the file must not exist at all.
  const std::vector<std::string> absent{"(no such file)"};
  const Setup leftoverLock = [](RecordWriterTest& t) {
    std::filesystem::create_directories(qvtest::NativePath(t.outputDir()));
    qvtest::WriteBytes(t.outputDir() + u"\\rotation.lock", "");
  };
  struct Case {
    const char* name;
    Setup setup;
    std::int32_t code;
    std::int32_t result;
    // Files relative to the scratch root and the statuses of their lines; no
    // statuses: the file must be missing or empty; absent: missing.
    std::map<std::u16string, std::vector<std::string>> files;
    int retryCount = 5;
  } cases[] = {
      {"first record into a new log",
       nullptr,
       101,
       0,
       {{outLog, {"Information:HS-00-01-0101"}}, {outLock, absent}, {outError, {}}}},
      {"no attempts: no record anywhere, the probed lock removed again",
       nullptr,
       101,
       0,
       {{outLog, {}}, {outLock, absent}, {outError, {}}, {privateError, {}}},
       0},
      {"attempts below zero: a leftover lock file is still probed and removed",
       leftoverLock,
       101,
       0,
       {{outLog, {}}, {outLock, absent}, {outError, {}}, {privateError, {}}},
       -1},
      {"a later record is appended without a second byte-order mark",
       [](RecordWriterTest& t) { t.Write(101); },
       -5,
       0,
       {{outLog, {"Information:HS-00-01-0101", "Information:HS-00-00-0005"}}}},
      {"a lock file that merely exists blocks nobody and is removed",
       leftoverLock,
       102,
       0,
       {{outLog, {"Information:HS-00-01-0102"}}, {outLock, absent}}},
      {"log refused (a directory of its name): a start record keeps 101",
       logIsDirectory,
       101,
       -1283,
       {{outError, {"Information:HS-00-01-0101"}}}},
      {"log refused: an end record shows 1283",
       logIsDirectory,
       102,
       -1283,
       {{outError, {"Warning:HS-00-02-1283"}}, {outLock, absent}}},
      {"log refused by an injected access denial: a failure record shows 1283",
       [](RecordWriterTest&) {
         plat::InjectFault({plat::FaultOp::Open, 0, -1, u"orbeck.log"});
       },
       -2911,
       -1283,
       {{outError, {"Warning:HS-00-02-1283"}}}},
      {"output directory made by another writer after the check: the record still lands",
       [](RecordWriterTest& t) {
         // The check sees the directory missing; the real creation then
         // finds it made, as when another writer wins the race.
         std::filesystem::create_directories(qvtest::NativePath(t.outputDir()));
         plat::InjectFault({plat::FaultOp::Status, 0, 1, t.outputDir()});
       },
       101,
       0,
       {{outLog, {"Information:HS-00-01-0101"}}, {outError, {}}, {privateError, {}}}},
      {"output directory two levels deep cannot be made: private directory",
       [](RecordWriterTest& t) { t.outDir_ = t.root_ / u"missing\\out"; },
       101,
       -1283,
       {{privateError, {"Information:HS-00-01-0101"}}}},
      {"a file where the output directory should be: private directory",
       [](RecordWriterTest& t) { qvtest::WriteBytes(t.outputDir(), "x"); },
       -2001,
       -1283,
       {{privateError, {"Warning:HS-00-02-1283"}}}},
      {"log write fails: a start record goes to the write-error file as 1284",
       logWriteFails,
       101,
       -1284,
       {{outError, {"Warning:HS-00-02-1284"}}, {outLog, {}}, {outLock, absent}}},
      {"log write fails: an end record as 1284",
       logWriteFails,
       102,
       -1284,
       {{outError, {"Warning:HS-00-02-1284"}}}},
      {"log write fails: a failure record keeps its code, result 0",
       logWriteFails,
       -2911,
       0,
       {{outError, {"Error:HS-00-09-2911"}}}},
      {"lock held in every attempt: a start record as 1284",
       [](RecordWriterTest&) {
         plat::InjectFault(
             {plat::FaultOp::Open, 0, -1, u"rotation.lock", plat::OpenStatus::SharingViolation});
       },
       101,
       -1284,
       {{outError, {"Warning:HS-00-02-1284"}}, {outLog, {}}}},
      {"log busy in every attempt: a failure record keeps its code",
       [](RecordWriterTest&) {
         // The probe before the attempts passes; every append open then fails.
         plat::InjectFault(
             {plat::FaultOp::Open, 1, -1, u"orbeck.log", plat::OpenStatus::SharingViolation});
       },
       -2001,
       0,
       {{outError, {"Error:HS-00-00-2001"}}, {outLog, {}}}},
      {"log busy in two attempts: the third one writes",
       [](RecordWriterTest&) {
         plat::InjectFault(
             {plat::FaultOp::Open, 1, 2, u"orbeck.log", plat::OpenStatus::SharingViolation});
       },
       102,
       0,
       {{outLog, {"Information:HS-00-01-0102"}}, {outError, {}}}},
      {"write-error file refused in the output directory: private directory",
       [](RecordWriterTest& t) {
         std::filesystem::create_directories(qvtest::NativePath(t.logPath()));
         std::filesystem::create_directories(qvtest::NativePath(t.writeErrorIn(t.outputDir())));
       },
       -2911,
       -1283,
       {{privateError, {"Warning:HS-00-02-1283"}}}},
      {"write-error file refused everywhere: the result still tells",
       [](RecordWriterTest& t) {
         std::filesystem::create_directories(qvtest::NativePath(t.logPath()));
         plat::InjectFault({plat::FaultOp::Open, 0, -1, u"LogWriteError_"});
       },
       101,
       -1283,
       {{outError, {}}, {privateError, {}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ec;
    outDir_ = root_ / u"out";
    std::filesystem::remove_all(qvtest::NativePath(outDir_), ec);
    std::filesystem::remove_all(qvtest::NativePath(root_ / u"missing"), ec);
    std::filesystem::remove(qvtest::NativePath(writeErrorIn(privateDir())), ec);
    plat::ClearFaults();
    if (c.setup) c.setup(*this);
    EXPECT_EQ(Write(c.code, c.retryCount), c.result);
    plat::ClearFaults();
    for (const auto& [relative, statuses] : c.files) {
      SCOPED_TRACE(plat::ToUtf8(relative));
      LogContents file = ReadLog(root_ / relative);
      if (statuses == absent) {
        EXPECT_FALSE(file.exists);
        continue;
      }
      if (statuses.empty()) {
        EXPECT_TRUE(file.lines.empty());
        continue;
      }
      EXPECT_TRUE(file.startsWithMark);
      EXPECT_EQ(file.marks, 1);
      std::vector<std::string> expected;
      for (const std::string& status : statuses) expected.push_back(Line(status));
      EXPECT_EQ(file.lines, expected);
    }
  }
}

// Japanese directory names and command lines, a character beyond the basic
// plane among them, reach the disk and the record unit for unit.
TEST_F(RecordWriterTest, JapaneseTextRoundTripsIntoTheRecord) {
  const std::u16string data = root_ / u"\u30C7\u30FC\u30BF";
  outDir_ = data + u"\\\u30ED\u30B0";
  std::filesystem::create_directories(qvtest::NativePath(data));
  const std::u16string commandLine =
      u"-Lid J0042 -Xin \"D:\\\u30C7\u30FC\u30BF\\\u5165\u529B.tif\" \U00020BB7\u91CE\u5BB6";
  ASSERT_EQ(WriteExecLogRecord(1, outDir_, 5, 101, u"HS", 0, u"J0042", logPath(), commandLine, 0),
            0);
  EXPECT_EQ(qvtest::ReadBytes(logPath()),
            qvtest::Utf16Le(plat::Widen(stamp_) + u",J0042,Information:HS-00-01-0101,,,,,," +
                            commandLine + u"\r\n"));
}

TEST_F(RecordWriterTest, NothingToWriteTouchesNothing) {
  EXPECT_EQ(
      WriteExecLogRecord(0, outputDir(), 5, 101, u"HS", 0, u"J0042", logPath(), kCommandLine, 0),
      0);
  for (std::int32_t code : {102, 101, 0, -5, 999, -999}) {
    EXPECT_EQ(Write(code, 5, 1), 0) << code;
  }
  EXPECT_FALSE(qvtest::Exists(outputDir()));
  EXPECT_EQ(plat::FaultCalls(plat::FaultOp::Open), 0);
}

TEST_F(RecordWriterTest, LogPathsBySeparatorAndLength) {
  // A name with a backslash is the path itself; its directory is made, one level.
  const std::u16string elsewhere = root_ / u"elsewhere\\job.log";
  ASSERT_EQ(Write(101, 5, 0, elsewhere), 0);
  EXPECT_EQ(ReadLog(elsewhere).lines, std::vector<std::string>{Line("Information:HS-00-01-0101")});

  // A bare name lands in the output directory.
  ASSERT_EQ(Write(102, 5, 0, u"bare.log"), 0);
  EXPECT_EQ(ReadLog(outputDir() + u"\\bare.log").lines.size(), 1u);

  // Up to 255 characters the path is used; from 256 on the job's name-error
  // file takes the record, under the same protocol.
  for (std::size_t length : {255u, 256u}) {
    std::u16string path = outputDir() + u"\\";
    path += std::u16string(length - path.size() - 4, u'n') + u".log";
    ASSERT_EQ(path.size(), length);
    ASSERT_EQ(Write(-2911, 5, 0, path), 0);
    EXPECT_EQ(qvtest::Exists(path), length == 255) << length;
  }
  EXPECT_EQ(ReadLog(outputDir() + u"\\LogNameError_J0042.log").lines,
            std::vector<std::string>{Line("Error:HS-00-09-2911")});
  EXPECT_FALSE(qvtest::Exists(outputDir() + u"\\rotation.lock"));
}

TEST_F(RecordWriterTest, ErrorOnlyRecordFollowsTheJobFilesFirstLine) {
  const std::string record = Line("Error:HS-00-09-2911");
  const std::string longLine(12000, 'a');
  struct Case {
    const char* name;
    std::string jobFileBytes;  // no per-job file when empty
    std::vector<std::string> expected;
  } cases[] = {
      {"no per-job file", "", {record}},
      {"first line copied without the per-job file's mark",
       qvtest::Utf16Le(u"2026/12/05,18:31:54.123,J0042,start\r\nsecond\r\n"),
       {"2026/12/05,18:31:54.123,J0042,start", record}},
      {"a per-job file of its mark only copies nothing", qvtest::Utf16Le(u""), {record}},
      {"at most 9999 units are copied",
       qvtest::Utf16Le(std::u16string(longLine.begin(), longLine.end())),
       {std::string(9999, 'a') + record}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(qvtest::NativePath(outputDir()));
    std::filesystem::create_directories(qvtest::NativePath(outputDir()));
    if (!c.jobFileBytes.empty()) qvtest::WriteBytes(outputDir() + u"\\J0042", c.jobFileBytes);
    ASSERT_EQ(Write(-2911, 5, 1), 0);
    LogContents log = ReadLog(logPath());
    EXPECT_TRUE(log.startsWithMark);
    EXPECT_EQ(log.marks, 1);
    EXPECT_EQ(log.lines, c.expected);
  }
}

TEST_F(RecordWriterTest, ErrorOnlyFallbackCopiesTheJobLineToo) {
  std::filesystem::create_directories(qvtest::NativePath(logPath()));
  qvtest::WriteBytes(outputDir() + u"\\J0042", qvtest::Utf16Le(u"first\r\n"));
  ASSERT_EQ(Write(-2911, 5, 1), -1283);
  EXPECT_EQ(ReadLog(writeErrorIn(outputDir())).lines,
            (std::vector<std::string>{"first", Line("Warning:HS-00-02-1283")}));
}

// ------------------------------------------------ competing processes

// The writer program built beside this test binary.
std::u16string WriterProgram() {
  std::u16string path = plat::ExecutableDirectory() + u"\\log_writer_loop";
  return plat::PathExists(path + u".exe") ? path + u".exe" : path;
}

plat::Process StartWriter(const std::u16string& outputDir, const std::string& rest) {
  return plat::StartProcess(WriterProgram(), u"\"" + outputDir + u"\" " + plat::Widen(rest));
}

// Waits for the holder's marker; false when it never came (the holder failed).
bool WaitForMarker(const std::u16string& path) {
  for (int i = 0; i < 3000; ++i) {
    if (qvtest::Exists(path)) return true;
    plat::SleepMilliseconds(10);
  }
  return false;
}

TEST_F(RecordWriterTest, EightProcessesShareOneLog) {
  constexpr int kProcesses = 8;
  constexpr int kRecords = 60;
  std::filesystem::create_directories(qvtest::NativePath(outputDir()));
  std::vector<plat::Process> writers;
  for (int p = 0; p < kProcesses; ++p) {
    writers.push_back(StartWriter(
        outputDir(), "shared.log p" + std::to_string(p) + "n " + std::to_string(kRecords)));
    ASSERT_TRUE(writers.back()) << p;
  }
  for (plat::Process& writer : writers) {
    std::int64_t exitCode = -1;
    ASSERT_TRUE(plat::WaitProcess(*writer, exitCode));
    EXPECT_EQ(exitCode, 0);
  }

  LogContents log = ReadLog(outputDir() + u"\\shared.log");
  EXPECT_TRUE(log.startsWithMark);
  EXPECT_EQ(log.marks, 1);
  const std::regex record(R"(^\d{4}/\d\d/\d\d,\d\d:\d\d:\d\d\.\d{3},(p\dn)(\d{4}),)"
                          R"(Information:HS-00-01-0101,,,,,,record (p\dn) (\d{4}) x{300}$)");
  std::map<std::string, int> seen;
  for (const std::string& line : log.lines) {
    std::smatch match;
    if (!std::regex_match(line, match, record) || match[1] != match[3] || match[2] != match[4]) {
      ADD_FAILURE() << "torn or foreign line: " << line.substr(0, 120);
      continue;
    }
    ++seen[match[1].str() + match[2].str()];
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kProcesses * kRecords));
  for (const auto& [job, count] : seen) EXPECT_EQ(count, 1) << job;
  EXPECT_FALSE(qvtest::Exists(outputDir() + u"\\rotation.lock"));
}

TEST_F(RecordWriterTest, LockHeldLongerThanTheAttemptsSendsRecordsAside) {
  std::filesystem::create_directories(qvtest::NativePath(outputDir()));
  const std::u16string marker = outputDir() + u"\\held";
  plat::Process holder = StartWriter(outputDir(), "held - 2000 hold");
  ASSERT_TRUE(holder);
  ASSERT_TRUE(WaitForMarker(marker));

  // Five attempts of 10 ms end long before the holder lets go.
  EXPECT_EQ(Write(101, 5), -1284);
  EXPECT_EQ(Write(-2911, 5), 0);
  EXPECT_TRUE(qvtest::Exists(outputDir() + u"\\rotation.lock"));
  std::int64_t exitCode = -1;
  ASSERT_TRUE(plat::WaitProcess(*holder, exitCode));
  EXPECT_EQ(exitCode, 0);

  EXPECT_TRUE(ReadLog(logPath()).lines.empty());
  EXPECT_EQ(ReadLog(writeErrorIn(outputDir())).lines,
            (std::vector<std::string>{Line("Warning:HS-00-02-1284"), Line("Error:HS-00-09-2911")}));
}

TEST_F(RecordWriterTest, LockHeldShorterThanTheAttemptsDelaysTheRecord) {
  std::filesystem::create_directories(qvtest::NativePath(outputDir()));
  const std::u16string marker = outputDir() + u"\\held";
  plat::Process holder = StartWriter(outputDir(), "held - 300 hold");
  ASSERT_TRUE(holder);
  ASSERT_TRUE(WaitForMarker(marker));

  // A thousand attempts of 10 ms outlast the holder's 300 ms.
  EXPECT_EQ(Write(101, 1000), 0);
  std::int64_t exitCode = -1;
  ASSERT_TRUE(plat::WaitProcess(*holder, exitCode));
  EXPECT_EQ(exitCode, 0);

  EXPECT_EQ(ReadLog(logPath()).lines, std::vector<std::string>{Line("Information:HS-00-01-0101")});
  EXPECT_FALSE(qvtest::Exists(writeErrorIn(outputDir())));
  EXPECT_FALSE(qvtest::Exists(outputDir() + u"\\rotation.lock"));
}

}  // namespace
