#include "vtlog/check.h"

#include <array>

#include "engine/engine.h"
#include "engine/error_reporter.h"
#include "execlog/codes.h"
#include "execlog/log_settings.h"
#include "execlog/path_text.h"
#include "execlog/rotation.h"
#include "install/install.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "vtlog/log_read.h"
#include "vtlog/output.h"
#include "vtlog/rotation_check.h"

namespace {

// A default no settings file holds, to tell a read value from the default.
constexpr char16_t kAbsent[] = u"\x01vtlog-absent\x01";

std::u16string Number(std::int64_t value) {
  return plat::Widen(std::to_string(value));
}

// A result code as the records and the exit code show it.
std::string Code(int result) {
  return std::to_string(result);
}

// Creates and deletes a probe file; the directory is left as it was.
bool DirectoryWritable(const std::u16string& dir) {
  const plat::WallClock now = plat::Now();
  const std::u16string probe =
      dir + u"\\vtlog-probe-" + Number(now.seconds) + u"-" + Number(now.milliseconds) + u".tmp";
  plat::FileHandle file;
  if (plat::OpenFile(probe, plat::OpenMode::WriteShareRead, file) != plat::OpenStatus::Opened) {
    return false;
  }
  file.reset();
  plat::RemoveFile(probe);
  return true;
}

void CheckDirectory(CheckReport& report, const char* name, const std::u16string& dir, bool needed,
                    const char* missingEffect) {
  report.items.push_back({"directories", name, dir, ""});
  auto add = [&](Severity severity, const char* kind, std::string message, std::string effect) {
    report.findings.push_back({severity, dir, 0, kind, std::move(message), std::move(effect)});
  };
  if (dir.empty()) {
    add(Severity::Error, "no-directory", std::string(name) + " is empty",
        "the launcher has no place for the log");
    return;
  }
  if (plat::PathIsDirectory(dir)) {
    const bool writable = DirectoryWritable(dir);
    report.items.push_back(
        {"directories", std::string(name) + " writable", writable ? u"yes" : u"no", ""});
    if (!writable) {
      add(Severity::Error, "not-writable", std::string(name) + " cannot be written", missingEffect);
    }
    return;
  }
  report.items.push_back({"directories", std::string(name) + " exists", u"no", ""});
  const std::u16string parent = SplitDirectory(dir);
  if (!parent.empty() && !plat::PathIsDirectory(parent)) {
    add(needed ? Severity::Error : Severity::Warning, "missing-directory",
        std::string(name) + " and its parent do not exist", missingEffect);
  } else {
    add(Severity::Info, "missing-directory", std::string(name) + " does not exist",
        "the launcher creates it (one level) when it first needs it");
  }
}

void CheckEngine(CheckReport& report, const std::u16string& programDir) {
  // Without a program directory the path would name the root of the drive,
  // and whatever library lies there is none of the suite's to load. The
  // launcher stops before the engine anyway (no-program-dir).
  if (programDir.empty()) {
    report.items.push_back({"engine", "library", u"", "not checked: no program directory"});
    return;
  }
  const std::u16string enginePath = programDir + kEngineLibrary;
  plat::Library library = plat::OpenLibrary(enginePath);
  const bool loads = library != nullptr;
  const bool exported = loads && plat::FindExport(*library, kEngineExport) != nullptr;
  library.reset();
  report.items.push_back({"engine", "library", enginePath,
                          exported ? "exports Qorvane4EXE"
                          : loads  ? "no export"
                                   : "missing"});
  if (!exported) {
    report.findings.push_back(
        {Severity::Error, enginePath, 0, loads ? "no-entry-point" : "no-engine",
         loads ? "the engine library has no export \"Qorvane4EXE\""
               : "the engine library cannot be loaded",
         "every job ends with " + Code(kResultNotInstalled) + " and a failure end record"});
  }
}

void AddFinding(CheckReport& report, Severity severity, const std::u16string& file,
                const char* kind, std::string message, std::string effect) {
  report.findings.push_back({severity, file, 0, kind, std::move(message), std::move(effect)});
}

// Temporaries of copies into another volume that killed rotations left.
void CheckStrandedCopies(CheckReport& report, const LogSettings& s) {
  for (const StrandedCopy& copy : FindStrandedCopies(s)) {
    AddFinding(report, Severity::Warning, copy.path, "interrupted-copy",
               "a copy into another volume that a killed rotation left",
               copy.logHoldsIt ? "the log still holds its records; a rotation removes it"
                               : "its records stand only there; a rotation makes it a generation "
                                 "(rotation must be on), vtlog shows them meanwhile");
  }
}

// A file the launcher opens for writing with read-sharing (the log, the
// rotation lock), opened the same way: a directory in its place, a refused
// open and a holder at this moment are each told apart. Nothing is created.
void CheckSharedFile(CheckReport& report, const char* name, const std::u16string& path,
                     const std::string& refusedEffect, bool lock) {
  if (plat::PathIsDirectory(path)) {
    report.items.push_back({"files", name, path, "a directory"});
    AddFinding(report, Severity::Error, path, lock ? "lock-is-directory" : "log-is-directory",
               std::string("a directory stands where ") + name + " belongs", refusedEffect);
    return;
  }
  if (!plat::PathExists(path)) {
    report.items.push_back({"files", name, path, "absent"});
    return;
  }
  plat::FileHandle file;
  const plat::OpenStatus status = plat::OpenFile(path, plat::OpenMode::WriteShareRead, file);
  file.reset();
  report.items.push_back({"files", name, path,
                          status == plat::OpenStatus::Opened             ? "opens for writing"
                          : status == plat::OpenStatus::SharingViolation ? "held by a process"
                                                                         : "refused"});
  if (status == plat::OpenStatus::SharingViolation) {
    AddFinding(report, Severity::Warning, path, lock ? "lock-held" : "log-held",
               std::string("a process holds ") + name + " open for writing now",
               lock ? "record writers wait 10 ms per attempt while it is held; held longer than "
                      "retryCount x 10 ms, start and end records go to write-error files (" +
                          Code(kResultLogUnwritten) + ")"
                    : "other writers retry; held for good, records go to write-error files (" +
                          Code(kResultLogUnwritten) + "): find the process that keeps it open");
  } else if (status != plat::OpenStatus::Opened) {
    AddFinding(report, Severity::Error, path, lock ? "lock-refused" : "log-refused",
               std::string(name) + " cannot be opened for writing", refusedEffect);
  } else if (lock) {
    AddFinding(report, Severity::Info, path, "lock-left",
               "rotation.lock exists but no process holds it",
               "it blocks nobody; the next rotation or record removes it");
  }
}

void CheckErrorFiles(CheckReport& report, const LogSettings& s) {
  std::string names[2];
  std::size_t counts[2] = {0, 0};
  for (const LogFileRef& file : ErrorFiles(s)) {
    const std::size_t k = file.kind == LogFileKind::WriteError ? 0 : 1;
    if (counts[k]++ < 5) names[k] += (counts[k] > 1 ? ", " : "") + plat::ToUtf8(file.path);
  }
  const char* more[2] = {counts[0] > 5 ? ", ..." : "", counts[1] > 5 ? ", ..." : ""};
  if (counts[0] > 0) {
    AddFinding(report, Severity::Warning, s.outputDir, "write-error-files",
               std::to_string(counts[0]) +
                   " write-error file(s) hold records that missed the log: " + names[0] + more[0],
               "read them with \"vtlog jobs\" or \"vtlog show --error-files\", mend the cause "
               "(the log file, its directory, the rotation lock), then move them away: the "
               "launcher never deletes them and appends to them again for the same job");
  }
  if (counts[1] > 0) {
    AddFinding(report, Severity::Warning, s.outputDir, "name-error-files",
               std::to_string(counts[1]) +
                   " name-error file(s): a log path was over 255 "
                   "characters: " +
                   names[1] + more[1],
               "shorten runtime.output.dir, the log file name or -Lfn; then read and move the "
               "files away");
  }
}

// Message boxes wait for someone to press OK: an unattended job then hangs.
void CheckMessageBoxes(CheckReport& report, const std::u16string& settingsPath) {
  const ReportCauses causes = ReadReportCauses();
  if (causes.fromExec) {
    AddFinding(report, Severity::Warning, settingsPath, "message-box", "[Common] FromExec is 1",
               "the launcher shows its error reports in message boxes: an unattended job hangs "
               "on the first one until someone closes it");
  }
  if (causes.errorDisp) {
    AddFinding(report, Severity::Warning, settingsPath, "message-box",
               "[Orbeck] ErrorDisp is " + std::to_string(causes.errorDispValue) + ", not " +
                   std::to_string(kErrorDispSilent),
               "the launcher and the engine show errors in message boxes: an unattended job "
               "hangs on the first one until someone closes it");
  }
}

void AddLogSettings(CheckReport& report, const LogSettings& s) {
  auto text = [&](const char* name, const std::u16string& value) {
    report.items.push_back({"logsettings", name, value, ""});
  };
  auto number = [&](const char* name, std::int64_t value) {
    report.items.push_back({"logsettings", name, Number(value), "derived"});
  };
  text("outputDir", s.outputDir);
  text("errCodeOnly", s.errCodeOnly);
  text("rotateActive", s.rotateActive);
  text("rotateDir", s.rotateDir);
  text("rotateDateFlag", s.rotateDateFlag);
  text("rotateDateType", s.rotateDateType);
  text("rotateSizeFlag", s.rotateSizeFlag);
  text("rotateSize", s.rotateSize);
  text("rotateTimes", s.rotateTimes);
  text("rotateNameDescription", s.rotateNameDescription);
  text("rotateNamePosition", s.rotateNamePosition);
  for (std::size_t i = 0; i < kComponentCount; ++i) {
    const std::string prefix = "components." + plat::ToUtf8(ComponentWord(i)) + ".";
    text((prefix + "active").c_str(), s.components[i].active);
    text((prefix + "outFile").c_str(), s.components[i].outFile);
    text((prefix + "errActive").c_str(), s.components[i].errActive);
  }
  text("componentName", s.componentName);
  number("loadTime", s.loadTime);
  report.items.push_back({"logsettings", "logFilePath", s.logFilePath, "derived"});
  number("logSizeMiB", s.logSizeMiB);
  number("componentActive", s.componentActive);
  number("rotateEnabled", s.rotateEnabled);
  number("rotateBySize", s.rotateBySize);
  number("rotateSizeLimitMiB", s.rotateSizeLimitMiB);
  number("rotateByDate", s.rotateByDate);
  number("rotateDateUnit", s.rotateDateUnit);
  number("rotateNamePos", s.rotateNamePos);
  text("retryCountText", s.retryCountText);
  number("retryCount", s.retryCount);
}

}  // namespace

