// Every file operation of the record writer and of the rotation made to fail
// in turn. A clean run first counts the platform calls of each kind; then the
// k-th call of each kind fails (once, and from then on), an open with each
// outcome a failed open can have. Whatever fails, a record is either in some
// file or answered with a non-zero result, no log is lost, nothing but the
// intended rotated files is deleted, and no file is left torn.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "execlog/record_writer.h"
#include "execlog/rotation.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using plat::FaultOp;
using plat::OpenStatus;
using qvtest::NativePath;

constexpr FaultOp kOps[] = {FaultOp::Open,    FaultOp::Write,  FaultOp::Read,
                            FaultOp::Move,    FaultOp::Remove, FaultOp::List,
                            FaultOp::MakeDir, FaultOp::Status, FaultOp::Alloc};
constexpr const char* kOpNames[] = {"Open", "Write",   "Read",   "Move", "Remove",
                                    "List", "MakeDir", "Status", "Alloc"};
constexpr OpenStatus kFailedOpens[] = {OpenStatus::SharingViolation, OpenStatus::AccessDenied,
                                       OpenStatus::Other};

struct Fault {
  FaultOp op;
  int skip;
  int count;  // 1: that call only; -1: that call and every later one
  OpenStatus status;
};

std::string Describe(const Fault& f) {
  static const char* const kStatus[] = {"Opened", "SharingViolation", "AccessDenied", "Other"};
  return std::string(kOpNames[static_cast<int>(f.op)]) + " call " + std::to_string(f.skip) +
         (f.count == 1 ? " once" : " onwards") +
         (f.op == FaultOp::Open ? std::string(" as ") + kStatus[static_cast<int>(f.status)] : "");
}

// Runs prepare and act once without faults, then lists a fault for every
// call that run made. The call counts of that run stay readable.
std::vector<Fault> FaultsOf(const std::function<void()>& prepare,
                            const std::function<void()>& act) {
  prepare();
  plat::ClearFaults();
  act();
  std::vector<Fault> faults;
  for (FaultOp op : kOps) {
    const int calls = plat::FaultCalls(op);
    for (int k = 0; k < calls; ++k) {
      for (int count : {1, -1}) {
        if (op != FaultOp::Open) {
          faults.push_back({op, k, count, OpenStatus::AccessDenied});
          continue;
        }
        for (OpenStatus status : kFailedOpens) faults.push_back({op, k, count, status});
      }
    }
  }
  return faults;
}

void Inject(const Fault& f) {
  plat::InjectFault({f.op, f.skip, f.count, u"", f.status});
}

// A file's bytes; empty for a directory in its place.
std::string FileBytes(const std::u16string& path) {
  std::error_code ec;
  return fs::is_regular_file(NativePath(path), ec) ? qvtest::ReadBytes(path) : std::string();
}

// An execution-log style file: empty, or one byte-order mark at the start and
// whole UTF-16 lines ended by CR LF.
bool WellFormed(const std::u16string& path) {
  const std::string bytes = FileBytes(path);
  if (bytes.empty()) return true;
  const std::u16string text = qvtest::FromUtf16Le(bytes);
  return bytes.size() % 2 == 0 && text[0] == 0xFEFF &&
         text.find(0xFEFF, 1) == std::u16string::npos && text.size() >= 3 &&
         text.ends_with(u"\r\n");
}

const plat::WallClock kClock{1796472000, 250};  // 2026-12-05 12:00:00.250 UTC

// ------------------------------------------------------------ record writer

class WriterSweep : public ::testing::Test {
 public:
  WriterSweep() { plat::SetClockOverride(kClock); }

  struct Case {
    const char* name;
    std::int32_t code;
    int errorOnly;
    std::function<void(WriterSweep&)> prepare;
    bool lockHeld = false;     // a rotation holds the lock for the whole call
    std::u16string logName{};  // in the output directory; empty: orbeck.log
  };

  // A fresh tree: the private directory only, the output directory missing.
  void Fresh() {
    held.reset();
    std::error_code ec;
    fs::remove_all(NativePath(out), ec);
    fs::remove_all(NativePath(privateDir), ec);
    fs::create_directories(NativePath(privateDir));
  }
  void MakeOut() { fs::create_directories(NativePath(out)); }

