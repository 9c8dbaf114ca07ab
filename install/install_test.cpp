#include "install/install.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

struct RootsCase {
  const char16_t* value;  // nullptr: variable absent
  std::vector<std::u16string> fields;
};

// A field too long for a directory: the read answers 0 and leaves its output.
const std::u16string kRejected = u"(rejected)";

std::u16string Repeat(char16_t c, std::size_t n) {
  return std::u16string(n, c);
}

TEST(InstallRoots, FieldsFollowTheScanRule) {
  const std::u16string f259 = Repeat(u'a', 259);
  const std::u16string f260 = Repeat(u'b', 260);
  const std::u16string v259 = f259 + u";S";
  const std::u16string v260 = u"P;" + f260 + u";D";
  const std::u16string first300 = Repeat(u'c', 300) + u";S;D";
  const std::u16string last300 = u"P;S;" + Repeat(u'd', 300);
  // The 1559-character cut runs through field 2: rejected, not shortened.
  const std::u16string cutField = u"P;" + Repeat(u's', 1400) + u";D" + Repeat(u'd', 200);
  // A field that ends exactly at the cut is whole.
  const std::u16string d256 = Repeat(u'd', 256);
  const std::u16string cutAtEnd = u"P;" + Repeat(u's', 1300) + u";" + d256 + u";X";
  const RootsCase cases[] = {
      {u"C:\\Suite\\bin;C:\\Suite;D:\\Data",
       {u"C:\\Suite\\bin", u"C:\\Suite", u"D:\\Data", u"", u""}},
      {u"A;;C", {u"A", u"", u"", u"", u""}},
      {u";B", {u"", u"", u"", u"", u""}},
      {u"A;B;C;D;E;F", {u"A", u"B", u"C", u"D", u"E"}},
      {u"A;B;", {u"A", u"B", u"", u"", u""}},
      {u"", {u"", u"", u"", u"", u""}},
      {nullptr, {u"", u"", u"", u"", u""}},
      // A field of 259 characters fits; a longer one is unavailable on its
      // own, never empty (which would mean the root of the drive).
      {v259.c_str(), {f259, u"S", u"", u"", u""}},
      {v260.c_str(), {u"P", kRejected, u"D", u"", u""}},
      {first300.c_str(), {kRejected, u"S", u"D", u"", u""}},
      {last300.c_str(), {u"P", u"S", kRejected, u"", u""}},
      {cutField.c_str(), {u"P", kRejected, kRejected, u"", u""}},
      {cutAtEnd.c_str(), {u"P", kRejected, d256, u"", u""}},
  };
  for (const RootsCase& c : cases) {
    qvtest::ScopedEnv env(u"VANTREL_V12", c.value ? c.value : u"", c.value == nullptr);
    for (int i = 0; i < 5; ++i) {
      const std::u16string& expected = c.fields[static_cast<std::size_t>(i)];
      std::u16string out = kRejected;
      EXPECT_EQ(ReadInstallRoot(i, out), expected == kRejected ? 0 : 1);
      EXPECT_EQ(out, expected) << plat::ToUtf8(c.value ? c.value : u"(absent)") << " field " << i;
    }
  }
}

TEST(InstallRoots, ComposedDirectoriesAndOutOfRangeIndex) {
  qvtest::ScopedEnv env(u"VANTREL_V12", u"C:\\Suite\\bin;C:\\Suite;D:\\Data");
  std::u16string out;
  GetProgramDir(out);
  EXPECT_EQ(out, u"C:\\Suite\\bin");
  GetPrivateDir(out);
  EXPECT_EQ(out, u"C:\\Suite\\private");
  GetSystemDir(out);
  EXPECT_EQ(out, u"C:\\Suite\\system");
  GetLogBaseDir(out);
  EXPECT_EQ(out, u"D:\\Data");
  out = u"kept";
  EXPECT_EQ(ReadInstallRoot(5, out), 1);
  EXPECT_EQ(out, u"kept");
  EXPECT_EQ(ReadInstallRoot(-1, out), 1);
  EXPECT_EQ(out, u"kept");

  qvtest::ScopedEnv only0(u"VANTREL_V12", u"C:\\bin");
  GetPrivateDir(out);
  EXPECT_EQ(out, u"\\private");
  GetLogBaseDir(out);
  EXPECT_EQ(out, u"");
}