namespace {

// Beyond this many findings of one kind in one file, the rest are counted.
constexpr std::size_t kFindingsOfAKind = 5;

// VANTREL_V12 and its fields; returns the program directory.
std::u16string CheckEnvironment(CheckReport& report) {
  std::u16string env;
  const bool haveEnv = plat::GetEnvironment(u"VANTREL_V12", env);
  report.items.push_back({"environment", "VANTREL_V12", env, haveEnv ? "set" : "absent"});
  static constexpr std::array<const char*, 5> kFields = {
      "field 0 (program directory)", "field 1 (suite root)", "field 2 (data root)",
      "field 3 (unused)", "field 4 (unused)"};
  for (int i = 0; i < 5; ++i) {
    std::u16string field;
    const bool usable = ReadInstallRoot(i, field) != 0;
    report.items.push_back({"environment", kFields[static_cast<std::size_t>(i)], field,
                            usable ? "" : "over 259 characters: unavailable"});
  }
  std::u16string programDir;
  const bool programDirUsable = GetProgramDir(programDir) != 0;
  if (programDir.empty()) {
    report.findings.push_back({Severity::Error, u"VANTREL_V12", 0, "no-program-dir",
                               !haveEnv           ? "VANTREL_V12 is not set"
                               : programDirUsable ? "field 0 of VANTREL_V12 is empty"
                                                  : "field 0 of VANTREL_V12 is over 259 characters",
                               "the launcher ends at once with " + Code(kResultNotInstalled)});
  }
  return programDir;
}

// "VantrelV12.ini" and the keys the launcher reads; returns its path.
std::u16string CheckSettings(CheckReport& report) {
  std::u16string systemDir;
  const bool systemDirUsable = GetSystemDir(systemDir) != 0;
  std::u16string settingsPath = systemDirUsable ? systemDir + u"\\VantrelV12.ini" : u"";
  const bool haveSettings = systemDirUsable && plat::CanOpenForReading(settingsPath);
  report.items.push_back({"settings", "file", settingsPath,
                          !systemDirUsable ? "unavailable (suite root over 259 characters)"
                          : haveSettings   ? "exists"
                                           : "missing"});
  for (const SettingsKey& entry : SettingsKeys()) {
    const std::u16string section(entry.section);
    const std::u16string key(entry.key);
    std::u16string raw;
    ReadSettingString(section, key, kAbsent, raw);
    std::u16string value;
    if (entry.kind == SettingsKey::Path) {
      ReadSettingString(section, key, u"", value);
    } else {
      value = Number(ReadSettingInt(section, key, entry.def));
    }
    report.items.push_back({"settings", "[" + plat::ToUtf8(section) + "] " + plat::ToUtf8(key),
                            value, raw != kAbsent ? "file" : "default"});
  }
  if (haveSettings) {
    const std::vector<Finding> lint = LintSettingsFile(settingsPath);
    report.findings.insert(report.findings.end(), lint.begin(), lint.end());
  }
  return settingsPath;
}

// "logsetup_w.properties" and the component's settings as loaded from it.
void CheckLogSetup(CheckReport& report, const std::u16string& component, LogSettings& settings) {
  const std::u16string setupPath = GetLogSetupPath();
  report.items.push_back({"logsetup", "file", setupPath,
                          plat::CanOpenForReading(setupPath) ? "exists"
                          : plat::PathExists(setupPath)      ? "cannot be read"
                                                             : "missing"});
  const std::vector<Finding> lint = LintLogSetupFile(setupPath);
  report.findings.insert(report.findings.end(), lint.begin(), lint.end());
  LoadComponentSettings(component, settings);
  AddLogSettings(report, settings);
  if (settings.componentActive == 0) {
    report.findings.push_back(
        {Severity::Warning, setupPath, 0, "inactive",
         "runtime." + plat::ToUtf8(LowerAscii(component)) + ".active is not \"1\"",
         "the launcher writes no execution-log records"});
  }
}

}  // namespace

