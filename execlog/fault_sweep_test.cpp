// Every file operation of the record writer and of the rotation made to fail
// in turn: the k-th call of each kind of a clean run fails (once, and from then
// on), an open with each failed outcome, a write after none or an odd part of
// its bytes, as on a full volume. A record must stay in some file or be
// answered with a non-zero result, no log may be lost, nothing but what the
// clean run deletes may go, and every record file holds whole lines only.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>

#include "execlog/record_writer.h"
#include "execlog/rotation.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using plat::FaultOp;
using plat::FaultRule;

// Runs prepare and act once without faults, then lists the faults of every
// call that run made; the first rule fails nothing.
std::vector<FaultRule> FaultsOf(const std::function<void()>& prepare,
                                const std::function<void()>& act) {
  prepare();
  plat::ClearFaults();
  act();
  std::vector<FaultRule> faults{{FaultOp::Alloc, 0, 0, u""}};
  for (int op = 0; op <= static_cast<int>(FaultOp::Alloc); ++op) {
    const bool open = op == static_cast<int>(FaultOp::Open),
               write = op == static_cast<int>(FaultOp::Write);
    for (int k = 0; k < plat::FaultCalls(static_cast<FaultOp>(op)); ++k) {
      for (int count : {1, -1}) {
        for (int kind = 1; kind < (open ? 4 : write ? 3 : 2); ++kind) {
          faults.push_back({static_cast<FaultOp>(op), k, count, u"",
                            open ? static_cast<plat::OpenStatus>(kind) : plat::OpenStatus::Other,
                            write && kind == 2 ? 41u : 0u});
        }
      }
    }
  }
  return faults;
}

std::string Describe(const FaultRule& f) {
  return "op " + std::to_string(static_cast<int>(f.op)) + " call " + std::to_string(f.skip) +
         " count " + std::to_string(f.count) + " status " +
         std::to_string(static_cast<int>(f.openStatus)) + " short " + std::to_string(f.shortWrite);
}

std::string FileBytes(const std::u16string& path) {
  std::error_code ec;
  return fs::is_regular_file(qvtest::NativePath(path), ec) ? qvtest::ReadBytes(path) : "";
}

// Empty, or one byte-order mark at the start and whole records ended by CR LF.
bool WellFormed(const std::u16string& path) {
  std::vector<std::string> faults;
  qvtest::ReadLog(path, faults);
  return faults.empty();
}

const plat::WallClock kClock{1796472000, 250};  // 2026-12-05 12:00:00.250 UTC
constexpr char16_t kCommandLine[] = u"-Lid J0042 -Xrc 5";

struct Tree {
  Tree() { plat::SetClockOverride(kClock); }
  qvtest::ScratchInstall root;
  qvtest::ScopedFaults faults;
  std::u16string out = root / u"out", privateDir = root / u"suite\\private";
  void Fresh() {
    std::error_code ec;
    fs::remove_all(qvtest::NativePath(out), ec);
    fs::remove_all(qvtest::NativePath(privateDir), ec);
    fs::create_directories(qvtest::NativePath(privateDir));
  }
  void Put(const std::u16string& name, const std::string& bytes) {
    fs::create_directories(qvtest::NativePath(out + u"\\" + name).parent_path());
    qvtest::WriteBytes(out + u"\\" + name, bytes);
  }
};

TEST(FaultSweep, RecordWriterLeavesTheRecordSomewhereOrReported) {
  Tree t;
  const std::u16string job = JobFileName(u"J0042");
  const std::string before = qvtest::Utf16Le(
      FormatExecLogRecord(u"2026/12/05,11:59:59.000", u"J0042", u"HS", 0, 101, kCommandLine));
  struct Case {
    std::int32_t code;
    int errorOnly;
    std::u16string log, existing;  // in the output directory; existing put there first
    bool lockHeld = false;         // a rotation holds the lock throughout
  } cases[] = {
      {101, 0, u"orbeck.log", u""},  // into a new output directory
      {102, 0, u"orbeck.log", u"orbeck.log"},
      {-2911, 1, u"orbeck.log", job},             // with the per-job line in error-only mode
      {101, 0, job, u""},                         // the error-only start into the per-job file
      {101, 0, u"orbeck.log", u"orbeck.log\\x"},  // refused: a directory in its place
      {-5, 0, u"orbeck.log", u"orbeck.log", true},
      {102, 0, std::u16string(256, u'n'), u""},  // to the name-error file
  };
  const std::u16string files[] = {
      t.out + u"\\orbeck.log", t.out + u"\\" + job, t.out + u"\\LogNameError_J0042.log",
      t.out + u"\\LogWriteError_J0042.log", t.privateDir + u"\\LogWriteError_J0042.log"};
  for (const Case& c : cases) {
    plat::FileHandle lock;
    const auto prepare = [&] {
      lock.reset();
      t.Fresh();
      if (!c.existing.empty()) t.Put(c.existing, before);
      if (c.lockHeld) lock = OpenLogForAppend(t.out + u"\\rotation.lock");
    };
    const auto run = [&] {
      return WriteExecLogRecord(1, t.out, 3, c.code, u"HS", 0, u"J0042", t.out + u"\\" + c.log,
                                kCommandLine, c.errorOnly);
    };
    std::vector<std::u16string> lines;
    for (std::int64_t code :
         {std::int64_t{std::abs(c.code)}, std::int64_t{1283}, std::int64_t{1284}}) {
      lines.push_back(FormatExecLogRecord(FormatRecordTimeStamp(kClock), u"J0042", u"HS", 0, code,
                                          kCommandLine));
    }
    for (const FaultRule& fault : FaultsOf(prepare, run)) {
      SCOPED_TRACE(plat::ToUtf8(c.log + c.existing) + " " + Describe(fault));
      prepare();
      plat::ClearFaults();
      plat::InjectFault(fault);
      const std::int32_t result = run();
      plat::ClearFaults();
      EXPECT_TRUE(result == 0 || result == -1283 || result == -1284) << result;
      bool found = false;
      for (const std::u16string& path : files) {
        const std::string bytes = FileBytes(path);
        EXPECT_TRUE(WellFormed(path)) << plat::ToUtf8(path);
        for (const std::u16string& line : lines) {
          found = found || qvtest::FromUtf16Le(bytes).find(line) != std::u16string::npos;
        }
      }
      EXPECT_TRUE(result != 0 || found) << "record lost";
      EXPECT_TRUE(c.existing != job || FileBytes(files[1]) == before) << "per-job file changed";
      // Only a fault in the cleanup's probes and delete may leave the lock.
      const bool lockMayStay = c.lockHeld || fault.op == FaultOp::Open ||
                               fault.op == FaultOp::Status || fault.op == FaultOp::Remove;
      EXPECT_TRUE(lockMayStay || !qvtest::Exists(t.out + u"\\rotation.lock"));
    }
  }
}

