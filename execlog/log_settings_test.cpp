#include "execlog/log_settings.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::string_literals;
using plat::ToUtf8;

// Each " field=value " of expect must stand in the record's summary, in
// which "<log>" is the default output directory of the scratch installation.
void ExpectFields(const LogSettings& s, const std::string& expect, const std::u16string& log) {
  auto n = [](std::int64_t v) { return std::to_string(v); };
  std::string sum = " outputDir=" + ToUtf8(s.outputDir) + " rotateDir=" + ToUtf8(s.rotateDir) +
                    " logFilePath=" + ToUtf8(s.logFilePath) +
                    " errCodeOnly=" + ToUtf8(s.errCodeOnly) +
                    " componentActive=" + n(s.componentActive) + " retryCount=" + n(s.retryCount) +
                    " rotateBySize=" + n(s.rotateBySize) + "/" + n(s.rotateSizeLimitMiB) +
                    " rotateByDate=" + n(s.rotateByDate) + "/" + n(s.rotateDateUnit) +
                    " rotateNamePos=" + n(s.rotateNamePos) + " logSizeMiB=" + n(s.logSizeMiB) + " ";
  for (std::size_t at; !log.empty() && (at = sum.find(ToUtf8(log))) != std::string::npos;) {
    sum.replace(at, ToUtf8(log).size(), "<log>");
  }
  std::istringstream items(expect);
  for (std::string item; items >> item;) {
    EXPECT_NE(sum.find(" " + item + " "), std::string::npos) << item << " in" << sum;
  }
}

class LogSettingsTest : public ::testing::Test {
 protected:
  LogSettings Build() {
    LogSettings s;
    InitLogSettings(s);
    s.componentName = u"Orbeck";
    LoadLogSettings(s);
    FinalizeLogSettings(s);
    return s;
  }
  qvtest::ScratchInstall dir_;
};

TEST_F(LogSettingsTest, AppliesTheFileLineByLine) {
  const std::pair<std::u16string, std::string> rows[] = {
      {u"runtime.orbeck.active=1\r\nruntime.output.retrycount=50\r\n",
       "componentActive=1 retryCount=50 outputDir=<log> rotateDir=<log> "
       "logFilePath=<log>\\orbeck.log logSizeMiB=0"},
      // Text after the last line end is not a line.
      {u"runtime.orbeck.active=1\nruntime.output.retrycount=50",
       "componentActive=1 retryCount=200"},
      // Exact keys only: no trimming, same case, whole value within its limit.
      {u"runtime.orbeck.active = 1\rRuntime.orbeck.active=1\rruntime.orbeck.active=10\r",
       "componentActive=0"},
      {u"runtime.output.retrycount=10000\r\n", "retryCount=10000"},
      {u"runtime.output.retrycount=10001\r\n", "retryCount=200"},
      {u"runtime.output.retrycount=12ab\r\nruntime.output.retrycount=123456\r\n", "retryCount=12"},
      {u"runtime.rotate.rule.sizeflg=1\r\n", "rotateBySize=1/0"},
      {u"runtime.rotate.rule.dateflg=1\r\nruntime.rotate.rule.datetype=2\r\n", "rotateByDate=1/2"},
      {u"runtime.rotate.name.position=0\r\nruntime.rotate.rule.datetype=3\r\n", "rotateNamePos=0"},
      {u"runtime.output.dir=E:\\logs\\\r\nruntime.rotate.dir=D:\\a=b\r\n",
       "logFilePath=E:\\logs\\\\orbeck.log rotateDir=D:\\a=b"},
      {u"runtime.output.errcodeonly=1\r\nruntime.output.errcodeonly\r\n", "errCodeOnly="},
      // A NUL drops the rest of its piece of 254 code units, line ends too.
      {u"runtime.output.dir=" + std::u16string(240, u'a') +
           u"\0b\r\nruntime.orbeck.active=1\r\nruntime.output.retrycount=50\r\n"s,
       "componentActive=0 retryCount=50"},
  };
  for (const auto& [file, expect] : rows) {
    SCOPED_TRACE(ToUtf8(file.substr(0, 80)));
    dir_.LogSetup(file);
    ExpectFields(Build(), expect, dir_.logDir());
  }
  // Without its byte-order mark the first character is lost.
  qvtest::WriteBytes(dir_.setupPath(), qvtest::Utf16Le(u"runtime.orbeck.active=1\r\n", false));
  ExpectFields(Build(), "componentActive=0", dir_.logDir());
}

