// Rotation of a component's execution log into the rotation directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "execlog/log_settings.h"

struct RotationCandidate {
  std::int32_t count = 0;
  std::u16string name;
  std::int64_t modTime = 0;
};

void RotateExecLog(const std::u16string& componentName);
int ShouldRotate(const LogSettings& settings);
std::u16string MakeRotatedName(const LogSettings& settings);
int MoveLogToRotateDir(const std::u16string& rotatedName, const LogSettings& settings);
void PruneRotatedLogs(const LogSettings& settings);
// False when the list could not be grown (nothing is then pruned).
bool ListRotationCandidates(const LogSettings& settings, std::vector<RotationCandidate>& list);
void SortRotationCandidates(std::vector<RotationCandidate>& list);
int NextFreeSuffix(const std::u16string& path);
std::int32_t FileSizeMiB(const std::u16string& path);
std::int64_t FileModTime(const std::u16string& path);
std::int32_t YearOf(std::int64_t time);
std::int32_t MonthOf(std::int64_t time);
std::int32_t DayOf(std::int64_t time);
