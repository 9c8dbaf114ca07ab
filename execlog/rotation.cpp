#include "execlog/rotation.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "execlog/path_text.h"
#include "execlog/record_writer.h"
#include "platform/fault.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

constexpr std::size_t kComponentNameMax = 9;
constexpr std::size_t kDescriptionMax = 11;
constexpr int kLastSuffix = 9998;

bool UtcCalendarOf(std::int64_t time, plat::Calendar& calendar) {
  return time != 0 && plat::ToUtcCalendar(time, calendar);
}

// Stands for one digit of a date in the pattern of the rotated names; no
// file name holds it.
constexpr char16_t kDigit = u'\0';
constexpr std::size_t kCopyChunk = 1 << 20;

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// The rotated path for the given date fields.
std::u16string RotatedPath(const LogSettings& settings, const std::u16string& year,
                           const std::u16string& shortYear, const std::u16string& month,
                           const std::u16string& day) {
  // "YYYY" before "YY", so that the short form never matches inside the long.
  std::u16string date = settings.rotateNameDescription.substr(0, kDescriptionMax);
  date = ReplaceAll(std::move(date), u"YYYY", year);
  date = ReplaceAll(std::move(date), u"YY", shortYear);
  date = ReplaceAll(std::move(date), u"MM", month);
  date = ReplaceAll(std::move(date), u"DD", day);
  if (settings.rotateNamePos == 0) {
    return settings.rotateDir + u"\\" + date + u"_" + SplitFileName(settings.logFilePath);
  }
  return settings.rotateDir + u"\\" + SplitBaseName(settings.logFilePath) + u"_" + date +
         SplitExtension(settings.logFilePath);
}

// name against a pattern: kDigit takes any digit, the rest compares as the
// file system compares names.
bool Matches(std::u16string_view name, std::u16string_view pattern) {
  if (name.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (pattern[i] == kDigit ? !IsDigit(name[i])
                             : !EqualsIgnoreCase(name.substr(i, 1), pattern.substr(i, 1))) {
      return false;
    }
  }
  return true;
}

RotationReason DecideRotation(const LogSettings& settings) {
  if (settings.rotateEnabled == 0) return RotationReason::Off;
  if (FileOpenable(settings.logFilePath) == 0) return RotationReason::NoLog;
  if (settings.rotateBySize != 0 &&
      FileSizeMiB(settings.logFilePath) >= settings.rotateSizeLimitMiB) {
    return RotationReason::SizeReached;
  }
  if (settings.rotateByDate == 0) return RotationReason::NotDue;
  const std::int64_t m = FileModTime(settings.logFilePath);
  const std::int64_t t = settings.loadTime;
  // Each field is compared on its own: a log dated in the future can still
  // rotate through a lower field.
  const bool yearLater = YearOf(t) > YearOf(m);
  const bool monthLater = MonthOf(t) > MonthOf(m);
  const bool dayLater = DayOf(t) > DayOf(m);
  const int unit = settings.rotateDateUnit;
  const bool passed = (unit >= 0 && unit <= 2 && yearLater) ||
                      (unit >= 1 && unit <= 2 && monthLater) || (unit == 2 && dayLater);
  return passed ? RotationReason::DatePassed : RotationReason::NotDue;
}

// 1 when the log begins with every byte of the copy, 0 when not (or there is
// no log), -1 when the copy cannot be read.
int LogBeginsWith(const std::u16string& log, const std::u16string& copy) {
  plat::FileHandle from;
  plat::FileHandle against;
  if (plat::OpenFile(copy, plat::OpenMode::ReadShared, from) != plat::OpenStatus::Opened) return -1;
  if (plat::OpenFile(log, plat::OpenMode::ReadShared, against) != plat::OpenStatus::Opened)
    return 0;
  std::vector<char> a(kCopyChunk);
  std::vector<char> b(kCopyChunk);
  for (;;) {
    const std::ptrdiff_t n = plat::ReadBytes(*from, a.data(), a.size());
    if (n < 0) return -1;
    if (n == 0) return 1;
    std::ptrdiff_t got = 0;
    while (got < n) {
      const std::ptrdiff_t m =
          plat::ReadBytes(*against, b.data() + got, static_cast<std::size_t>(n - got));
      if (m <= 0) return 0;
      got += m;
    }
    if (!std::equal(a.begin(), a.begin() + n, b.begin())) return 0;
  }
}

