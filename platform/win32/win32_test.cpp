// What only the Windows build can show: the string table compiled into the
// executable, in both forms, and full 32-bit exit codes.
#include <gtest/gtest.h>

#include "platform/testing.h"
#include "platform/text.h"
#include "platform/win32/text.h"
#include "tests/support/test_support.h"

namespace {

TEST(Win32Strings, WideTextsAreExactAndNarrowOnesShiftJisUnderCodePage932) {
  const plat::ModuleHandle self = plat::OwnModule();
  EXPECT_EQ(plat::LoadWideString(self, 12001), u"正しくｲﾝｽﾄｰﾙされていません。");
  EXPECT_EQ(plat::LoadNarrowString(self, 1002, 8), "Vantrel");
  if (GetACP() != 932) GTEST_SKIP() << "needs code page 932 (run wine with LC_ALL=ja_JP.UTF-8)";
  EXPECT_EQ(plat::LoadNarrowString(self, 1008, 512), "\xc3\xde\xa8\xbd\xb8");  // half-width
  EXPECT_EQ(plat::LoadNarrowString(self, 1006, 512), "\x88\xea\x94\xca\x95\x73\x90\xb3");
}

TEST(Win32Process, ParentSeesTheFull32BitExitCode) {
  const std::u16string exe = plat::ExecutableDirectory() + u"\\exit_with.exe";
  for (const std::int64_t code : {259LL, -259LL, -2001LL, 2147483647LL, -2147483648LL}) {
    plat::Process child = qvtest::StartProgram(exe, plat::Widen(std::to_string(code)));
    ASSERT_NE(child, nullptr) << "build the exit_with tool";
    std::int64_t seen = 12345;
    ASSERT_TRUE(plat::WaitProcess(*child, seen));
    EXPECT_EQ(seen, code);
  }
}

}  // namespace
