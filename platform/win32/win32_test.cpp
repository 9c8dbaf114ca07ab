// What only the Windows build can show: the system's own private-profile
// reads, the string table compiled into the executable in both of its forms,
// message boxes, environment seen by the runtime, and full 32-bit exit codes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing.h"
#include "platform/win32/text.h"
#include "tests/support/test_support.h"

namespace {

using plat::Widen;

struct ProfileStringCase {
  const char16_t* section;
  const char16_t* key;
  const char16_t* def;
  std::size_t capacity;
  const char16_t* expected;
};

TEST(Win32Profile, ReadsStringsAsTheSuiteWritesThem) {
  qvtest::ScopedTempDir dir;
  const std::u16string ini = dir / u"VantrelV12.ini";
  qvtest::WriteBytes(ini,
                     "[Common]\r\nFromExec=1\r\n  ErrorLevel = 5 \r\n"
                     "[Orbeck]\r\nProcDisp=\"3\"\r\nName=abcdef\r\n");
  const ProfileStringCase cases[] = {
      {u"common", u"FROMEXEC", u"d", 64, u"1"},       // names ignore letter case
      {u"Common", u"ErrorLevel", u"d", 64, u"5"},     // blanks around key and value
      {u"Orbeck", u"ProcDisp", u"d", 64, u"3"},       // matching quotes removed
      {u"Orbeck", u"Name", u"d", 4, u"abc"},          // capacity - 1 characters
      {u"Orbeck", u"Name", u"d", 1, u""},             // room for the terminator only
      {u"Orbeck", u"Missing", u"dflt", 64, u"dflt"},  // absent key
      {u"Nowhere", u"Name", u"dflt", 64, u"dflt"},    // absent section
  };
  for (const ProfileStringCase& c : cases) {
    EXPECT_EQ(plat::ReadProfileString(c.section, c.key, c.def, c.capacity, ini), c.expected)
        << plat::ToUtf8(c.section) << "/" << plat::ToUtf8(c.key) << " cap " << c.capacity;
  }
  EXPECT_EQ(plat::ReadProfileString(u"Common", u"FromExec", u"dflt", 64, dir / u"none.ini"),
            u"dflt");
}

TEST(Win32Profile, ReadsIntegers) {
  qvtest::ScopedTempDir dir;
  const std::u16string ini = dir / u"VantrelV12.ini";
  qvtest::WriteBytes(ini, "[Orbeck]\r\nProcDisp=3\r\nErrorDisp= 12abc\r\nName=abc\r\n");
  struct Case {
    const char16_t* key;
    int def;
    int expected;
  } const cases[] = {
      {u"procdisp", 2, 3},
      {u"ErrorDisp", 2, 12},  // digits up to the first other character
      {u"Name", 2, 0},        // present but not a number: 0, not the default
      {u"Missing", 2, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(plat::ReadProfileInt(u"Orbeck", c.key, c.def, ini), c.expected)
        << plat::ToUtf8(c.key);
  }
  EXPECT_EQ(plat::ReadProfileInt(u"Orbeck", u"ProcDisp", 7, dir / u"none.ini"), 7);
}

TEST(Win32Strings, WideTextsAreExactWhateverTheCodePage) {
  const struct {
    unsigned id;
    const char16_t* text;
  } cases[] = {
      {1002, u"Vantrel Orbeck"},
      {1008, u"ﾃﾞｨｽｸ"},
      {1018, u"Warning: %s - %02d - %02d - %04d\n%s\n\n%s"},
      {12001, u"正しくｲﾝｽﾄｰﾙされていません。"},
      {11284, u"他のプログラムで使用されているため実行ログファイルに書き込みができません。"},
      {9999, u""},  // no such string
  };
  for (const auto& c : cases) {
    EXPECT_EQ(plat::LoadWideString(plat::OwnModule(), c.id), c.text) << c.id;
  }
}

TEST(Win32Strings, NarrowTextsFitTheirBuffer) {
  const plat::ModuleHandle self = plat::OwnModule();
  EXPECT_EQ(plat::LoadNarrowString(self, 1002, 32), "Vantrel Orbeck");
  EXPECT_EQ(plat::LoadNarrowString(self, 1002, 8), "Vantrel");
  EXPECT_EQ(plat::LoadNarrowString(self, 1002, 0), "");
  EXPECT_EQ(plat::LoadNarrowString(self, 9999, 512), "");
}

TEST(Win32Strings, NarrowTextsAreShiftJisUnderCodePage932) {
  if (GetACP() != 932) GTEST_SKIP() << "needs code page 932 (run wine with LC_ALL=ja_JP.UTF-8)";
  const struct {
    unsigned id;
    const char* bytes;
  } cases[] = {
      {12001,
       "\x90\xb3\x82\xb5\x82\xad\xb2\xdd\xbd\xc4\xb0\xd9\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc"
       "\x82\xb9\x82\xf1\x81\x42"},
      {1008, "\xc3\xde\xa8\xbd\xb8"},  // half-width katakana: one byte each
      {1006, "\x88\xea\x94\xca\x95\x73\x90\xb3"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(plat::LoadNarrowString(plat::OwnModule(), c.id, 512), c.bytes) << c.id;
  }
}

TEST(Win32MessageBox, ShowsTheNarrowTextAndCaption) {
  const std::string caption = "Qorvane box test";
  const std::string text = plat::LoadNarrowString(plat::OwnModule(), 12001, 512) + "\n\nline";
  std::u16string display;
  if (!plat::GetEnvironment(u"DISPLAY", display)) {
    // Unattended runs have no display: the box fails at once instead of
    // waiting for a button (Wine answers -1 where Windows documents 0).
    EXPECT_LE(plat::ShowMessageBox(nullptr, text, caption, MB_ICONHAND), 0);
    return;
  }
  std::atomic<bool> done{false};
  std::string shown;
  std::thread closer([&] {
    while (!done) {
      if (HWND box = FindWindowA("#32770", caption.c_str())) {
        char buffer[1024] = {};
        GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
        shown = buffer;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        return;
      }
      Sleep(10);
    }
  });
  const int pressed = plat::ShowMessageBox(nullptr, text, caption, MB_ICONHAND);
  done = true;
  closer.join();
  EXPECT_EQ(pressed, IDOK);
  // The static control shows line feeds as CR LF.
  std::string expected;
  for (char c : text) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_TRUE(shown == text || shown == expected) << shown;
}

TEST(Win32Environment, RuntimeAndSystemAgree) {
  const std::u16string name = u"QORVANE_WIN32_TEST";
  ASSERT_TRUE(plat::SetEnvironment(name, u"C:\\Vantrel;D:\\data"));
  std::u16string value;
  ASSERT_TRUE(plat::GetEnvironment(name, value));
  EXPECT_EQ(value, u"C:\\Vantrel;D:\\data");
  const wchar_t* runtime = _wgetenv(plat::win32::Wide(name));
  ASSERT_NE(runtime, nullptr);
  EXPECT_EQ(plat::win32::FromWide(runtime, wcslen(runtime)), value);

  ASSERT_TRUE(plat::SetEnvironment(name, u"", true));
  EXPECT_FALSE(plat::GetEnvironment(name, value));
  EXPECT_EQ(_wgetenv(plat::win32::Wide(name)), nullptr);
}

TEST(Win32Process, ParentSeesTheFull32BitExitCode) {
  const std::u16string exe = plat::ExecutableDirectory() + u"\\exit_with.exe";
  ASSERT_TRUE(plat::PathExists(exe)) << "build the exit_with tool";
  const struct {
    const char* argument;
    std::int64_t expected;
  } cases[] = {
      {"0", 0},
      {"259", 259},
      {"-259", -259},
      {"-2001", -2001},
      {"-1284", -1284},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483648LL},
  };
  for (const auto& c : cases) {
    plat::Process child = plat::StartProcess(exe, Widen(c.argument));
    ASSERT_NE(child, nullptr) << c.argument;
    std::int64_t code = 12345;
    ASSERT_TRUE(plat::WaitProcess(*child, code)) << c.argument;
    EXPECT_EQ(code, c.expected) << c.argument;
  }
}

TEST(Win32Process, MissingProgramDoesNotStart) {
  EXPECT_EQ(plat::StartProcess(plat::ExecutableDirectory() + u"\\no_such_tool.exe", u"1"), nullptr);
}

TEST(Win32Process, ExecutableDirectoryHoldsTheProgram) {
  const std::u16string dir = plat::ExecutableDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_NE(dir.back(), u'\\');
  EXPECT_TRUE(plat::PathIsDirectory(dir));
  EXPECT_TRUE(plat::PathExists(dir + u"\\qorvane_tests.exe"));
}

}  // namespace
