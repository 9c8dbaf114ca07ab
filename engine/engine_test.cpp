#include "engine/engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "engine/error_reporter.h"
#include "platform/testing.h"
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

}  // namespace
