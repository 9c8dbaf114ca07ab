// What only the POSIX backend has to show: moves across file systems, FIFOs
// where files belong, the string table in UTF-8, and 8-bit settings files in
// its ANSI code page (UTF-8, Latin-1 for stray bytes).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/testing.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using plat::OpenMode;

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
  EXPECT_TRUE(plat::MoveNoReplace(from, to) && !qvtest::Exists(from));
  EXPECT_EQ(qvtest::ReadBytes(dir / u"taken.log") + qvtest::ReadBytes(to), "otherrecords");
  EXPECT_EQ(fs::last_write_time(qvtest::NativePath(to)), written);
  fs::remove_all(shm, ec);
}

// A blocked open would hold up the job for as long as nobody uses the pipe.
TEST(PosixFiles, FifoInPlaceOfAFileFailsWithoutWaiting) {
  qvtest::ScopedTempDir dir;
  const std::u16string fifo = dir / u"VantrelV12.ini";
  ASSERT_EQ(mkfifo(qvtest::NativePath(fifo).c_str(), 0600), 0);
  for (OpenMode mode : {OpenMode::WriteShareRead, OpenMode::AppendShared, OpenMode::ReadShared}) {
    plat::FileHandle file;
    EXPECT_EQ(plat::OpenFile(fifo, mode, file), plat::OpenStatus::Other);
  }
  EXPECT_FALSE(plat::CanOpenForReading(fifo));
  EXPECT_EQ(plat::ReadProfileString(u"Common", u"Logsetup", u"'d'", 64, fifo), u"'d'");
}

TEST(PosixStrings, NarrowTextIsUtf8AndNeverCutInsideACharacter) {
  const std::string full = "正しく";  // the first three characters, three bytes each
  for (const auto& [capacity, bytes] : {std::pair{1, 0}, {3, 0}, {4, 3}, {7, 6}, {10, 9}}) {
    EXPECT_EQ(plat::LoadNarrowString(plat::OwnModule(), 12001, capacity), full.substr(0, bytes));
  }
  EXPECT_EQ(plat::LoadWideString(nullptr, 1002), u"Vantrel Orbeck");
}

// Without a mark, each byte that starts no valid UTF-8 sequence is Latin-1.
TEST(PosixProfile, ReadsEightBitFilesAsUtf8WithLatin1ForStrayBytes) {
  qvtest::ScopedTempDir dir;
  qvtest::WriteBytes(dir / u"a.ini",
                     "[Gr\xC3\xB6\xC3\x9F"
                     "e]\nK=\xC3\xA9\xF0\x9F\x98\x80|\xE9|\xE2\x82x|\xED\xA0\x80");
  EXPECT_EQ(plat::ReadProfileString(u"Größe", u"K", u"", 64, dir / u"a.ini"),
            u"é😀|é|\u00E2\u0082x|\u00ED\u00A0\u0080");
}

}  // namespace
