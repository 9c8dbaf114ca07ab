#include "execlog/rotation.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

#include "execlog/path_text.h"
#include "execlog/record_writer.h"
#include "platform/fault.h"
#include "platform/platform.h"

namespace {

constexpr char16_t kLockFileName[] = u"rotation.lock";
constexpr std::size_t kComponentNameMax = 9;
constexpr std::size_t kDescriptionMax = 11;
constexpr int kLastSuffix = 9998;

// printf-style "%0<width>d" as wide text.
std::u16string PaddedNumber(int value, int width) {
  char buffer[32];
  int length = std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
  std::u16string out;
  for (int i = 0; i < length; ++i) out.push_back(static_cast<char16_t>(buffer[i]));
  return out;
}

bool UtcCalendarOf(std::int64_t time, plat::Calendar& calendar) {
  return time != 0 && plat::ToUtcCalendar(time, calendar);
}

}  // namespace

void RotateExecLog(const std::u16string& componentName) {
  LogSettings settings;
  InitLogSettings(settings);
  // A name too long for the field matches no component, as an empty one does.
  if (componentName.size() <= kComponentNameMax) settings.componentName = componentName;
  LoadLogSettings(settings);
  FinalizeLogSettings(settings);
  // Without an output directory (its default too long, or no memory for it)
  // the lock would land at the root of the drive; there is no log to rotate.
  if (settings.outputDir.empty()) {
    ReleaseLogSettings(settings);
    return;
  }

  const std::u16string lockPath = settings.outputDir + u"\\" + kLockFileName;
  plat::FileHandle lock = OpenLogForAppend(lockPath);
  if (lock) {
    if (ShouldRotate(settings) == 1) {
      const std::u16string rotatedName = MakeRotatedName(settings);
      MoveLogToRotateDir(rotatedName, settings);
      // Pruning follows every positive decision, also after a failed move.
      PruneRotatedLogs(settings);
    }
    lock.reset();
  }
  // Held by another rotation the delete fails and the file stays its holder's.
  plat::RemoveFile(lockPath);
  ReleaseLogSettings(settings);
}

int ShouldRotate(const LogSettings& settings) {
  if (settings.rotateEnabled == 0 || FileOpenable(settings.logFilePath) == 0) return 0;
  if (settings.rotateBySize != 0 &&
      FileSizeMiB(settings.logFilePath) >= settings.rotateSizeLimitMiB) {
    return 1;
  }
  if (settings.rotateByDate == 0) return 0;

  const std::int64_t m = FileModTime(settings.logFilePath);
  const std::int64_t t = settings.loadTime;
  // Each field is compared on its own: a log dated in the future can still
  // rotate through a lower field.
  const bool yearLater = YearOf(t) > YearOf(m);
  const bool monthLater = MonthOf(t) > MonthOf(m);
  const bool dayLater = DayOf(t) > DayOf(m);
  switch (settings.rotateDateUnit) {
    case 0:
      return yearLater ? 1 : 0;
    case 1:
      return (yearLater || monthLater) ? 1 : 0;
    case 2:
      return (yearLater || monthLater || dayLater) ? 1 : 0;
    default:
      return 0;
  }
}

std::u16string MakeRotatedName(const LogSettings& settings) {
  const std::u16string fileName = SplitFileName(settings.logFilePath);
  const std::u16string baseName = SplitBaseName(settings.logFilePath);
  const std::u16string extension = SplitExtension(settings.logFilePath);

  const std::u16string year = PaddedNumber(YearOf(settings.loadTime), 4);
  const std::u16string shortYear = year.substr(year.size() - 2);
  const std::u16string month = PaddedNumber(MonthOf(settings.loadTime), 2);
  const std::u16string day = PaddedNumber(DayOf(settings.loadTime), 2);

  // "YYYY" before "YY", so that the short form never matches inside the long.
  std::u16string date = settings.rotateNameDescription.substr(0, kDescriptionMax);
  date = ReplaceAll(std::move(date), u"YYYY", year);
  date = ReplaceAll(std::move(date), u"YY", shortYear);
  date = ReplaceAll(std::move(date), u"MM", month);
  date = ReplaceAll(std::move(date), u"DD", day);

  if (settings.rotateNamePos == 0) {
    return settings.rotateDir + u"\\" + date + u"_" + fileName;
  }
  return settings.rotateDir + u"\\" + baseName + u"_" + date + extension;
}

std::u16string NumberedRotatedName(const std::u16string& path, int number) {
  // Only the extension at the end of the file name is set apart, so a
  // directory that holds the extension or "_1." keeps its name.
  const std::u16string extension = SplitExtension(path);
  const std::u16string stem = path.substr(0, path.size() - extension.size());
  return stem + u"_" + PaddedNumber(number, 1) + extension;
}