// Files under dir by content (moves rename them), the lock file apart.
std::map<std::string, std::vector<std::u16string>> Contents(const std::u16string& dir) {
  std::map<std::string, std::vector<std::u16string>> found;
  for (const auto& entry : fs::recursive_directory_iterator(qvtest::NativePath(dir))) {
    const std::u16string rel = fs::relative(entry.path(), qvtest::NativePath(dir)).u16string();
    if (entry.is_regular_file() && rel != u"rotation.lock") {
      found[qvtest::ReadFileBytes(entry.path())].push_back(rel);
    }
  }
  return found;
}

TEST(FaultSweep, RotationLosesNoLogAndDeletesNoOtherFile) {
  Tree t;
  // Rules, then files (name under out, content, days old): by date, displacing
  // a rotation of today, pruning to two; by size into a directory to be made.
  const std::pair<std::u16string, std::vector<std::tuple<std::u16string, std::string, double>>>
      cases[] = {
          {u"times=2\r\nruntime.rotate.rule.size=99\r\nruntime.rotate.rule.dateflg=1\r\n"
           u"runtime.rotate.rule.datetype=2",
           {{u"orbeck.log", "live log", 0.6},
            {u"old\\orbeck_20261205.log", "rotated today", 0.8},
            {u"old\\orbeck_20261204.log", "rotated 1204", 1.5},
            {u"old\\ORBECK_20261203.LOG", "rotated 1203", 2.5},
            {u"old\\vorn_20261201.log", "vorn", 4.5},
            {u"old\\orbeck_notes\\x", "in a directory", 9},
            {u"vorn.log", "vorn live", 0.1}}},
          {u"times=1\r\nruntime.rotate.rule.size=0", {{u"orbeck.log", "live log", 0.1}}},
      };
  for (const auto& [rules, files] : cases) {
    const auto prepare = [&] {
      t.Fresh();
      fs::create_directories(qvtest::NativePath(t.out));
      qvtest::WriteBytes(
          t.privateDir + u"\\logsetup_w.properties",
          qvtest::Utf16Le(u"runtime.output.dir=" + t.out + u"\r\nruntime.rotate.dir=" + t.out +
                          u"\\old\r\nruntime.orbeck.active=1\r\n"
                          u"runtime.rotate.name.description=YYYYMMDD\r\n"
                          u"runtime.rotate.active=1\r\nruntime.rotate.rule.sizeflg=1"
                          u"\r\nruntime.rotate." +
                          rules + u"\r\n"));
      for (const auto& [name, content, days] : files) {
        t.Put(name, content);
        const std::chrono::sys_seconds when{
            std::chrono::seconds{kClock.seconds - static_cast<std::int64_t>(days * 86400)}};
        fs::last_write_time(qvtest::NativePath(t.out + u"\\" + name),
                            std::chrono::file_clock::from_sys(when));
      }
    };
    const std::vector<FaultRule> faults = FaultsOf(prepare, [] { RotateExecLog(u"Orbeck"); });
    const int removes = plat::FaultCalls(FaultOp::Remove);
    const auto kept = Contents(t.out);  // what the clean run keeps, every run keeps
    ASSERT_EQ(kept.at("live log").front().rfind(u"old", 0), 0u) << "not rotated";
    for (const FaultRule& fault : faults) {
      SCOPED_TRACE(Describe(fault));
      prepare();
      plat::ClearFaults();
      plat::InjectFault(fault);
      RotateExecLog(u"Orbeck");
      plat::ClearFaults();
      const auto after = Contents(t.out);
      for (const auto& [content, places] : kept) EXPECT_TRUE(after.contains(content)) << content;
      for (const auto& [content, places] : after) {
        EXPECT_EQ(places.size(), 1u) << content;
        EXPECT_TRUE(content != "live log" || places[0] == u"orbeck.log" ||
                    places[0].starts_with(u"old"));
      }
      // Only a failed delete of the lock itself, the run's last, leaves it.
      const bool lockMayStay =
          fault.op == FaultOp::Remove && (fault.count == -1 || fault.skip == removes - 1);
      EXPECT_TRUE(lockMayStay || !qvtest::Exists(t.out + u"\\rotation.lock"));
    }
  }
}

}  // namespace