TEST(InstallRoots, OverlongValueNeverOverruns) {
  // 1559 characters are used; the rest of an overlong value is cut off.
  std::u16string value = u"P;S;" + Repeat(u'x', 5000);
  qvtest::ScopedEnv env(u"VANTREL_V12", value);
  std::u16string out;
  GetProgramDir(out);
  EXPECT_EQ(out, u"P");
  EXPECT_EQ(GetLogBaseDir(out), 0);  // 5000 characters do not fit a directory field
  EXPECT_EQ(out, u"P");
}

TEST(InstallRoots, RejectedSuiteRootGivesNoDirectoryAndDefaultSettings) {
  qvtest::ScopedEnv env(u"VANTREL_V12", u"P;" + Repeat(u's', 260) + u";D");
  std::u16string out = u"kept";
  EXPECT_EQ(GetPrivateDir(out), 0);
  EXPECT_EQ(GetSystemDir(out), 0);
  EXPECT_EQ(out, u"kept");
  EXPECT_EQ(ReadSettingInt(u"Orbeck", u"ErrorDisp", 2), 2);
  EXPECT_FALSE(ReadCommonFlag(u"ErrorLevel"));
  EXPECT_EQ(ReadSettingString(u"Common", u"Logsetup", u"dflt", out), 1);
  EXPECT_EQ(out, u"dflt");
}

class SettingsFile : public ::testing::Test {
 protected:
  void WriteIni(const std::string& text) { dir_.WriteIni(text); }
  qvtest::ScratchInstall dir_;
};

TEST_F(SettingsFile, AbsentFileGivesDefaults) {
  std::u16string value = u"x";
  EXPECT_EQ(ReadSettingString(u"Common", u"Logsetup", u"", value), 1);
  EXPECT_EQ(value, u"");
  EXPECT_EQ(ReadSettingInt(u"Orbeck", u"ProcDisp", 2), 2);
  EXPECT_FALSE(ReadCommonFlag(u"ErrorLevel"));
}

TEST_F(SettingsFile, FlagsAreOnOnlyForExactlyOne) {
  WriteIni(
      "[Common]\r\nErrorLevel=1\r\nExeRcode=2\r\nFromExec=01\r\nLogsetup=E:\\x\\l.properties\r\n"
      "[Orbeck]\r\nProcDisp=3\r\n");
  EXPECT_TRUE(ReadCommonFlag(u"ErrorLevel"));
  EXPECT_FALSE(ReadCommonFlag(u"ExeRcode"));
  EXPECT_TRUE(ReadCommonFlag(u"FromExec"));  // the integer value 1, written as 01
  EXPECT_EQ(ReadSettingInt(u"Orbeck", u"ProcDisp", 2), 3);
  EXPECT_EQ(ReadSettingInt(u"Orbeck", u"ErrorDisp", 2), 2);
  std::u16string value;
  ReadSettingString(u"Common", u"Logsetup", u"", value);
  EXPECT_EQ(value, u"E:\\x\\l.properties");
}

TEST_F(SettingsFile, DirectoryInPlaceOfTheFileGivesDefaults) {
  std::filesystem::create_directories(qvtest::NativePath(dir_ / u"suite\\system\\VantrelV12.ini"));
  EXPECT_EQ(ReadSettingInt(u"Orbeck", u"ErrorDisp", 2), 2);
  EXPECT_FALSE(ReadCommonFlag(u"ExeRcode"));
}

TEST_F(SettingsFile, BinaryJunkGivesDefaults) {
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk.push_back(static_cast<char>((i * 7919) & 0xFF));
  WriteIni(junk);
  EXPECT_EQ(ReadSettingInt(u"Orbeck", u"ProcDisp", 2), 2);
  EXPECT_FALSE(ReadCommonFlag(u"ErrorLevel"));
}

}  // namespace
