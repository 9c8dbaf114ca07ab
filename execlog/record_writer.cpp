#include "execlog/record_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "execlog/codes.h"
#include "execlog/log_settings.h"
#include "execlog/path_text.h"
#include "execlog/record_format.h"
#include "install/install.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

constexpr std::size_t kLongestLogPath = 255;
// The copied first line of the per-job file, in code units.
constexpr std::size_t kLongestJobLine = 9999;
constexpr int kLockWaitMs = 10;
// The last resort's own floor of attempts, whatever the log's retry count:
// the count governs contention on the log, and jobs that fall back together
// must not lose records to each other (200 waits of 2 to 10 ms at most).
constexpr std::int32_t kWriteErrorFileAttempts = 200;

// What every file of one call is written with: the arguments and the one time
// stamp of the call.
struct RecordContext {
  std::u16string timeStamp;
  const std::u16string& outputDir;
  std::int32_t retryCount;
  const std::u16string& messagePrefix;
  std::int32_t subCode;
  const std::u16string& jobId;
  const std::u16string& commandLine;
  int errorOnly;
};

std::u16string InDirectory(const std::u16string& dir, const std::u16string& name) {
  return dir + u"\\" + name;
}

// The per-job file's first line after its byte-order mark, at most 9999 code
// units, ended by CR LF also when it had to be cut; empty when the file is
// missing or holds no full code unit.
std::u16string ReadJobFileFirstLine(const std::u16string& path) {
  plat::FileHandle file;
  if (plat::OpenFile(path, plat::OpenMode::ReadShared, file) != plat::OpenStatus::Opened) {
    return {};
  }
  if (!plat::SeekFileTo(*file, 2)) return {};
  std::string bytes(kLongestJobLine * 2, '\0');
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    std::ptrdiff_t got = plat::ReadBytes(*file, bytes.data() + filled, bytes.size() - filled);
    if (got <= 0) break;
    filled += static_cast<std::size_t>(got);
  }
  std::u16string line = plat::DecodeUtf16Le(std::string_view(bytes).substr(0, filled & ~1u));
  if (line.empty()) return {};
  line.resize(std::min(line.find(u'\n'), line.size()));
  if (!line.empty() && line.back() == u'\r') line.pop_back();
  return line + u"\r\n";
}

// What has to go before a record so that it starts a line of its own: the
// byte-order mark into an empty file; CR LF after a line that a full volume
// or a killed writer left without its end (and a zero byte first when half
// a code unit stands at the end).
std::string LineStart(const std::u16string& path, std::uint64_t size) {
  if (size == 0) return std::string(plat::kUtf16LeMark);
  plat::FileHandle reader;
  char tail[2] = {};
  if (plat::OpenFile(path, plat::OpenMode::ReadShared, reader) != plat::OpenStatus::Opened ||
      !plat::SeekFileTo(*reader, size - (size >= 2 ? 2 : size)) ||
      plat::ReadBytes(*reader, tail, 2) != (size >= 2 ? 2 : 1)) {
    return {};  // unknown: appended as it stands
  }
  const std::string_view last(tail, 2);
  if (size % 2 == 0 && (last == std::string_view("\n\0", 2) || last == plat::kUtf16LeMark)) {
    return {};
  }
  return (size % 2 == 1 ? std::string(1, '\0') : std::string()) + plat::EncodeUtf16Le(u"\r\n");
}

// Appends to a file opened at its end with read-sharing only, as one write:
// what the line needs first, in error-only mode the per-job file's first line,
// then the record. A write that fails part-way is taken back, so the file
// holds whole lines only. A size that cannot be read counts as not empty: a
// second byte-order mark inside a log would corrupt it.
bool AppendRecord(const std::u16string& path, plat::FileObject& file, const RecordContext& record,
                  std::int64_t absCode) {
  std::uint64_t size = 0;
  const bool sized = plat::FileSizeOf(file, size);
  std::string bytes = sized ? LineStart(path, size) : std::string();
  std::u16string text;
  if (record.errorOnly == 1 && !record.outputDir.empty()) {
    text = ReadJobFileFirstLine(InDirectory(record.outputDir, JobFileName(record.jobId)));
  }
  text += FormatExecLogRecord(record.timeStamp, record.jobId, record.messagePrefix, record.subCode,
                              absCode, record.commandLine);
  bytes += plat::EncodeUtf16Le(text);
  if (plat::WriteBytes(file, bytes.data(), bytes.size())) return true;
  if (sized) plat::TruncateFile(file, size);
  return false;
}