  std::u16string LogName(const Case& c) const {
    return out + u"\\" + (c.logName.empty() ? u"orbeck.log" : c.logName);
  }
  std::int32_t Run(const Case& c) {
    return WriteExecLogRecord(1, out, 3, c.code, u"HS", 0, u"J0042", LogName(c), kCommandLine,
                              c.errorOnly);
  }
  // The record line as it may stand anywhere: under its own code, or under
  // the 1283 or 1284 that replace it when the log cannot be written.
  std::vector<std::u16string> Lines(std::int32_t code) const {
    std::vector<std::u16string> lines;
    for (std::int64_t abs : {static_cast<std::int64_t>(code < 0 ? -code : code), std::int64_t{1283},
                             std::int64_t{1284}}) {
      lines.push_back(FormatExecLogRecord(FormatRecordTimeStamp(kClock), u"J0042", u"HS", 0, abs,
                                          kCommandLine));
    }
    return lines;
  }
  std::vector<std::u16string> Destinations() const {
    return {out + u"\\orbeck.log", out + u"\\J0042", out + u"\\LogNameError_J0042.log",
            out + u"\\LogWriteError_J0042.log", privateDir + u"\\LogWriteError_J0042.log"};
  }
  bool RecordFound(std::int32_t code) const {
    for (const std::u16string& path : Destinations()) {
      const std::u16string text = qvtest::FromUtf16Le(FileBytes(path));
      for (const std::u16string& line : Lines(code)) {
        if (text.find(line) != std::u16string::npos) return true;
      }
    }
    return false;
  }

  // True when an injected fault made the open of the write-error file in
  // dir, or the write into it, fail.
  static bool WriteErrorFileRefused(const std::u16string& dir) {
    const std::u16string path = dir + u"\\LogWriteError_J0042.log";
    return plat::FaultHits(FaultOp::Open, path) + plat::FaultHits(FaultOp::Write, path) > 0;
  }

  void Check(const Case& c, const std::string& what, std::int32_t result, const Fault* fault) {
    SCOPED_TRACE(std::string(c.name) + ": " + what);
    EXPECT_TRUE(result == 0 || result == -1283 || result == -1284) << result;
    // Only a failure record may go unwritten with result 0, and only when
    // both write-error files were refused to it.
    const bool mayVanish = c.code != 101 && c.code != 102 && WriteErrorFileRefused(out) &&
                           WriteErrorFileRefused(privateDir);
    if (result == 0 && !mayVanish) {
      EXPECT_TRUE(RecordFound(c.code)) << "record lost";
    }
    for (const std::u16string& path : Destinations()) {
      EXPECT_TRUE(WellFormed(path)) << plat::ToUtf8(path);
    }
    if (c.errorOnly == 1) {
      EXPECT_EQ(qvtest::ReadBytes(out + u"\\J0042"), jobFile);
    }
    // The lock cleanup probes twice and deletes; only a fault in those steps
    // may leave the lock file that the writer's own probes made.
    const bool lockMayStay = c.lockHeld || (fault != nullptr && (fault->op == FaultOp::Open ||
                                                                 fault->op == FaultOp::Status ||
                                                                 fault->op == FaultOp::Remove));
    if (!lockMayStay) {
      EXPECT_FALSE(qvtest::Exists(out + u"\\rotation.lock"));
    }
  }

  void Sweep(const Case& c) {
    auto prepare = [&] {
      Fresh();
      if (c.prepare) c.prepare(*this);
      if (c.lockHeld) {
        MakeOut();
        held = OpenLogForAppend(out + u"\\rotation.lock");
        ASSERT_TRUE(held);
      }
    };
    const std::vector<Fault> faults = FaultsOf(prepare, [&] { clean = Run(c); });
    Check(c, "no fault", clean, nullptr);
    ASSERT_FALSE(faults.empty()) << c.name;
    for (const Fault& fault : faults) {
      prepare();
      plat::ClearFaults();
      Inject(fault);
      const std::int32_t result = Run(c);
      Check(c, Describe(fault), result, &fault);
      plat::ClearFaults();
    }
    held.reset();
  }

  static constexpr char16_t kCommandLine[] = u"-Lid J0042 -Xrc 5";
  qvtest::ScopedTempDir root;
  qvtest::ScopedFaults faults;
  qvtest::ScopedEnv env{u"VANTREL_V12",
                        root / u"bin" + u";" + root / u"suite" + u";" + root / u"data"};
  std::u16string out = root / u"out";
  std::u16string privateDir = root / u"suite\\private";
  std::string jobFile;
  plat::FileHandle held;
  std::int32_t clean = 0;
};

