// What only the POSIX backend has to show: share modes between processes,
// moves across file systems, UTF-8 names and texts, the message box on
// standard error and child processes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_internal.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using plat::OpenMode;
using plat::OpenStatus;

// A child process that opens a file and keeps it open until released.
struct ChildHolder {
  pid_t pid = -1;
  int releaseFd = -1;
  bool opened = false;
};

ChildHolder HoldInChild(const std::u16string& path, OpenMode mode) {
  int ready[2];
  int release[2];
  ChildHolder child;
  if (pipe(ready) != 0 || pipe(release) != 0) return child;
  child.pid = fork();
  if (child.pid == 0) {
    close(ready[0]);
    close(release[1]);
    plat::FileHandle file;
    const char opened = plat::OpenFile(path, mode, file) == OpenStatus::Opened ? 'y' : 'n';
    char ignored = 0;
    if (write(ready[1], &opened, 1) == 1) {
      while (read(release[0], &ignored, 1) < 0 && errno == EINTR) {
      }
    }
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  char opened = 'n';
  child.opened = read(ready[0], &opened, 1) == 1 && opened == 'y';
  close(ready[0]);
  child.releaseFd = release[1];
  return child;
}

void Release(ChildHolder& child) {
  close(child.releaseFd);
  int status = 0;
  waitpid(child.pid, &status, 0);
}

OpenStatus TryOpen(const std::u16string& path, OpenMode mode) {
  plat::FileHandle file;
  return plat::OpenFile(path, mode, file);
}

TEST(PosixFiles, ShareModesAcrossProcesses) {
  struct Case {
    OpenMode childMode;
    OpenStatus writeShareRead;
    OpenStatus appendShared;
  };
  const Case cases[] = {
      {OpenMode::WriteShareRead, OpenStatus::SharingViolation, OpenStatus::SharingViolation},
      {OpenMode::AppendShared, OpenStatus::SharingViolation, OpenStatus::Opened},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.childMode));
    qvtest::ScopedTempDir dir;
    const std::u16string log = dir / u"orbeck.log";
    const std::u16string rotated = dir / u"orbeck_20261205.log";
    qvtest::WriteBytes(log, "record");
    ChildHolder child = HoldInChild(log, c.childMode);
    ASSERT_TRUE(child.opened);
    EXPECT_EQ(TryOpen(log, OpenMode::WriteShareRead), c.writeShareRead);
    EXPECT_EQ(TryOpen(log, OpenMode::AppendShared), c.appendShared);
    EXPECT_EQ(TryOpen(log, OpenMode::ReadShared), OpenStatus::Opened);
    EXPECT_TRUE(plat::CanOpenForReading(log));
    EXPECT_FALSE(plat::MoveNoReplace(log, rotated));
    EXPECT_FALSE(plat::RemoveFile(log));
    EXPECT_TRUE(qvtest::Exists(log));
    Release(child);
    EXPECT_EQ(TryOpen(log, OpenMode::WriteShareRead), OpenStatus::Opened);
    EXPECT_TRUE(plat::MoveNoReplace(log, rotated));
    EXPECT_TRUE(plat::RemoveFile(rotated));
    EXPECT_FALSE(qvtest::Exists(rotated));
  }
}

// The file that takes the name of the one being moved or deleted, and its
// holder (a rotation that made a new "rotation.lock").
struct Replacement {
  std::u16string path;
  plat::FileHandle holder;
} replacement;

void ReplaceByAHeldFile(const std::string& sys) {
  plat::posix::guardOpenedHook = nullptr;
  unlink(sys.c_str());
  plat::OpenFile(replacement.path, OpenMode::WriteShareRead, replacement.holder);
}

// Between the open and the lock of a cleanup, another writer deletes the lock
// file and a rotation makes and holds a new one: the new one stays, held.
TEST(PosixFiles, MoveAndDeleteLeaveAFileThatReplacedTheOpenedOne) {
  for (bool move : {false, true}) {
    SCOPED_TRACE(move ? "move" : "delete");
    qvtest::ScopedTempDir dir;
    const std::u16string lock = dir / u"rotation.lock";
    qvtest::WriteBytes(lock, "");
    replacement.path = lock;
    plat::posix::guardOpenedHook = ReplaceByAHeldFile;
    EXPECT_FALSE(move ? plat::MoveNoReplace(lock, dir / u"moved") : plat::RemoveFile(lock));
    plat::posix::guardOpenedHook = nullptr;
    ASSERT_TRUE(replacement.holder);
    EXPECT_EQ(TryOpen(lock, OpenMode::WriteShareRead), OpenStatus::SharingViolation);
    replacement.holder.reset();
    EXPECT_TRUE(plat::RemoveFile(lock));
  }
  // A directory of the name is neither a file to delete nor lost.
  qvtest::ScopedTempDir dir;
  std::filesystem::create_directory(qvtest::NativePath(dir / u"rotation.lock"));
  EXPECT_FALSE(plat::RemoveFile(dir / u"rotation.lock"));
  EXPECT_TRUE(qvtest::Exists(dir / u"rotation.lock"));
}

