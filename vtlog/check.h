// The effective configuration of a component as its launcher would see it
// now, with the lint of both configuration files and the checks of the
// engine library and the log directories.
#pragma once

#include <string>
#include <vector>

#include "vtlog/lint.h"

struct ConfigItem {
  std::string group;  // "environment", "settings", "logsetup", "engine", "directories"
  std::string name;
  std::u16string value;
  std::string source;  // "file", "default", "derived", ... ; empty when it does not apply
};

struct CheckReport {
  std::vector<ConfigItem> items;
  std::vector<Finding> findings;
};

CheckReport RunCheck(const std::u16string& component);
// kExitOk clean, kExitWarning with warnings, kExitCritical with errors.
int CheckExitCode(const std::vector<Finding>& findings);
