#include "vtlog/rotate_plan.h"

#include <cstdio>

#include "execlog/path_text.h"
#include "execlog/rotation.h"
#include "platform/platform.h"
#include "vtlog/log_read.h"

namespace {

std::string DateText(std::int64_t time) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", YearOf(time), MonthOf(time), DayOf(time));
  return buffer;
}

std::string Reason(const LogSettings& s) {
  if (s.outputDir.empty() || !plat::PathIsDirectory(s.outputDir)) {
    return "the output directory does not exist, so \"rotation.lock\" cannot be taken";
  }
  if (s.rotateEnabled == 0) return "rotation is off (runtime.rotate.active is not \"1\")";
  if (FileOpenable(s.logFilePath) == 0) return "the log does not exist or cannot be read";
  const std::int32_t size = FileSizeMiB(s.logFilePath);
  std::string why;
  if (s.rotateBySize != 0) {
    if (size >= s.rotateSizeLimitMiB) {
      return "size: " + std::to_string(size) + " MiB reaches the limit of " +
             std::to_string(s.rotateSizeLimitMiB) + " MiB";
    }
    why = "size " + std::to_string(size) + " MiB is below the limit of " +
          std::to_string(s.rotateSizeLimitMiB) + " MiB";
  } else {
    why = "rotation by size is off";
  }
  if (s.rotateByDate == 0) return why + "; rotation by date is off";
  static const char* const kUnits[] = {"year", "month", "day"};
  const std::int64_t m = FileModTime(s.logFilePath);
  const std::string unit =
      s.rotateDateUnit >= 0 && s.rotateDateUnit <= 2 ? kUnits[s.rotateDateUnit] : "none";
  const std::string dates =
      "last written " + DateText(m) + " UTC, settings loaded " + DateText(s.loadTime) + " UTC";
  if (ShouldRotate(s) == 1) return "date unit " + unit + ": " + dates;
  return why + "; date unit " + unit + " not passed (" + dates + ")";
}

}  // namespace

RotationPlan PlanRotation(const LogSettings& settings) {
  RotationPlan plan;
  plan.logPath = settings.logFilePath;
  plan.lockPresent = plat::PathExists(settings.outputDir + u"\\rotation.lock");
  plan.reason = Reason(settings);
  // Without the output directory the lock cannot be opened and nothing happens.
  plan.rotate = plat::PathIsDirectory(settings.outputDir) && ShouldRotate(settings) == 1;
  if (!plan.rotate) return plan;

  plan.newName = MakeRotatedName(settings);
  if (DirectoryExists(settings.rotateDir) == 0) {
    const std::u16string parent = SplitDirectory(settings.rotateDir);
    plan.moveNote = parent.empty() || plat::PathIsDirectory(parent)
                        ? "the rotation directory is created first"
                        : "the rotation directory is missing and cannot be created (one level "
                          "only): the log stays; pruning still runs";
  }
  if (FileOpenable(plan.newName) != 0) {
    plan.displacedName = plan.newName;
    plan.displacedTo = NumberedRotatedName(plan.newName, NextFreeSuffix(plan.newName));
    if (FileOpenable(plan.displacedTo) != 0) {
      plan.moveNote = "every numbered name is taken: the displaced file cannot move, the log stays";
    }
  }

  // The listing as pruning will see it: the log under its new name, the
  // displaced file under its number.
  std::vector<RotationCandidate> list;
  if (!ListRotationCandidates(settings, list)) return plan;
  const std::u16string newFile = SplitFileName(plan.newName);
  const bool logListed = EqualsIgnoreCase(settings.rotateDir, settings.outputDir);
  const std::u16string logFile = SplitFileName(settings.logFilePath);
  std::vector<RotationCandidate> after;
  for (RotationCandidate& entry : list) {
    if (logListed && EqualsIgnoreCase(entry.name, logFile)) continue;
    if (!plan.displacedName.empty() && entry.name == newFile) {
      entry.name = SplitFileName(plan.displacedTo);
    }
    after.push_back(entry);
  }
  if (plan.moveNote.find("log stays") == std::string::npos) {
    RotationCandidate moved;
    moved.name = newFile;
    moved.modTime = FileModTime(settings.logFilePath);
    moved.modTimeNanos = FileModTimeNanos(settings.logFilePath);
    after.push_back(moved);
  }
  SortRotationCandidates(after);
  const std::int32_t keep = DecimalValue(settings.rotateTimes);
  std::int32_t kept = 0;
  for (const RotationCandidate& entry : after) {
    if (keep < 1 || entry.name == u"rotation.lock") continue;
    if (kept < keep) {
      ++kept;
    } else if (entry.modTime > 0) {
      plan.pruned.push_back(settings.rotateDir + u"\\" + entry.name);
    }
  }
  return plan;
}
