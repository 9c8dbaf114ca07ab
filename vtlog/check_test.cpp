#include "vtlog/check.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "vtlog/test_install.h"

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

}  // namespace
