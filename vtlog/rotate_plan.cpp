#include "vtlog/rotate_plan.h"

#include "execlog/path_text.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "vtlog/output.h"

namespace {

std::string DateText(std::int64_t time) {
  return plat::ZeroPadded(YearOf(time), 4) + "-" + plat::ZeroPadded(MonthOf(time), 2) + "-" +
         plat::ZeroPadded(DayOf(time), 2);
}

std::string Reason(const RotationPlan& plan, const LogSettings& s) {
  const std::string size = std::to_string(plan.sizeMiB) + " MiB";
  const std::string limit = std::to_string(s.rotateSizeLimitMiB) + " MiB";
  static const char* const kUnits[] = {"year", "month", "day"};
  const std::string unit =
      s.rotateDateUnit >= 0 && s.rotateDateUnit <= 2 ? kUnits[s.rotateDateUnit] : "none";
  const std::string dates = "last written " + DateText(plan.modTime) + " UTC, settings loaded " +
                            DateText(s.loadTime) + " UTC";
  switch (plan.reason) {
    case RotationReason::NoOutputDirectory:
      return "the output directory does not exist, so \"rotation.lock\" cannot be taken";
    case RotationReason::Off:
      return "rotation is off (runtime.rotate.active is not \"1\")";
    case RotationReason::NoLog:
      return "the log does not exist or cannot be read";
    case RotationReason::SizeReached:
      return "size: " + size + " reaches the limit of " + limit;
    case RotationReason::DatePassed:
      return "date unit " + unit + ": " + dates;
    case RotationReason::NotDue:
      break;
  }
  return (s.rotateBySize != 0 ? "size " + size + " is below the limit of " + limit
                              : std::string("rotation by size is off")) +
         (s.rotateByDate != 0 ? "; date unit " + unit + " not passed (" + dates + ")"
                              : std::string("; rotation by date is off"));
}

std::string MoveNote(MoveObstacle obstacle) {
  switch (obstacle) {
    case MoveObstacle::None:
      break;
    case MoveObstacle::RotateDirToBeMade:
      return "the rotation directory is created first";
    case MoveObstacle::RotateDirUnmakeable:
      return "the rotation directory is missing and cannot be created (one level only): the log "
             "stays; pruning still runs";
    case MoveObstacle::NumbersTaken:
      return "every numbered name is taken: the displaced file cannot move, the log stays";
  }
  return {};
}

bool LockPresent(const LogSettings& s) {
  return plat::PathExists(s.outputDir + u"\\rotation.lock");
}

}  // namespace

std::string RotationPlanText(const RotationPlan& plan, const LogSettings& settings,
                             const std::vector<Finding>& findings) {
  std::string text = "log: " + plat::ToUtf8(settings.logFilePath) + "\n";
  for (const InterruptedCopy& copy : plan.interrupted) {
    text += "interrupted copy: " + plat::ToUtf8(copy.path) +
            (copy.finishAs.empty() ? " is removed" : " becomes " + plat::ToUtf8(copy.finishAs)) +
            "\n";
  }
  text += std::string("decision: ") + (plan.rotate ? "rotate" : "no rotation") + "\n";
  text += "reason: " + Reason(plan, settings) + "\n";
  if (plan.rotate) {
    text += "new name: " + plat::ToUtf8(plan.rotatedName) + "\n";
    if (!plan.displacedTo.empty()) {
      text += "displaced: " + plat::ToUtf8(plan.rotatedName) + " -> " +
              plat::ToUtf8(plan.displacedTo) + "\n";
    }
    const std::string note = MoveNote(plan.obstacle);
    if (!note.empty()) text += "note: " + note + "\n";
    if (plan.pruned.empty()) text += "pruning deletes nothing\n";
    for (const std::u16string& path : plan.pruned) {
      text += "pruning deletes: " + plat::ToUtf8(path) + "\n";
    }
  }
  if (LockPresent(settings)) text += "\"rotation.lock\" exists in the output directory\n";
  for (const Finding& f : findings) {
    text += std::string(SeverityName(f.severity)) + ": " + f.kind + ": " + f.message + "; " +
            f.effect + "\n";
  }
  return text;
}

std::string RotationPlanJson(const RotationPlan& plan, const LogSettings& settings,
                             const std::vector<Finding>& findings) {
  std::string json = "{\"log\":" + JsonString(settings.logFilePath) +
                     ",\"rotate\":" + (plan.rotate ? "true" : "false") +
                     ",\"reason\":" + JsonString(Reason(plan, settings)) +
                     ",\"newName\":" + JsonString(plan.rotatedName) + ",\"displaced\":" +
                     JsonString(plan.displacedTo.empty() ? u"" : plan.rotatedName) +
                     ",\"displacedTo\":" + JsonString(plan.displacedTo) +
                     ",\"note\":" + JsonString(MoveNote(plan.obstacle)) + ",\"interrupted\":[";
  for (std::size_t i = 0; i < plan.interrupted.size(); ++i) {
    json += std::string(i == 0 ? "" : ",") + "{\"path\":" + JsonString(plan.interrupted[i].path) +
            ",\"finishAs\":" + JsonString(plan.interrupted[i].finishAs) + "}";
  }
  json += "],\"pruned\":[";
  for (std::size_t i = 0; i < plan.pruned.size(); ++i) {
    json += (i == 0 ? "" : ",") + JsonString(plan.pruned[i]);
  }
  json += "],\"lockPresent\":" + std::string(LockPresent(settings) ? "true" : "false") +
          ",\"findings\":[";
  for (const Finding& f : findings) {
    json += std::string(&f == &findings.front() ? "" : ",") +
            "{\"severity\":" + JsonString(std::string_view(SeverityName(f.severity))) +
            ",\"kind\":" + JsonString(f.kind) + ",\"message\":" + JsonString(f.message) +
            ",\"effect\":" + JsonString(f.effect) + "}";
  }
  return json + "]}\n";
}