// The copies that killed rotations left, each with its fate.
std::vector<InterruptedCopy> InterruptedCopies(const LogSettings& settings) {
  std::vector<InterruptedCopy> found;
  for (StrandedCopy& stranded : FindStrandedCopies(settings)) {
    InterruptedCopy copy{std::move(stranded.path), {}};
    if (!stranded.logHoldsIt) {
      // The generation it was meant to be, or, named under settings since
      // changed, the one the present names give its day, so that pruning and
      // readers find it; a newer one under that name keeps it, and the older
      // copy takes a number.
      copy.finishAs = IsRotatedName(settings, SplitFileName(stranded.generation))
                          ? std::move(stranded.generation)
                          : RotatedNameAt(settings, FileModTime(copy.path));
      if (FileOpenable(copy.finishAs) != 0) {
        copy.finishAs = NumberedRotatedName(copy.finishAs, NextFreeSuffix(copy.finishAs));
      }
    }
    found.push_back(std::move(copy));
  }
  return found;
}

bool IsWriterFileName(std::u16string_view name) {
  const std::u16string lower = LowerAscii(name);
  return lower.starts_with(u"logwriteerror_") || lower.starts_with(u"lognameerror_");
}

}  // namespace

RotationPlan PlanRotation(const LogSettings& settings) {
  RotationPlan plan;
  plan.reason = DirectoryExists(settings.outputDir) == 0 ? RotationReason::NoOutputDirectory
                                                         : DecideRotation(settings);
  plan.rotate =
      plan.reason == RotationReason::SizeReached || plan.reason == RotationReason::DatePassed ? 1
                                                                                              : 0;
  if (plan.reason == RotationReason::NoOutputDirectory || plan.reason == RotationReason::Off) {
    return plan;
  }
  if (plan.reason != RotationReason::NoLog) {
    plan.sizeMiB = FileSizeMiB(settings.logFilePath);
    plan.modTime = FileModTime(settings.logFilePath);
  }
  plan.interrupted = InterruptedCopies(settings);
  if (plan.rotate == 0) return plan;

  plan.rotatedName = MakeRotatedName(settings);
  const std::u16string rotatedFile = SplitFileName(plan.rotatedName);
  // The listing as the moves will leave it: finished copies, the displaced
  // file under its number, the log under its new name.
  std::vector<RotationCandidate> after;
  const bool listed = ListRotationCandidates(settings, after);
  bool taken = FileOpenable(plan.rotatedName) != 0;
  for (const InterruptedCopy& copy : plan.interrupted) {
    if (copy.finishAs.empty()) continue;
    taken = taken || copy.finishAs == plan.rotatedName;
    after.push_back(
        {0, SplitFileName(copy.finishAs), FileModTime(copy.path), FileModTimeNanos(copy.path)});
  }
  if (DirectoryExists(settings.rotateDir) == 0) {
    const std::u16string parent = SplitDirectory(settings.rotateDir);
    plan.obstacle = parent.empty() || DirectoryExists(parent) != 0
                        ? MoveObstacle::RotateDirToBeMade
                        : MoveObstacle::RotateDirUnmakeable;
  }
  if (taken) {
    plan.displacedTo = NumberedRotatedName(plan.rotatedName, NextFreeSuffix(plan.rotatedName));
    if (FileOpenable(plan.displacedTo) != 0) plan.obstacle = MoveObstacle::NumbersTaken;
    for (RotationCandidate& entry : after) {
      if (EqualsIgnoreCase(entry.name, rotatedFile)) entry.name = SplitFileName(plan.displacedTo);
    }
  }
  if (plan.obstacle != MoveObstacle::RotateDirUnmakeable &&
      plan.obstacle != MoveObstacle::NumbersTaken) {
    after.push_back({0, rotatedFile, plan.modTime, FileModTimeNanos(settings.logFilePath)});
  }
  if (listed) plan.pruned = PrunedGenerations(after, settings);
  return plan;
}

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

  const std::u16string lockPath = RotationLockPath(settings.outputDir);
  plat::FileHandle lock = OpenLogForAppend(lockPath);
  if (lock) {
    const RotationPlan plan = PlanRotation(settings);
    for (const InterruptedCopy& copy : plan.interrupted) {
      if (copy.finishAs.empty()) {
        plat::RemoveFile(copy.path);
      } else {
        plat::MoveNoReplace(copy.path, copy.finishAs);
      }
    }
    if (plan.rotate == 1) {
      MoveLogToRotateDir(plan, settings);
      // Pruning follows every positive decision, also after a failed move,
      // and takes the listing as the moves left it.
      PruneRotatedLogs(settings);
    }
    lock.reset();
  }
  // Held by another rotation the delete fails and the file stays its holder's.
  plat::RemoveFile(lockPath);
  ReleaseLogSettings(settings);
}