CheckReport RunCheck(const std::u16string& component) {
  CheckReport report;
  const std::u16string programDir = CheckEnvironment(report);
  const std::u16string settingsPath = CheckSettings(report);
  LogSettings settings;
  CheckLogSetup(report, component, settings);
  CheckEngine(report, programDir);
  CheckDirectory(report, "outputDir", settings.outputDir, true,
                 "records go to the write-error file in the private directory");
  if (settings.rotateEnabled != 0 && !EqualsIgnoreCase(settings.rotateDir, settings.outputDir)) {
    CheckDirectory(report, "rotateDir", settings.rotateDir, true,
                   "the log is never rotated and keeps growing");
  }
  CheckSharedFile(report, "log file", settings.logFilePath,
                  "every record is refused: jobs end with " + Code(kResultLogRefused) +
                      " and their records go to write-error files",
                  false);
  CheckSharedFile(report, "rotation.lock", RotationLockPath(settings.outputDir),
                  "no rotation can take its lock: the log is never rotated and keeps growing",
                  true);
  CheckRotation(report, settings);
  CheckStrandedCopies(report, settings);
  CheckErrorFiles(report, settings);
  CheckMessageBoxes(report, settingsPath);
  ReleaseLogSettings(settings);
  SummariseRepeats(report.findings, kFindingsOfAKind);
  return report;
}

int CheckExitCode(const std::vector<Finding>& findings) {
  int code = kExitOk;
  for (const Finding& finding : findings) {
    if (finding.severity == Severity::Error) return kExitCritical;
    if (finding.severity == Severity::Warning) code = kExitWarning;
  }
  return code;
}
