#include "vtlog/rotate_plan.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "execlog/path_text.h"
#include "execlog/rotation.h"
#include "tests/support/test_install.h"
#include "vtlog/log_read.h"

namespace {

namespace fs = std::filesystem;

// Every file below root with its size and modification time.
std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> Snapshot(
    const std::u16string& root) {
  std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> out;
  for (const auto& entry : fs::recursive_directory_iterator(qvtest::NativePath(root))) {
    out[entry.path().string()] = {entry.is_regular_file() ? entry.file_size() : 0,
                                  entry.last_write_time()};
  }
  return out;
}

void Age(const std::u16string& path, int days) {
  fs::last_write_time(qvtest::NativePath(path),
                      fs::file_time_type::clock::now() - std::chrono::hours(24 * days));
}

RotationPlan Plan() {
  LogSettings settings;
  EXPECT_TRUE(LoadComponentSettings(u"Orbeck", settings));
  RotationPlan plan = PlanRotation(settings);
  ReleaseLogSettings(settings);
  return plan;
}

TEST(VtlogRotatePlanTest, DecisionAndReason) {
  struct Case {
    const char* name;
    const char16_t* setup;
    bool log;
    bool rotate;
    const char* reason;
  };
  const Case cases[] = {
      {"rotation off", u"runtime.orbeck.active=1\r\n", true, false, "rotation is off"},
      {"no log", u"runtime.rotate.active=1\r\nruntime.rotate.rule.sizeflg=1\r\n", false, false,
       "does not exist"},
      {"size limit 0 reached", u"runtime.rotate.active=1\r\nruntime.rotate.rule.sizeflg=1\r\n",
       true, true, "size: 0 MiB reaches the limit of 0 MiB"},
      {"below the size limit",
       u"runtime.rotate.active=1\r\nruntime.rotate.rule.sizeflg=1\r\nruntime.rotate.rule.size="
       u"5\r\n",
       true, false, "below the limit of 5 MiB; rotation by date is off"},
      {"written in an earlier year",
       u"runtime.rotate.active=1\r\nruntime.rotate.rule.dateflg=1\r\nruntime.rotate.rule.datetype="
       u"0\r\n",
       true, true, "date unit year"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vtlogtest::TestInstall install;
    install.LogSetup(c.setup);
    const std::u16string log = install.logDir() + u"\\orbeck.log";
    if (c.log) {
      qvtest::WriteBytes(log, "\xFF\xFE");
      Age(log, 400);
    }
    const RotationPlan plan = Plan();
    EXPECT_EQ(plan.rotate, c.rotate);
    EXPECT_NE(plan.reason.find(c.reason), std::string::npos) << plan.reason;
  }
}

// The plan touches nothing, not even "rotation.lock", and the rotation that
// follows does what it foretold.
TEST(VtlogRotatePlanTest, TouchesNothingAndForetellsTheRotation) {
  vtlogtest::TestInstall install;
  const std::u16string rot = install / u"rot";
  install.LogSetup(
      u"runtime.orbeck.active=1\r\nruntime.rotate.active=1\r\n"
      u"runtime.rotate.rule.sizeflg=1\r\nruntime.rotate.times=2\r\n"
      u"runtime.rotate.name.description=YYYYMMDD\r\nruntime.rotate.dir=" +
      rot + u"\r\n");
  fs::create_directories(qvtest::NativePath(rot));
  LogSettings settings;
  ASSERT_TRUE(LoadComponentSettings(u"Orbeck", settings));
  const std::u16string today = MakeRotatedName(settings);
  ReleaseLogSettings(settings);
  qvtest::WriteBytes(install.logDir() + u"\\orbeck.log", "\xFF\xFE");
  qvtest::WriteBytes(today, "\xFF\xFE");  // an earlier rotation of today
  Age(today, 0);
  for (const auto& [name, days] :
       {std::pair{u"orbeck_20200101.log", 30}, std::pair{u"orbeck_20200102.log", 20}}) {
    qvtest::WriteBytes(rot + u"\\" + name, "\xFF\xFE");
    Age(rot + u"\\" + name, days);
  }

  const auto before = Snapshot(install / u"data");
  const auto beforeRot = Snapshot(rot);
  const RotationPlan plan = Plan();
  EXPECT_EQ(Snapshot(install / u"data"), before);
  EXPECT_EQ(Snapshot(rot), beforeRot);
  EXPECT_FALSE(qvtest::Exists(install.logDir() + u"\\rotation.lock"));

  ASSERT_TRUE(plan.rotate);
  EXPECT_EQ(plan.newName, today);
  EXPECT_EQ(plan.displacedName, today);
  EXPECT_EQ(SplitFileName(plan.displacedTo), SplitBaseName(today) + u"_1.log");
  // Kept: the log under its new name and the displaced file; the two old go.
  ASSERT_EQ(plan.pruned.size(), 2u);

  RotateExecLog(u"Orbeck");
  EXPECT_FALSE(qvtest::Exists(install.logDir() + u"\\orbeck.log"));
  EXPECT_TRUE(qvtest::Exists(plan.newName));
  EXPECT_TRUE(qvtest::Exists(plan.displacedTo));
  for (const std::u16string& path : plan.pruned) EXPECT_FALSE(qvtest::Exists(path));
}

}  // namespace
