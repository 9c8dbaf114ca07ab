// The contract of the platform layer, run against whichever backend the build
// links: the Windows one under Wine, the POSIX one natively. Windows behaviour
// is the reference; every case here holds on Windows as it stands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/fault.h"
#include "platform/testing.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using plat::OpenMode;
using plat::OpenStatus;

plat::FileHandle Open(const std::u16string& path, OpenMode mode, OpenStatus expected) {
  plat::FileHandle file;
  EXPECT_EQ(plat::OpenFile(path, mode, file), expected);
  EXPECT_EQ(file != nullptr, expected == OpenStatus::Opened);
  return file;
}

bool Write(plat::FileObject& file, std::string_view bytes) {
  return plat::WriteBytes(file, bytes.data(), bytes.size());
}

// --------------------------------------------------------------- share modes

TEST(PlatformFiles, ShareModesWithinOneProcess) {
  struct Case {
    OpenMode held;
    OpenMode second;
    OpenStatus expected;
  };
  const Case cases[] = {
      {OpenMode::WriteShareRead, OpenMode::WriteShareRead, OpenStatus::SharingViolation},
      {OpenMode::WriteShareRead, OpenMode::ReadShared, OpenStatus::Opened},
      {OpenMode::WriteShareRead, OpenMode::AppendShared, OpenStatus::SharingViolation},
      {OpenMode::AppendShared, OpenMode::WriteShareRead, OpenStatus::SharingViolation},
      {OpenMode::AppendShared, OpenMode::AppendShared, OpenStatus::Opened},
      {OpenMode::ReadShared, OpenMode::WriteShareRead, OpenStatus::Opened},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "held " << static_cast<int>(c.held) << ", second "
                                    << static_cast<int>(c.second));
    qvtest::ScopedTempDir dir;
    const std::u16string path = dir / u"exec.log";
    qvtest::WriteBytes(path, "x");
    plat::FileHandle held = Open(path, c.held, OpenStatus::Opened);
    plat::FileHandle second = Open(path, c.second, c.expected);
    // The conflict lasts only as long as the handle.
    held.reset();
    second.reset();
    Open(path, c.second, OpenStatus::Opened);
  }
}

TEST(PlatformFiles, OpenFailuresKeepTheirCause) {
  qvtest::ScopedTempDir dir;
  ASSERT_TRUE(plat::MakeOneDirectory(dir / u"exec.log"));
  struct Case {
    std::u16string path;
    OpenMode mode;
    OpenStatus expected;
  };
  const Case cases[] = {
      {dir / u"exec.log", OpenMode::WriteShareRead, OpenStatus::AccessDenied},
      {dir / u"exec.log", OpenMode::AppendShared, OpenStatus::AccessDenied},
      {dir / u"missing\\exec.log", OpenMode::WriteShareRead, OpenStatus::Other},
      {dir / u"missing\\exec.log", OpenMode::AppendShared, OpenStatus::Other},
      {dir / u"absent.log", OpenMode::ReadShared, OpenStatus::Other},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(plat::ToUtf8(c.path));
    Open(c.path, c.mode, c.expected);
  }
  plat::FileHandle file;
  EXPECT_NE(plat::OpenFile(dir / u"exec.log", OpenMode::ReadShared, file), OpenStatus::Opened);
}

