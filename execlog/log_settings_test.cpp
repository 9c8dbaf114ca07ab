#include "execlog/log_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::string_literals;
using plat::ToUtf8;

void MakeDirs(const std::u16string& path) {
  std::filesystem::create_directories(qvtest::NativePath(path));
}

std::u16string FieldText(const LogSettings& s, std::string_view name) {
  auto num = [](std::int64_t v) { return plat::Widen(std::to_string(v)); };
  if (name == "outputDir") return s.outputDir;
  if (name == "rotateDir") return s.rotateDir;
  if (name == "logFilePath") return s.logFilePath;
  if (name == "errCodeOnly") return s.errCodeOnly;
  if (name == "rotateNameDescription") return s.rotateNameDescription;
  if (name == "vornActive") return s.components[0].active;
  if (name == "braldenOutFile") return s.components[1].outFile;
  if (name == "orbeckErrActive") return s.components[4].errActive;
  if (name == "componentActive") return num(s.componentActive);
  if (name == "retryCount") return num(s.retryCount);
  if (name == "rotateEnabled") return num(s.rotateEnabled);
  if (name == "rotateBySize") return num(s.rotateBySize);
  if (name == "rotateSizeLimitMiB") return num(s.rotateSizeLimitMiB);
  if (name == "rotateByDate") return num(s.rotateByDate);
  if (name == "rotateDateUnit") return num(s.rotateDateUnit);
  if (name == "rotateNamePos") return num(s.rotateNamePos);
  if (name == "logSizeMiB") return num(s.logSizeMiB);
  ADD_FAILURE() << "unknown field " << name;
  return {};
}

// expect: "field=value field=value ..."; "<log>" stands for the default
// output directory of the scratch installation.
void ExpectFields(const LogSettings& s, const std::string& expect, const std::u16string& log) {
  std::size_t pos = 0;
  while (pos < expect.size()) {
    const std::size_t end = std::min(expect.find(' ', pos), expect.size());
    const std::string item = expect.substr(pos, end - pos);
    const std::size_t eq = item.find('=');
    std::u16string want = plat::FromUtf8(item.substr(eq + 1));
    for (std::size_t at; (at = want.find(u"<log>")) != std::u16string::npos;) {
      want.replace(at, 5, log);
    }
    EXPECT_EQ(ToUtf8(FieldText(s, item.substr(0, eq))), ToUtf8(want)) << item;
    pos = end + 1;
  }
}

class LogSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeDirs(root_ / u"suite\\private");
    MakeDirs(root_ / u"suite\\system");
    MakeDirs(root_ / u"data");
    SetDataRoot(root_ / u"data");
  }
  void SetDataRoot(const std::u16string& dataRoot) {
    env_.reset();
    env_ = std::make_unique<qvtest::ScopedEnv>(
        u"VANTREL_V12", root_ / u"bin" + u";" + root_ / u"suite" + u";" + dataRoot);
  }
  std::u16string SetupFile() const { return root_ / u"suite\\private\\logsetup_w.properties"; }
  std::u16string Log() const { return root_ / u"data\\log"; }
  void WriteSetup(std::u16string_view text) {
    qvtest::WriteBytes(SetupFile(), qvtest::Utf16Le(text));
  }
  LogSettings Build() {
    LogSettings s;
    InitLogSettings(s);
    s.componentName = u"Orbeck";
    LoadLogSettings(s);
    FinalizeLogSettings(s);
    return s;
  }

  qvtest::ScopedTempDir root_;
  qvtest::ScopedFaults faults_;
  std::unique_ptr<qvtest::ScopedEnv> env_;
};