// A log base directory too long for "\log" leaves an active component
// without a log location: no path, which the launcher refuses.
TEST_F(LogSettingsTest, LogBaseAndSettingsPathLimits) {
  dir_.LogSetup(u"runtime.orbeck.active=1\r\n");
  const std::pair<std::u16string, std::string> rows[] = {
      {u"D:\\Data", "outputDir=D:\\Data\\log logFilePath=D:\\Data\\log\\orbeck.log"},
      {std::u16string(255, u'd'), "outputDir=" + std::string(255, 'd') + "\\log"},
      {std::u16string(256, u'd'), "outputDir= rotateDir= logFilePath= componentActive=1"},
  };
  for (const auto& [base, expect] : rows) {
    qvtest::ScopedEnv env(u"VANTREL_V12", dir_ / u"bin;" + dir_ / u"suite;" + base);
    ExpectFields(Build(), expect, dir_.logDir());
  }
}

TEST_F(LogSettingsTest, LogFileOption) {
  const std::u16string dir = u"D:\\Data\\log";
  const std::u16string path = dir + u"\\orbeck.log";
  const std::u16string none;
  const struct {
    std::u16string value, outputDir, logFilePath;
  } rows[] = {
      {u"job.log", dir, dir + u"\\job.log"},
      {u"E:\\x\\job.log", u"E:\\x\\", u"E:\\x\\job.log"},
      {u"", dir, path},
      // A location that cannot be formed, or a settings file, is no location.
      {u"E:\\x\\" + std::u16string(256, u'n'), none, none},
      {std::u16string(256, u'n') + u".log", none, none},
      {u"E:\\x\\LogSetup_W.Properties. .", none, none},
      {u"vantrelv12.INI ", none, none},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(ToUtf8(row.value));
    LogSettings s;
    s.outputDir = dir;
    s.logFilePath = path;
    ApplyLogFileOption(s, row.value);
    EXPECT_EQ(ToUtf8(s.outputDir), ToUtf8(row.outputDir));
    EXPECT_EQ(ToUtf8(s.logFilePath), ToUtf8(row.logFilePath));
  }
}

// The files in use by any name the file system takes for theirs.
TEST_F(LogSettingsTest, NamesTheSettingsFilesInUse) {
  const std::u16string conf = dir_ / u"suite\\private\\conf.txt";
  qvtest::WriteBytes(conf, qvtest::Utf16Le(u"runtime.orbeck.active=1\r\n"));
  dir_.WriteIni("[Common]\r\nLogsetup=" + ToUtf8(conf) + "\r\n");
  std::filesystem::create_hard_link(qvtest::NativePath(conf), qvtest::NativePath(dir_ / u"link"));
  EXPECT_TRUE(NamesSettingsFile(dir_ / u"link"));
  EXPECT_TRUE(NamesSettingsFile(dir_ / u"suite\\private\\.\\conf.txt"));
  EXPECT_TRUE(NamesSettingsFile(dir_ / u"SUITE\\private\\conf.txt."));  // not there yet
  EXPECT_FALSE(NamesSettingsFile(dir_ / u"suite\\private\\conf.txt2"));
  EXPECT_FALSE(NamesSettingsFile(dir_ / u"data\\log\\orbeck.log"));
}

}  // namespace