int ShouldRotate(const LogSettings& settings) {
  const RotationReason reason = DecideRotation(settings);
  return reason == RotationReason::SizeReached || reason == RotationReason::DatePassed ? 1 : 0;
}

std::u16string MakeRotatedName(const LogSettings& settings) {
  return RotatedNameAt(settings, settings.loadTime);
}

std::u16string RotatedNameAt(const LogSettings& settings, std::int64_t time) {
  const std::u16string year = plat::WideZeroPadded(YearOf(time), 4);
  return RotatedPath(settings, year, year.substr(year.size() - 2),
                     plat::WideZeroPadded(MonthOf(time), 2), plat::WideZeroPadded(DayOf(time), 2));
}

std::vector<StrandedCopy> FindStrandedCopies(const LogSettings& settings) {
  std::vector<StrandedCopy> found;
  std::vector<plat::DirEntry> entries;
  plat::ListDirectory(settings.rotateDir + u"\\*" + SplitBaseName(settings.logFilePath) + u"*.cop*",
                      entries);
  for (const plat::DirEntry& entry : entries) {
    for (const std::u16string_view suffix : {kCopyingSuffix, kCopiedSuffix}) {
      const std::size_t stem = entry.name.size() - std::min(entry.name.size(), suffix.size());
      const std::u16string_view generation = std::u16string_view(entry.name).substr(0, stem);
      if (entry.isDirectory || !EqualsIgnoreCase(entry.name.substr(stem), suffix) ||
          !IsRotatedNameOfAnyForm(settings, generation)) {
        continue;
      }
      StrandedCopy copy{settings.rotateDir + u"\\" + entry.name,
                        settings.rotateDir + u"\\" + std::u16string(generation), true};
      // Until the copy is complete, and until the log is removed, the log
      // holds every record of it.
      const int begins =
          suffix == kCopyingSuffix ? 1 : LogBeginsWith(settings.logFilePath, copy.path);
      if (begins < 0) continue;
      copy.logHoldsIt = begins == 1;
      found.push_back(std::move(copy));
    }
  }
  return found;
}

bool IsRotatedNameOfAnyForm(const LogSettings& settings, std::u16string_view name) {
  if (IsWriterFileName(name)) return false;
  const std::u16string file = SplitFileName(settings.logFilePath);
  const std::u16string base = SplitBaseName(settings.logFilePath) + u"_";
  const std::u16string extension = SplitExtension(settings.logFilePath);
  const std::u16string lower = LowerAscii(name);
  // The date stands where the description stood and is as long as it was.
  const bool before = lower.size() > file.size() &&
                      lower.size() <= file.size() + 1 + kDescriptionMax &&
                      lower.ends_with(u"_" + LowerAscii(file));
  const bool after = lower.size() >= base.size() + extension.size() &&
                     lower.size() <= base.size() + extension.size() + kDescriptionMax &&
                     lower.starts_with(LowerAscii(base)) && lower.ends_with(LowerAscii(extension));
  return before || after;
}