TEST_F(LogSettingsTest, AppliesTheFileLineByLine) {
  struct Row {
    std::u16string file;
    std::string expect;
  };
  const std::u16string a240(240, u'a');
  const Row rows[] = {
      {u"runtime.orbeck.active=1\r\nruntime.output.retrycount=50\r\n",
       "componentActive=1 retryCount=50 rotateEnabled=0 outputDir=<log> rotateDir=<log> "
       "logFilePath=<log>\\orbeck.log logSizeMiB=0 braldenOutFile=bralden.log"},
      // Text after the last line end is not a line.
      {u"runtime.orbeck.active=1\r\nruntime.output.retrycount=50",
       "componentActive=1 retryCount=200"},
      {u"runtime.orbeck.active=1\nruntime.output.retrycount=50\r",
       "componentActive=1 retryCount=50"},
      // Exact keys only: no trimming, same case, whole value within its limit.
      {u"runtime.orbeck.active = 1\r\n", "componentActive=0"},
      {u"Runtime.orbeck.active=1\r\n", "componentActive=0"},
      {u"runtime.orbeck.active=10\r\n", "componentActive=0"},
      {u"runtime.orbeck.active" + std::u16string(40, u'x') + u"=1\r\n", "componentActive=0"},
      {u"runtime.vorn.active=1\r\nruntime.orbeck.erractive=1\r\n",
       "componentActive=0 vornActive=1 orbeckErrActive=1"},
      {u"runtime.output.retrycount=10000\r\n", "retryCount=10000"},
      {u"runtime.output.retrycount=12ab\r\n", "retryCount=12"},
      {u"runtime.output.retrycount= +7\r\n", "retryCount=7"},
      {u"runtime.output.retrycount=10001\r\n", "retryCount=200"},
      {u"runtime.output.retrycount=0\r\n", "retryCount=200"},
      {u"runtime.output.retrycount=-5\r\n", "retryCount=200"},
      {u"runtime.output.retrycount=abc\r\n", "retryCount=200"},
      {u"runtime.output.retrycount=\r\n", "retryCount=200"},
      {u"runtime.output.retrycount=50\r\nruntime.output.retrycount=123456\r\n", "retryCount=50"},
      {u"runtime.rotate.active=1\r\n", "rotateEnabled=1"},
      {u"runtime.rotate.rule.sizeflg=1\r\n", "rotateBySize=1 rotateSizeLimitMiB=0"},
      {u"runtime.rotate.rule.sizeflg=0\r\nruntime.rotate.rule.size=5\r\n",
       "rotateBySize=0 rotateSizeLimitMiB=10"},
      {u"runtime.rotate.rule.sizeflg=1\r\nruntime.rotate.rule.size=25\r\n"
       u"runtime.rotate.rule.size=100\r\n",
       "rotateBySize=1 rotateSizeLimitMiB=25"},
      {u"runtime.rotate.rule.dateflg=1\r\nruntime.rotate.rule.datetype=3\r\n",
       "rotateByDate=1 rotateDateUnit=1"},
      {u"runtime.rotate.rule.dateflg=1\r\nruntime.rotate.rule.datetype=0\r\n",
       "rotateByDate=1 rotateDateUnit=0"},
      {u"runtime.rotate.rule.dateflg=0\r\nruntime.rotate.rule.datetype=2\r\n",
       "rotateByDate=0 rotateDateUnit=1"},
      {u"runtime.rotate.name.position=2\r\n", "rotateNamePos=1"},
      {u"runtime.rotate.name.position=0\r\n", "rotateNamePos=0"},
      {u"runtime.rotate.name.description=YYYYMMDD_ab\r\n"
       u"runtime.rotate.name.description=YYYY_MM_DD_x\r\n",
       "rotateNameDescription=YYYYMMDD_ab"},
      {u"runtime.output.dir=\r\n", "outputDir=<log>"},
      {u"runtime.output.dir=E:\\logs\\\r\n",
       "outputDir=E:\\logs\\ logFilePath=E:\\logs\\\\orbeck.log"},
      {u"runtime.rotate.dir=D:\\a=b\r\n", "rotateDir=D:\\a=b"},
      {u"runtime.output.errcodeonly=1\r\n", "errCodeOnly=1"},
      {u"runtime.output.errcodeonly=1\r\nruntime.output.errcodeonly\r\n", "errCodeOnly="},
      {u"runtime.orbeck.outfile=a.log\r\nruntime.orbeck.outfile=b.log\r\n",
       "logFilePath=<log>\\b.log"},
      // A NUL drops the rest of its piece, line ends included, so the line
      // runs on into the next one.
      {u"runtime.orbeck.active=1\0junk\r\nruntime.output.retrycount=50\r\n"s,
       "componentActive=0 retryCount=200"},
      {u"runtime.orbeck.active=1\r\0\nruntime.output.retrycount=50\r\n"s,
       "componentActive=1 retryCount=50"},
      {u"runtime.output.dir=" + a240 +
           u"\0b\r\nruntime.orbeck.active=1\r\n"s
           u"runtime.output.retrycount=50\r\n",
       "outputDir=" + std::string(240, 'a') + "runtime.orbeck.active=1 componentActive=0 " +
           "retryCount=50"},
      // Long lines.
      {u"runtime.output.dir=" + std::u16string(10000, u'x') + u"\r\nruntime.orbeck.active=1\r\n",
       "outputDir=" + std::string(10000, 'x') + " componentActive=1"},
      {std::u16string(1 << 20, u'j') + u"=1\r\nruntime.orbeck.active=1\r\n", "componentActive=1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(ToUtf8(row.file.substr(0, 80)));
    WriteSetup(row.file);
    LogSettings s = Build();
    ExpectFields(s, row.expect, Log());
    ReleaseLogSettings(s);
  }
}

TEST_F(LogSettingsTest, BadFilesLeaveTheDefaults) {
  const std::string defaults =
      "componentActive=0 retryCount=200 outputDir=<log> logFilePath=<log>\\orbeck.log";
  std::string junk;
  for (std::uint32_t x = 12345, i = 0; i < 65536; ++i) {
    x = x * 1103515245 + 12345;
    junk.push_back(static_cast<char>(x >> 16));
  }
  struct Row {
    std::string bytes;  // empty: a directory of that name
    std::string expect;
  };
  const Row rows[] = {
      {"", defaults},
      {qvtest::Utf16Le(u"runtime.output.dir=E:\\x\r\nruntime.output.retrycount=50\r\n", false),
       "outputDir=<log> retryCount=50"},
      {junk, defaults},
      {junk + qvtest::Utf16Le(u"\r\n\r\nruntime.orbeck.active=1\r\n", false) + "\x7f",
       "componentActive=1"},
      {"\xFF", defaults},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expect);
    std::filesystem::remove_all(qvtest::NativePath(SetupFile()));
    if (row.bytes.empty()) {
      MakeDirs(SetupFile());
    } else {
      qvtest::WriteBytes(SetupFile(), row.bytes);
    }
    LogSettings s = Build();
    ExpectFields(s, row.expect, Log());
  }
  std::filesystem::remove_all(qvtest::NativePath(SetupFile()));
  LogSettings s = Build();
  ExpectFields(s, defaults, Log());
}

