#include "vtlog/lint.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

// "line kind severity" of each finding, with effect when a text is asked for.
std::string Describe(const std::vector<Finding>& findings, bool effects) {
  std::string out;
  for (const Finding& f : findings) {
    out += std::to_string(f.line) + " " + f.kind + " " + SeverityName(f.severity) +
           (effects ? " (" + f.effect + ")" : "") + "; ";
  }
  return out;
}

TEST(VtlogLintTest, LogSetupRules) {
  auto file = [](std::u16string_view text) { return qvtest::Utf16Le(text); };
  const std::pair<std::string, std::string> cases[] = {
      {file(u"runtime.orbeck.active=1\r\nruntime.output.dir=\r\n\r\n"), ""},
      {qvtest::Utf16Le(u"runtime.orbeck.active=1\r\n", false),
       "1 no-bom error; 1 unknown-key warning; "},
      {"runtime.orbeck.active=1\r\n", "1 no-bom error; 1 no-line-end error; "},
      {file(u"runtime.orbeck.active=1\r\nruntime.rotate.active=1"), "2 no-line-end error; "},
      {file(
           u"runtime.orbeck.active = 1\r\nRuntime.orbeck.active=1\r\nruntime.rotate.rule.sizeflag=1"
           u"\r\nruntime.orbeck.active= 1\r\nruntime.output.dir=D:\\x \r\n"),
       "1 blanks-around-equals error; 2 key-case error; 3 unknown-key warning; 4 "
       "blanks-around-value error; 5 blanks-around-value warning; "},
      {file(u"runtime.orbeck.active=10\r\nruntime.rotate.times=100\r\nruntime.rotate.active=y\r\n"
            u"runtime.output.retrycount=12ab\r\nruntime.output.retrycount=0\r\n"),
       "1 too-long error; 2 too-long error; 3 flag-value warning; 4 no-digits warning; 5 "
       "repeated-key warning; 5 retry-range warning; "},
      {file(u"runtime.rotate.rule.size=ab\r\nruntime.rotate.rule.datetype=3\r\n"
            u"runtime.rotate.name.position=2\r\nruntime.output.errcodeonly\r\n"),
       "1 no-digits warning; 2 date-type warning; 3 name-position warning; 4 no-equals warning; "},
  };
  qvtest::ScopedTempDir dir;
  for (const auto& [bytes, expected] : cases) {
    qvtest::WriteBytes(dir / u"logsetup_w.properties", bytes);
    EXPECT_EQ(Describe(LintLogSetupFile(dir / u"logsetup_w.properties"), false), expected);
  }
}

// The launcher reads integers with the system's rules, not as decimal text.
TEST(VtlogLintTest, SettingsFileRules) {
  const std::pair<std::string, std::string> cases[] = {
      {"[Common]\r\nErrorLevel = 1\r\nOtherKey=x\r\n[Orbeck]\r\nProcDisp=3\r\n[Vorn]\r\nX=y\r\n",
       ""},
      {"[common]\r\nExeRcode=yes\r\nErorLevel=1\r\nFromExec=0x1\r\nErrorLevel=\r\n",
       "2 flag-value warning (the launcher reads 0: off (only 1 is on)); 3 unknown-key warning "
       "(the "
       "launcher does not read it and uses the default of \"ErrorLevel\"); 4 flag-value warning "
       "(the launcher reads 1: on); 5 flag-value warning (the launcher reads 0 (the default): off "
       "(only 1 is on)); "},
      {"[Orbeck]\r\nErrorDisp=0b11\r\nProcDisp=\r\n[Common]\r\nExeRcode=4294967297\r\n",
       "2 not-a-number warning (the launcher reads 3); 3 no-digits warning (the launcher reads 2 "
       "(the default)); 5 flag-value warning (the launcher reads 1: on); "},
      {"[Orbeck]\r\nProcDisp=4294967298\r\nprocdisp=1\r\n[Common]\r\n[ORBECK]\r\nErrorDisp=3\r\n",
       "2 number-range warning (the launcher reads 2); 3 repeated-key warning (the launcher takes "
       "the first line); 6 repeated-section warning (the launcher reads only the first section "
       "of a name: this line is unused); "},
      {"[Common]\r\nLogsetup=" + std::string(264, 'x') + "\r\n",
       "2 too-long error (the launcher rejects it and uses the default log settings file); "},
  };
  // Each in UTF-8, UTF-16LE and UTF-16BE: the launcher reads all three.
  const auto encode = [](const std::string& text, int form) {
    if (form == 0) return text;
    std::string bytes = qvtest::Utf16Le(plat::FromUtf8(text), form == 1);
    for (std::size_t i = 0; form == 2 && i + 1 < bytes.size(); i += 2)
      std::swap(bytes[i], bytes[i + 1]);
    return form == 2 ? "\xFE\xFF" + bytes : bytes;
  };
  qvtest::ScopedTempDir dir;
  for (const auto& [text, expected] : cases) {
    for (int form : {0, 1, 2}) {
      qvtest::WriteBytes(dir / u"VantrelV12.ini", encode(text, form));
      EXPECT_EQ(Describe(LintSettingsFile(dir / u"VantrelV12.ini"), true), expected) << form;
    }
  }
}

}  // namespace