int NextFreeSuffix(const std::u16string& path) {
  for (int n = 1; n <= kLastSuffix; ++n) {
    if (FileOpenable(NumberedRotatedName(path, n)) == 0) return n;
  }
  return 0;
}

int MoveLogToRotateDir(const std::u16string& rotatedName, const LogSettings& settings) {
  if (!EnsureDirectory(settings.rotateDir)) return 0;
  if (FileOpenable(rotatedName) != 0) {
    // An earlier rotation of the same date holds the plain name: its file
    // takes the lowest free number so that the newest keeps the plain name.
    // With every number taken it is aimed at 0, and fails if that exists too.
    const std::u16string displaced = NumberedRotatedName(rotatedName, NextFreeSuffix(rotatedName));
    if (!plat::MoveNoReplace(rotatedName, displaced)) return 0;
  }
  return plat::MoveNoReplace(settings.logFilePath, rotatedName) ? 1 : 0;
}

void PruneRotatedLogs(const LogSettings& settings) {
  // Zero, empty, non-numeric and negative counts all mean: keep everything.
  const std::int32_t keep = DecimalValue(settings.rotateTimes);
  if (keep < 1) return;

  std::vector<RotationCandidate> list;
  if (!ListRotationCandidates(settings, list)) return;
  SortRotationCandidates(list);

  std::int32_t kept = 0;
  for (const RotationCandidate& entry : list) {
    // The lock file can turn up when the rotation directory is the output
    // directory; it is neither deleted nor given a place among those kept.
    if (entry.name == kLockFileName) continue;
    if (kept < keep) {
      ++kept;
      continue;
    }
    if (entry.modTime > 0) plat::RemoveFile(settings.rotateDir + u"\\" + entry.name);
  }
}

bool ListRotationCandidates(const LogSettings& settings, std::vector<RotationCandidate>& list) {
  const std::u16string baseName = SplitBaseName(settings.logFilePath);
  std::vector<plat::DirEntry> entries;
  // A missing directory and an empty match leave the list as it was.
  if (!plat::ListDirectory(settings.rotateDir + u"\\*" + baseName + u"*", entries)) return true;

  for (plat::DirEntry& entry : entries) {
    if (entry.isDirectory) continue;
    const std::u16string path = settings.rotateDir + u"\\" + entry.name;
    if (plat::FaultHit(plat::FaultOp::Alloc, path)) {
      list.clear();
      return false;
    }
    RotationCandidate candidate;
    candidate.modTime = FileModTime(path);
    candidate.modTimeNanos = FileModTimeNanos(path);
    candidate.name = std::move(entry.name);
    list.push_back(std::move(candidate));
  }
  for (RotationCandidate& candidate : list) {
    candidate.count = static_cast<std::int32_t>(list.size());
  }
  return true;
}

void SortRotationCandidates(std::vector<RotationCandidate>& list) {
  for (RotationCandidate& candidate : list) {
    candidate.count = static_cast<std::int32_t>(list.size());
  }
  std::stable_sort(list.begin(), list.end(),
                   [](const RotationCandidate& a, const RotationCandidate& b) {
                     if (a.modTime != b.modTime) return a.modTime > b.modTime;
                     if (a.modTimeNanos != b.modTimeNanos) return a.modTimeNanos > b.modTimeNanos;
                     return a.name > b.name;
                   });
}

std::int32_t FileSizeMiB(const std::u16string& path) {
  if (path.empty()) return 0;
  plat::FileHandle file;
  if (plat::OpenFile(path, plat::OpenMode::ReadShared, file) != plat::OpenStatus::Opened) return 0;
  std::uint64_t end = 0;
  if (!plat::SeekFileEnd(*file) || !plat::FilePosition(*file, end)) return 0;
  // Measured in 64 bits, so a log of 2 GiB or more still reaches its limit.
  const std::uint64_t mib = end / 1048576;
  const auto limit = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
  return static_cast<std::int32_t>(std::min(mib, limit));
}

std::int64_t FileModTime(const std::u16string& path) {
  plat::FileStatus status;
  if (path.empty() || !plat::GetFileStatus(path, status)) return 0;
  return status.modTime;
}

std::int32_t FileModTimeNanos(const std::u16string& path) {
  plat::FileStatus status;
  if (path.empty() || !plat::GetFileStatus(path, status)) return 0;
  return status.modTimeNanos;
}

std::int32_t YearOf(std::int64_t time) {
  plat::Calendar calendar;
  return UtcCalendarOf(time, calendar) ? calendar.year : 0;
}

std::int32_t MonthOf(std::int64_t time) {
  plat::Calendar calendar;
  return UtcCalendarOf(time, calendar) ? calendar.month : 0;
}

std::int32_t DayOf(std::int64_t time) {
  plat::Calendar calendar;
  return UtcCalendarOf(time, calendar) ? calendar.day : 0;
}