TEST_F(WriterSweep, EveryFailedCallLeavesTheRecordSomewhereOrReported) {
  const auto existingLog = [](WriterSweep& t) {
    t.MakeOut();
    qvtest::WriteBytes(t.out + u"\\orbeck.log",
                       qvtest::Utf16Le(FormatExecLogRecord(u"2026/12/05,11:00:00.000", u"J0041",
                                                           u"HS", 0, 101, u"-Xrc 0")));
  };
  const auto jobFileWithStart = [](WriterSweep& t) {
    t.MakeOut();
    t.jobFile = qvtest::Utf16Le(
        FormatExecLogRecord(u"2026/12/05,11:59:59.000", u"J0042", u"HS", 0, 101, kCommandLine));
    qvtest::WriteBytes(t.out + u"\\J0042", t.jobFile);
  };
  const auto logIsDirectory = [](WriterSweep& t) {
    fs::create_directories(NativePath(t.out + u"\\orbeck.log"));
  };
  const Case cases[] = {
      {"start record into a new output directory", 101, 0, nullptr},
      {"end record appended to a log", 102, 0, existingLog},
      {"failure record", -5, 0, existingLog},
      {"failure record with its job line in error-only mode", -2911, 1, jobFileWithStart},
      {"error-only start record into the per-job file", 101, 0, nullptr, false, u"J0042"},
      {"log refused, start record to the write-error file", 101, 0, logIsDirectory},
      {"rotation holds the lock, failure record to the write-error file", -5, 0, existingLog, true},
      {"log path too long, end record to the name-error file", 102, 0, nullptr, false,
       std::u16string(256, u'n') + u".log"},
  };
  for (const Case& c : cases) {
    jobFile.clear();
    Sweep(c);
  }
}

// ----------------------------------------------------------------- rotation

class RotationSweep : public ::testing::Test {
 protected:
  RotationSweep() { plat::SetClockOverride(kClock); }

  struct File {
    std::u16string name;  // under out
    std::string content;  // tells the file wherever a move takes it
    std::int64_t modTime;
  };
  struct Case {
    const char* name;
    std::u16string rules;
    std::vector<File> files;
    std::u16string keep;
  };

  void Prepare(const Case& c) {
    std::error_code ec;
    fs::remove_all(NativePath(root.path() + u"\\out"), ec);
    fs::create_directories(NativePath(root / u"suite\\private"));
    fs::create_directories(NativePath(out));
    const std::u16string settings =
        u"runtime.output.dir=" + out + u"\r\nruntime.rotate.dir=" + out +
        u"\\old\r\nruntime.orbeck.active=1\r\nruntime.rotate.name.description=YYYYMMDD\r\n"
        u"runtime.rotate.times=" +
        c.keep + u"\r\n" + c.rules;
    qvtest::WriteBytes(root / u"suite\\private\\logsetup_w.properties", qvtest::Utf16Le(settings));
    for (const File& file : c.files) {
      const std::u16string path = out + u"\\" + file.name;
      fs::create_directories(NativePath(path).parent_path());
      qvtest::WriteBytes(path, file.content);
      using namespace std::chrono;
      fs::last_write_time(NativePath(path),
                          file_clock::from_sys(sys_seconds{seconds{file.modTime}}));
    }
  }

  // Content of every file under out (by content, as moves rename them) and
  // where it stands; the lock file apart.
  std::map<std::string, std::vector<std::u16string>> Contents() const {
    std::map<std::string, std::vector<std::u16string>> found;
    for (const auto& entry : fs::recursive_directory_iterator(NativePath(out))) {
      if (!entry.is_regular_file()) continue;
      const std::u16string rel = fs::relative(entry.path(), NativePath(out)).u16string();
      if (rel == u"rotation.lock") continue;
      std::ifstream in(entry.path(), std::ios::binary);
      found[std::string(std::istreambuf_iterator<char>(in), {})].push_back(rel);
    }
    return found;
  }