TEST_F(LogSettingsTest, ReadsPiecesAsTerminatedText) {
  std::u16string x600(600, u'x');
  x600[300] = u'\0';
  struct Row {
    std::string bytes;
    std::u16string text;
  };
  const Row rows[] = {
      {"\x00\x00"s + qvtest::Utf16Le(u"ab", false) + "A", u"ab"},
      {"", u""},
      {"\xFF", u""},
      {qvtest::Utf16Le(u"a\0b\nc"s), u"ac"},
      // Pieces of 254 code units: the NUL at 300 drops 300 to 507.
      {qvtest::Utf16Le(x600), std::u16string(254 + 46 + 92, u'x')},
  };
  const std::u16string path = root_ / u"text.properties";
  for (const Row& row : rows) {
    qvtest::WriteBytes(path, row.bytes);
    const std::optional<std::u16string> text = ReadWideTextFile(path);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(ToUtf8(*text), ToUtf8(row.text));
  }
  EXPECT_FALSE(ReadWideTextFile(root_ / u"missing").has_value());
  EXPECT_FALSE(ReadWideTextFile(root_.path()).has_value());
}

TEST_F(LogSettingsTest, FindsTheFileThroughTheSettings) {
  WriteSetup(u"runtime.orbeck.active=1\r\n");
  const std::u16string ini = root_ / u"suite\\system\\VantrelV12.ini";
  const std::u16string elsewhere = root_ / u"elsewhere.properties";
  qvtest::WriteBytes(elsewhere, qvtest::Utf16Le(u"runtime.output.retrycount=77\r\n"));
  qvtest::WriteBytes(ini, "[Common]\r\nLogsetup=" + ToUtf8(elsewhere) + "\r\n");
  EXPECT_EQ(GetLogSetupPath(), elsewhere);
  ExpectFields(Build(), "retryCount=77 componentActive=0", Log());

  // A path over 263 characters is rejected, not cut to a prefix that exists.
  const std::size_t prefix = 263 - root_.path().size() - 1;
  const std::u16string cut = root_ / std::u16string(prefix, u'L');
  qvtest::WriteBytes(cut, qvtest::Utf16Le(u"runtime.output.retrycount=88\r\n"));
  qvtest::WriteBytes(ini, "[Common]\r\nLogsetup=" + ToUtf8(cut) + "x\r\n");
  EXPECT_EQ(GetLogSetupPath(), u"");
  ExpectFields(Build(), "retryCount=200 componentActive=0", Log());

  qvtest::ScopedEnv longRoot(u"VANTREL_V12", u"bin;" + std::u16string(250, u's') + u";data");
  EXPECT_EQ(GetLogSetupPath(), u"");
}