// The share-mode open of a file that takes records: Opened only for a regular
// file on a disk, positioned at its end; a device or pipe is refused.
plat::OpenStatus OpenForRecords(const std::u16string& path, plat::FileHandle& file) {
  plat::OpenStatus status = plat::OpenFile(path, plat::OpenMode::WriteShareRead, file);
  if (status != plat::OpenStatus::Opened) return status;
  if (!plat::IsDiskFile(*file)) status = plat::OpenStatus::AccessDenied;
  // A handle not at the end would overwrite records of other jobs.
  else if (!plat::SeekFileEnd(*file))
    status = plat::OpenStatus::Other;
  if (status != plat::OpenStatus::Opened) file.reset();
  return status;
}

std::u16string WriteErrorPath(const std::u16string& dir, const std::u16string& jobId) {
  return InDirectory(dir, u"LogWriteError_" + jobId + u".log");
}

// A write-error file is shared by every job of one identifier, and jobs that
// share one fall back in step: it gets the log's protection, the share-mode
// open retried after the job's jitter while another job writes it, at least
// kWriteErrorFileAttempts times. False when it cannot be opened or written.
bool AppendToWriteErrorFile(const std::u16string& dir, const RecordContext& record,
                            std::int64_t absCode) {
  const std::u16string path = WriteErrorPath(dir, record.jobId);
  const std::int32_t attempts = std::max(record.retryCount, kWriteErrorFileAttempts);
  for (std::int32_t attempt = 0; attempt < attempts; ++attempt) {
    plat::FileHandle file;
    switch (OpenForRecords(path, file)) {
      case plat::OpenStatus::Opened:
        return AppendRecord(path, *file, record, absCode);
      case plat::OpenStatus::SharingViolation:
        if (attempt + 1 < attempts) plat::SleepMilliseconds(JitterDelayMs(record.jobId));
        continue;
      default:
        return false;
    }
  }
  return false;
}

// The record that missed the log goes beside it, or into the private directory
// when it cannot be put beside it. Gives back the caller's result, or -1284
// whenever no file took the record (also for a refused location): a lost
// record is never answered with 0, nor sent to a file that does not hold it.
std::int32_t WriteToWriteErrorFile(const RecordContext& record, std::int64_t absCode,
                                   std::int32_t result) {
  // Without an output directory the file would land at the root of the drive.
  if (!record.outputDir.empty() && AppendToWriteErrorFile(record.outputDir, record, absCode)) {
    return result;
  }
  std::u16string privateDir;
  if (GetPrivateDir(privateDir) != 0 && AppendToWriteErrorFile(privateDir, record, absCode)) {
    return result;
  }
  return kResultLogUnwritten;
}

}  // namespace

int JitterDelayMs(const std::u16string& jobId) {
  std::uint32_t state = jobId.size() >= 3 && jobId[2] != 0 ? jobId[2] : 17u;
  state = state * 214013u + 2531011u;
  int draw = static_cast<int>((state >> 16) & 0x7FFF);
  return 2 + draw % 9;
}

int ProbeFileAccess(const std::u16string& path) {
  std::u16string dir = SplitDirectory(path);
  if (!dir.empty() && (dir.back() == u'\\' || dir.back() == u'/')) dir.pop_back();
  if (!EnsureDirectory(dir)) return -1;
  plat::FileHandle file;
  switch (plat::OpenFile(path, plat::OpenMode::WriteShareRead, file)) {
    case plat::OpenStatus::AccessDenied:
      return -1;
    case plat::OpenStatus::SharingViolation:
      return -2;
    case plat::OpenStatus::Opened:
      // A device (NUL, CON) or a pipe would swallow the records.
      return plat::IsDiskFile(*file) ? 1 : -1;
    case plat::OpenStatus::Other:
      break;
  }
  return 1;
}

