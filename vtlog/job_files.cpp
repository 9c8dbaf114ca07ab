#include "vtlog/job_files.h"

#include <algorithm>

#include "execlog/rotation.h"
#include "platform/platform.h"

namespace {

// "<job>_<process id>": something, an underscore and the decimal id.
bool LooksLikeJobFile(const std::u16string& name) {
  const std::size_t underscore = name.rfind(u'_');
  if (underscore == std::u16string::npos || underscore == 0) return false;
  const std::u16string_view id = std::u16string_view(name).substr(underscore + 1);
  return !id.empty() && id.size() <= 10 &&
         std::all_of(id.begin(), id.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

}  // namespace

std::vector<std::u16string> JobFiles(const LogSettings& settings) {
  std::vector<std::u16string> files;
  if (settings.outputDir.empty()) return files;
  std::vector<plat::DirEntry> entries;
  plat::ListDirectory(settings.outputDir + u"\\*_*", entries);
  const std::u16string log = SplitFileName(settings.logFilePath);
  for (const plat::DirEntry& entry : entries) {
    if (entry.isDirectory || !LooksLikeJobFile(entry.name) || entry.name == log ||
        IsRotatedName(settings, entry.name)) {
      continue;
    }
    files.push_back(settings.outputDir + u"\\" + entry.name);
  }
  return files;
}

JobSources ComponentJobSources(const LogSettings& settings) {
  return {LogGenerations(settings), ErrorFiles(settings), JobFiles(settings)};
}

bool ErrorOnlyLogging(const LogSettings& settings) {
  return settings.errCodeOnly == u"1" && settings.componentActive != 0 &&
         plat::PathIsDirectory(settings.outputDir);
}
