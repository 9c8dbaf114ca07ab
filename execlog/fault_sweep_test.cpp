// Every file operation of the record writer and of the rotation made to fail
// in turn. A clean run counts the platform calls of each kind; then the k-th
// call of each kind fails (once, and from then on): an open with each outcome
// a failed open can have, a write after none or an odd part of its bytes, as
// on a full volume. Whatever fails, a record is in some file or answered with
// a non-zero result, no log is lost, nothing but the intended rotated files is
// deleted, and every file holds whole lines only.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
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

struct Fault {
  FaultOp op;
  int skip, count;  // count 1: that call only; -1: that call and every later one
  OpenStatus status;
  std::size_t shortWrite;
};

std::string Describe(const Fault& f) {
  return "op " + std::to_string(static_cast<int>(f.op)) + " call " + std::to_string(f.skip) +
         (f.count == 1 ? " once" : " onwards") + " status " +
         std::to_string(static_cast<int>(f.status)) + " short " + std::to_string(f.shortWrite);
}

// Runs prepare and act once without faults, then lists the faults of every
// call that run made.
std::vector<Fault> FaultsOf(const std::function<void()>& prepare,
                            const std::function<void()>& act) {
  prepare();
  plat::ClearFaults();
  act();
  std::vector<Fault> faults;
  for (int op = 0; op <= static_cast<int>(FaultOp::Alloc); ++op) {
    for (int k = 0; k < plat::FaultCalls(static_cast<FaultOp>(op)); ++k) {
      for (int count : {1, -1}) {
        for (OpenStatus status :
             {OpenStatus::SharingViolation, OpenStatus::AccessDenied, OpenStatus::Other}) {
          for (std::size_t part : {std::size_t{0}, std::size_t{41}}) {
            faults.push_back({static_cast<FaultOp>(op), k, count, status, part});
            if (op != static_cast<int>(FaultOp::Write)) break;
          }
          if (op != static_cast<int>(FaultOp::Open)) break;
        }
      }
    }
  }
  return faults;
}

void Inject(const Fault& f) {
  plat::ClearFaults();
  plat::InjectFault({f.op, f.skip, f.count, u"", f.status, f.shortWrite});
}

std::string FileBytes(const std::u16string& path) {
  std::error_code ec;
  return fs::is_regular_file(NativePath(path), ec) ? qvtest::ReadBytes(path) : std::string();
}

// Empty, or one byte-order mark at the start and whole lines ended by CR LF.
bool WellFormed(const std::u16string& path) {
  const std::string bytes = FileBytes(path);
  const std::u16string text = qvtest::FromUtf16Le(bytes);
  return bytes.empty() || (bytes.size() % 2 == 0 && text[0] == 0xFEFF &&
                           text.find(0xFEFF, 1) == std::u16string::npos && text.size() >= 3 &&
                           text.ends_with(u"\r\n"));
}

const plat::WallClock kClock{1796472000, 250};  // 2026-12-05 12:00:00.250 UTC
constexpr char16_t kCommandLine[] = u"-Lid J0042 -Xrc 5";

struct Tree {
  Tree() { plat::SetClockOverride(kClock); }
  qvtest::ScopedTempDir root;
  qvtest::ScopedFaults faults;
  qvtest::ScopedEnv env{u"VANTREL_V12",
                        root / u"bin" + u";" + root / u"suite" + u";" + root / u"data"};
  std::u16string out = root / u"out";
  std::u16string privateDir = root / u"suite\\private";
  void Fresh() {
    std::error_code ec;
    fs::remove_all(NativePath(out), ec);
    fs::remove_all(NativePath(privateDir), ec);
    fs::create_directories(NativePath(privateDir));
  }
  void Put(const std::u16string& name, const std::string& bytes) {
    fs::create_directories(NativePath(out + u"\\" + name).parent_path());
    qvtest::WriteBytes(out + u"\\" + name, bytes);
  }
};

std::string Record(const char16_t* stamp, const char16_t* job, std::int64_t code) {
  return qvtest::Utf16Le(FormatExecLogRecord(stamp, job, u"HS", 0, code, kCommandLine));
}

