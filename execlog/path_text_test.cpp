#include "execlog/path_text.h"

#include <gtest/gtest.h>

#include "platform/fault.h"
#include "tests/support/test_support.h"

namespace {

TEST(PathTextTest, SplitsAndReplaces) {
  const std::u16string n(255, u'n');
  const std::u16string split[][5] = {
      // path, directory, base name, extension, file name
      {u"C:\\a\\b.log", u"C:\\a\\", u"b", u".log", u"b.log"},
      {u"C:b.log", u"C:", u"b", u".log", u"b.log"},
      {u"D:\\x.y\\file", u"D:\\x.y\\", u"file", u"", u"file"},
      {u"a/b.tar.gz", u"a/", u"b.tar", u".gz", u"b.tar.gz"},
      {u"dir\\.hidden", u"dir\\", u"", u".hidden", u".hidden"},
      {u"C:" + n.substr(1) + u"\\" + n, u"C:" + n.substr(1) + u"\\", n, u"", n},
      {u"C:\\a\\" + n + u"n", u"", u"", u"", u""},  // one part over 255 empties all
      {u"C:\\a\\b." + n, u"", u"", u"", u""},
  };
  for (const auto& c : split) {
    EXPECT_EQ(SplitDirectory(c[0]) + u"|" + SplitBaseName(c[0]) + u"|" + SplitExtension(c[0]) +
                  u"|" + SplitFileName(c[0]),
              c[1] + u"|" + c[2] + u"|" + c[3] + u"|" + c[4]);
  }
  const std::u16string replace[][4] = {
      {u"aaaa", u"aa", u"b", u"bb"},  {u"a_1.b", u"_1.", u"_12.", u"a_12.b"},
      {u"x.log", u".log", u"", u"x"}, {u"aba", u"a", u"aa", u"aabaa"},
      {u"abc", u"", u"z", u"abc"},
  };
  for (const auto& c : replace) EXPECT_EQ(ReplaceAll(c[0], c[1], c[2]), c[3]);
}

TEST(PathTextTest, NoMemoryLeavesTheTextAsItWas) {
  qvtest::ScopedFaults faults;
  EXPECT_EQ(AllocWideText(300)[299], u'\0');
  plat::InjectFault({plat::FaultOp::Alloc, 0, -1, u""});
  EXPECT_TRUE(AllocWideText(10) == nullptr);
  EXPECT_EQ(ReplaceAll(u"aYYYY", u"YYYY", u"2026"), u"aYYYY");
}

}  // namespace