plat::FileHandle OpenLogForAppend(const std::u16string& path) {
  plat::FileHandle file;
  OpenForRecords(path, file);
  return file;
}

std::u16string JobFileName(const std::u16string& jobId) {
  return jobId + u"_" + plat::WideZeroPadded(plat::CurrentProcessId(), 1);
}

namespace {

// The attempts at the log under the lock protocol: true when the record was
// appended, or when no attempt was asked for.
bool AppendUnderLockProtocol(const std::u16string& logPath, const RecordContext& record,
                             std::int64_t absCode) {
  const std::u16string lockPath = RotationLockPath(record.outputDir);
  // Settings that allow no attempt ask for no record, which is no failure.
  bool written = record.retryCount < 1;
  bool opened = false;
  const int jitter = JitterDelayMs(record.jobId);
  for (std::int32_t attempt = 0; attempt < record.retryCount && !opened; ++attempt) {
    const bool lastAttempt = attempt + 1 == record.retryCount;
    if (ProbeFileAccess(lockPath) == -2) {
      // A rotation is moving logs.
      if (!lastAttempt) plat::SleepMilliseconds(kLockWaitMs);
      continue;
    }
    plat::FileHandle log = OpenLogForAppend(logPath);
    if (!log) {
      // Another writer appends; jobs retry at moments of their own.
      if (!lastAttempt) plat::SleepMilliseconds(jitter);
      continue;
    }
    opened = true;
    written = AppendRecord(logPath, *log, record, absCode);
  }
  // Remove the lock file that the probes made, unless a rotation holds it.
  if (ProbeFileAccess(lockPath) != -2 && ProbeFileAccess(lockPath) != -1) {
    plat::RemoveFile(lockPath);
  }
  return written;
}

// The log's full path; a path too long for the log names the job's
// name-error file instead.
std::u16string LogPathOf(const std::u16string& outputDir, const std::u16string& logFileName,
                         const std::u16string& jobId) {
  std::u16string logPath = logFileName.find(u'\\') != std::u16string::npos
                               ? logFileName
                               : InDirectory(outputDir, logFileName);
  if (logPath.size() <= kLongestLogPath) return logPath;
  return InDirectory(outputDir, u"LogNameError_" + jobId + u".log");
}

}  // namespace

std::int32_t WriteExecLogRecord(int enabled, const std::u16string& outputDir,
                                std::int32_t retryCount, std::int32_t code,
                                const std::u16string& messagePrefix, std::int32_t subCode,
                                const std::u16string& jobId, const std::u16string& logFileName,
                                const std::u16string& commandLine, int errorOnly) {
  if (enabled == 0) return 0;
  if (errorOnly == 1 && code >= -999 && code <= 999) return 0;

  const RecordContext record{FormatRecordTimeStamp(plat::Now()),
                             outputDir,
                             retryCount,
                             messagePrefix,
                             subCode,
                             jobId,
                             commandLine,
                             errorOnly};
  const std::u16string logPath = LogPathOf(outputDir, logFileName, jobId);
  std::int64_t absCode = std::llabs(static_cast<long long>(code));

  // A log without a name has no location: refused like one that denies access.
  if (logFileName.empty() || ProbeFileAccess(logPath) == -1) {
    // A start record keeps its own code so that the job's start stays visible.
    if (absCode != kStartRecord) absCode = kRefusedRecord;
    return WriteToWriteErrorFile(record, absCode, kResultLogRefused);
  }
  if (AppendUnderLockProtocol(logPath, record, absCode)) return 0;

  std::int32_t result = 0;
  if (absCode == kStartRecord || absCode == kSuccessRecord) {
    result = kResultLogUnwritten;
    absCode = kUnwrittenRecord;
  }
  return WriteToWriteErrorFile(record, absCode, result);
}
