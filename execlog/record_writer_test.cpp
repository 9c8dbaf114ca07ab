#include "execlog/record_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <regex>

#include "platform/fault.h"
#include "platform/testing.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using qvtest::NativePath;
using Strings = std::vector<std::string>;
constexpr char16_t kCommandLine[] = u"-Lid J0042 -Xrc 1";
const bool kWindows = qvtest::OnWindows();

// A record file's lines (UTF-8, without CR LF); a fault of its form fails the test.
Strings Lines(const std::u16string& path) {
  qvtest::RecordFile file = qvtest::ReadRecordFile(path);
  EXPECT_EQ(file.formFaults, Strings{}) << plat::ToUtf8(path);
  return file.lines;
}

void MakeDirs(const std::u16string& path) {
  fs::create_directories(NativePath(path));
}

class RecordWriterTest : public ::testing::Test {
 public:
  RecordWriterTest() { plat::SetClockOverride(kClock); }
  static constexpr plat::WallClock kClock{1796545914, 123};

  std::u16string logPath() const { return out_ + u"\\orbeck.log"; }
  std::u16string errorFile(const std::u16string& dir) const {
    return dir + u"\\LogWriteError_J0042.log";
  }
  // Job J0042's record line for a code's absolute value.
  std::string Line(std::int64_t code, std::u16string_view line = kCommandLine) const {
    const std::u16string text = FormatExecLogRecord(FormatRecordTimeStamp(kClock), u"J0042", u"HS",
                                                    0, code, std::u16string(line));
    return plat::ToUtf8(text.substr(0, text.size() - 2));
  }
  std::int32_t Write(std::int32_t code, int retryCount = 5, int errorOnly = 0,
                     const std::u16string& logFileName = {},
                     std::u16string_view line = kCommandLine) {
    return WriteExecLogRecord(1, out_, retryCount, code, u"HS", 0, u"J0042",
                              logFileName.empty() ? logPath() : logFileName, std::u16string(line),
                              errorOnly);
  }

  qvtest::ScratchInstall root_;
  qvtest::ScopedFaults faults_;
  std::u16string out_ = root_ / u"out";
  std::u16string private_ = root_ / u"suite\\private";
};

TEST(JitterDelayMsTest, SeededByTheThirdCharacter) {
  const std::pair<std::u16string, int> cases[] = {
      {u"", 6}, {u"ab", 6}, {u"ab0", 8}, {u"xy1zz", 2}, {u"00A", 9}};
  for (const auto& [jobId, delay] : cases) EXPECT_EQ(JitterDelayMs(jobId), delay);
}

