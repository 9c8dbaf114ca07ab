#include "vtlog/check.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/test_install.h"

namespace {

const ConfigItem* FindItem(const CheckReport& report, const std::string& group,
                           const std::string& name) {
  for (const ConfigItem& item : report.items) {
    if (item.group == group && item.name == name) return &item;
  }
  return nullptr;
}

std::vector<std::string> Kinds(const CheckReport& report) {
  std::vector<std::string> kinds;
  for (const Finding& f : report.findings) kinds.push_back(f.kind);
  return kinds;
}

bool Has(const std::vector<std::string>& kinds, const std::string& kind) {
  return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

// Without a program directory the engine path would name the root of the
// drive: nothing is loaded from there.
TEST(VtlogCheckTest, NoProgramDirectoryLeavesTheEngineUnchecked) {
  vtlogtest::TestInstall install;
  const std::u16string rest = u";" + install / u"suite" + u";" + install / u"data";
  for (const std::u16string& value : {std::u16string(), std::u16string(300, u'p') + rest}) {
    qvtest::ScopedEnv env(u"VANTREL_V12", value);
    const CheckReport report = RunCheck(u"Orbeck");
    const ConfigItem* library = FindItem(report, "engine", "library");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->value, u"");
    EXPECT_EQ(library->source, "not checked: no program directory");
    const std::vector<std::string> kinds = Kinds(report);
    EXPECT_TRUE(Has(kinds, "no-program-dir"));
    EXPECT_FALSE(Has(kinds, "no-engine"));
    EXPECT_FALSE(Has(kinds, "no-entry-point"));
  }
}

// Today's rotated name with every numbered name taken: the log cannot move.
// With pruning off the generations only pile up.
TEST(VtlogCheckTest, FullRotationDirectory) {
  vtlogtest::TestInstall install;
  qvtest::ScopedFaults faults;
  plat::SetClockOverride(plat::WallClock{1796472000, 0});  // 2026-12-05 12:00 UTC
  const std::u16string rot = install / u"rot";
  ASSERT_TRUE(plat::MakeOneDirectory(rot));
  qvtest::WriteBytes(rot + u"\\orbeck_20261205.log", "");
  for (int n = 1; n <= 9998; ++n) {
    qvtest::WriteBytes(rot + u"\\orbeck_20261205_" + plat::Widen(std::to_string(n)) + u".log", "");
  }
  struct Case {
    const char* name;
    std::u16string description;
    std::u16string times;
    bool numberZeroTaken;
    std::vector<std::string> kinds;
    const char* effect;  // of the first finding
  };
  const Case cases[] = {
      {"full, pruning off",
       u"YYYYMMDD",
       u"",
       false,
       {"rotation-dir-full", "many-generations"},
       "one more rotation moves the displaced file to orbeck_20261205_0.log"},
      {"full, pruning on", u"YYYYMMDD", u"5", false, {"rotation-dir-full"}, ""},
      {"full up to number 0",
       u"YYYYMMDD",
       u"5",
       true,
       {"rotation-dir-full"},
       "the log cannot be rotated"},
      // Named by another description, the files are no generations.
      {"another name today, pruning off", u"YYYY", u"0", true, {}, ""},
      {"another name today, pruning on", u"YYYY", u"5", true, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    install.LogSetup(u"runtime.orbeck.active=1\r\nruntime.rotate.active=1\r\nruntime.rotate.dir=" +
                     rot + u"\r\nruntime.rotate.name.description=" + c.description +
                     u"\r\nruntime.rotate.times=" + c.times + u"\r\n");
    if (c.numberZeroTaken) qvtest::WriteBytes(rot + u"\\orbeck_20261205_0.log", "");
    const CheckReport report = RunCheck(u"Orbeck");
    std::vector<std::string> kinds;
    std::string effect;
    for (const Finding& f : report.findings) {
      if (f.kind != "rotation-dir-full" && f.kind != "many-generations") continue;
      if (kinds.empty()) effect = f.effect;
      kinds.push_back(f.kind);
      EXPECT_EQ(f.severity, f.kind == "rotation-dir-full" ? Severity::Error : Severity::Warning);
      EXPECT_EQ(f.file, rot);
    }
    EXPECT_EQ(kinds, c.kinds);
    EXPECT_NE(effect.find(c.effect), std::string::npos) << effect;
  }
}

}  // namespace
