#include "vtlog/rotation_check.h"

#include "execlog/path_text.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "vtlog/log_read.h"

namespace {

// Beyond this many generations with pruning off, the rotation directory is
// plainly left to grow without end.
constexpr std::size_t kManyGenerations = 1000;

// Whether the rotations to come still find room in the rotation directory.
void CheckRotationRoom(CheckReport& report, const LogSettings& s) {
  if (s.rotateEnabled == 0) return;
  const std::u16string rotated = MakeRotatedName(s);
  if (FileOpenable(rotated) != 0 && NextFreeSuffix(rotated) == 0) {
    // The displaced file is then aimed at the number 0, once.
    const std::u16string last = NumberedRotatedName(rotated, 0);
    report.findings.push_back(
        {Severity::Error, s.rotateDir, 0, "rotation-dir-full",
         "the rotated name " + plat::ToUtf8(SplitFileName(rotated)) +
             " and every numbered name of it (_1 to _9998) are taken",
         FileOpenable(last) != 0
             ? "the log cannot be rotated: it stays and keeps growing"
             : "one more rotation moves the displaced file to " +
                   plat::ToUtf8(SplitFileName(last)) +
                   "; after that the log cannot be rotated, stays and keeps growing"});
  }
  if (DecimalValue(s.rotateTimes) < 1) {
    const std::size_t count = CountGenerations(s);
    if (count > kManyGenerations) {
      report.findings.push_back(
          {Severity::Warning, s.rotateDir, 0, "many-generations",
           std::to_string(count) +
               " rotated generations and pruning is off (runtime.rotate.times is " +
               (s.rotateTimes.empty() ? std::string("empty")
                                      : "\"" + plat::ToUtf8(s.rotateTimes) + "\"") +
               ")",
           "the launcher deletes none of them, and each rotation adds one"});
    }
  }
}

void AddFinding(CheckReport& report, Severity severity, const std::u16string& file,
                const char* kind, std::string message, std::string effect) {
  report.findings.push_back({severity, file, 0, kind, std::move(message), std::move(effect)});
}

// "YYYY\MM" makes every rotated name a path into a directory of its own,
// which nothing creates: the move fails at every run.
void CheckRotatedNameDirectory(CheckReport& report, const LogSettings& s) {
  if (s.rotateNameDescription.find_first_of(u"\\/") == std::u16string::npos) return;
  AddFinding(report, Severity::Error, GetLogSetupPath(), "rotate-name-path",
             "runtime.rotate.name.description " + Excerpt(s.rotateNameDescription) +
                 " holds a path separator: the rotated name " + plat::ToUtf8(MakeRotatedName(s)) +
                 " lies in a directory of its own",
             "the log cannot be moved there at any run: it stays and keeps growing, and jobs "
             "end as if nothing were wrong");
}

// A move to another volume is a copy: it needs room for the whole log there.
void CheckRotationSpace(CheckReport& report, const LogSettings& s) {
  plat::FileStatus log;
  if (!plat::GetFileStatus(s.logFilePath, log) || log.isDirectory ||
      !plat::PathIsDirectory(s.rotateDir) || !plat::PathIsDirectory(s.outputDir) ||
      plat::SameVolume(s.outputDir, s.rotateDir)) {
    return;
  }
  std::uint64_t free = 0;
  if (!plat::VolumeFreeBytes(s.rotateDir, free)) return;
  report.items.push_back({"directories", "rotateDir free bytes (another volume)",
                          plat::Widen(std::to_string(free)), "derived"});
  const auto size = static_cast<std::uint64_t>(log.size);
  if (free >= size) return;
  AddFinding(report, Severity::Error, s.rotateDir, "rotation-dir-no-room",
             "the rotation directory is on another volume with " + std::to_string(free) +
                 " bytes free, less than the log's " + std::to_string(size) + " bytes",
             "a rotation copies the log there and fails: the log stays and keeps growing (no "
             "record is lost) until room is made");
}

}  // namespace

void CheckRotation(CheckReport& report, const LogSettings& settings) {
  if (settings.rotateEnabled == 0) return;
  CheckRotatedNameDirectory(report, settings);
  CheckRotationRoom(report, settings);
  CheckRotationSpace(report, settings);
}

CheckReport RotationPlanFindings(const RotationPlan& plan, const LogSettings& settings) {
  CheckReport report;
  std::u16string env;
  if (settings.outputDir.empty() || !plat::GetEnvironment(u"VANTREL_V12", env)) {
    AddFinding(report, Severity::Error, u"VANTREL_V12", "no-directory", MissingLogCause(settings),
               "the launcher has no place for the log and nothing to rotate");
  }
  if (plan.obstacle == MoveObstacle::RotateDirUnmakeable) {
    AddFinding(report, Severity::Error, settings.rotateDir, "missing-directory",
               "rotateDir and its parent do not exist",
               "the log is never rotated and keeps growing");
  }
  CheckRotation(report, settings);
  return report;
}