TEST(PosixFiles, DirectoryOpenedForReadingIsOther) {
  qvtest::ScopedTempDir dir;
  EXPECT_EQ(TryOpen(dir.path(), OpenMode::ReadShared), OpenStatus::Other);
}

TEST(PosixFiles, MoveAcrossFileSystemsKeepsContentAndTime) {
  namespace fs = std::filesystem;
  qvtest::ScopedTempDir dir;
  std::error_code ec;
  const fs::path shm = fs::path("/dev/shm") / ("qorvane-move-" + std::to_string(getpid()));
  struct stat a {};
  struct stat b {};
  if (!fs::create_directory(shm, ec) || stat(shm.c_str(), &a) != 0 ||
      stat(qvtest::NativePath(dir.path()).c_str(), &b) != 0 || a.st_dev == b.st_dev) {
    fs::remove_all(shm, ec);
    GTEST_SKIP() << "no second file system at hand";
  }
  const std::u16string from = plat::FromUtf8((shm / "orbeck.log").string());
  const std::u16string to = dir / u"orbeck_20261205.log";
  qvtest::WriteBytes(from, "records");
  const auto written = fs::last_write_time(qvtest::NativePath(from)) - std::chrono::hours(30);
  fs::last_write_time(qvtest::NativePath(from), written);
  qvtest::WriteBytes(dir / u"taken.log", "other");

  EXPECT_FALSE(plat::MoveNoReplace(from, dir / u"taken.log"));
  EXPECT_EQ(qvtest::ReadBytes(dir / u"taken.log"), "other");
  EXPECT_TRUE(plat::MoveNoReplace(from, to));
  EXPECT_FALSE(qvtest::Exists(from));
  EXPECT_EQ(qvtest::ReadBytes(to), "records");
  EXPECT_EQ(fs::last_write_time(qvtest::NativePath(to)), written);
  fs::remove_all(shm, ec);
}

TEST(PosixFiles, NamesWithUnpairedSurrogates) {
  qvtest::ScopedTempDir dir;
  const std::u16string name{u'x', char16_t{0xD800}, u'y', u'.', u'l', u'o', u'g'};
  plat::FileHandle file;
  ASSERT_EQ(plat::OpenFile(dir / name, OpenMode::WriteShareRead, file), OpenStatus::Opened);
  file.reset();
  std::vector<plat::DirEntry> found;
  ASSERT_TRUE(plat::ListDirectory(dir / u"X*.LOG", found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, name);
  EXPECT_TRUE(plat::RemoveFile(dir / name));
}

// ----------------------------------------------------------- text and zones

TEST(PosixStrings, NarrowTextIsUtf8AndNeverCutInsideACharacter) {
  const std::string full = "\xE6\xAD\xA3\xE3\x81\x97\xE3\x81\x8F";  // the first three characters
  struct Case {
    std::size_t capacity;
    std::size_t bytes;
  };
  const Case cases[] = {{1, 0}, {3, 0}, {4, 3}, {6, 3}, {7, 6}, {10, 9}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.capacity);
    EXPECT_EQ(plat::LoadNarrowString(plat::OwnModule(), 12001, c.capacity),
              full.substr(0, c.bytes));
  }
  EXPECT_EQ(plat::LoadNarrowString(plat::OwnModule(), 12001, 512), "正しくｲﾝｽﾄｰﾙされていません。");
  // Only the executable's own table is there; null names it, as on Windows.
  int other = 0;
  EXPECT_EQ(plat::LoadNarrowString(&other, 1002, 32), "");
  EXPECT_EQ(plat::LoadWideString(&other, 1002), u"");
  EXPECT_EQ(plat::LoadNarrowString(nullptr, 1002, 32), "Vantrel Orbeck");
}

