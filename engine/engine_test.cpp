#include "engine/engine.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace {

TEST(Engine, DisplayWordFollowsTheSettingsTable) {
  qvtest::ScratchInstall dir;
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"", 0x1201},
      {"[Orbeck]\r\nProcDisp=3\r\n", 0x1202},
      {"[Orbeck]\r\nProcDisp=4\r\nErrorDisp=0\r\n", 0x1103},
      {"[Common]\r\nFromExec=1\r\n[Orbeck]\r\nErrorDisp=2\r\n", 0x1103},
  };
  for (const auto& [ini, word] : cases) {
    dir.WriteIni(ini);
    EXPECT_EQ(ComputeDisplayWord(), word) << ini;
  }
}

TEST(Engine, LoadLookUpCallAndUnload) {
  qvtest::ScratchInstall dir;
  const std::u16string bin = plat::FromUtf8(qvtest::TestBinDir());
  std::int32_t result = 12345;
  EXPECT_EQ(RunEngine(dir / u"bin", 0x1201, u"-Xrc5", result), EngineRunStatus::LibraryMissing);
  std::filesystem::copy_file(qvtest::NativePath(bin + u"\\NoExport.dll"),
                             qvtest::NativePath(dir / u"bin\\Qorvane.dll"));
  EXPECT_EQ(RunEngine(dir / u"bin", 0x1201, u"-Xrc5", result), EngineRunStatus::EntryPointMissing);
  EXPECT_EQ(result, 12345);
}

}  // namespace
