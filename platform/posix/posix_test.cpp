// What only the POSIX backend has to show: moves across file systems and FIFOs
// where files belong.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <utility>

#include "execlog/record_writer.h"
#include "platform/fault.h"
#include "platform/testing.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

TEST(PosixFiles, MoveAcrossFileSystemsIsRefusedAndSaysSo) {
  qvtest::ScopedTempDir dir;
  const fs::path shm = fs::path("/dev/shm") / ("qorvane-move-" + std::to_string(getpid()));
  struct stat a {};
  struct stat b {};
  std::error_code ec;
  if (!fs::create_directory(shm, ec) || stat(shm.c_str(), &a) != 0 ||
      stat(qvtest::NativePath(dir.path()).c_str(), &b) != 0 || a.st_dev == b.st_dev) {
    fs::remove_all(shm, ec);
    GTEST_SKIP() << "no second file system at hand";
  }
  const std::u16string from = plat::FromUtf8((shm / "orbeck.log").string());
  qvtest::WriteBytes(from, "records");
  const auto written = fs::last_write_time(qvtest::NativePath(from)) - std::chrono::hours(30);
  fs::last_write_time(qvtest::NativePath(from), written);
  // A move between volumes would be a copy and a delete that a kill could
  // leave half done: it is refused, said so, and the source stays as it was.
  bool otherVolume = false;
  EXPECT_FALSE(plat::MoveNoReplace(from, dir / u"moved.log", &otherVolume));
  EXPECT_TRUE(otherVolume);
  EXPECT_FALSE(qvtest::Exists(dir / u"moved.log"));
  EXPECT_EQ(qvtest::ReadBytes(from), "records");
  EXPECT_EQ(fs::last_write_time(qvtest::NativePath(from)), written);
  fs::remove_all(shm, ec);
}

// A blocked open would hold up the job for as long as nobody uses the pipe.
// A rotation moves the log away between a writer's open and its lock: the
// writer's record goes into a new log under the name, not behind the moved one.
TEST(PosixFiles, WriterOpenFollowsTheNameWhenTheLogIsMovedAway) {
  qvtest::ScopedTempDir dir;
  const std::u16string log = dir / u"orbeck.log", moved = dir / u"orbeck_20261205.log";
  qvtest::WriteBytes(log, "old");
  // A rotation moves the log away and another job starts the new one, of the
  // same size, before this writer takes its lock.
  bool rotated = false;
  plat::SetPause(plat::PausePoint::OpenedBeforeLock, [&](const std::u16string&) {
    if (std::exchange(rotated, true)) return;
    plat::MoveNoReplace(log, moved);
    qvtest::WriteBytes(log, "mid");
  });
  plat::FileHandle file = OpenLogForAppend(log);
  ASSERT_TRUE(file && plat::WriteBytes(*file, "new", 3));
  file.reset();
  EXPECT_EQ(qvtest::ReadBytes(moved) + "|" + qvtest::ReadBytes(log), "old|midnew");
}

TEST(PosixFiles, FifoInPlaceOfAFileFailsWithoutWaiting) {
  qvtest::ScopedTempDir dir;
  const std::u16string fifo = dir / u"VantrelV12.ini";
  ASSERT_EQ(mkfifo(qvtest::NativePath(fifo).c_str(), 0600), 0);
  for (plat::OpenMode mode : {plat::OpenMode::WriteShareRead, plat::OpenMode::AppendShared}) {
    plat::FileHandle file;
    EXPECT_EQ(plat::OpenFile(fifo, mode, file), mode == plat::OpenMode::ReadShared
                                                    ? plat::OpenStatus::Other
                                                    : plat::OpenStatus::AccessDenied);
    EXPECT_FALSE(file);
  }
  EXPECT_FALSE(plat::CanOpenForReading(fifo));
  EXPECT_EQ(plat::ReadProfileString(u"Common", u"Logsetup", u"'d'", 64, fifo), u"'d'");
}

}  // namespace
