// Rotation of a component's execution log into the rotation directory, done
// once per job before its start record, while "rotation.lock" is held.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
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

// Why the log rotates or stays.
enum class RotationReason { NoOutputDirectory, Off, NoLog, SizeReached, DatePassed, NotDue };

// What would stop the log's move.
enum class MoveObstacle { None, RotateDirToBeMade, RotateDirUnmakeable, NumbersTaken };

// A copy that a killed rotation left in the rotation directory under a
// temporary name (the generation's name with kCopyingSuffix or kCopiedSuffix),
// and what becomes of it: a copy still being made, or one that the log still
// begins with, is removed (the log holds every record of it); a finished copy
// whose log was already removed becomes the generation it was meant to be.
struct InterruptedCopy {
  std::u16string path;
  std::u16string finishAs;  // full path; empty: removed
};
inline constexpr char16_t kCopyingSuffix[] = u".copying";
inline constexpr char16_t kCopiedSuffix[] = u".copied";

// A temporary that a killed rotation left in the rotation directory, found
// under any description and position of the rotated names (settings may
// have changed since): a copy whose records the log still holds (a .copying
// file, or a .copied one the log still begins with), or a complete copy
// whose log was already removed, whose records stand nowhere else.
struct StrandedCopy {
  std::u16string path;
  std::u16string generation;  // full path of the generation it was meant to be
  bool logHoldsIt = true;
};

// Every temporary of this log's copies in the rotation directory; one that
// cannot be read is left out.
std::vector<StrandedCopy> FindStrandedCopies(const LogSettings& settings);

// What a rotation does now: the one decision that the launcher applies and
// vtlog shows.
struct RotationPlan {
  int rotate = 0;
  RotationReason reason = RotationReason::Off;
  std::int32_t sizeMiB = 0;  // of the log, when it exists
  std::int64_t modTime = 0;  // of the log, when it exists
  std::vector<InterruptedCopy> interrupted;
  std::u16string rotatedName;  // the log's new full path
  std::u16string displacedTo;  // where the file already named rotatedName goes first
  MoveObstacle obstacle = MoveObstacle::None;
  // What pruning deletes once the moves are done (full paths).
  std::vector<std::u16string> pruned;
};

// Reads only: the decision, the names and what pruning would delete.
RotationPlan PlanRotation(const LogSettings& settings);

// Loads its own settings for the component, holds "rotation.lock" in the
// output directory while it plans and applies the plan (interrupted copies,
// the move, pruning from the listing as it then stands), and deletes the lock
// file again (also when it could not be opened). Without an output directory
// it touches nothing. Reports nothing.
void RotateExecLog(const std::u16string& componentName);

// 1 when the log has reached the size limit, or was last written in an earlier
// year, month or day (each UTC calendar field compared on its own) than the
// settings' load time; 0 otherwise or when rotation is off or the log missing.
int ShouldRotate(const LogSettings& settings);

// Full path of the rotated log: the description with "YYYY", "YY", "MM" and
// "DD" replaced by the load time's UTC date, placed before the file name
// (position 0) or between base name and extension (position 1).
std::u16string MakeRotatedName(const LogSettings& settings);
// The same for the UTC date of another time.
std::u16string RotatedNameAt(const LogSettings& settings, std::int64_t time);

// True for a plain dated name that a rotation of this log gave or gives under
// any description (up to its 11 characters) and position: "<date>_<file
// name>" or "<base name>_<date><extension>", letter case aside; never a
// write-error or name-error file.
bool IsRotatedNameOfAnyForm(const LogSettings& settings, std::u16string_view name);

// True for a name the rotation gives the log: the dated name of the
// configured description and position, for any date, with or without a
// number; never a write-error or name-error file, the log or a temporary.
bool IsRotatedName(const LogSettings& settings, std::u16string_view name);

// Moves the file named plan.rotatedName aside to plan.displacedTo, then the
// log to plan.rotatedName: a rename within the volume, else a copy under a
// temporary name that becomes the generation only once complete, the log
// being removed only then. 1 when the log was moved.
int MoveLogToRotateDir(const RotationPlan& plan, const LogSettings& settings);

// The copy of the log into another volume: copied to rotatedName +
// kCopyingSuffix, renamed to rotatedName + kCopiedSuffix once complete, the
// log removed, renamed to rotatedName. Writers are kept out of the log
// meanwhile. 1 when done; on a failure the log stays and the copy goes.
int CopyLogToRotateDir(const std::u16string& rotatedName, const LogSettings& settings);

// Keeps the rotateTimes newest generations and deletes the older ones; a
// keep below 1 deletes nothing.
void PruneRotatedLogs(const LogSettings& settings);

// The generations that pruning deletes from a listing: all but the keep
// newest, never one whose time could not be read. Sorts the list.
std::vector<std::u16string> PrunedGenerations(std::vector<RotationCandidate>& list,
                                              const LogSettings& settings);

// Appends every generation of the log (IsRotatedName, not a directory) in the
// rotation directory. False when the list could not be grown; the list is
// then emptied and nothing must be pruned.
bool ListRotationCandidates(const LogSettings& settings, std::vector<RotationCandidate>& list);

// Newest first; among equal times the greater name (code unit by code unit)
// first; entries equal in both keep their order.
void SortRotationCandidates(std::vector<RotationCandidate>& list);

// The number of a generation's name (IsRotatedName): 0 for the plain dated
// name, which a rotation always gives the newest generation of its date;
// else the number it took when displaced.
int RotatedNameNumber(const LogSettings& settings, std::u16string_view name);

// The numbered name of path: directory and stem, "_", number, extension
// ("D:\r\orbeck_20261205.log", 2 -> "D:\r\orbeck_20261205_2.log").
std::u16string NumberedRotatedName(const std::u16string& path, int number);

// Lowest n in 1..9998 whose numbered name names no readable file; 0 when all
// do. One listing of the directory rules out the numbers taken.
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