TEST_F(LogSettingsTest, DefaultDirectoriesFromTheLogBase) {
  WriteSetup(u"runtime.orbeck.active=1\r\n");
  const std::u16string d255(255, u'd');
  struct Row {
    std::u16string dataRoot;
    std::string expect;
  };
  const Row rows[] = {
      {u"D:\\Data",
       "outputDir=D:\\Data\\log rotateDir=D:\\Data\\log logFilePath=D:\\Data\\log\\orbeck.log "
       "componentActive=1"},
      {u"", "outputDir=\\log rotateDir=\\log logFilePath=\\log\\orbeck.log"},
      {d255, "outputDir=" + ToUtf8(d255) + "\\log componentActive=1"},
      // Too long for a directory: nothing is composed and nothing is logged.
      {d255 + u"d", "outputDir= rotateDir= logFilePath= componentActive=0"},
      // Too long for a field at all: unavailable, not the root of the drive.
      {d255 + u"ddddd", "outputDir= rotateDir= logFilePath= componentActive=0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expect);
    SetDataRoot(row.dataRoot);
    ExpectFields(Build(), row.expect, Log());
  }
}

TEST_F(LogSettingsTest, MeasuresTheLogInWholeMiB) {
  const std::u16string log = Log() + u"\\orbeck.log";
  MakeDirs(Log());
  qvtest::WriteBytes(log, std::string(3 * 1048576 + 100, 'x'));
  ExpectFields(Build(), "logSizeMiB=3", Log());

  std::filesystem::remove(qvtest::NativePath(log));
  MakeDirs(log);
  ExpectFields(Build(), "logSizeMiB=0", Log());
  std::filesystem::remove(qvtest::NativePath(log));

  // 2 GiB and more must not read as an empty log.
  {
    plat::FileHandle file;
    ASSERT_EQ(plat::OpenFile(log, plat::OpenMode::WriteShareRead, file), plat::OpenStatus::Opened);
    if (!plat::SeekFileTo(*file, 3ull << 30) || !plat::WriteBytes(*file, "x", 1)) {
      GTEST_SKIP() << "no sparse file of 3 GiB here";
    }
  }
  ExpectFields(Build(), "logSizeMiB=3072", Log());
}

TEST_F(LogSettingsTest, LogFileOption) {
  struct Row {
    std::u16string value;
    std::u16string outputDir, logFilePath;
  };
  const std::u16string dir = u"D:\\Data\\log";
  const std::u16string path = u"D:\\Data\\log\\orbeck.log";
  const Row rows[] = {
      {u"job.log", dir, u"D:\\Data\\log\\job.log"},
      {u"E:\\x\\job.log", u"E:\\x\\", u"E:\\x\\job.log"},
      {u"rel/job.log", u"rel/", u"rel/\\job.log"},
      {u"E:\\x\\", u"E:\\x\\", u"E:\\x\\"},
      {u"C:job.log", dir, u"D:\\Data\\log\\C:job.log"},
      {u"", dir, path},
      // A name too long to split is not applied.
      {u"E:\\x\\" + std::u16string(256, u'n'), dir, path},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(ToUtf8(row.value));
    LogSettings s;
    InitLogSettings(s);
    s.outputDir = dir;
    s.logFilePath = path;
    s.components[4].outFile = u"orbeck.log";
    s.componentActive = 1;
    ApplyLogFileOption(s, row.value);
    EXPECT_EQ(ToUtf8(s.outputDir), ToUtf8(row.outputDir));
    EXPECT_EQ(ToUtf8(s.logFilePath), ToUtf8(row.logFilePath));
    EXPECT_EQ(s.components[4].outFile, u"orbeck.log");
    EXPECT_EQ(s.componentActive, 1);

    // Without memory the record stays as it was.
    plat::InjectFault({plat::FaultOp::Alloc, 0, -1, u""});
    ApplyLogFileOption(s, u"F:\\other.log");
    plat::ClearFaults();
    EXPECT_EQ(ToUtf8(s.logFilePath), ToUtf8(row.logFilePath));
  }
}

TEST_F(LogSettingsTest, MemoryRunningOut) {
  WriteSetup(
      u"runtime.orbeck.active=1\r\nruntime.output.dir=E:\\o\r\nruntime.output.retrycount=50\r\n");
  struct Row {
    int skip;
    bool inFinalize;
    std::string expect;
  };
  const Row rows[] = {
      // The read itself: the record stays unchanged.
      {0, false, "componentActive=0 retryCount=200 outputDir=<log>"},
      // The owned copy of the second line: the lines before it stay applied.
      {1, false, "componentActive=1 retryCount=200 outputDir=<log>"},
      {0, true, "outputDir=E:\\o rotateDir= logFilePath= componentActive=0 retryCount=50"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expect);
    LogSettings s;
    InitLogSettings(s);
    s.componentName = u"Orbeck";
    if (!row.inFinalize) plat::InjectFault({plat::FaultOp::Alloc, row.skip, 1, u""});
    LoadLogSettings(s);
    if (row.inFinalize) plat::InjectFault({plat::FaultOp::Alloc, row.skip, -1, u""});
    FinalizeLogSettings(s);
    plat::ClearFaults();
    ExpectFields(s, row.expect, Log());
  }
}

TEST(DecimalValueTest, ReadsLikeTheSettingsDo) {
  struct Row {
    std::u16string text;
    std::int32_t value;
  };
  const Row rows[] = {
      {u"", 0},
      {u"abc", 0},
      {u"12ab", 12},
      {u" \t7", 7},
      {u"+4", 4},
      {u"-3", -3},
      {u"-", 0},
      {u"--1", 0},
      {u"1 2", 1},
      {u"2147483647", 2147483647},
      {u"2147483648", 2147483647},
      {u"99999999999999999999999", 2147483647},
      {u"-2147483648", -2147483647 - 1},
      {u"-99999999999", -2147483647 - 1},
  };
  for (const Row& row : rows) EXPECT_EQ(DecimalValue(row.text), row.value) << ToUtf8(row.text);
}

}  // namespace