// Where each record goes and what the writer answers.
TEST_F(RecordWriterTest, RecordsReachTheirFiles) {
  using plat::FaultOp;
  using Setup = std::function<void(RecordWriterTest&)>;
  const auto fault = [](plat::FaultRule rule) {
    return [rule](RecordWriterTest&) { InjectFault(rule); };
  };
  const Setup logIsDir = [](RecordWriterTest& t) { MakeDirs(t.logPath()); };
  const Setup torn = [](RecordWriterTest& t) {
    MakeDirs(t.out_);
    qvtest::WriteBytes(t.logPath(), qvtest::Utf16Le(u"torn") + "x");  // half a unit at the end
  };
  const Setup shortWrite = [](RecordWriterTest& t) {
    t.Write(101);
    plat::InjectFault({FaultOp::Write, 0, 1, u"orbeck.log", {}, 77});
  };
  const auto busy = plat::OpenStatus::SharingViolation;
  // Lines of the log, the write-error file of the output directory and that
  // of the private directory: S 101, E 102, F the code's own, R 1283, U 1284,
  // T the torn line, its half unit completed.
  struct Case {
    const char* name;
    Setup setup;
    std::int32_t code, result;
    std::string log, outError, privateError;
    int retryCount = 5;
  } cases[] = {
      {"no attempts", nullptr, 101, 0, "", "", "", 0},
      {"a torn line is ended first", torn, 102, 0, "TE", "", ""},
      {"refused log: a start keeps 101", logIsDir, 101, -1283, "", "S", ""},
      {"no output directory", [](RecordWriterTest& t) { t.out_ = t.root_ / u"no\\out"; }, -2001,
       -1283, "", "", "R"},
      {"short write: the log as it was", shortWrite, 102, -1284, "S", "U", ""},
      {"lock held throughout", fault({FaultOp::Open, 0, -1, u"rotation.lock", busy}), 101, -1284,
       "", "U", ""},
      {"write-error file busy: private directory",
       [](RecordWriterTest& t) {
         MakeDirs(t.logPath());
         plat::InjectFault({plat::FaultOp::Open, 0, -1, u"out\\LogWriteError_",
                            plat::OpenStatus::SharingViolation});
       },
       -2911, -1283, "", "", "R"},
      {"no file takes a failure record", fault({FaultOp::Write, 0, -1, u"", {}, 9}), -5, -1284, "",
       "", ""},
      {"refused, both write-error files held: no file took it",
       [](RecordWriterTest& t) {
         MakeDirs(t.logPath());
         plat::InjectFault({FaultOp::Open, 0, -1, u"LogWriteError_", busy});
       },
       -2911, -1284, "", "", ""},
      // N attempts at the log, no more, no fewer; the write-error file waits
      // its own while other jobs write it, whatever N.
      {"first record, one attempt at a free log", nullptr, 101, 0, "S", "", "", 1},
      {"3 attempts, log busy twice", fault({FaultOp::Open, 1, 2, u"orbeck.log", busy}), 101, 0, "S",
       "", "", 3},
      {"3 attempts, log busy thrice", fault({FaultOp::Open, 1, 3, u"orbeck.log", busy}), 101, -1284,
       "", "U", "", 3},
      {"1 attempt, write-error file busy 50 times",
       [](RecordWriterTest&) {
         plat::InjectFault({FaultOp::Open, 1, -1, u"orbeck.log", busy});
         plat::InjectFault({FaultOp::Open, 0, 50, u"out\\LogWriteError_", busy});
       },
       -5, 0, "", "F", "", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ec;
    out_ = root_ / u"out";
    fs::remove_all(NativePath(out_), ec);
    fs::remove(NativePath(errorFile(private_)), ec);
    plat::ClearFaults();
    if (c.setup) c.setup(*this);
    EXPECT_EQ(Write(c.code, c.retryCount), c.result);
    plat::ClearFaults();
    const std::map<char, std::string> lines = {
        {'S', Line(101)},  {'E', Line(102)},  {'F', Line(std::abs(c.code))},
        {'R', Line(1283)}, {'U', Line(1284)}, {'T', "tornx"}};
    const std::pair<std::u16string, std::string> files[] = {
        {logPath(), c.log}, {errorFile(out_), c.outError}, {errorFile(private_), c.privateError}};
    for (const auto& [path, letters] : files) {
      Strings expected;
      for (char letter : letters) expected.push_back(lines.at(letter));
      EXPECT_EQ(Lines(path), expected) << plat::ToUtf8(path);
    }
    EXPECT_FALSE(qvtest::Exists(out_ + u"\\rotation.lock"));
  }
}

// A device or pipe in place of the log would swallow the records: refused.
TEST_F(RecordWriterTest, DeviceInPlaceOfTheLogIsRefused) {
  MakeDirs(out_);
  if (!kWindows) {
    fs::create_symlink("/dev/null", NativePath(out_ + u"\\NUL"));
    fs::create_symlink("/dev/zero", NativePath(out_ + u"\\NUL.log"));
    ASSERT_EQ(std::system(("mkfifo '" + NativePath(out_ + u"\\CON").string() + "'").c_str()), 0);
  }
  for (const char16_t* name : {u"NUL", u"NUL.log", u"CON"})
    EXPECT_EQ(Write(102, 5, 0, name), -1283);
  EXPECT_EQ(Lines(errorFile(out_)), Strings(3, Line(1283)));
}

TEST_F(RecordWriterTest, NothingToWriteTouchesNothing) {
  EXPECT_EQ(WriteExecLogRecord(0, out_, 5, 101, u"HS", 0, u"J0042", logPath(), kCommandLine, 0), 0);
  for (std::int32_t code : {102, 101, 0, -5, 999, -999}) EXPECT_EQ(Write(code, 5, 1), 0) << code;
  EXPECT_FALSE(qvtest::Exists(out_));
}

// A bare name lands in the output directory; from 256 characters on the
// job's name-error file takes the record.
TEST_F(RecordWriterTest, LogPathsByNameAndLength) {
  const std::u16string n255 = std::u16string(254 - out_.size(), u'n');
  for (const std::u16string& name : {std::u16string(u"bare.log"), n255, n255 + u"n"}) {
    ASSERT_EQ(Write(2911, 5, 0, name == u"bare.log" ? name : out_ + u"\\" + name), 0);
  }
  EXPECT_EQ(Lines(out_ + u"\\bare.log"), Strings{Line(2911)});
  EXPECT_EQ(Lines(out_ + u"\\" + n255), Lines(out_ + u"\\LogNameError_J0042.log"));
  EXPECT_EQ(Lines(out_ + u"\\LogNameError_J0042.log"), Strings{Line(2911)});
}

TEST_F(RecordWriterTest, ErrorOnlyRecordFollowsTheRunsJobLine) {
  const std::pair<std::u16string, Strings> cases[] = {
      {u"", {Line(2911)}},  // no per-job file of this run
      {u"start\r\nsecond\r\n", {"start", Line(2911)}},
      // A line cut at 9999 units still ends.
      {std::u16string(12000, u'a'), {std::string(9999, 'a'), Line(2911)}}};
  for (const auto& [jobFile, expected] : cases) {
    fs::remove_all(NativePath(out_));
    MakeDirs(out_);
    if (!jobFile.empty()) {
      qvtest::WriteBytes(out_ + u"\\" + JobFileName(u"J0042"), qvtest::Utf16Le(jobFile));
    }
    qvtest::WriteBytes(out_ + u"\\J0042", qvtest::Utf16Le(u"another run's start\r\n"));
    ASSERT_EQ(Write(-2911, 5, 1), 0);
    EXPECT_EQ(Lines(logPath()), expected);
  }
}

// A volume that fills up mid-record: the log keeps whole lines only.
TEST_F(RecordWriterTest, FullVolumeLeavesWholeLines) {
  MakeDirs(out_);
  const std::string dir = NativePath(out_).string();
  if (kWindows || std::system(("mount -t tmpfs -o size=64k qvfull '" + dir + "'").c_str()) != 0) {
    GTEST_SKIP() << "skipped: no tmpfs could be mounted (needs the native build, as root)";
  }
  struct Unmount {
    std::string dir;
    ~Unmount() { EXPECT_EQ(std::system(("umount '" + dir + "'").c_str()), 0); }
  } unmount{dir};
  const std::u16string big(8000, u'b');
  ASSERT_EQ(Write(101, 5, 0, {}, big), 0);
  {
    // Fill the volume, then free one page: less than a record.
    std::ofstream filler(dir + "/filler", std::ios::binary);
    const std::string block(4096, 'f');
    while (filler.write(block.data(), block.size()) && filler.flush()) {
    }
  }
  fs::resize_file(dir + "/filler", fs::file_size(dir + "/filler") - 4096);
  const std::string before = qvtest::ReadBytes(logPath());
  EXPECT_EQ(Write(102, 5, 0, {}, big), -1284);
  EXPECT_EQ(qvtest::ReadBytes(logPath()), before);
  EXPECT_EQ(Lines(errorFile(private_)), Strings{Line(1284, big)});
  fs::remove(dir + "/filler");
  ASSERT_EQ(Write(-5, 5, 0, {}, big), 0);
  EXPECT_EQ(Lines(logPath()), (Strings{Line(101, big), Line(5, big)}));
}

// ------------------------------------------------ competing processes

std::vector<plat::Process> Start(const std::string& program, const Strings& lines) {
  std::vector<plat::Process> processes;
  for (const std::string& line : lines) {
    processes.push_back(qvtest::StartProgram(qvtest::Program(program), plat::FromUtf8(line)));
  }
  return processes;
}

void ExpectExit(std::vector<plat::Process> processes, std::int64_t expected) {
  for (plat::Process& process : processes) {
    std::int64_t exitCode = -1;
    ASSERT_TRUE(process && plat::WaitProcess(*process, exitCode));
    EXPECT_EQ(exitCode, expected);
  }
}

// Every record exactly once (its tag and number in groups 1 and 2 of fields)
// in all of the files, each line whole.
void Audit(const std::vector<std::u16string>& paths, const std::string& fields,
           std::size_t records) {
  const std::regex record(R"(^\d{4}/\d\d/\d\d,\d\d:\d\d:\d\d\.\d{3},)" + fields + " x{300}$");
  std::map<std::string, int> seen;
  for (const std::u16string& path : paths) {
    for (const std::string& line : Lines(path)) {
      std::smatch match;
      EXPECT_TRUE(std::regex_match(line, match, record)) << "torn or foreign: " << line;
      EXPECT_EQ(++seen[match[1].str() + match[2].str()], 1) << line;
    }
  }
  EXPECT_EQ(seen.size(), records);
}

// The command lines of p writers "DIR NAME p<i>n ARGS" (log_writer_loop).
Strings Writers(const std::u16string& dir, const std::string& name, int p,
                const std::string& args) {
  Strings lines;
  for (int i = 0; i < p; ++i) {
    lines.push_back("\"" + plat::ToUtf8(dir) + "\" " + name + " p" + std::to_string(i) + "n " +
                    args);
  }
  return lines;
}

TEST_F(RecordWriterTest, ProcessesShareTheLogAndTheWriteErrorFile) {
  MakeDirs(out_);
  ExpectExit(Start("log_writer_loop", Writers(out_, "shared.log", 8, "60")), 0);
  Audit({out_ + u"\\shared.log"}, R"((p\d+n)(\d{4}),Information:HS-00-01-0101,,,,,,record \1 \2)",
        8 * 60);
  // Jobs of one identifier fall back in step while another process holds the
  // log: the write-error file they share loses nothing and holds one mark. A
  // job that finds it taken for all its attempts puts the record in the one of
  // the private directory, as under heavy load it may.
  std::vector<plat::Process> holder =
      Start("log_writer_loop", {"\"" + plat::ToUtf8(out_) + "\" held orbeck.log 60000 hold"});
  for (int i = 0; i < 3000 && !qvtest::Exists(out_ + u"\\held"); ++i) plat::SleepMilliseconds(10);
  ASSERT_TRUE(qvtest::Exists(out_ + u"\\held")) << "the holder never held the log";
  // One attempt at the log, a slow disk: the write-error file still waits.
  ExpectExit(Start("log_writer_loop", Writers(out_, "orbeck.log", 16, "16 shared")), 0);
  qvtest::WriteBytes(out_ + u"\\held.release", "");
  ExpectExit(std::move(holder), 0);
  Audit(
      {out_ + u"\\LogWriteError_vtJobIdError.log", private_ + u"\\LogWriteError_vtJobIdError.log"},
      R"(vtJobIdError,Error:HS-00-09-2911,,,,,,record (p\d+n) (\d{4}))", 16 * 16);
  EXPECT_FALSE(qvtest::Exists(out_ + u"\\rotation.lock"));
}

// The launcher itself, started as the system starts it (CreateProcessW under
// Wine, which passes CR and LF through).
TEST_F(RecordWriterTest, LauncherRecordsAndPerJobFiles) {
  root_.CopyEngine();
  const std::string launcher = "launcher";
  root_.LogSetup(u"runtime.output.dir=" + out_ + u"\r\nruntime.orbeck.active=1\r\n");
  ExpectExit(Start(launcher, {"-Lid5 -Xn\r\n2026/12/07,01:02:03.456,7777,Information:HS-00-01-0102"
                              ",,,,,,x -Xrc1"}),
             1);
  const Strings lines = Lines(logPath());
  ASSERT_EQ(lines.size(), 2u);
  for (const std::string& line : lines) EXPECT_NE(line.find("-Xn\u240D\u240A2026"), line.npos);
  // "5." and "5 " name the file "5" where Windows strips them: a log, not a
  // per-job file to delete.
  for (const std::string log : {"5.", "5 "}) {
    ExpectExit(Start(launcher, {"-Lid5 -Lfn\"" + log + "\" -Xrc1"}), 1);
    EXPECT_EQ(Lines(out_ + u"\\" + plat::FromUtf8(log)).size(), 2u) << log;
    fs::remove(NativePath(out_ + u"\\" + plat::FromUtf8(log)));
  }
  // Error-only jobs of one identifier at once: each failure record follows
  // its own start line, and no per-job file outlives its job.
  fs::remove_all(NativePath(out_));
  root_.LogSetup(u"runtime.output.dir=" + out_ +
                 u"\r\nruntime.orbeck.active=1\r\nruntime.output.errcodeonly=1\r\n");
  Strings jobs;
  for (int n = 0; n < 16; ++n) jobs.push_back("-Lid7 -Xms300 -Xrc-1500 -Xn" + std::to_string(n));
  ExpectExit(Start(launcher, jobs), kWindows ? -1500 : 0x24);
  const Strings log = Lines(logPath());
  ASSERT_EQ(log.size(), 32u);
  const std::regex pair(
      R"(.*,7,Information:HS-00-01-0101,.*-Xn(\d+)\n.*,7,Warning:HS-00-05-1500,.*-Xn\1)");
  for (std::size_t i = 0; i + 1 < log.size(); i += 2) {
    EXPECT_TRUE(std::regex_match(log[i] + "\n" + log[i + 1], pair)) << log[i] << "\n" << log[i + 1];
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(NativePath(out_)), {}), 1);
}

}  // namespace
