#include "vtlog/lint.h"

#include <gtest/gtest.h>

#include "execlog/log_settings.h"
#include "tests/support/test_support.h"

namespace {

struct Expected {
  std::int64_t line;
  const char* kind;
  Severity severity;
  const char* effect = "";  // a part of what the launcher does instead
};

std::string Describe(const std::vector<Finding>& findings) {
  std::string out;
  for (const Finding& f : findings) {
    out += std::to_string(f.line) + " " + f.kind + " " + SeverityName(f.severity) + ": " +
           f.message + "; " + f.effect + "\n";
  }
  return out;
}

TEST(VtlogLintTest, LogSetupRules) {
  const Severity W = Severity::Warning, E = Severity::Error;
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<Expected> expected;
  };
  auto file = [](std::u16string_view text) { return qvtest::Utf16Le(text); };
  const Case cases[] = {
      {"clean", file(u"runtime.orbeck.active=1\r\nruntime.output.dir=\r\n\r\n"), {}},
      {"missing byte-order mark",
       qvtest::Utf16Le(u"runtime.orbeck.active=1\r\n", false),
       {{1, "no-bom", E}, {1, "unknown-key", W}}},
      // No code unit of 8-bit text is a line end: the whole file is one unended line.
      {"8-bit file", "runtime.orbeck.active=1\r\n", {{1, "no-bom", E}, {1, "no-line-end", E}}},
      {"last line without line end",
       file(u"runtime.orbeck.active=1\r\nruntime.rotate.active=1"),
       {{2, "no-line-end", E}}},
      {"blanks around =", file(u"runtime.orbeck.active = 1\r\n"), {{1, "blanks-around-equals", E}}},
      {"blanks around a flag",
       file(u"runtime.orbeck.active= 1\r\n"),
       {{1, "blanks-around-value", E}}},
      {"blanks around a path",
       file(u"x=\r\nruntime.output.dir=D:\\x \r\n"),
       {{1, "unknown-key", W}, {2, "blanks-around-value", W}}},
      {"key in other case", file(u"Runtime.orbeck.active=1\r\n"), {{1, "key-case", E}}},
      {"unknown key", file(u"runtime.orbek.active=1\r\n"), {{1, "unknown-key", W}}},
      {"value over its limit",
       file(u"runtime.orbeck.active=10\r\nruntime.rotate.times=100\r\n"),
       {{1, "too-long", E}, {2, "too-long", E}}},
      {"repeated key",
       file(u"runtime.rotate.times=3\r\nruntime.rotate.times=4\r\n"),
       {{2, "repeated-key", W}}},
      {"flag other than 0 or 1", file(u"runtime.rotate.active=y\r\n"), {{1, "flag-value", W}}},
      {"retry count out of range",
       file(u"runtime.output.retrycount=0\r\nruntime.output.retrycount=10001\r\n"),
       {{1, "retry-range", W}, {2, "repeated-key", W}, {2, "retry-range", W}}},
      {"retry count with letters",
       file(u"runtime.output.retrycount=12ab\r\n"),
       {{1, "no-digits", W}}},
      {"size and count without digits",
       file(u"runtime.rotate.rule.size=ab\r\nruntime.rotate.times=-\r\n"),
       {{1, "no-digits", W}, {2, "no-digits", W}}},
      {"date type and name position",
       file(u"runtime.rotate.rule.datetype=3\r\nruntime.rotate.name.position=2\r\n"),
       {{1, "date-type", W}, {2, "name-position", W}}},
      {"line without =", file(u"runtime.output.errcodeonly\r\n"), {{1, "no-equals", W}}},
  };
  qvtest::ScopedTempDir dir;
  const std::u16string path = dir / u"logsetup_w.properties";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qvtest::WriteBytes(path, c.bytes);
    const std::vector<Finding> got = LintLogSetupFile(path);
    ASSERT_EQ(got.size(), c.expected.size()) << Describe(got);
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].file, path);
      EXPECT_EQ(got[i].line, c.expected[i].line) << Describe(got);
      EXPECT_EQ(got[i].kind, c.expected[i].kind) << Describe(got);
      EXPECT_EQ(got[i].severity, c.expected[i].severity) << Describe(got);
    }
  }
}

TEST(VtlogLintTest, UnknownKeyNamesTheNearestKnownOne) {
  qvtest::ScopedTempDir dir;
  qvtest::WriteBytes(dir / u"l", qvtest::Utf16Le(u"runtime.rotate.rule.sizeflag=1\r\n"));
  const std::vector<Finding> got = LintLogSetupFile(dir / u"l");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_NE(got[0].message.find("\"runtime.rotate.rule.sizeflg\""), std::string::npos);
}

