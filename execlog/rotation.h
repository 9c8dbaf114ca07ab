// Rotation of a component's execution log into the rotation directory, done
// once per job before its start record, while "rotation.lock" is held.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "execlog/log_settings.h"

// One file of the rotation directory whose name holds the log's base name.
struct RotationCandidate {
  std::int32_t count = 0;    // entries in the list; kept in every entry
  std::u16string name;       // without its directory
  std::int64_t modTime = 0;  // last write, seconds since 1970 UTC; 0 when unreadable
  // The fraction of that second: generations rotated within one second are
  // still ordered by age, not by the accident of their names.
  std::int32_t modTimeNanos = 0;
};

// Loads its own settings for the component, holds "rotation.lock" in the
// output directory for the decision, the move and the pruning, and deletes the
// lock file again (also when it could not be opened). Without an output
// directory it touches nothing. Reports nothing.
void RotateExecLog(const std::u16string& componentName);

// 1 when the log has reached the size limit, or was last written in an earlier
// year, month or day (each UTC calendar field compared on its own) than the
// settings' load time; 0 otherwise or when rotation is off or the log missing.
int ShouldRotate(const LogSettings& settings);

// Full path of the rotated log: the description with "YYYY", "YY", "MM" and
// "DD" replaced by the load time's UTC date, placed before the file name
// (position 0) or between base name and extension (position 1).
std::u16string MakeRotatedName(const LogSettings& settings);

// Moves the log to rotatedName, first moving a file already of that name
// aside to the lowest free number. 1 when the log was moved.
int MoveLogToRotateDir(const std::u16string& rotatedName, const LogSettings& settings);

// Keeps the rotateTimes newest matching files and deletes the older ones;
// "rotation.lock" is neither deleted nor counted, a keep below 1 deletes
// nothing, a file whose time could not be read is never deleted.
void PruneRotatedLogs(const LogSettings& settings);

// Appends every file (not directory) of the rotation directory whose name
// holds the log's base name, ignoring case. False when the list could not be
// grown; the list is then emptied and nothing must be pruned.
bool ListRotationCandidates(const LogSettings& settings, std::vector<RotationCandidate>& list);

// Newest first; among equal times the greater name (code unit by code unit)
// first; entries equal in both keep their order.
void SortRotationCandidates(std::vector<RotationCandidate>& list);

// The numbered name of path: directory and stem, "_", number, extension
// ("D:\r\orbeck_20261205.log", 2 -> "D:\r\orbeck_20261205_2.log").
std::u16string NumberedRotatedName(const std::u16string& path, int number);

// Lowest n in 1..9998 whose numbered name names no readable file; 0 when all do.
int NextFreeSuffix(const std::u16string& path);

// Size in whole MiB (64-bit measure); 0 when the file cannot be opened.
std::int32_t FileSizeMiB(const std::u16string& path);
// Last-write time; 0 when the status cannot be read.
std::int64_t FileModTime(const std::u16string& path);
std::int32_t FileModTimeNanos(const std::u16string& path);

// UTC calendar fields; 0 for the time 0 and for a time without a calendar date.
std::int32_t YearOf(std::int64_t time);
std::int32_t MonthOf(std::int64_t time);
std::int32_t DayOf(std::int64_t time);
