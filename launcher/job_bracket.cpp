#include "launcher/job_bracket.h"

#include "cmdline/normalize.h"
#include "cmdline/options.h"
#include "engine/error_reporter.h"
#include "execlog/codes.h"
#include "execlog/path_text.h"
#include "execlog/record_writer.h"
#include "execlog/rotation.h"
#include "install/install.h"
#include "platform/text.h"

namespace {

constexpr std::size_t kCaptionCapacity = 32;
constexpr unsigned kCaptionId = 1002;
constexpr std::uint32_t kDetailNoLibrary = 22;
constexpr std::uint32_t kDetailNoEntryPoint = 23;
const std::u16string kComponent = u"Orbeck";
const std::u16string kMessagePrefix = u"HS";

void Report(const JobRun& run, std::uint32_t messageId, std::uint32_t detail,
            std::int32_t* value = nullptr) {
  ErrorContextPtr context = CreateErrorContext(run.module, run.caption);
  ConfigureDisplay(*context);
  const std::int32_t reported = ReportError(nullptr, *context, messageId, detail);
  if (value != nullptr) *value = reported;
  context = FreeErrorContext(std::move(context));
}

// An active component whose log has no location (one that could not be
// formed, or a settings file named as the log) writes every record, the
// per-job file's included, to a log without a name, which the writer refuses.
std::int32_t WriteRecord(const JobRun& run, std::int32_t code, const std::u16string& logFileName,
                         int errorOnly) {
  const std::u16string noLocation;
  const std::u16string& target = run.settings.logFilePath.empty() ? noLocation : logFileName;
  return WriteExecLogRecord(run.logWriteEnabled, run.settings.outputDir, run.settings.retryCount,
                            code, kMessagePrefix, 0, run.jobId, target, run.commandLine, errorOnly);
}

bool ErrorOnlyMode(const JobRun& run) {
  return run.settings.errCodeOnly == u"1";
}

// Deletes a per-job file of the output directory, unless it is the job's
// log (-Lid5 -Lfn5, or -Lfn"5." that Windows takes for the same file):
// deleting that would lose its records.
void RemoveJobFile(const JobRun& run, const std::u16string& name) {
  if (run.settings.outputDir.empty()) return;
  const std::u16string path = run.settings.outputDir + u"\\" + name;
  if (!plat::SameFile(path, run.settings.logFilePath)) plat::RemoveFile(path);
}

}  // namespace

void PrepareJob(JobRun& run) {
  run.caption = plat::LoadNarrowString(run.module, kCaptionId, kCaptionCapacity);

  // "-API" is looked for in the line as received; the engine never sees it.
  if (HasOption(run.commandLine, u"-API") == 1) {
    run.apiGiven = 1;
    RemoveAllOccurrences(run.commandLine, u" -API");
  }
  run.commandLine = NormalizeCommandLine(run.commandLine);

  run.jobId = GetOptionValue(run.commandLine, u"-Lid");
  run.logFileOption = GetOptionValue(run.commandLine, u"-Lfn");
  const bool noLogRecords = HasOption(run.commandLine, u"-Lrf") == 1;
  if (!ValidateJobId(run.jobId)) run.jobIdInvalid = 1;

  InitLogSettings(run.settings);
  run.settings.componentName = kComponent;
  LoadLogSettings(run.settings);
  FinalizeLogSettings(run.settings);
  ApplyLogFileOption(run.settings, run.logFileOption);
  run.logFileOption.clear();

  run.logWriteEnabled = run.settings.componentActive == 1 && !noLogRecords ? 1 : 0;

  RotateExecLog(kComponent);

  if (run.jobId.empty()) {
    run.jobId = plat::WideZeroPadded(GenerateJobNumber(run.commandLine), 5);
  }

  // In error-only mode the start record goes to this run's own per-job file
  // (one left by an earlier process of this id goes first); its first line
  // heads the end record of a failing job.
  if (ErrorOnlyMode(run)) RemoveJobFile(run, JobFileName(run.jobId));
  const std::u16string startTarget =
      ErrorOnlyMode(run) ? JobFileName(run.jobId) : run.settings.logFilePath;
  run.startResult = WriteRecord(run, kStartRecord, startTarget, 0);

  if (run.startResult != 0 && ReadCommonFlag(u"ErrorLevel")) {
    run.result = run.startResult;
    run.engineAllowed = 0;
  } else if (run.jobIdInvalid == 1) {
    run.result = kResultInvalidJobId;
    run.engineAllowed = 0;
  } else {
    run.engineAllowed = 1;
  }
}

void CompleteJob(JobRun& run, EngineRunStatus engineStatus) {
  if (engineStatus == EngineRunStatus::LibraryMissing) {
    Report(run, kMessageNotInstalled, kDetailNoLibrary, &run.result);
  } else if (engineStatus == EngineRunStatus::EntryPointMissing) {
    Report(run, kMessageNotInstalled, kDetailNoEntryPoint, &run.result);
  }

  if (run.result < 1) {
    const std::int32_t written =
        WriteRecord(run, run.result, run.settings.logFilePath, ErrorOnlyMode(run) ? 1 : 0);
    if (written != 0) run.result = written;
  } else {
    if (run.startResult != 0) run.result = run.startResult;
    if (!ErrorOnlyMode(run)) {
      const std::int32_t written = WriteRecord(run, kSuccessRecord, run.settings.logFilePath,
                                               DecimalValue(run.settings.errCodeOnly));
      if (written != 0) run.result = written;
    }
  }

  if (run.result == kResultInvalidJobId) {
    Report(run, kMessageInvalidJobId, 0);
  } else if (run.result == kResultLogUnwritten) {
    Report(run, kMessageLogUnwritten, 0);
  } else if (run.result == kResultLogRefused) {
    Report(run, kMessageLogRefused, 0);
  }

  if (run.apiGiven == 1 && run.result == kEngineStillActive) run.result = kResultApiStillActive;

  // The per-job files never outlive their job: the run's own and, as ever,
  // the one named like the job's identifier. Without an output directory
  // there is none, and the name would point at the root of the drive.
  if (!run.settings.outputDir.empty()) run.jobFilePath = run.settings.outputDir + u"\\" + run.jobId;
  RemoveJobFile(run, run.jobId);
  RemoveJobFile(run, JobFileName(run.jobId));

  ReleaseLogSettings(run.settings);
  run.jobId.clear();
}