TEST(PlatformFiles, WritesLandWhereTheModeSays) {
  qvtest::ScopedTempDir dir;
  const std::u16string path = dir / u"exec.log";
  {
    plat::FileHandle file = Open(path, OpenMode::WriteShareRead, OpenStatus::Opened);
    ASSERT_TRUE(file);
    std::uint64_t size = 99;
    ASSERT_TRUE(plat::FileSizeOf(*file, size));
    EXPECT_EQ(size, 0u);  // created empty
    ASSERT_TRUE(Write(*file, "abc"));
  }
  {
    // Appending ignores the position it is given.
    plat::FileHandle file = Open(path, OpenMode::AppendShared, OpenStatus::Opened);
    ASSERT_TRUE(file);
    ASSERT_TRUE(plat::SeekFileTo(*file, 0));
    ASSERT_TRUE(Write(*file, "de"));
  }
  {
    // The share-mode open neither truncates nor moves to the end by itself.
    plat::FileHandle file = Open(path, OpenMode::WriteShareRead, OpenStatus::Opened);
    ASSERT_TRUE(file);
    ASSERT_TRUE(Write(*file, "X"));
    ASSERT_TRUE(plat::SeekFileEnd(*file));
    std::uint64_t position = 0;
    ASSERT_TRUE(plat::FilePosition(*file, position));
    EXPECT_EQ(position, 5u);
  }
  plat::FileHandle file = Open(path, OpenMode::ReadShared, OpenStatus::Opened);
  ASSERT_TRUE(file);
  char buffer[16] = {};
  ASSERT_EQ(plat::ReadBytes(*file, buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "Xbcde");
  EXPECT_EQ(plat::ReadBytes(*file, buffer, sizeof buffer), 0);
}

TEST(PlatformFiles, SizesBeyondFourGiB) {
  qvtest::ScopedTempDir dir;
  const std::u16string path = dir / u"big.log";
  const std::uint64_t offset = (std::uint64_t{1} << 32) + 10;
  {
    plat::FileHandle file = Open(path, OpenMode::WriteShareRead, OpenStatus::Opened);
    ASSERT_TRUE(file);
    if (!plat::SeekFileTo(*file, offset) || !Write(*file, "z")) {
      GTEST_SKIP() << "the file system holds no sparse file of this size";
    }
    std::uint64_t size = 0;
    std::uint64_t position = 0;
    ASSERT_TRUE(plat::FileSizeOf(*file, size));
    ASSERT_TRUE(plat::FilePosition(*file, position));
    EXPECT_EQ(size, offset + 1);
    EXPECT_EQ(position, offset + 1);
  }
  plat::FileStatus status;
  ASSERT_TRUE(plat::GetFileStatus(path, status));
  EXPECT_EQ(status.size, static_cast<std::int64_t>(offset + 1));
  EXPECT_FALSE(status.isDirectory);
}

// ------------------------------------------------------------ moves, deletes

enum class Holder { None, WriteShareRead, AppendShared };

plat::FileHandle Hold(const std::u16string& path, Holder holder) {
  if (holder == Holder::None) return nullptr;
  return Open(path,
              holder == Holder::WriteShareRead ? OpenMode::WriteShareRead : OpenMode::AppendShared,
              OpenStatus::Opened);
}

TEST(PlatformFiles, MoveNeverReplacesAndRespectsHolders) {
  struct Case {
    const char* name;
    Holder holder;
    bool targetExists;
    bool moved;
  };
  const Case cases[] = {
      {"free", Holder::None, false, true},
      {"target exists", Holder::None, true, false},
      {"held for writing", Holder::WriteShareRead, false, false},
      {"held for appending", Holder::AppendShared, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qvtest::ScopedTempDir dir;
    const std::u16string from = dir / u"orbeck.log";
    const std::u16string to = dir / u"orbeck_20261205.log";
    qvtest::WriteBytes(from, "log");
    if (c.targetExists) qvtest::WriteBytes(to, "rotated");
    plat::FileHandle holder = Hold(from, c.holder);
    EXPECT_EQ(plat::MoveNoReplace(from, to), c.moved);
    holder.reset();
    EXPECT_EQ(qvtest::ReadBytes(to), c.moved ? "log" : (c.targetExists ? "rotated" : ""));
    EXPECT_EQ(qvtest::Exists(from), !c.moved);
    if (!c.moved && !c.targetExists) {
      EXPECT_TRUE(plat::MoveNoReplace(from, to)) << "once the holder is gone";
    }
  }
  qvtest::ScopedTempDir dir;
  EXPECT_FALSE(plat::MoveNoReplace(dir / u"absent.log", dir / u"other.log"));
}

TEST(PlatformFiles, RemoveRespectsHolders) {
  struct Case {
    const char* name;
    Holder holder;
    bool removed;
  };
  const Case cases[] = {
      {"free", Holder::None, true},
      {"held for writing", Holder::WriteShareRead, false},
      {"held for appending", Holder::AppendShared, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qvtest::ScopedTempDir dir;
    const std::u16string path = dir / u"rotation.lock";
    qvtest::WriteBytes(path, "");
    plat::FileHandle holder = Hold(path, c.holder);
    EXPECT_EQ(plat::RemoveFile(path), c.removed);
    EXPECT_EQ(qvtest::Exists(path), !c.removed);
    holder.reset();
    if (!c.removed) {
      EXPECT_TRUE(plat::RemoveFile(path)) << "once the holder is gone";
    }
  }
  qvtest::ScopedTempDir dir;
  ASSERT_TRUE(plat::MakeOneDirectory(dir / u"sub"));
  EXPECT_FALSE(plat::RemoveFile(dir / u"sub"));
  EXPECT_TRUE(plat::PathIsDirectory(dir / u"sub"));
  EXPECT_FALSE(plat::RemoveFile(dir / u"absent"));
}

// A reader that shares everything: writers append, the rotation moves the log
// and pruning deletes it while the reader still reads.
TEST(PlatformFiles, ReaderSharingAllHoldsUpNobody) {
  qvtest::ScopedTempDir dir;
  const std::u16string log = dir / u"orbeck.log";
  const std::u16string rotated = dir / u"orbeck_20261205.log";
  qvtest::WriteBytes(log, "log");
  plat::FileHandle reader = Open(log, OpenMode::ReadSharedAll, OpenStatus::Opened);
  ASSERT_TRUE(reader);
  {
    plat::FileHandle writer = Open(log, OpenMode::WriteShareRead, OpenStatus::Opened);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(plat::SeekFileEnd(*writer));
    ASSERT_TRUE(Write(*writer, "+"));
  }
  EXPECT_TRUE(plat::MoveNoReplace(log, rotated));
  char buffer[16] = {};
  EXPECT_EQ(plat::ReadBytes(*reader, buffer, sizeof buffer), 4);
  EXPECT_EQ(std::string(buffer, 4), "log+");
  EXPECT_TRUE(plat::RemoveFile(rotated));
  reader.reset();
  EXPECT_FALSE(qvtest::Exists(rotated));
  EXPECT_FALSE(qvtest::Exists(log));

  Open(log, OpenMode::ReadSharedAll, OpenStatus::Other);
  ASSERT_TRUE(plat::MakeOneDirectory(dir / u"sub"));
  plat::FileHandle file;
  EXPECT_NE(plat::OpenFile(dir / u"sub", OpenMode::ReadSharedAll, file), OpenStatus::Opened);
}

// ----------------------------------------------------- paths and directories

TEST(PlatformFiles, PathTests) {
  qvtest::ScopedTempDir dir;
  qvtest::WriteBytes(dir / u"file.txt", "12345");
  ASSERT_TRUE(plat::MakeOneDirectory(dir / u"sub"));
  struct Case {
    std::u16string path;
    bool exists, isDirectory, readable;
  };
  const Case cases[] = {
      {dir / u"file.txt", true, false, true},
      {dir / u"sub", true, true, false},
      {dir / u"absent", false, false, false},
      {dir / u"absent\\deeper", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(plat::ToUtf8(c.path));
    EXPECT_EQ(plat::PathExists(c.path), c.exists);
    EXPECT_EQ(plat::PathIsDirectory(c.path), c.isDirectory);
    EXPECT_EQ(plat::CanOpenForReading(c.path), c.readable);
    plat::FileStatus status;
    ASSERT_EQ(plat::GetFileStatus(c.path, status), c.exists);
    if (c.exists) {
      EXPECT_EQ(status.isDirectory, c.isDirectory);
      // Written moments ago: within a day of the clock, whatever the zone.
      EXPECT_LT(std::abs(status.modTime - plat::Now().seconds), 86400);
    }
  }
  plat::FileStatus status;
  ASSERT_TRUE(plat::GetFileStatus(dir / u"file.txt", status));
  EXPECT_EQ(status.size, 5);

  EXPECT_FALSE(plat::MakeOneDirectory(dir / u"sub")) << "exists already";
  EXPECT_FALSE(plat::MakeOneDirectory(dir / u"new\\deeper")) << "one level only";
  EXPECT_FALSE(plat::PathExists(dir / u"new"));

  // A file held for writing with read-sharing can still be read.
  plat::FileHandle held = Open(dir / u"file.txt", OpenMode::WriteShareRead, OpenStatus::Opened);
  EXPECT_TRUE(plat::CanOpenForReading(dir / u"file.txt"));
}

TEST(PlatformFiles, ListDirectoryIgnoresCase) {
  qvtest::ScopedTempDir dir;
  for (const char16_t* name : {u"Orbeck.log", u"ORBECK_20261205.log", u"orbeck_20261205_1.log",
                               u"other.txt", u"\u00C9lan.txt"}) {
    qvtest::WriteBytes(dir / name, "");
  }
  ASSERT_TRUE(plat::MakeOneDirectory(dir / u"orbeck.d"));
  struct Case {
    std::u16string pattern;
    std::vector<std::u16string> names;  // sorted
  };
  const Case cases[] = {
      {u"*orbeck*", {u"ORBECK_20261205.log", u"Orbeck.log", u"orbeck.d", u"orbeck_20261205_1.log"}},
      {u"*.LOG", {u"ORBECK_20261205.log", u"Orbeck.log", u"orbeck_20261205_1.log"}},
      {u"orbeck_2026120?.log", {u"ORBECK_20261205.log"}},
      {u"*\u00E9LAN*", {u"\u00C9lan.txt"}},
      {u"other.txt", {u"other.txt"}},
      {u"*vorn*", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(plat::ToUtf8(c.pattern));
    std::vector<plat::DirEntry> found;
    EXPECT_EQ(plat::ListDirectory(dir / c.pattern, found), !c.names.empty());
    std::vector<std::u16string> names;
    for (const plat::DirEntry& entry : found) {
      names.push_back(entry.name);
      EXPECT_EQ(entry.isDirectory, entry.name == u"orbeck.d");
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, c.names);
  }
  std::vector<plat::DirEntry> found{{u"kept", false}};
  EXPECT_FALSE(plat::ListDirectory(dir / u"absent\\*", found));
  EXPECT_EQ(found.size(), 1u) << "appends only";
}

// ------------------------------------------------------------ fault injection

TEST(PlatformFaults, InjectedOpenReportsTheRuleStatus) {
  for (OpenStatus status :
       {OpenStatus::SharingViolation, OpenStatus::AccessDenied, OpenStatus::Other}) {
    qvtest::ScopedFaults faults;
    qvtest::ScopedTempDir dir;
    plat::FaultRule rule;
    rule.openStatus = status;
    rule.pathContains = u"exec";
    plat::InjectFault(rule);
    Open(dir / u"other.log", OpenMode::WriteShareRead, OpenStatus::Opened);
    Open(dir / u"exec.log", OpenMode::WriteShareRead, status);
    EXPECT_FALSE(qvtest::Exists(dir / u"exec.log")) << "a failed open creates nothing";
    Open(dir / u"exec.log", OpenMode::WriteShareRead, OpenStatus::Opened);
  }
}

TEST(PlatformFaults, EveryFileOperationCanBeMadeToFail) {
  using Operation = std::function<bool(const qvtest::ScopedTempDir&)>;
  struct Case {
    plat::FaultOp op;
    Operation run;
  };
  const Case cases[] = {
      {plat::FaultOp::Open,
       [](const qvtest::ScopedTempDir& d) { return plat::CanOpenForReading(d / u"a.txt"); }},
      {plat::FaultOp::Write,
       [](const qvtest::ScopedTempDir& d) {
         plat::FileHandle f;
         plat::OpenFile(d / u"a.txt", OpenMode::AppendShared, f);
         return f && Write(*f, "more");
       }},
      {plat::FaultOp::Read,
       [](const qvtest::ScopedTempDir& d) {
         plat::FileHandle f;
         plat::OpenFile(d / u"a.txt", OpenMode::ReadShared, f);
         char c = 0;
         return f && plat::ReadBytes(*f, &c, 1) == 1;
       }},
      {plat::FaultOp::Move,
       [](const qvtest::ScopedTempDir& d) { return plat::MoveNoReplace(d / u"a.txt", d / u"b"); }},
      {plat::FaultOp::Remove,
       [](const qvtest::ScopedTempDir& d) { return plat::RemoveFile(d / u"a.txt"); }},
      {plat::FaultOp::List,
       [](const qvtest::ScopedTempDir& d) {
         std::vector<plat::DirEntry> found;
         return plat::ListDirectory(d / u"*", found);
       }},
      {plat::FaultOp::MakeDir,
       [](const qvtest::ScopedTempDir& d) { return plat::MakeOneDirectory(d / u"sub"); }},
      {plat::FaultOp::Status,
       [](const qvtest::ScopedTempDir& d) {
         plat::FileStatus status;
         return plat::GetFileStatus(d / u"a.txt", status);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.op));
    qvtest::ScopedFaults faults;
    qvtest::ScopedTempDir dir;
    qvtest::WriteBytes(dir / u"a.txt", "a");
    plat::FaultRule rule;
    rule.op = c.op;
    rule.skip = 1;
    plat::InjectFault(rule);
    EXPECT_TRUE(c.run(dir)) << "the skipped call";
    // Undo what the successful call did.
    qvtest::WriteBytes(dir / u"a.txt", "a");
    std::filesystem::remove(qvtest::NativePath(dir / u"sub"));
    std::filesystem::remove(qvtest::NativePath(dir / u"b"));
    EXPECT_FALSE(c.run(dir)) << "the injected failure";
    EXPECT_TRUE(qvtest::Exists(dir / u"a.txt"));
    EXPECT_TRUE(c.run(dir)) << "the rule is used up";
    EXPECT_GE(plat::FaultCalls(c.op), 3);
  }
}

// ------------------------------------------------------- environment, text

TEST(PlatformText, UnpairedSurrogatesSurvive) {
  const std::u16string texts[] = {
      u"plain",
      u"\u65E5\u672C",
      u"\U0001F600",
      std::u16string(1, char16_t{0xD800}),
      std::u16string{u'a', char16_t{0xDC00}, u'b'},
      std::u16string{char16_t{0xDBFF}, char16_t{0xDBFF}},
  };
  for (const std::u16string& text : texts) {
    EXPECT_EQ(plat::FromUtf8(plat::ToUtf8(text)), text);
    qvtest::ScopedEnv env(u"QORVANE_PLATFORM_TEST", text);
    std::u16string value;
    ASSERT_TRUE(plat::GetEnvironment(u"QORVANE_PLATFORM_TEST", value));
    EXPECT_EQ(value, text);
  }
  EXPECT_EQ(plat::ToUtf8(std::u16string(1, char16_t{0xD800})), "\xED\xA0\x80");
}

TEST(PlatformEnvironment, SetReadRemove) {
  std::u16string value = u"untouched";
  EXPECT_FALSE(plat::GetEnvironment(u"QORVANE_NEVER_SET_ANYWHERE", value));
  EXPECT_EQ(value, u"untouched");
  ASSERT_TRUE(plat::SetEnvironment(u"QORVANE_PLATFORM_TEST", u"C:\\v12;D:\\data"));
  ASSERT_TRUE(plat::GetEnvironment(u"QORVANE_PLATFORM_TEST", value));
  EXPECT_EQ(value, u"C:\\v12;D:\\data");
  ASSERT_TRUE(plat::SetEnvironment(u"QORVANE_PLATFORM_TEST", u"", true));
  EXPECT_FALSE(plat::GetEnvironment(u"QORVANE_PLATFORM_TEST", value));
}

// ---------------------------------------------------------------------- time

std::int64_t SecondsOf(const plat::Calendar& c) {
  // Days since 1970-01-01 of a proleptic Gregorian date.
  const int y = c.year - (c.month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (c.month + (c.month > 2 ? -3 : 9)) + 2) / 5 + c.day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = std::int64_t{era} * 146097 + doe - 719468;
  return days * 86400 + c.hour * 3600 + c.minute * 60 + c.second;
}

TEST(PlatformTime, CalendarConversion) {
  struct Case {
    std::int64_t seconds;
    plat::Calendar utc;
  };
  const Case cases[] = {
      {0, {1970, 1, 1, 0, 0, 0}},
      {951782400, {2000, 2, 29, 0, 0, 0}},
      {1796495514, {2026, 12, 5, 18, 31, 54}},
      {4102444799, {2099, 12, 31, 23, 59, 59}},  // beyond 32-bit seconds
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    plat::Calendar utc;
    ASSERT_TRUE(plat::ToUtcCalendar(c.seconds, utc));
    EXPECT_EQ(SecondsOf(utc), SecondsOf(c.utc));
    EXPECT_EQ(SecondsOf(utc), c.seconds);
    if (c.seconds < 86400) continue;  // before the epoch in zones west of UTC
    plat::Calendar local;
    ASSERT_TRUE(plat::ToLocalCalendar(c.seconds, local));
    EXPECT_LE(std::abs(SecondsOf(local) - c.seconds), 14 * 3600);
  }
}

TEST(PlatformTime, FixedClockForTests) {
  qvtest::ScopedFaults faults;
  plat::SetClockOverride(plat::WallClock{1796495514, 123});
  EXPECT_EQ(plat::Now().seconds, 1796495514);
  EXPECT_EQ(plat::Now().milliseconds, 123);
  plat::SetClockOverride(std::nullopt);
  const plat::WallClock now = plat::Now();
  EXPECT_GT(now.seconds, 1700000000);
  EXPECT_GE(now.milliseconds, 0);
  EXPECT_LE(now.milliseconds, 999);
}

// ------------------------------------------------ string table and libraries

TEST(PlatformStrings, StringTable) {
  const plat::ModuleHandle own = plat::OwnModule();
  ASSERT_NE(own, nullptr);
  struct Case {
    unsigned id;
    std::size_t capacity;
    std::string narrow;
  };
  const Case cases[] = {
      {1002, 32, "Vantrel Orbeck"}, {1002, 15, "Vantrel Orbeck"},
      {1002, 8, "Vantrel"},         {1002, 1, ""},
      {1004, 512, "12.00.0"},       {9999, 512, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << "/" << c.capacity);
    EXPECT_EQ(plat::LoadNarrowString(own, c.id, c.capacity), c.narrow);
  }
  EXPECT_EQ(plat::LoadWideString(own, 12001),
            u"\u6B63\u3057\u304F\uFF72\uFF9D\uFF7D\uFF84\uFF70\uFF99\u3055\u308C\u3066\u3044"
            u"\u307E\u305B\u3093\u3002");
  EXPECT_EQ(plat::LoadWideString(own, 1020),
            u"\uFF72\uFF9D\uFF8C\uFF6B\uFF92\uFF70\uFF7C\uFF6E\uFF9D\n\n%s");
  EXPECT_EQ(plat::LoadWideString(own, 1019), u"Error: %s - %02d - %02d - %04d\n%s\n\n%s");
  EXPECT_EQ(plat::LoadWideString(own, 9999), u"");
}

TEST(PlatformLibraries, EngineLibraryAndExport) {
  const std::u16string bin = plat::ExecutableDirectory();
  ASSERT_FALSE(bin.empty());
  EXPECT_NE(bin.back(), u'\\');
  EXPECT_NE(bin.back(), u'/');
  EXPECT_TRUE(plat::PathIsDirectory(bin));
  struct Case {
    const char16_t* name;
    bool loads;
    bool hasEntry;
  };
  const Case cases[] = {
      {u"\\Qorvane.dll", true, true},
      {u"\\NoExport.dll", true, false},
      {u"\\Absent.dll", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(plat::ToUtf8(c.name));
    plat::Library library = plat::OpenLibrary(bin + c.name);
    ASSERT_EQ(library != nullptr, c.loads);
    if (library) {
      EXPECT_EQ(plat::FindExport(*library, "Qorvane4EXE") != nullptr, c.hasEntry);
    }
  }
}

}  // namespace