// The lint's key table must be the launcher's: a value of the longest length
// is applied, one character more is not, and other keys change nothing.
TEST(VtlogLintTest, KeyTableAgreesWithTheLauncher) {
  auto texts = [](const LogSettings& s) {
    std::u16string all = s.outputDir + u"|" + s.errCodeOnly + u"|" + s.rotateActive + u"|" +
                         s.rotateDir + u"|" + s.rotateDateFlag + u"|" + s.rotateDateType + u"|" +
                         s.rotateSizeFlag + u"|" + s.rotateSize + u"|" + s.rotateTimes + u"|" +
                         s.rotateNameDescription + u"|" + s.rotateNamePosition + u"|" +
                         s.retryCountText;
    for (const ComponentLogSettings& c : s.components) {
      all += u"|" + c.active + u"|" + c.outFile + u"|" + c.errActive;
    }
    return all;
  };
  LogSettings empty;
  InitLogSettings(empty);
  ASSERT_EQ(LogSetupKeys().size(), 30u);
  for (const LogSetupKey& key : LogSetupKeys()) {
    const std::size_t fits = key.longest == std::u16string_view::npos ? 300 : key.longest;
    LogSettings applied;
    InitLogSettings(applied);
    ApplyLogSetupLine(std::u16string(key.key) + u"=" + std::u16string(fits, u'7'), applied);
    EXPECT_NE(texts(applied), texts(empty)) << plat::ToUtf8(key.key);
    if (key.longest == std::u16string_view::npos) continue;
    LogSettings rejected;
    InitLogSettings(rejected);
    ApplyLogSetupLine(std::u16string(key.key) + u"=" + std::u16string(fits + 1, u'7'), rejected);
    EXPECT_EQ(texts(rejected), texts(empty)) << plat::ToUtf8(key.key);
  }
}

TEST(VtlogLintTest, SettingsFileRules) {
  const Severity W = Severity::Warning, E = Severity::Error;
  struct Case {
    const char* name;
    std::string text;
    std::vector<Expected> expected;
  };
  const Case cases[] = {
      {"clean", "[Common]\r\nErrorLevel = 1\r\nOtherKey=x\r\n[Orbeck]\r\nProcDisp=3\r\n", {}},
      {"flag other than 0 or 1",
       "[Common]\r\nExeRcode=yes\r\nFromExec=2\r\n",
       {{2, "flag-value", W}, {3, "flag-value", W}}},
      {"near miss of a key", "[common]\r\nErorLevel=1\r\n", {{2, "unknown-key", W}}},
      {"integer without digits",
       "[Orbeck]\r\nErrorDisp=off\r\n",
       {{2, "no-digits", W, "the launcher reads 0"}}},
      // The launcher reads integers with the system's rules, not as decimal text.
      {"flag in hexadecimal",
       "[Common]\r\nFromExec=0x1\r\n",
       {{2, "flag-value", W, "the launcher reads 1: on"}}},
      {"flag past 32 bits", "[Common]\r\nExeRcode=4294967297\r\n", {{2, "flag-value", W, ": on"}}},
      {"empty flag",
       "[Common]\r\nErrorLevel=\r\n",
       {{2, "flag-value", W, "reads 0 (the default): off"}}},
      {"empty integer takes the default",
       "[Orbeck]\r\nProcDisp=\r\n",
       {{2, "no-digits", W, "the launcher reads 2 (the default)"}}},
      {"integer in another base",
       "[Orbeck]\r\nErrorDisp=0b11\r\nProcDisp=7x\r\n",
       {{2, "not-a-number", W, "the launcher reads 3"}, {3, "not-a-number", W, "reads 7"}}},
      {"integer past 32 bits",
       "[Orbeck]\r\nProcDisp=4294967298\r\n",
       {{2, "number-range", W, "the launcher reads 2"}}},
      {"repeated key: the first counts",
       "[Common]\r\nExeRcode=1\r\nexercode=0\r\n",
       {{3, "repeated-key", W}}},
      {"repeated section is never read",
       "[Orbeck]\r\nProcDisp=2\r\n[Common]\r\n[ORBECK]\r\nProcDisp=3\r\n",
       {{5, "repeated-section", W}}},
      {"Logsetup over 263 characters",
       "[Common]\r\nLogsetup=" + std::string(264, 'x') + "\r\n",
       {{2, "too-long", E}}},
      {"other components' sections are theirs", "[Vorn]\r\nProcDsp=x\r\n", {}},
  };
  qvtest::ScopedTempDir dir;
  const std::u16string path = dir / u"VantrelV12.ini";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool wide : {false, true}) {
      qvtest::WriteBytes(path, wide ? qvtest::Utf16Le(plat::FromUtf8(c.text)) : c.text);
      const std::vector<Finding> got = LintSettingsFile(path);
      ASSERT_EQ(got.size(), c.expected.size()) << Describe(got);
      for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].line, c.expected[i].line) << Describe(got);
        EXPECT_EQ(got[i].kind, c.expected[i].kind) << Describe(got);
        EXPECT_EQ(got[i].severity, c.expected[i].severity) << Describe(got);
        EXPECT_NE(got[i].effect.find(c.expected[i].effect), std::string::npos) << Describe(got);
      }
    }
  }
}

}  // namespace
