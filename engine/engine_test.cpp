#include "engine/engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "engine/error_reporter.h"
#include "platform/testing.h"
#include "tests/support/test_support.h"

namespace {

class Installation : public ::testing::Test {
 protected:
  void WriteIni(const std::string& text) { dir_.WriteIni(text); }
  qvtest::ScratchInstall dir_;
};

TEST_F(Installation, DisplayWordFollowsTheSettingsTable) {
  const struct {
    const char* ini;
    std::uint32_t word;
    std::int32_t displayMode;
  } cases[] = {
      {"", 0x1201, 2},
      {"[Orbeck]\r\nProcDisp=2\r\nErrorDisp=2\r\n", 0x1201, 2},
      {"[Orbeck]\r\nProcDisp=3\r\n", 0x1202, 2},
      {"[Orbeck]\r\nProcDisp=1\r\n", 0x1203, 2},
      {"[Orbeck]\r\nErrorDisp=0\r\n", 0x1101, 1},
      {"[Orbeck]\r\nProcDisp=3\r\nErrorDisp=1\r\n", 0x1102, 1},
      {"[Orbeck]\r\nProcDisp=9\r\nErrorDisp=9\r\n", 0x1103, 1},
      {"[Common]\r\nFromExec=1\r\n[Orbeck]\r\nErrorDisp=2\r\n", 0x1103, 1},
      {"[Common]\r\nFromExec=2\r\n", 0x1201, 2},
  };
  for (const auto& c : cases) {
    WriteIni(c.ini);
    EXPECT_EQ(ComputeDisplayWord(), c.word) << c.ini;
    ErrorContextPtr context = CreateErrorContext(plat::OwnModule(), "Vantrel Orbeck");
    ConfigureDisplay(*context);
    EXPECT_EQ(context->displayMode, c.displayMode) << c.ini;
    context = FreeErrorContext(std::move(context));
    EXPECT_EQ(context, nullptr);
  }
}

TEST_F(Installation, EngineLoadLookUpCallAndUnload) {
  const std::u16string bin = plat::FromUtf8(qvtest::TestBinDir());
  std::int32_t result = 12345;
  // No library at all.
  EXPECT_EQ(RunEngine(dir_ / u"bin", 0x1201, u"-Xrc5", result), EngineRunStatus::LibraryMissing);
  EXPECT_EQ(result, 12345);
  // A library without the export.
  std::filesystem::copy_file(qvtest::NativePath(bin + u"\\NoExport.dll"),
                             qvtest::NativePath(dir_ / u"bin\\Qorvane.dll"));
  EXPECT_EQ(RunEngine(dir_ / u"bin", 0x1201, u"-Xrc5", result), EngineRunStatus::EntryPointMissing);
  EXPECT_EQ(result, 12345);
  // The sample engine answers with its -Xrc value and traces the call.
  std::filesystem::copy_file(qvtest::NativePath(bin + u"\\Qorvane.dll"),
                             qvtest::NativePath(dir_ / u"bin\\Qorvane.dll"),
                             std::filesystem::copy_options::overwrite_existing);
  qvtest::ScopedEnv trace(u"QORVANE_ENGINE_TRACE", dir_ / u"trace.txt");
  EXPECT_EQ(RunEngine(dir_ / u"bin", 0x1102, u"-Lid1 -Xrc-2001", result), EngineRunStatus::Called);
  EXPECT_EQ(result, -2001);
  EXPECT_EQ(qvtest::ReadBytes(dir_ / u"trace.txt"),
            "display=0x1102 arg3=[] cmd=[-Lid1 -Xrc-2001] errlog=[]\n");
}

// A shown report is a modal box. Without a display it returns at once (Wine)
// or goes to the error stream (native); with one (Xvfb, a Windows desktop) it
// would wait for a button, so a second thread presses OK on it.
std::int32_t ReportPressingOk(ErrorContext& context, std::uint32_t id) {
  std::atomic<bool> done{false};
  std::thread closer([&] {
    std::string shown;
    while (!done) plat::DismissMessageBox(context.caption, 10, shown);
  });
  const std::int32_t value = ReportError(nullptr, context, id, 0);
  done = true;
  closer.join();
  return value;
}

TEST(ErrorReporter, ValueDependsOnTheIdAloneWhetherShownOrNot) {
  const struct {
    std::uint32_t id;
    std::int32_t value;
  } cases[] = {{12001, -2001}, {12911, -2911}, {11283, -1283}, {11284, -1284},
               {10001, -1},    {13000, -3000}, {11000, -1000}, {11999, -1999}};
  for (const auto& c : cases) {
    for (std::int32_t mode : {1, 2}) {
      ErrorContextPtr context = CreateErrorContext(plat::OwnModule(), "Qorvane report test");
      context->displayMode = mode;
      testing::internal::CaptureStderr();
      EXPECT_EQ(ReportPressingOk(*context, c.id), c.value) << c.id;
      testing::internal::GetCapturedStderr();
    }
  }
}

}  // namespace