TEST(PosixStrings, MessageBoxGoesToStandardError) {
  struct Case {
    unsigned flags;
    const char* heading;
  };
  const Case cases[] = {
      {0x10, "[Vantrel Orbeck] error\n"},       {0x30, "[Vantrel Orbeck] warning\n"},
      {0x40, "[Vantrel Orbeck] information\n"}, {0x00, "[Vantrel Orbeck] message\n"},
      {0x21, "[Vantrel Orbeck] message\n"},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStderr();
    const int answer =
        plat::ShowMessageBox(nullptr, "Error: HS - 22\n\xE4\xB8\x80", "Vantrel Orbeck", c.flags);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              std::string(c.heading) + "Error: HS - 22\n\xE4\xB8\x80\n\n");
    EXPECT_EQ(answer, 1);
  }
}

TEST(PosixTime, LocalCalendarFollowsTheZoneOfTheEnvironment) {
  struct Case {
    const char16_t* zone;
    int day, hour;
  };
  const Case cases[] = {{u"UTC0", 5, 18}, {u"JST-9", 6, 3}, {u"EST5", 5, 13}};
  for (const Case& c : cases) {
    SCOPED_TRACE(plat::ToUtf8(c.zone));
    qvtest::ScopedEnv zone(u"TZ", c.zone);
    plat::Calendar local;
    ASSERT_TRUE(plat::ToLocalCalendar(1796495514, local));  // 2026-12-05 18:31:54 UTC
    EXPECT_EQ(local.day, c.day);
    EXPECT_EQ(local.hour, c.hour);
    EXPECT_EQ(local.minute, 31);
  }
}

// ---------------------------------------------------------------- processes

TEST(PosixProcesses, CommandLineArrivesAsOneArgument) {
  qvtest::ScopedTempDir dir;
  const std::u16string script = dir / u"child.sh";
  const std::u16string out = dir / u"args.txt";
  qvtest::WriteBytes(script,
                     "#!/bin/sh\n"
                     "printf '%s|%s' \"$#\" \"$1\" > \"$QORVANE_CHILD_OUT\"\n"
                     "[ \"$1\" = kill ] && kill -TERM $$\n"
                     "exit 42\n");
  std::filesystem::permissions(qvtest::NativePath(script), std::filesystem::perms::owner_all);
  qvtest::ScopedEnv env(u"QORVANE_CHILD_OUT", plat::FromUtf8(qvtest::NativePath(out).string()));
  struct Case {
    std::u16string commandLine;
    std::string received;
    std::int64_t exitCode;
  };
  const Case cases[] = {
      {u"", "0|", 42},
      {u"-Lid abc  \"x y\" -Lfn \u65E5.log", "1|-Lid abc  \"x y\" -Lfn \xE6\x97\xA5.log", 42},
      {u"kill", "1|kill", 128 + 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(plat::ToUtf8(c.commandLine));
    plat::Process child = plat::StartProcess(script, c.commandLine);
    ASSERT_TRUE(child);
    std::int64_t code = -1;
    ASSERT_TRUE(plat::WaitProcess(*child, code));
    EXPECT_EQ(code, c.exitCode);
    ASSERT_TRUE(plat::WaitProcess(*child, code)) << "asking again gives the same answer";
    EXPECT_EQ(code, c.exitCode);
    EXPECT_EQ(qvtest::ReadBytes(out), c.received);
  }
  EXPECT_FALSE(plat::StartProcess(dir / u"absent", u""));
}

TEST(PosixProcesses, ExecutableDirectoryIsThatOfTheRunningProgram) {
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(plat::ExecutableDirectory(), plat::FromUtf8(exe.parent_path().string()));
}

}  // namespace

namespace {

// A FIFO where a log or settings file should be must fail at once: a blocked
// open would hold up the job for as long as nobody reads or writes the pipe.
TEST(PosixFiles, FifoInPlaceOfAFileFailsWithoutWaiting) {
  qvtest::ScopedTempDir dir;
  const std::u16string fifo = dir / u"orbeck.log";
  ASSERT_EQ(mkfifo(qvtest::NativePath(fifo).c_str(), 0600), 0);
  for (OpenMode mode : {OpenMode::WriteShareRead, OpenMode::AppendShared, OpenMode::ReadShared}) {
    plat::FileHandle file;
    EXPECT_EQ(plat::OpenFile(fifo, mode, file),
              mode == OpenMode::ReadShared ? OpenStatus::Other : OpenStatus::AccessDenied);
    EXPECT_FALSE(file);
  }
  EXPECT_FALSE(plat::CanOpenForReading(fifo));
}

}  // namespace