bool IsRotatedName(const LogSettings& settings, std::u16string_view name) {
  if (IsWriterFileName(name)) return false;
  const std::u16string two(2, kDigit);
  const std::u16string pattern =
      SplitFileName(RotatedPath(settings, std::u16string(4, kDigit), two, two, two));
  if (Matches(name, pattern)) return true;
  // The numbered form: stem, "_", one to four digits, extension.
  const std::size_t extension = SplitExtension(pattern).size();
  const std::size_t stem = pattern.size() - extension;
  if (pattern.empty() || name.size() < pattern.size() + 2 || name.size() > pattern.size() + 5) {
    return false;
  }
  const std::u16string_view number = name.substr(stem + 1, name.size() - pattern.size() - 1);
  return Matches(name.substr(0, stem), std::u16string_view(pattern).substr(0, stem)) &&
         name[stem] == u'_' && std::all_of(number.begin(), number.end(), IsDigit) &&
         Matches(name.substr(name.size() - extension), std::u16string_view(pattern).substr(stem));
}

int RotatedNameNumber(const LogSettings& settings, std::u16string_view name) {
  // The date has the same width on every day: only a number makes it longer.
  const std::u16string plain = SplitFileName(MakeRotatedName(settings));
  if (name.size() < plain.size() + 2) return 0;
  const std::size_t stem = plain.size() - SplitExtension(plain).size();
  int number = 0;
  for (const char16_t c : name.substr(stem + 1, name.size() - plain.size() - 1)) {
    number = IsDigit(c) ? number * 10 + (c - u'0') : 0;
  }
  return number;
}

std::u16string NumberedRotatedName(const std::u16string& path, int number) {
  // Only the extension at the end of the file name is set apart, so a
  // directory that holds the extension or "_1." keeps its name.
  const std::u16string extension = SplitExtension(path);
  const std::u16string stem = path.substr(0, path.size() - extension.size());
  return stem + u"_" + plat::WideZeroPadded(number, 1) + extension;
}

int NextFreeSuffix(const std::u16string& path) {
  // One listing rules out the numbers whose names stand there, letter for
  // letter; every other number is tried by an open, as before.
  const std::u16string extension = SplitExtension(path);
  const std::u16string stem = path.substr(0, path.size() - extension.size());
  const std::u16string prefix = SplitFileName(stem) + u"_";
  std::vector<bool> taken(kLastSuffix + 1, false);
  std::vector<plat::DirEntry> entries;
  plat::ListDirectory(stem + u"_*" + extension, entries);
  for (const plat::DirEntry& entry : entries) {
    const std::u16string& name = entry.name;
    if (entry.isDirectory || name.size() < prefix.size() + extension.size() + 1 ||
        name.size() > prefix.size() + extension.size() + 4 || !name.starts_with(prefix) ||
        !name.ends_with(extension) || name[prefix.size()] == u'0') {
      continue;
    }
    std::int64_t number = 0;
    const std::u16string_view digits = std::u16string_view(name).substr(
        prefix.size(), name.size() - extension.size() - prefix.size());
    if (!plat::ParseDigits(digits, 4, number)) continue;
    if (number >= 1 && number <= kLastSuffix) taken[static_cast<std::size_t>(number)] = true;
  }
  for (int n = 1; n <= kLastSuffix; ++n) {
    if (!taken[static_cast<std::size_t>(n)] && FileOpenable(NumberedRotatedName(path, n)) == 0) {
      return n;
    }
  }
  return 0;
}

int MoveLogToRotateDir(const RotationPlan& plan, const LogSettings& settings) {
  if (!EnsureDirectory(settings.rotateDir)) return 0;
  // An earlier rotation of the same date holds the plain name: its file takes
  // the lowest free number so that the newest keeps the plain name. With
  // every number taken it is aimed at 0, and fails if that exists too.
  if (!plan.displacedTo.empty() && !plat::MoveNoReplace(plan.rotatedName, plan.displacedTo)) {
    return 0;
  }
  bool otherVolume = false;
  if (plat::MoveNoReplace(settings.logFilePath, plan.rotatedName, &otherVolume)) return 1;
  return otherVolume ? CopyLogToRotateDir(plan.rotatedName, settings) : 0;
}

