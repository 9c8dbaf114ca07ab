#include "launcher/launcher.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

// The status field of each record of a file; a broken file adds its faults.
std::string Statuses(const std::u16string& path) {
  std::vector<std::string> faults;
  std::string out;
  for (const qvtest::LogRecord& record : qvtest::ReadLog(path, faults)) out += record.status + " ";
  for (const std::string& fault : faults) out += fault + " ";
  return out;
}

// A log location that cannot be formed, or that names a settings file, is
// refused: the full 32-bit result on both builds, the records aside in the
// private directory, the settings files untouched.
TEST(Launcher, RefusedLogLocations) {
  const std::pair<std::size_t, std::u16string> rows[] = {
      // {length of the data root (0: the installation's), -Lfn below the root}
      {0, u""},  // a log location that works, for comparison
      {256, u""},
      {259, u""},
      {0, u"data\\" + std::u16string(256, u'n') + u".log"},
      {0, u"suite\\private\\LOGSETUP_W.properties. "},
      {0, u"suite\\system\\VantrelV12.ini"},
  };
  for (const auto& [dataRootLength, lfn] : rows) {
    qvtest::ScratchInstall dir;
    dir.CopyEngine();
    dir.LogSetup(u"runtime.orbeck.active=1\r\n");
    dir.WriteIni("[Common]\r\n");
    std::u16string data = dir / u"data";
    if (dataRootLength != 0) data += u"\\" + std::u16string(dataRootLength - data.size() - 1, u'd');
    qvtest::ScopedEnv roots(u"VANTREL_V12", dir / u"bin;" + dir / u"suite;" + data);
    const std::u16string cmd =
        u"-Lid5 -Xrc1" + (lfn.empty() ? u"" : u" -Lfn\"" + dir / lfn + u"\"");
    const bool works = dataRootLength == 0 && lfn.empty();
    SCOPED_TRACE(plat::ToUtf8(cmd) + " data root " + std::to_string(data.size()));
    EXPECT_EQ(RunLauncher(plat::OwnModule(), cmd), works ? 1 : -1283);
    EXPECT_EQ(
        Statuses(dir / (works ? u"data\\log\\orbeck.log" : u"suite\\private\\LogWriteError_5.log")),
        works ? "Information:HS-00-01-0101 Information:HS-00-01-0102 "
              : "Information:HS-00-01-0101 Warning:HS-00-02-1283 ");
    EXPECT_EQ(qvtest::ReadBytes(dir.setupPath()), qvtest::Utf16Le(u"runtime.orbeck.active=1\r\n"));
    EXPECT_EQ(qvtest::ReadBytes(dir / u"suite\\system\\VantrelV12.ini"), "[Common]\r\n");
  }
}

}  // namespace
