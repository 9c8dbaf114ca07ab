// What the profile table cannot show, because only the native port has it:
// 8-bit files in its ANSI code page (UTF-8, Latin-1 for stray bytes), failed
// reads, a FIFO in place of the file, and rewrites of the file between two
// reads.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

TEST(PosixProfile, ReadsEightBitFilesAsUtf8WithLatin1ForStrayBytes) {
  qvtest::ScopedTempDir dir;
  const std::u16string ini = dir / u"VantrelV12.ini";
  qvtest::WriteBytes(ini,
                     "[Gr\xC3\xB6\xC3\x9F"
                     "e]\r\n"
                     "Utf8=caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\r\n"
                     "Latin1=caf\xE9\r\n"
                     "Control=\x80\x9F\r\n"
                     "Broken=\xE2\x82x\xC3\r\n"
                     "Surrogate=\xED\xA0\x80\r\n"
                     "Overlong=\xC0\xAF\r\n");
  struct Case {
    const char16_t* key;
    std::u16string expected;
  } const cases[] = {
      {u"Utf8", u"café € 😀"},
      {u"Latin1", u"café"},
      {u"Control", u"\u0080\u009F"},
      {u"Broken", u"\u00E2\u0082x\u00C3"},
      {u"Surrogate", u"\u00ED\u00A0\u0080"},
      {u"Overlong", u"\u00C0\u00AF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(plat::ReadProfileString(u"Größe", c.key, u"dflt", 64, ini), c.expected)
        << plat::ToUtf8(c.key);
  }
}

TEST(PosixProfile, AFailedReadGivesTheDefaultAsItStands) {
  qvtest::ScopedFaults faults;
  qvtest::ScopedTempDir dir;
  const std::u16string ini = dir / u"VantrelV12.ini";
  qvtest::WriteBytes(ini, "[Common]\r\nLogsetup=x\r\nErrorLevel=1\r\n");
  plat::FaultRule rule;
  rule.op = plat::FaultOp::Read;
  rule.count = 2;
  rule.pathContains = u"VantrelV12";
  plat::InjectFault(rule);
  EXPECT_EQ(plat::ReadProfileString(u"Common", u"Logsetup", u"\"d\"  ", 64, ini), u"\"d\"");
  EXPECT_EQ(plat::ReadProfileInt(u"Common", u"ErrorLevel", 7, ini), 7);
  EXPECT_EQ(plat::ReadProfileInt(u"Common", u"ErrorLevel", 7, ini), 1);
  EXPECT_EQ(plat::FaultCalls(plat::FaultOp::Read), 3);
}

TEST(PosixProfile, AFifoInPlaceOfTheFileGivesTheDefaultWithoutWaiting) {
  qvtest::ScopedTempDir dir;
  const std::u16string ini = dir / u"VantrelV12.ini";
  ASSERT_EQ(mkfifo(qvtest::NativePath(ini).c_str(), 0600), 0);
  EXPECT_EQ(plat::ReadProfileString(u"Common", u"Logsetup", u"'d'", 64, ini), u"'d'");
  EXPECT_EQ(plat::ReadProfileInt(u"Orbeck", u"ErrorDisp", 2, ini), 2);
}

TEST(PosixProfile, EveryReadSeesTheFileAsItIsNow) {
  qvtest::ScopedTempDir dir;
  const std::u16string ini = dir / u"VantrelV12.ini";
  qvtest::WriteBytes(ini, "[Orbeck]\r\nProcDisp=3\r\n");
  EXPECT_EQ(plat::ReadProfileInt(u"Orbeck", u"ProcDisp", 2, ini), 3);
  // Same size, same second: nothing but the contents tells the versions apart.
  qvtest::WriteBytes(ini, "[Orbeck]\r\nProcDisp=4\r\n");
  EXPECT_EQ(plat::ReadProfileInt(u"Orbeck", u"ProcDisp", 2, ini), 4);
  qvtest::WriteBytes(ini, qvtest::Utf16Le(u"[Orbeck]\r\nProcDisp=5\r\n"));
  EXPECT_EQ(plat::ReadProfileInt(u"Orbeck", u"ProcDisp", 2, ini), 5);
}

}  // namespace
