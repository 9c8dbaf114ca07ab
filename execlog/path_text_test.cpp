#include "execlog/path_text.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using plat::ToUtf8;

struct SplitCase {
  std::u16string path;
  std::u16string directory, baseName, extension, fileName;
};

TEST(PathTextTest, SplitsPathsIntoTheirParts) {
  const std::u16string n255(255, u'n');
  const std::u16string n256(256, u'n');
  const SplitCase cases[] = {
      {u"C:\\a\\b.log", u"C:\\a\\", u"b", u".log", u"b.log"},
      {u"b.log", u"", u"b", u".log", u"b.log"},
      {u"C:b.log", u"C:", u"b", u".log", u"b.log"},
      {u"D:\\x.y\\file", u"D:\\x.y\\", u"file", u"", u"file"},
      {u"a/b.tar.gz", u"a/", u"b.tar", u".gz", u"b.tar.gz"},
      {u"dir\\.hidden", u"dir\\", u"", u".hidden", u".hidden"},
      {u"E:\\x\\", u"E:\\x\\", u"", u"", u""},
      {u"", u"", u"", u"", u""},
      // 255 characters fit every part; the drive does not count towards the directory.
      {u"C:" + n255.substr(1) + u"\\" + n255, u"C:" + n255.substr(1) + u"\\", n255, u"", n255},
      {u"x\\" + n255.substr(1) + u"." + n255.substr(1), u"x\\", n255.substr(1),
       u"." + n255.substr(1), n255.substr(1) + u"." + n255.substr(1)},
      // One part over 255 empties them all.
      {u"C:\\a\\" + n256, u"", u"", u"", u""},
      {u"C:\\" + n255 + u"\\b.log", u"", u"", u"", u""},
      {u"C:\\a\\b." + n255, u"", u"", u"", u""},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(ToUtf8(c.path));
    EXPECT_EQ(SplitDirectory(c.path), c.directory);
    EXPECT_EQ(SplitBaseName(c.path), c.baseName);
    EXPECT_EQ(SplitExtension(c.path), c.extension);
    EXPECT_EQ(SplitFileName(c.path), c.fileName);
  }
}

TEST(PathTextTest, ReplacesEveryOccurrenceOnce) {
  struct Case {
    std::u16string text, find, replacement, expected;
  };
  const Case cases[] = {
      {u"aaaa", u"aa", u"b", u"bb"},
      {u"aaa", u"aa", u"b", u"ba"},
      {u"YYYYMMDD", u"YYYY", u"2026", u"2026MMDD"},
      {u"a_1.b", u"_1.", u"_12.", u"a_12.b"},
      {u"x.log", u".log", u"", u"x"},
      {u"aba", u"a", u"aa", u"aabaa"},  // a replacement is not scanned again
      {u"abc", u"", u"z", u"abc"},
      {u"", u"a", u"b", u""},
      {u"ab", u"abc", u"z", u"ab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.text + u" / " + c.find));
    EXPECT_EQ(ReplaceAll(c.text, c.find, c.replacement), c.expected);
  }
}

TEST(PathTextTest, AllocationFailureIsReportedNotHidden) {
  qvtest::ScopedFaults faults;
  WideBuffer buffer = AllocWideText(300);
  ASSERT_TRUE(buffer != nullptr);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(buffer[i], u'\0') << i;
  EXPECT_TRUE(FreeWideText(std::move(buffer)) == nullptr);
  EXPECT_TRUE(AllocWideText(-1) == nullptr);

  plat::InjectFault({plat::FaultOp::Alloc, 0, -1, u""});
  EXPECT_TRUE(AllocWideText(10) == nullptr);
  // Without memory for the result the text comes back as it was.
  EXPECT_EQ(ReplaceAll(u"aYYYY", u"YYYY", u"2026"), u"aYYYY");
  std::u16string target = u"old";
  EXPECT_FALSE(AssignWideText(target, u"new"));
  EXPECT_EQ(target, u"old");
}

TEST(PathTextTest, FileSystemTests) {
  qvtest::ScopedTempDir dir;
  const std::u16string file = dir / u"file.log";
  qvtest::WriteBytes(file, "x");

  EXPECT_EQ(DirectoryExists(dir.path()), 1);
  EXPECT_EQ(DirectoryExists(file), 0);
  EXPECT_EQ(DirectoryExists(dir / u"missing"), 0);

  EXPECT_EQ(FileOpenable(file), 1);
  EXPECT_EQ(FileOpenable(dir.path()), 0);
  EXPECT_EQ(FileOpenable(dir / u"missing"), 0);
  {
    // A log held by a writer, which lets others only read, stays openable.
    plat::FileHandle writer;
    ASSERT_EQ(plat::OpenFile(file, plat::OpenMode::WriteShareRead, writer),
              plat::OpenStatus::Opened);
    EXPECT_EQ(FileOpenable(file), 1);
  }

  EXPECT_EQ(MakeDirectory(dir / u"new\\deeper"), 0);
  EXPECT_FALSE(qvtest::Exists(dir / u"new"));
  EXPECT_EQ(MakeDirectory(dir / u"new"), 1);
  EXPECT_EQ(DirectoryExists(dir / u"new"), 1);
  EXPECT_EQ(MakeDirectory(dir / u"new"), 0);

  // The ensure-directory pair: a missing directory is made, a file of that
  // name makes it fail.
  auto ensure = [](const std::u16string& path) {
    return DirectoryExists(path) != 0 || MakeDirectory(path) != 0;
  };
  EXPECT_TRUE(ensure(dir / u"made"));
  EXPECT_EQ(DirectoryExists(dir / u"made"), 1);
  EXPECT_FALSE(ensure(file));
}

}  // namespace