  void Sweep(const Case& c) {
    SCOPED_TRACE(c.name);
    const std::vector<Fault> faults =
        FaultsOf([&] { Prepare(c); }, [] { RotateExecLog(u"Orbeck"); });
    const int removes = plat::FaultCalls(FaultOp::Remove);
    // What the clean run deletes is all that any run may delete.
    std::map<std::string, std::vector<std::u16string>> after = Contents();
    std::vector<std::string> deletable;
    for (const File& file : c.files) {
      if (!after.contains(file.content)) deletable.push_back(file.content);
    }
    ASSERT_TRUE(after.contains("live log"));
    EXPECT_EQ(after.at("live log").front().rfind(u"old", 0), 0u) << "not rotated";
    for (const Fault& fault : faults) {
      SCOPED_TRACE(Describe(fault));
      Prepare(c);
      plat::ClearFaults();
      Inject(fault);
      RotateExecLog(u"Orbeck");
      plat::ClearFaults();
      after = Contents();
      for (const File& file : c.files) {
        const bool mayGo =
            std::find(deletable.begin(), deletable.end(), file.content) != deletable.end();
        if (!mayGo) {
          EXPECT_TRUE(after.contains(file.content)) << file.content << " lost";
        }
      }
      for (const auto& [content, places] : after) {
        EXPECT_EQ(places.size(), 1u) << content << " duplicated";
      }
      if (after.contains("live log")) {
        const std::u16string& log = after.at("live log").front();
        EXPECT_TRUE(log == u"orbeck.log" || log.starts_with(u"old")) << plat::ToUtf8(log);
      }
      // Only a failed delete of the lock itself leaves it; it is the run's
      // last delete.
      const bool lockMayStay =
          fault.op == FaultOp::Remove && (fault.count == -1 || fault.skip == removes - 1);
      if (!lockMayStay) {
        EXPECT_FALSE(qvtest::Exists(out + u"\\rotation.lock"));
      }
    }
  }

  qvtest::ScopedTempDir root;
  qvtest::ScopedFaults faults;
  qvtest::ScopedEnv env{u"VANTREL_V12",
                        root / u"bin" + u";" + root / u"suite" + u";" + root / u"data"};
  std::u16string out = root / u"out";
};

std::int64_t DaysBefore(double days) {
  return kClock.seconds - static_cast<std::int64_t>(days * 86400);
}

TEST_F(RotationSweep, NoFailedCallLosesALogOrDeletesAnotherFile) {
  const Case cases[] = {
      {"by date, displacing a rotation of today and pruning to two",
       u"runtime.rotate.active=1\r\nruntime.rotate.rule.sizeflg=1\r\n"
       u"runtime.rotate.rule.size=99\r\nruntime.rotate.rule.dateflg=1\r\n"
       u"runtime.rotate.rule.datetype=2\r\n",
       {{u"orbeck.log", "live log", DaysBefore(0.6)},
        {u"old\\orbeck_20261205.log", "rotated today", DaysBefore(0.8)},
        {u"old\\orbeck_20261204.log", "rotated 1204", DaysBefore(1.5)},
        {u"old\\ORBECK_20261203.LOG", "rotated 1203", DaysBefore(2.5)},
        {u"old\\vorn_20261201.log", "vorn", DaysBefore(4.5)},
        {u"old\\orbeck_notes\\x", "in a directory", DaysBefore(9)},
        {u"vorn.log", "vorn live", DaysBefore(0.1)}},
       u"2"},
      {"by size into a rotation directory still to be made",
       u"runtime.rotate.active=1\r\nruntime.rotate.rule.sizeflg=1\r\n"
       u"runtime.rotate.rule.size=0\r\n",
       {{u"orbeck.log", "live log", DaysBefore(0.1)}},
       u"1"},
  };
  for (const Case& c : cases) Sweep(c);
}

// Without an output directory the lock path would be "\rotation.lock", the
// root of the drive. The lock's opens and deletes are refused here, so that a
// run that still goes for it touches nothing there.
TEST_F(RotationSweep, WithoutAnOutputDirectoryNoLockIsTaken) {
  const std::u16string longDataRoot =
      root.path() + u"\\" + std::u16string(257 - root.path().size() - 1, u'd');
  struct Row {
    const char* what;
    std::u16string dataRoot;
    bool noMemory;
  };
  const Row rows[] = {
      {"no memory for the default directory", root / u"data", true},
      {"a data root too long for the default directory", longDataRoot, false},
  };
  fs::create_directories(NativePath(root / u"suite\\private"));
  qvtest::WriteBytes(root / u"suite\\private\\logsetup_w.properties",
                     qvtest::Utf16Le(u"runtime.orbeck.active=1\r\nruntime.rotate.active=1\r\n"));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    qvtest::ScopedEnv roots(u"VANTREL_V12", root / u"bin;" + root / u"suite;" + row.dataRoot);
    plat::ClearFaults();
    plat::InjectFault({FaultOp::Open, 0, -1, u"rotation.lock"});
    plat::InjectFault({FaultOp::Remove, 0, -1, u"rotation.lock"});
    if (row.noMemory) plat::InjectFault({FaultOp::Alloc, 0, -1, u""});
    RotateExecLog(u"Orbeck");
    EXPECT_EQ(plat::FaultCalls(FaultOp::Remove), 0);
  }
}

}  // namespace