TEST(WriterSweep, EveryFailedCallLeavesTheRecordSomewhereOrReported) {
  Tree t;
  const std::u16string jobFile = JobFileName(u"J0042");
  struct Case {
    const char* name;
    std::int32_t code;
    int errorOnly;
    std::u16string log;       // in the output directory
    std::u16string existing;  // a file put there first; empty: none
    bool lockHeld = false;    // a rotation holds the lock throughout
  } cases[] = {
      {"start record into a new output directory", 101, 0, u"orbeck.log", u""},
      {"end record appended to a log", 102, 0, u"orbeck.log", u"orbeck.log"},
      {"failure record in error-only mode", -2911, 1, u"orbeck.log", jobFile},
      {"error-only start into the per-job file", 101, 0, jobFile, u""},
      {"refused log: start to the write-error file", 101, 0, u"orbeck.log\\x", u""},
      {"lock held: failure to the write-error file", -5, 0, u"orbeck.log", u"orbeck.log", true},
      {"long path: the name-error file", 102, 0, std::u16string(256, u'n'), u""},
  };
  const std::vector<std::u16string> files = {
      t.out + u"\\orbeck.log", t.out + u"\\" + jobFile, t.out + u"\\LogNameError_J0042.log",
      t.out + u"\\LogWriteError_J0042.log", t.privateDir + u"\\LogWriteError_J0042.log"};
  for (const Case& c : cases) {
    const std::string before = Record(u"2026/12/05,11:59:59.000", u"J0042", 101);
    plat::FileHandle lock;
    auto prepare = [&] {
      lock.reset();
      t.Fresh();
      if (!c.existing.empty()) t.Put(c.existing, before);
      // A directory in place of the log refuses it.
      if (c.log.ends_with(u"\\x")) t.Put(c.log, "");
      if (c.lockHeld) lock = OpenLogForAppend(t.out + u"\\rotation.lock");
    };
    const std::u16string log = t.out + u"\\" + (c.log.ends_with(u"\\x") ? u"orbeck.log" : c.log);
    auto run = [&] {
      return WriteExecLogRecord(1, t.out, 3, c.code, u"HS", 0, u"J0042", log, kCommandLine,
                                c.errorOnly);
    };
    std::vector<std::u16string> lines;
    for (std::int64_t code :
         {static_cast<std::int64_t>(std::abs(c.code)), std::int64_t{1283}, std::int64_t{1284}}) {
      lines.push_back(FormatExecLogRecord(FormatRecordTimeStamp(kClock), u"J0042", u"HS", 0, code,
                                          kCommandLine));
    }
    std::vector<Fault> faults = FaultsOf(prepare, run);
    faults.insert(faults.begin(), Fault{FaultOp::Alloc, 0, 0, OpenStatus::Other, 0});  // none
    for (const Fault& fault : faults) {
      SCOPED_TRACE(std::string(c.name) + ": " + Describe(fault));
      prepare();
      Inject(fault);
      const std::int32_t result = run();
      plat::ClearFaults();
      EXPECT_TRUE(result == 0 || result == -1283 || result == -1284) << result;
      bool found = false;
      for (const std::u16string& path : files) {
        EXPECT_TRUE(WellFormed(path)) << plat::ToUtf8(path);
        const std::u16string text = qvtest::FromUtf16Le(FileBytes(path));
        for (const std::u16string& line : lines) found = found || text.find(line) != text.npos;
      }
      EXPECT_TRUE(result != 0 || found) << "record lost";
      if (c.existing == jobFile) {
        EXPECT_EQ(FileBytes(files[1]), before);
      }
      // Only a fault in the cleanup's probes and delete may leave the lock.
      if (!c.lockHeld && fault.op != FaultOp::Open && fault.op != FaultOp::Status &&
          fault.op != FaultOp::Remove) {
        EXPECT_FALSE(qvtest::Exists(t.out + u"\\rotation.lock"));
      }
    }
  }
}

