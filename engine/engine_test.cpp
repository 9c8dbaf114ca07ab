#include "engine/engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "engine/error_reporter.h"
#include "platform/testing.h"
#include "tests/support/test_support.h"

namespace {

// The display word the engine receives and whether the launcher's own reports
// are shown: FromExec counts only when exactly 1, ErrorDisp silences them only
// when exactly 2.
TEST(Engine, DisplayWordAndReportsFollowTheSettingsTable) {
  qvtest::ScratchInstall dir;
  struct Row {
    const char* ini;
    std::uint32_t word;
    bool shown;
  };
  const Row rows[] = {
      {"", 0x1201, false},
      {"[Orbeck]\r\nProcDisp=3\r\n", 0x1202, false},
      {"[Orbeck]\r\nProcDisp=4\r\nErrorDisp=0\r\n", 0x1103, true},
      {"[Orbeck]\r\nErrorDisp=3\r\n", 0x1101, true},
      {"[Orbeck]\r\nErrorDisp=2\r\n", 0x1201, false},
      {"[Common]\r\nFromExec=1\r\n[Orbeck]\r\nErrorDisp=2\r\n", 0x1103, true},
      {"[Common]\r\nFromExec=2\r\n[Orbeck]\r\nProcDisp=3\r\n", 0x1202, false},
      {"[Common]\r\nFromExec=-1\r\n", 0x1201, false},
  };
  for (const Row& row : rows) {
    dir.WriteIni(row.ini);
    EXPECT_EQ(ComputeDisplayWord(), row.word) << row.ini;
    ErrorContext context;
    ConfigureDisplay(context);
    EXPECT_EQ(context.displayMode, row.shown ? 1 : 2) << row.ini;
  }
}

}  // namespace