int CopyLogToRotateDir(const std::u16string& rotatedName, const LogSettings& settings) {
  const std::u16string& log = settings.logFilePath;
  const std::u16string copying = rotatedName + kCopyingSuffix;
  const std::u16string copied = rotatedName + kCopiedSuffix;
  // The log held as a writer holds it, so that no record lands behind the
  // copy; a writer holding it already stops the move, as it stops a rename.
  plat::FileHandle hold;
  plat::FileHandle source;
  plat::FileHandle target;
  plat::FileStatus status;
  std::uint64_t size = 1;
  if (plat::OpenFile(log, plat::OpenMode::WriteShareRead, hold) != plat::OpenStatus::Opened ||
      plat::OpenFile(log, plat::OpenMode::ReadShared, source) != plat::OpenStatus::Opened ||
      !plat::GetFileStatus(log, status)) {
    return 0;
  }
  // A leftover that could not be removed is not written over.
  if (plat::OpenFile(copying, plat::OpenMode::WriteShareRead, target) != plat::OpenStatus::Opened ||
      !plat::FileSizeOf(*target, size) || size != 0) {
    return 0;
  }
  std::vector<char> buffer(kCopyChunk);
  bool complete = false;
  std::uint64_t copiedBytes = 0;
  for (;;) {
    const std::ptrdiff_t n = plat::ReadBytes(*source, buffer.data(), buffer.size());
    complete = n == 0;
    if (n <= 0 || !plat::WriteBytes(*target, buffer.data(), static_cast<std::size_t>(n))) break;
    copiedBytes += static_cast<std::uint64_t>(n);
  }
  // The copy keeps the log's time, which pruning orders the generations by.
  plat::SetFileModTime(*target, status.modTime, status.modTimeNanos);
  target.reset();
  if (!complete || !plat::MoveNoReplace(copying, copied)) {
    plat::RemoveFile(copying);
    return 0;
  }
  hold.reset();
  source.reset();
  // A writer that passed its lock probe before this rotation took the lock
  // may append once the hold is gone: the log is removed only while it holds
  // no more than the copy, else it stays, whole, for the next rotation.
  if (!plat::RemoveFileOfSize(log, copiedBytes)) {
    plat::RemoveFile(copied);
    return 0;
  }
  // Failing here, the complete copy is finished by the next rotation.
  return plat::MoveNoReplace(copied, rotatedName) ? 1 : 0;
}

void PruneRotatedLogs(const LogSettings& settings) {
  // Zero, empty, non-numeric and negative counts all mean: keep everything.
  if (DecimalValue(settings.rotateTimes) < 1) return;
  std::vector<RotationCandidate> list;
  if (!ListRotationCandidates(settings, list)) return;
  for (const std::u16string& path : PrunedGenerations(list, settings)) plat::RemoveFile(path);
}

std::vector<std::u16string> PrunedGenerations(std::vector<RotationCandidate>& list,
                                              const LogSettings& settings) {
  std::vector<std::u16string> pruned;
  const std::int32_t keep = DecimalValue(settings.rotateTimes);
  if (keep < 1) return pruned;
  SortRotationCandidates(list);
  for (std::size_t i = static_cast<std::size_t>(keep); i < list.size(); ++i) {
    if (list[i].modTime > 0) pruned.push_back(settings.rotateDir + u"\\" + list[i].name);
  }
  return pruned;
}

bool ListRotationCandidates(const LogSettings& settings, std::vector<RotationCandidate>& list) {
  const std::u16string baseName = SplitBaseName(settings.logFilePath);
  std::vector<plat::DirEntry> entries;
  // A missing directory and an empty match leave the list as it was.
  if (!plat::ListDirectory(settings.rotateDir + u"\\*" + baseName + u"*", entries)) return true;

  for (plat::DirEntry& entry : entries) {
    if (entry.isDirectory || !IsRotatedName(settings, entry.name)) continue;
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