// Content of every file under dir (by content, as moves rename them) and
// where it stands; the lock file apart.
std::map<std::string, std::vector<std::u16string>> Contents(const std::u16string& dir) {
  std::map<std::string, std::vector<std::u16string>> found;
  for (const auto& entry : fs::recursive_directory_iterator(NativePath(dir))) {
    const std::u16string rel = fs::relative(entry.path(), NativePath(dir)).u16string();
    if (entry.is_regular_file() && rel != u"rotation.lock") {
      found[qvtest::ReadFileBytes(entry.path())].push_back(rel);
    }
  }
  return found;
}

TEST(RotationSweep, NoFailedCallLosesALogOrDeletesAnotherFile) {
  Tree t;
  struct File {
    std::u16string name;  // under out
    std::string content;  // tells the file wherever a move takes it
    double daysOld;
  };
  struct Case {
    std::u16string rules;
    std::vector<File> files;
  } cases[] = {
      {u"runtime.rotate.times=2\r\nruntime.rotate.rule.sizeflg=1\r\nruntime.rotate.rule.size=99\r\n"
       u"runtime.rotate.rule.dateflg=1\r\nruntime.rotate.rule.datetype=2\r\n",
       {{u"orbeck.log", "live log", 0.6},
        {u"old\\orbeck_20261205.log", "rotated today", 0.8},
        {u"old\\orbeck_20261204.log", "rotated 1204", 1.5},
        {u"old\\ORBECK_20261203.LOG", "rotated 1203", 2.5},
        {u"old\\vorn_20261201.log", "vorn", 4.5},
        {u"old\\orbeck_notes\\x", "in a directory", 9},
        {u"vorn.log", "vorn live", 0.1}}},
      // Into a rotation directory still to be made.
      {u"runtime.rotate.times=1\r\nruntime.rotate.rule.sizeflg=1\r\nruntime.rotate.rule.size=0\r\n",
       {{u"orbeck.log", "live log", 0.1}}},
  };
  for (const Case& c : cases) {
    auto prepare = [&] {
      t.Fresh();
      fs::create_directories(NativePath(t.out));
      qvtest::WriteBytes(
          t.privateDir + u"\\logsetup_w.properties",
          qvtest::Utf16Le(u"runtime.output.dir=" + t.out + u"\r\nruntime.rotate.dir=" + t.out +
                          u"\\old\r\nruntime.orbeck.active=1\r\n"
                          u"runtime.rotate.name.description=YYYYMMDD\r\n"
                          u"runtime.rotate.active=1\r\n" +
                          c.rules));
      for (const File& file : c.files) {
        t.Put(file.name, file.content);
        using namespace std::chrono;
        fs::last_write_time(
            NativePath(t.out + u"\\" + file.name),
            file_clock::from_sys(sys_seconds{
                seconds{kClock.seconds - static_cast<std::int64_t>(file.daysOld * 86400)}}));
      }
    };
    const std::vector<Fault> faults = FaultsOf(prepare, [] { RotateExecLog(u"Orbeck"); });
    const int removes = plat::FaultCalls(FaultOp::Remove);
    // What the clean run deletes is all that any run may delete.
    std::map<std::string, std::vector<std::u16string>> after = Contents(t.out);
    ASSERT_EQ(after["live log"].front().rfind(u"old", 0), 0u) << "not rotated";
    std::vector<std::string> kept;
    for (const File& file : c.files) {
      if (after.contains(file.content)) kept.push_back(file.content);
    }
    for (const Fault& fault : faults) {
      SCOPED_TRACE(Describe(fault));
      prepare();
      Inject(fault);
      RotateExecLog(u"Orbeck");
      plat::ClearFaults();
      after = Contents(t.out);
      for (const std::string& content : kept) EXPECT_TRUE(after.contains(content)) << content;
      for (const auto& [content, places] : after) EXPECT_EQ(places.size(), 1u) << content;
      if (after.contains("live log")) {
        const std::u16string& log = after.at("live log").front();
        EXPECT_TRUE(log == u"orbeck.log" || log.starts_with(u"old")) << plat::ToUtf8(log);
      }
      // Only a failed delete of the lock itself, the run's last, leaves it.
      if (fault.op != FaultOp::Remove || (fault.count == 1 && fault.skip != removes - 1)) {
        EXPECT_FALSE(qvtest::Exists(t.out + u"\\rotation.lock"));
      }
    }
  }
}

}  // namespace
